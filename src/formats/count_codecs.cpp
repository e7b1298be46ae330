// Layouts that hold a count, in a byte order or a two-part form that plain
// epoch arithmetic cannot express.
#include "formats/packed_codecs.hpp"
#include "formats/packed_fields.hpp"

namespace epochsift {

using namespace packed_fields;

namespace {

// Nokia counts down to 2050-01-01T00:00:00Z (Unix second 2524608000): the
// word 0xFFFFFFFF is that instant and every step below it is a second earlier.
constexpr int64_t NOKIA_WORD_TO_UNIX = 1'770'359'295;  // 2524608000 − 0xFFFFFFFF
constexpr int64_t NOKIA_FIRST_SECOND = -NOKIA_WORD_TO_UNIX;                 // word 0: 1913-11-25T17:31:45Z
constexpr int64_t NOKIA_LAST_SECOND = 0xFFFF'FFFF - NOKIA_WORD_TO_UNIX;     // 2050-01-01T00:00:00Z

// SQL Server datetime: signed days since 1900-01-01 above unsigned 1/300 s
// ticks since midnight.
constexpr i128 SQL_SERVER_EPOCH_NS = i128{2'208'988'800} * NS_PER_SECOND;  // 1900-01-01 before 1970
constexpr int64_t TICKS_PER_SECOND = 300;
constexpr int64_t TICKS_PER_DAY = 86'400 * TICKS_PER_SECOND;  // 25 920 000

// .NET DateTime.ToBinary: the kind in bits 63..62 (00 unspecified, 01 UTC,
// 10 local, 11 local in a repeated hour) above 62 bits of 100 ns ticks since
// 0001-01-01. A local kind stores the UTC ticks (wrapped below 2^62 when
// before 0001-01-01 UTC), so every kind but unspecified names an instant.
constexpr i128 DOTNET_EPOCH_NS = i128{62'135'596'800} * NS_PER_SECOND;  // 0001-01-01 before 1970
constexpr int64_t DOTNET_TICK_NS = 100;
constexpr uint64_t DOTNET_TICKS_MASK = (uint64_t{1} << 62) - 1;
constexpr int64_t DOTNET_TICKS_CEILING = int64_t{1} << 62;
constexpr int64_t DOTNET_TICKS_PER_DAY = 864'000'000'000;
constexpr int64_t DOTNET_MAX_TICKS = 3'155'378'975'999'999'999;  // 9999-12-31T23:59:59.9999999
constexpr uint64_t DOTNET_KIND_UTC = 1;

}  // namespace

CodecResult<PosixNs> decode_nokiale(int64_t raw) {
    if (!fits_bits(raw, 32)) return CodecError::range(raw, "Nokia LE (not a u32)");
    int64_t const word = byte_reversed(static_cast<uint32_t>(raw));
    return PosixNs::from_seconds(word - NOKIA_WORD_TO_UNIX);
}

CodecResult<uint64_t> encode_nokiale(PosixNs instant) {
    i128 const seconds = floor_div(instant.ns, NS_PER_SECOND);  // the fraction is dropped
    if (seconds < NOKIA_FIRST_SECOND || seconds > NOKIA_LAST_SECOND) {
        return CodecError::range(seconds, "Nokia LE seconds-before-2050 (out of u32 range)");
    }
    return byte_reversed(static_cast<uint32_t>(seconds + NOKIA_WORD_TO_UNIX));
}

CodecResult<PosixNs> decode_sqlserver(int64_t raw) {
    auto const u = static_cast<uint64_t>(raw);
    int64_t const ticks = bits(u, 0, 32);
    if (ticks >= TICKS_PER_DAY) return CodecError::range(ticks, "SQL Server datetime ticks (>= one day)");
    auto const days = static_cast<int32_t>(static_cast<uint32_t>(u >> 32));  // negative days lie before 1900
    // |days × one day| < 2^79: no step here can leave 128 bits.
    i128 const since_midnight = i128{ticks} * NS_PER_SECOND / TICKS_PER_SECOND;  // truncated
    return PosixNs{i128{days} * NS_PER_DAY + since_midnight - SQL_SERVER_EPOCH_NS};
}

CodecResult<uint64_t> encode_sqlserver(PosixNs instant) {
    i128 since_1900 = 0;
    if (!checked_add(instant.ns, SQL_SERVER_EPOCH_NS, since_1900)) {
        return CodecError::range(instant.ns, "SQL Server ns since 1900 (overflow)");
    }
    i128 days = floor_div(since_1900, NS_PER_DAY);
    i128 const rem = since_1900 - days * NS_PER_DAY;                                    // [0, one day)
    i128 ticks = (rem * TICKS_PER_SECOND + NS_PER_SECOND / 2) / NS_PER_SECOND;  // nearest tick, halves up
    if (ticks == TICKS_PER_DAY) {  // the last 1/600 s of a day rounds to the next midnight
        ++days;
        ticks = 0;
    }
    if (days < INT32_MIN || days > INT32_MAX) {
        return CodecError::range(days, "SQL Server days-since-1900 (out of i32 range)");
    }
    return uint64_t{static_cast<uint32_t>(static_cast<int32_t>(days))} << 32 | static_cast<uint64_t>(ticks);
}

CodecResult<PosixNs> decode_dotnet_binary(int64_t raw) {
    auto const u = static_cast<uint64_t>(raw);
    uint64_t const kind = u >> 62;
    if (kind == 0) return CodecError::range(raw, ".NET ToBinary (unspecified kind: plain ticks)");
    auto ticks = static_cast<int64_t>(u & DOTNET_TICKS_MASK);
    if (kind != DOTNET_KIND_UTC && ticks > DOTNET_TICKS_CEILING - DOTNET_TICKS_PER_DAY) ticks -= DOTNET_TICKS_CEILING;
    if (ticks > DOTNET_MAX_TICKS) return CodecError::range(ticks, ".NET ToBinary ticks (past year 9999)");
    return PosixNs{i128{ticks} * DOTNET_TICK_NS - DOTNET_EPOCH_NS};
}

// Written with the UTC kind; the tick below the instant.
CodecResult<uint64_t> encode_dotnet_binary(PosixNs instant) {
    i128 const ticks = floor_div(instant.ns + DOTNET_EPOCH_NS, DOTNET_TICK_NS);
    if (ticks < 0 || ticks > DOTNET_MAX_TICKS) return CodecError::range(ticks, ".NET ToBinary ticks (out of range)");
    return DOTNET_KIND_UTC << 62 | static_cast<uint64_t>(ticks);
}

}  // namespace epochsift
