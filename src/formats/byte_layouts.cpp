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
    if (static_cast<uint32_t>(iso_weekday(days) % 7) != weekday) return std::nullopt;  // SYSTEMTIME: 0 is Sunday
    return found;
}

// UEFI 2.10 §8.3 EFI_TIME: year (u16 LE), month, day, hour, minute, second,
// pad, nanosecond (u32 LE), time zone (i16 LE, minutes; 0x07FF unspecified),
// daylight, pad. The zone's sign flipped between revisions of the UEFI
// document (minutes west before 2.7, east since), so only UTC (0) and
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

// MySQL DATETIME(fsp) with its fraction bytes after the five above, big-endian:
// one byte of hundredths (fsp 1-2), two of hundreds of microseconds (3-4) or
// three of microseconds (5-6).
std::optional<LayoutInstant> decode_mysql_datetime_fraction(Bytes b) {
    auto const whole = decode_mysql_datetime(b.first(5));
    if (!whole) return std::nullopt;
    std::size_t const extra = b.size() - 5;
    uint64_t const fraction = be_n(b, 5, extra);
    constexpr uint64_t LIMIT[] = {1, 100, 10'000, 1'000'000};
    constexpr int64_t UNIT_NS[] = {0, 10'000'000, 100'000, 1'000};
    if (extra > 3 || fraction >= LIMIT[extra]) return std::nullopt;
    return LayoutInstant{PosixNs{whole->instant.ns + i128{static_cast<int64_t>(fraction)} * UNIT_NS[extra]}, true};
}

// pcap record header (pcap-savefile(5)): ts_sec then ts_usec, each a u32 in
// the file's byte order, microseconds below 10^6.
std::optional<LayoutInstant> decode_pcap(Bytes b) {
    uint32_t const micros = le32(b, 4);
    if (micros >= 1'000'000) return std::nullopt;
    return count(i128{le32(b, 0)} * NS_PER_SECOND + i128{micros} * 1'000);
}

std::optional<LayoutInstant> decode_pcap_be(Bytes b) {
    uint64_t const micros = be_n(b, 4, 4);
    if (micros >= 1'000'000) return std::nullopt;
    return count(i128{be_n(b, 0, 4)} * NS_PER_SECOND + i128{micros} * 1'000);
}

// XFS on-disk inode time (xfs_format.h xfs_legacy_timestamp): t_sec (i32 BE),
// t_nsec (u32 BE, below 10^9).
std::optional<LayoutInstant> decode_xfs(Bytes b) {
    auto const seconds = static_cast<int32_t>(be_n(b, 0, 4));
    uint64_t const nanos = be_n(b, 4, 4);
    if (nanos >= static_cast<uint64_t>(NS_PER_SECOND)) return std::nullopt;
    return count(i128{seconds} * NS_PER_SECOND + nanos);
}

// XFS bigtime (xfs_format.h, XFS_BIGTIME_EPOCH_OFFSET): a u64 BE count of
// nanoseconds from -2^31 Unix seconds, 1901-12-13T20:45:52Z.
std::optional<LayoutInstant> decode_xfs_bigtime(Bytes b) {
    return count(static_cast<i128>(be_n(b, 0, 8)) - i128{int64_t{1} << 31} * NS_PER_SECOND);
}

// exFAT timestamp with its two extra fields (Microsoft exFAT document §7.4.8,
// 7.4.9, 7.4.10): the 32-bit DOS date-time written high word first, the
// 10 ms increment (0-199), then the UTC offset byte: bit 7 set makes the low
// seven bits a signed count of 15-minute steps; clear, the time is local.
std::optional<LayoutInstant> decode_exfat_extended(Bytes b) {
    auto const value = static_cast<uint32_t>(be_n(b, 0, 4));
    uint32_t const increment = b[4], offset = b[5];
    if (increment > 199) return std::nullopt;
    bool const stated = (offset & 0x80) != 0;
    int32_t steps = static_cast<int32_t>(offset & 0x7F);
    if (steps >= 0x40) steps -= 0x80;
    if (!stated && offset != 0) return std::nullopt;  // offset bits without the valid flag
    return civil(1980 + (value >> 25), value >> 21 & 0x0F, value >> 16 & 0x1F, value >> 11 & 0x1F,
                 value >> 5 & 0x3F, 2 * int64_t{value & 0x1F} + increment / 100,
                 int64_t{increment % 100} * 10'000'000, stated ? int64_t{steps} * 900 : 0, !stated);
}

// A Julian date in 7 bytes, as time-decode writes it: the day number
// (3 bytes BE) and the fraction's decimal digits (4 bytes BE). With bit 23 of
// the day field set the digits are ten places; otherwise they are as many
// places as the number has digits.
std::optional<LayoutInstant> decode_julian_hex(Bytes b) {
    constexpr uint64_t FIXED_DIGITS = 0x80'0000;
    uint64_t day = be_n(b, 0, 3);
    uint64_t const digits = be_n(b, 3, 4);
    int places = 10;
    if ((day & FIXED_DIGITS) != 0) {
        day ^= FIXED_DIGITS;
        if (digits >= 10'000'000'000ULL) return std::nullopt;
    } else {
        places = digits == 0 ? 1 : 0;
        for (uint64_t rest = digits; rest != 0; rest /= 10) ++places;
    }
    i128 scale = 1;
    for (int i = 0; i < places; ++i) scale *= 10;
    // (day - 2440587.5) days + digits / 10^places days, rounded to the nanosecond
    i128 const day_ns = (i128{static_cast<int64_t>(day)} * 2 - 2 * UNIX_EPOCH_JULIAN_DAY + 1) * NS_PER_DAY / 2;
    i128 const fraction_ns = (i128{static_cast<int64_t>(digits)} * NS_PER_DAY * 2 + scale) / (2 * scale);
    return count(day_ns + fraction_ns);
}

// A Gmail MIME boundary: twelve hex zeros, then the time in microseconds
// with its low 24 bits first (bytes 6-8) and its high 32 bits after (bytes
// 9-12), then one more byte. 14 bytes; the leading zeros are what keep other
// 14-byte values out.
std::optional<LayoutInstant> decode_gmail_boundary(Bytes b) {
    for (std::size_t i = 0; i < 6; ++i) {
        if (b[i] != 0) return std::nullopt;
    }
    uint64_t const micros = be_n(b, 9, 4) << 24 | be_n(b, 6, 3);
    return count(i128{static_cast<int64_t>(micros)} * 1'000);
}

// DHCPv6 DUID-LLT (RFC 8415 §11.2): type 1 (u16 BE), hardware type (u16 BE,
// 1 for Ethernet), seconds since 2000-01-01T00:00:00Z (u32 BE), then the
// link-layer address, 6 bytes for Ethernet.
std::optional<LayoutInstant> decode_duid_llt(Bytes b) {
    if (be_n(b, 0, 2) != 1 || be_n(b, 2, 2) != 1) return std::nullopt;
    constexpr int64_t Y2000 = 946'684'800;
    return count(i128{Y2000 + static_cast<int64_t>(be_n(b, 4, 4))} * NS_PER_SECOND);
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
constexpr auto BYTE_LAYOUT_ROWS = std::to_array<ByteLayout>({
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
    {decode_mysql_datetime_fraction, 6, "mysql_datetime", "MySQL DATETIME(2) (6-byte binary, 10 ms, LOCAL)",
     "MySQL Internals: date and time data type representation (5.6.4+)"},
    {decode_mysql_datetime_fraction, 7, "mysql_datetime", "MySQL DATETIME(4) (7-byte binary, 100 µs, LOCAL)",
     "MySQL Internals: date and time data type representation (5.6.4+)"},
    {decode_mysql_datetime_fraction, 8, "mysql_datetime", "MySQL DATETIME(6) (8-byte binary, µs, LOCAL)",
     "MySQL Internals: date and time data type representation (5.6.4+)"},
    {decode_pcap, 8, "pcap", "pcap record time (u32 s + u32 µs, LE)", "pcap-savefile(5) (per-packet header)"},
    {decode_pcap_be, 8, "pcap_be", "pcap record time (u32 s + u32 µs, BE)", "pcap-savefile(5) (per-packet header)"},
    {decode_xfs, 8, "xfs", "XFS inode time (i32 s + u32 ns, BE)", "Linux fs/xfs/libxfs/xfs_format.h (xfs_legacy_timestamp)"},
    {decode_xfs_bigtime, 8, "xfs_bigtime", "XFS bigtime (ns since 1901-12-13T20:45:52Z, BE)",
     "Linux fs/xfs/libxfs/xfs_format.h (XFS_BIGTIME_EPOCH_OFFSET)"},
    {decode_exfat_extended, 6, "exfat_extended", "exFAT time + 10 ms increment + UTC offset (6 bytes)",
     "Microsoft exFAT File System Specification §7.4.8-7.4.10"},
    {decode_julian_hex, 7, "julian_hex", "Julian date: day (3 bytes) + fraction digits (4 bytes), BE",
     "time-decode (Julian Date hex)"},
    {decode_gmail_boundary, 14, "gmail_boundary", "Gmail MIME boundary (µs since 1970, 14 bytes)",
     "Gmail multipart boundary (observed layout; time-decode GMail Boundary)"},
    {decode_duid_llt, 14, "duid_llt", "DHCPv6 DUID-LLT (s since 2000, Ethernet)", "RFC 8415 §11.2 (DUID-LLT)"},
    {decode_leb128_unix_ms, 6, "leb128_unix_ms", "LEB128-encoded Unix milliseconds (6 bytes)",
     "DWARF 5 §7.6 (unsigned LEB128) of Unix ms"},
    {decode_dos_date_time, 4, "dos_date_time", "DOS date word then time word (LE, LOCAL time)",
     "Microsoft FAT spec (directory entry date and time words)"},
});
// The header states the count for the catalog's compile-time numbering.
static_assert(BYTE_LAYOUT_ROWS.size() == BYTE_LAYOUT_COUNT, "BYTE_LAYOUT_COUNT must be the number of rows");
constexpr std::array<ByteLayout, BYTE_LAYOUT_COUNT> BYTE_LAYOUTS = BYTE_LAYOUT_ROWS;

namespace {
consteval bool layout_rows_complete() {
    for (std::size_t i = 0; i < BYTE_LAYOUTS.size(); ++i) {
        if (BYTE_LAYOUTS[i].id.empty() || BYTE_LAYOUTS[i].width == 0 || BYTE_LAYOUTS[i].width > 16) return false;
        for (std::size_t j = 0; j < i; ++j) {
            // one family may have several widths; each (id, width) is read once
            if (BYTE_LAYOUTS[i].id == BYTE_LAYOUTS[j].id && BYTE_LAYOUTS[i].width == BYTE_LAYOUTS[j].width) return false;
        }
    }
    return true;
}
static_assert(layout_rows_complete());
}  // namespace

}  // namespace epochsift
