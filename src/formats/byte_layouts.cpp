#include "formats/byte_layouts.hpp"

#include "core/civil.hpp"
#include "core/leap_seconds.hpp"

namespace epochsift {

namespace {

using Bytes = std::span<const uint8_t>;

constexpr uint32_t le16(Bytes b, std::size_t at) { return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8; }
constexpr uint32_t le32(Bytes b, std::size_t at) { return le16(b, at) | le16(b, at + 2) << 16; }
constexpr uint64_t le64(Bytes b, std::size_t at) { return uint64_t{le32(b, at)} | uint64_t{le32(b, at + 4)} << 32; }
constexpr uint64_t be_n(Bytes b, std::size_t at, std::size_t n) {
    uint64_t value = 0;
    for (std::size_t i = 0; i < n; ++i) value = value << 8 | b[at + i];
    return value;
}

// Civil fields at an offset; every field is range-checked by the calendar
// (a byte of 24 hours or 60 minutes is refused there).
std::optional<LayoutInstant> civil(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute,
                                   int64_t second, int64_t nanos, int64_t offset_seconds, bool zone_unstated) {
    if (year < -9999 || year > 9999 || month > 12 || day > 31 || hour > 23 || minute > 59 || second > 59 ||
        nanos >= NS_PER_SECOND) {
        return std::nullopt;  // also keeps every field inside 32 bits
    }
    CivilTime const fields{static_cast<int32_t>(year),   static_cast<int32_t>(month),  static_cast<int32_t>(day),
                           static_cast<int32_t>(hour),   static_cast<int32_t>(minute), static_cast<int32_t>(second),
                           static_cast<int32_t>(nanos)};
    auto const instant = civil_to_posix(fields, offset_seconds);
    if (!instant) return std::nullopt;
    return LayoutInstant{*instant, zone_unstated};
}

std::optional<LayoutInstant> count(i128 ns) {
    if (ns < i128{MIN_CALENDAR_SECOND} * NS_PER_SECOND || ns > i128{MAX_CALENDAR_SECOND} * NS_PER_SECOND) {
        return std::nullopt;
    }
    return LayoutInstant{PosixNs{ns}, false};
}

// TAI64 labels count TAI seconds from 2^62 at 1970-01-01T00:00:00 TAI.
constexpr uint64_t TAI64_ZERO = uint64_t{1} << 62;

std::optional<int64_t> tai64_unix_second(uint64_t label) {
    if (label < TAI64_ZERO || label >= TAI64_ZERO + (uint64_t{1} << 40)) return std::nullopt;  // past year 30000
    auto const tai = static_cast<int64_t>(label - TAI64_ZERO);
    return tai - tai_minus_utc_at_tai(tai);
}

// Julian day 2440588 is 1970-01-01.
constexpr int64_t UNIX_EPOCH_JULIAN_DAY = 2'440'588;

}  // namespace

// [MS-DTYP] §2.3.13, eight little-endian WORDs: year, month, day of week
// (0 = Sunday), day, hour, minute, second, milliseconds. The day of week must
// agree with the date: it is what keeps random bytes out.
std::optional<LayoutInstant> decode_systemtime(Bytes b) {
    uint32_t const year = le16(b, 0), month = le16(b, 2), weekday = le16(b, 4), day = le16(b, 6);
    uint32_t const hour = le16(b, 8), minute = le16(b, 10), second = le16(b, 12), millis = le16(b, 14);
    if (year < 1601 || year > 9999 || month < 1 || weekday > 6 || day < 1 || millis > 999) return std::nullopt;
    auto const found = civil(year, month, day, hour, minute, second, i128{millis} * 1'000'000, 0, true);
    if (!found) return std::nullopt;
    int64_t const days = static_cast<int64_t>(floor_div(found->instant.ns, NS_PER_DAY));
    if (static_cast<uint32_t>(floor_mod(days + 4, 7)) != weekday) return std::nullopt;  // 1970-01-01 was a Thursday
    return found;
}

// UEFI 2.10 §8.3 EFI_TIME: year (u16 LE), month, day, hour, minute, second,
// pad, nanosecond (u32 LE), time zone (i16 LE, minutes; 0x07FF unspecified),
// daylight, pad. The zone's sign flipped between revisions of the
// specification (minutes west before 2.7, east since), so only UTC (0) and
// the unspecified zone (wall-clock time) are read.
std::optional<LayoutInstant> decode_efi_time(Bytes b) {
    uint32_t const year = le16(b, 0);
    uint32_t const nanos = le32(b, 8);
    auto const zone = static_cast<int16_t>(le16(b, 12));
    if (year < 1900 || b[2] < 1 || b[3] < 1 || nanos >= NS_PER_SECOND || b[7] != 0 || b[15] != 0) return std::nullopt;
    if ((b[14] & ~0x03u) != 0) return std::nullopt;  // only two daylight flags are defined
    bool const unspecified = zone == 0x07FF;
    if (!unspecified && zone != 0) return std::nullopt;
    return civil(year, b[2], b[3], b[4], b[5], b[6], nanos, 0, unspecified);
}

// Parquet's deprecated INT96 timestamp (Impala, Hive, Spark): nanoseconds of
// the day (u64 LE), then the Julian day number (u32 LE).
std::optional<LayoutInstant> decode_parquet_int96(Bytes b) {
    uint64_t const nanos_of_day = le64(b, 0);
    uint32_t const julian_day = le32(b, 8);
    if (nanos_of_day >= static_cast<uint64_t>(NS_PER_DAY)) return std::nullopt;
    return count(i128{int64_t{julian_day} - UNIX_EPOCH_JULIAN_DAY} * NS_PER_DAY + i128{nanos_of_day});
}

// TAI64 label: 8 bytes big-endian.
std::optional<LayoutInstant> decode_tai64(Bytes b) {
    auto const second = tai64_unix_second(be_n(b, 0, 8));
    if (!second) return std::nullopt;
    return count(i128{*second} * NS_PER_SECOND);
}

// TAI64N: the label, then nanoseconds (u32 BE, below 10^9).
std::optional<LayoutInstant> decode_tai64n(Bytes b) {
    auto const second = tai64_unix_second(be_n(b, 0, 8));
    uint64_t const nanos = be_n(b, 8, 4);
    if (!second || nanos >= static_cast<uint64_t>(NS_PER_SECOND)) return std::nullopt;
    return count(i128{*second} * NS_PER_SECOND + nanos);
}

// ECMA-167 1/7.3 timestamp: type and zone (u16 LE: type in the top 4 bits,
// a 12-bit signed offset in minutes, -2047 unspecified), year (i16 LE),
// month, day, hour, minute, second, centiseconds, hundreds of microseconds,
// microseconds.
std::optional<LayoutInstant> decode_udf(Bytes b) {
    uint32_t const type_and_zone = le16(b, 0);
    if (type_and_zone >> 12 != 1) return std::nullopt;  // type 1: local time, the only one writers use
    int32_t zone = static_cast<int32_t>(type_and_zone & 0x0FFF);
    if (zone >= 0x800) zone -= 0x1000;
    bool const unspecified = zone == -2047;
    if (!unspecified && (zone < -1440 || zone > 1440)) return std::nullopt;
    auto const year = static_cast<int16_t>(le16(b, 2));
    if (year < 1 || b[4] < 1 || b[5] < 1 || b[9] > 99 || b[10] > 99 || b[11] > 99) return std::nullopt;
    int64_t const nanos = (int64_t{b[9]} * 10'000 + int64_t{b[10]} * 100 + b[11]) * 1'000;
    return civil(year, b[4], b[5], b[6], b[7], b[8], nanos, unspecified ? 0 : int64_t{zone} * 60, unspecified);
}

// struct btrfs_timespec: seconds since 1970 (u64 LE), nanoseconds (u32 LE).
std::optional<LayoutInstant> decode_btrfs(Bytes b) {
    auto const seconds = static_cast<int64_t>(le64(b, 0));
    uint32_t const nanos = le32(b, 8);
    if (nanos >= NS_PER_SECOND) return std::nullopt;
    return count(i128{seconds} * NS_PER_SECOND + nanos);
}

// ECMA-119 §9.1.5 directory-record date: years since 1900, month, day, hour,
// minute, second, then the offset from GMT in 15-minute steps (-48 to 52).
std::optional<LayoutInstant> decode_iso9660(Bytes b) {
    auto const offset = static_cast<int8_t>(b[6]);
    if (offset < -48 || offset > 52 || b[1] < 1 || b[2] < 1) return std::nullopt;
    return civil(1900 + int64_t{b[0]}, b[1], b[2], b[3], b[4], b[5], 0, int64_t{offset} * 900, false);
}

// Oracle DATE, as DUMP shows it (Typ=12 Len=7): century + 100, year of the
// century + 100, month, day, hour + 1, minute + 1, second + 1.
std::optional<LayoutInstant> decode_oracle_date(Bytes b) {
    if (b[0] < 100 || b[1] < 100 || b[1] > 199 || b[4] < 1 || b[5] < 1 || b[6] < 1 || b[2] < 1 || b[3] < 1) {
        return std::nullopt;
    }
    int64_t const year = (int64_t{b[0]} - 100) * 100 + (b[1] - 100);
    return civil(year, b[2], b[3], b[4] - 1, b[5] - 1, b[6] - 1, 0, 0, true);
}

// MySQL 5.6.4+ DATETIME on disk, 5 bytes big-endian: sign bit (1 for
// non-negative), year × 13 + month (17 bits), day (5), hour (5), minute (6),
// second (6). Fractional seconds follow in extra bytes, not read here.
std::optional<LayoutInstant> decode_mysql_datetime(Bytes b) {
    uint64_t const packed = be_n(b, 0, 5);
    if ((packed >> 39) != 1) return std::nullopt;
    uint64_t const year_month = packed >> 22 & 0x1FFFF;
    uint64_t const year = year_month / 13, month = year_month % 13;
    uint64_t const day = packed >> 17 & 0x1F, hour = packed >> 12 & 0x1F;
    uint64_t const minute = packed >> 6 & 0x3F, second = packed & 0x3F;
    if (month < 1 || day < 1) return std::nullopt;
    return civil(static_cast<int64_t>(year), static_cast<int64_t>(month), static_cast<int64_t>(day),
                 static_cast<int64_t>(hour), static_cast<int64_t>(minute), static_cast<int64_t>(second), 0, 0,
                 true);
}

// The DOS date word before the time word, each little-endian (the order of
// the FAT directory entry's and ZIP header's fields is time, then date; this
// is the other order, as some archivers and registry values keep them).
std::optional<LayoutInstant> decode_dos_date_time(Bytes b) {
    uint32_t const date = le16(b, 0), time = le16(b, 2);
    return civil(1980 + (date >> 9), date >> 5 & 0x0F, date & 0x1F, time >> 11, time >> 5 & 0x3F,
                 2 * (time & 0x1F), 0, 0, true);
}

// Unsigned LEB128 (DWARF 5 §7.6) of Unix milliseconds, least significant
// group first. Six bytes carry 42 bits, every count from 1971 to 2109; each
// byte but the last has its continuation bit set, and the last must not be a
// zero padding byte.
std::optional<LayoutInstant> decode_leb128_unix_ms(Bytes b) {
    uint64_t millis = 0;
    for (std::size_t i = 0; i < b.size(); ++i) {
        bool const last = i + 1 == b.size();
        if (((b[i] & 0x80) == 0) != last) return std::nullopt;
        millis |= uint64_t{b[i] & 0x7Fu} << (7 * i);
    }
    if (b.back() == 0) return std::nullopt;  // an overlong encoding
    return count(i128{millis} * NS_PER_MS);
}

// Rows: decoder, width, id, label, citation. The order is the order readings
// are listed in before ranking.
constexpr std::array<ByteLayout, BYTE_LAYOUT_COUNT> BYTE_LAYOUTS = {{
    {decode_systemtime, 16, "systemtime", "Windows SYSTEMTIME (16 bytes, LOCAL or UTC)",
     "[MS-DTYP] §2.3.13 SYSTEMTIME"},
    {decode_efi_time, 16, "efi_time", "UEFI EFI_TIME (16 bytes)", "UEFI Specification 2.10 §8.3 (EFI_TIME)"},
    {decode_parquet_int96, 12, "parquet_int96", "Parquet INT96 timestamp (ns of day + Julian day, LE)",
     "Apache Parquet (deprecated INT96 timestamp; Impala/Hive/Spark)"},
    {decode_tai64, 8, "tai64", "TAI64 label (TAI seconds, 2^62 offset, BE)", "D. J. Bernstein, libtai tai64"},
    {decode_tai64n, 12, "tai64n", "TAI64N label (TAI64 + nanoseconds, BE)", "D. J. Bernstein, libtai tai64n"},
    {decode_udf, 12, "udf", "UDF / ECMA-167 timestamp (12 bytes)", "ECMA-167 1/7.3 (timestamp)"},
    {decode_btrfs, 12, "btrfs", "Btrfs timespec (u64 s + u32 ns, LE)", "Linux fs/btrfs btrfs_tree.h (btrfs_timespec)"},
    {decode_iso9660, 7, "iso9660", "ISO 9660 directory-record date (7 bytes)",
     "ECMA-119 §9.1.5 (recording date and time)"},
    {decode_oracle_date, 7, "oracle_date", "Oracle DATE (7 bytes, Typ=12)", "Oracle Database SQL Language Reference (DATE; DUMP Typ=12)"},
    {decode_mysql_datetime, 5, "mysql_datetime", "MySQL DATETIME (5-byte binary, LOCAL)",
     "MySQL Internals: date and time data type representation (5.6.4+)"},
    {decode_leb128_unix_ms, 6, "leb128_unix_ms", "LEB128-encoded Unix milliseconds (6 bytes)",
     "DWARF 5 §7.6 (unsigned LEB128) of Unix ms"},
    {decode_dos_date_time, 4, "dos_date_time", "DOS date word then time word (LE, LOCAL time)",
     "Microsoft FAT spec (directory entry date and time words)"},
}};

namespace {
consteval bool layout_rows_complete() {
    for (std::size_t i = 0; i < BYTE_LAYOUTS.size(); ++i) {
        if (BYTE_LAYOUTS[i].id.empty() || BYTE_LAYOUTS[i].width == 0 || BYTE_LAYOUTS[i].width > 16) return false;
        for (std::size_t j = 0; j < i; ++j) {
            if (BYTE_LAYOUTS[i].id == BYTE_LAYOUTS[j].id) return false;
        }
    }
    return true;
}
static_assert(layout_rows_complete());
}  // namespace

}  // namespace epochsift
