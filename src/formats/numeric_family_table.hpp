// The numeric family table: every family, in the order every numeric path
// tries them, one row each holding every fact the engine uses. Texts are the
// system's own (labels and citations reach the user). The first 45 rows are
// the reference families; the rows after them are read by the extended
// reading only, and the reference view (REFERENCE_FAMILIES) leaves them out.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "formats/numeric_family.hpp"

namespace epochsift {

namespace numeric_families_detail {

// Every family shares one plausibility window: 1990-01-01 up to 2040-01-01.
inline constexpr PosixNs WINDOW_START = PosixNs::from_seconds(631'152'000);
inline constexpr PosixNs WINDOW_END = PosixNs::from_seconds(2'208'988'800);
// A 32-bit NTP era-0 count ends at 2036-02-07T06:28:16Z (2^32 s after 1900).
inline constexpr PosixNs NTP_ERA_0_END = PosixNs::from_seconds(2'085'978'496);
// Instagram identifiers start at their scheme's epoch, 2011-08-24T21:07:01.721Z.
inline constexpr PosixNs INSTAGRAM_EPOCH = PosixNs::from_seconds(1'314'220'021, 721'000'000);
// Packed layouts carry civil fields, not a count, so their epoch is unused.
inline constexpr PosixNs PACKED_EPOCH{0};
inline constexpr bool LOCAL_TIME = true;  // wall-clock time with no offset, read as UTC
inline constexpr bool UTC_TIME = false;

constexpr PosixNs epoch_at(int64_t unix_seconds, int64_t nanos = 0) {
    return PosixNs::from_seconds(unix_seconds, nanos);
}

inline constexpr Prevalence COMMON = Prevalence::Common;
inline constexpr Prevalence RARE = Prevalence::Rare;

constexpr NumericFamily row(std::string_view id, std::string_view label, std::string_view source,
                            std::string_view citation, Encoding encoding, PosixNs epoch, bool local,
                            Prevalence prevalence = COMMON) {
    return NumericFamily{id,         label, source, citation, encoding, epoch, WINDOW_START, WINDOW_END, local,
                         prevalence, false, false, prevalence == RARE ? PriorTier::Rare : PriorTier::Common,
                         SequenceField{}};
}

}  // namespace numeric_families_detail

// The prior tier column (PriorTier) ranks families by how often an analyst
// meets them in handed-over data, for the extended reading only:
//   Everyday     what every platform's standard clock call writes: Unix
//                seconds to nanoseconds (time(), Date.now(), time.time(),
//                time_ns()), Windows FILETIME and OLE/Excel 1900 dates.
//   Common       one major platform's or product's native form: Chrome,
//                Cocoa, .NET ticks, FAT/ZIP times, PostgreSQL, Mozilla,
//                HFS+, SQLite Julian days, Twitter and Discord identifiers.
//   Specialised  one product or identifier scheme: iOS nanosecond dates,
//                KSUID, Mastodon, LinkedIn, TikTok, exFAT.
//   Rare         the rows whose prevalence is Rare: device, firmware and
//                legacy layouts, and look-alikes of a commoner family
//                (Active Directory of FILETIME, Excel 1904 of OLE).
// A tier never overrides evidence; it separates readings the evidence
// leaves level, where the reference order falls back to the family's id.
// Extended-only rows state a window of their own where the format cannot
// reach the shared one, and read at the resolution of their unit.
inline constexpr auto NUMERIC_FAMILIES = [] {
    using namespace numeric_families_detail;
    auto rows = std::to_array<NumericFamily>({
        row("unix", "Unix time (seconds)", "POSIX / Linux / web", "POSIX.1-2017 §4.16",
            Integer(Unit::Seconds), epoch_at(0), UTC_TIME).with_prior(PriorTier::Everyday),  // 1970-01-01T00:00:00Z
        row("unix_ms", "Unix time (milliseconds, Java/JS)", "Java, JavaScript Date", "ECMA-262 (Date)",
            Integer(Unit::Milliseconds), epoch_at(0), UTC_TIME).with_prior(PriorTier::Everyday),  // 1970-01-01T00:00:00Z
        row("unix_us", "Unix time (microseconds)", "various (sqlite, syslog)", "derived (Unix epoch, µs)",
            Integer(Unit::Microseconds), epoch_at(0), UTC_TIME).with_prior(PriorTier::Everyday),  // 1970-01-01T00:00:00Z
        row("filetime", "Windows FILETIME (100ns since 1601)", "NTFS, Registry, Event Log, AD",
            "[MS-DTYP] §2.3.3 FILETIME",
            Integer(Unit::HundredNanoseconds), epoch_at(-11644473600), UTC_TIME)  // 1601-01-01T00:00:00Z
            .with_whole_second_note()
            .with_prior(PriorTier::Everyday),
        row("webkit", "Chrome / WebKit (µs since 1601)", "Chromium history/cookies",
            "Chromium base::Time (Windows epoch, µs)",
            Integer(Unit::Microseconds), epoch_at(-11644473600), UTC_TIME),  // 1601-01-01T00:00:00Z
        row("cocoa", "Cocoa / CFAbsoluteTime (s since 2001)", "macOS/iOS, NSDate, Core Data",
            "Apple Foundation NSDate (CFAbsoluteTime)",
            Integer(Unit::Seconds), epoch_at(978307200), UTC_TIME),  // 2001-01-01T00:00:00Z
        row("hfsplus", "Apple HFS+ (s since 1904)", "HFS+ filesystem", "Apple TN1150 (HFS Plus)",
            Integer(Unit::Seconds), epoch_at(-2082844800), UTC_TIME),  // 1904-01-01T00:00:00Z
        row("hfs", "Apple HFS (local, s since 1904)", "HFS filesystem (classic Mac OS)", "Apple TN1150 (HFS)",
            Integer(Unit::Seconds), epoch_at(-2082844800), LOCAL_TIME, RARE),  // 1904-01-01T00:00:00Z
        row("dotnet_ticks", ".NET DateTime.Ticks (100ns since 0001)", ".NET / SQL Server datetime2",
            "ECMA-335 / .NET DateTime.Ticks",
            Integer(Unit::HundredNanoseconds), epoch_at(-62135596800), UTC_TIME),  // 0001-01-01T00:00:00Z
        row("ole", "OLE Automation date (days since 1899-12-30)", "Excel, COM, VARIANT DATE",
            "MS OLE Automation (DATE / VT_DATE)",
            Float(Unit::Days), epoch_at(-2209161600), UTC_TIME).with_prior(PriorTier::Everyday),  // 1899-12-30T00:00:00Z
        row("unix_ns", "Unix time (nanoseconds)", "Go time.UnixNano, APFS on-disk",
            "derived (Unix epoch, ns); Apple APFS reference",
            Integer(Unit::Nanoseconds), epoch_at(0), UTC_TIME).with_prior(PriorTier::Everyday),  // 1970-01-01T00:00:00Z
        row("dhcp6", "DHCPv6 DUID-LLT (s since 2000)", "DHCPv6 DUID-LLT (RFC 3315)",
            "RFC 3315 §9.2 (DUID-LLT)",
            Integer(Unit::Seconds), epoch_at(946684800), UTC_TIME, RARE),  // 2000-01-01T00:00:00Z
        row("postgres", "PostgreSQL timestamp (µs since 2000)", "PostgreSQL (64-bit integer datetimes)",
            "PostgreSQL src timestamp.h (POSTGRES_EPOCH_JDATE)",
            Integer(Unit::Microseconds), epoch_at(946684800), UTC_TIME),  // 2000-01-01T00:00:00Z
        row("cocoa_float", "Cocoa CFAbsoluteTime (signed double, s since 2001)",
            "macOS/iOS plists, NSKeyedArchiver, Core Data",
            "Apple CoreFoundation CFAbsoluteTime (CFDateGetAbsoluteTime)",
            Float(Unit::Seconds), epoch_at(978307200), UTC_TIME),  // 2001-01-01T00:00:00Z
        row("unix_float", "Unix time (seconds, double)", "Slack ts, Zeek/Squid, Splunk _time, log pipelines",
            "POSIX time_t (IEEE-754 double; fractional seconds)",
            Float(Unit::Seconds), epoch_at(0), UTC_TIME).with_prior(PriorTier::Everyday),  // 1970-01-01T00:00:00Z
        row("sqlite_julian", "SQLite Julian day (float days)", "SQLite julianday() / REAL date storage",
            "SQLite date-and-time functions (Julian day number)",
            Float(Unit::Days), epoch_at(-210866760000), UTC_TIME),  // -004713-11-24T12:00:00Z
        row("snowflake", "Twitter/X Snowflake ID (ms since 2010, <<22)", "Twitter/X object IDs",
            "Twitter Snowflake (epoch 1288834974657 ms, 22-bit shift)",
            // 2010-11-04T01:42:54.657Z
            Shifted(Unit::Milliseconds, 22), epoch_at(1288834974, 657'000'000), UTC_TIME).with_sequence(0, 12),
        row("gmsgid", "GMail Message ID (ms since 1970, >>20)", "GMail message identifiers",
            "GMail Message ID (top 44 bits = Unix ms; 20-bit shift)",
            Shifted(Unit::Milliseconds, 20), epoch_at(0), UTC_TIME, RARE),  // 1970-01-01T00:00:00Z
        row("discord", "Discord Snowflake ID (ms since 2015, <<22)", "Discord object IDs",
            "Discord developer docs (epoch 1420070400000 ms, 22-bit shift)",
            Shifted(Unit::Milliseconds, 22), epoch_at(1420070400), UTC_TIME).with_sequence(0, 12),  // 2015-01-01T00:00:00Z
        row("fat", "FAT/DOS packed date+time (LOCAL time)", "FAT/exFAT, ZIP, DOS",
            "Microsoft FAT spec / ECMA-107 (DOS date/time fields)",
            Packed(PackedCodec::FatDos), PACKED_EPOCH, LOCAL_TIME),
        row("active", "Active Directory / LDAP (100ns since 1601)",
            "Active Directory, LDAP (lastLogon, pwdLastSet)",
            "[MS-DTYP] §2.3.3 FILETIME (AD Integer8 date attributes)",
            Integer(Unit::HundredNanoseconds), epoch_at(-11644473600), UTC_TIME, RARE),  // 1601-01-01T00:00:00Z
        row("prtime", "Mozilla PRTime (µs since 1970)", "Firefox places.sqlite, Mozilla NSPR",
            "Mozilla NSPR PRTime (microseconds since the Unix epoch)",
            Integer(Unit::Microseconds), epoch_at(0), UTC_TIME),  // 1970-01-01T00:00:00Z
        row("iostime", "Apple NSDate iOS 11+ (ns since 2001)", "iOS 11+ Cocoa nanosecond NSDate",
            "Apple Foundation NSDate (CFAbsoluteTime), nanosecond form",
            Integer(Unit::Nanoseconds), epoch_at(978307200), UTC_TIME).with_prior(PriorTier::Specialised),  // 2001-01-01T00:00:00Z
        row("ksuid", "KSUID timestamp (s since 2014-05-13)", "Segment KSUID (k-sortable unique IDs)",
            "Segment KSUID (epoch 1_400_000_000 = 2014-05-13T16:53:20Z)",
            Integer(Unit::Seconds), epoch_at(1400000000), UTC_TIME).with_prior(PriorTier::Specialised),  // 2014-05-13T16:53:20Z
        row("excel1904", "Microsoft Excel 1904 date (float days since 1904-01-01)",
            "Excel (legacy Mac 1904 date system)",
            "Microsoft Excel 1904 date system (serial day 0 = 1904-01-01)",
            Float(Unit::Days), epoch_at(-2082844800), UTC_TIME, RARE),  // 1904-01-01T00:00:00Z
        row("mastodon", "Mastodon Snowflake ID (ms since 1970, <<16)", "Mastodon status / object IDs",
            "Mastodon Snowflake (Unix-ms epoch, 16-bit shift); vs time-decode",
            Shifted(Unit::Milliseconds, 16), epoch_at(0), UTC_TIME).with_prior(PriorTier::Specialised),  // 1970-01-01T00:00:00Z
        row("linkedin", "LinkedIn activity ID (ms since 1970, <<22)", "LinkedIn activity / URN IDs",
            "LinkedIn activity timestamp (Unix-ms epoch, 22-bit shift); vs time-decode",
            Shifted(Unit::Milliseconds, 22), epoch_at(0), UTC_TIME).with_prior(PriorTier::Specialised).with_sequence(0, 12),  // 1970-01-01T00:00:00Z
        row("tiktok", "TikTok Snowflake ID (s since 1970, <<32)", "TikTok object IDs",
            "TikTok ID (Unix-seconds epoch, 32-bit shift); vs time-decode",
            Shifted(Unit::Seconds, 32), epoch_at(0), UTC_TIME).with_prior(PriorTier::Specialised),  // 1970-01-01T00:00:00Z
        row("exfat", "exFAT packed timestamp (LOCAL time)", "exFAT filesystem",
            "Microsoft exFAT spec (32-bit packed timestamp); vs time-decode",
            Packed(PackedCodec::Exfat), PACKED_EPOCH, LOCAL_TIME).with_prior(PriorTier::Specialised),
        row("dttm", "Microsoft DTTM packed date (LOCAL time)", "Microsoft Compound File / Office DTTM",
            "Microsoft DTTM packed date (year since 1900); vs time-decode",
            Packed(PackedCodec::Dttm), PACKED_EPOCH, LOCAL_TIME, RARE),
        row("bitdate", "Samsung/LG BitDate (byte-reversed packed, LOCAL time)",
            "Samsung / LG device timestamps",
            "Samsung/LG BitDate (byte-reversed 32-bit packed); vs time-decode",
            Packed(PackedCodec::BitDate), PACKED_EPOCH, LOCAL_TIME, RARE),
        row("bitdec", "Bitwise Decimal packed date (LOCAL time)", "Bitwise Decimal packed timestamps",
            "Bitwise Decimal (decimal bit-packed date); vs time-decode",
            Packed(PackedCodec::BitDec), PACKED_EPOCH, LOCAL_TIME, RARE),
        row("bcd", "Binary-Coded-Decimal YYMMDDHHMMSS (LOCAL time)", "BCD digit-pair timestamps",
            "Binary-Coded-Decimal (YY+2000 MM DD HH MM SS pairs); vs time-decode",
            Packed(PackedCodec::Bcd), PACKED_EPOCH, LOCAL_TIME, RARE),
        row("moto", "Motorola 6-byte timestamp", "Motorola device timestamps",
            "Motorola 6-byte (one byte per field, year+1970); vs time-decode",
            Packed(PackedCodec::Moto), PACKED_EPOCH, UTC_TIME, RARE),
        row("symantec", "Symantec AV 6-byte timestamp", "Symantec antivirus logs",
            "Symantec AV 6-byte (year+1970, month+1); vs time-decode",
            Packed(PackedCodec::Symantec), PACKED_EPOCH, UTC_TIME, RARE),
        row("dvr", "DVR (WFS/DHFS) packed timestamp (LOCAL time)", "DVR WFS / DHFS filesystems",
            "DVR WFS/DHFS 32-bit packed (year since 2000); vs time-decode",
            Packed(PackedCodec::Dvr), PACKED_EPOCH, LOCAL_TIME, RARE),
        row("sony", "Sonyflake ID (10ms units since 2014-09-01, <<24)", "Sonyflake distributed IDs",
            "Sonyflake (id>>24 in 10ms units, 2014-09-01 epoch); vs time-decode",
            Shifted(Unit::TenMilliseconds, 24), epoch_at(1409529600), UTC_TIME, RARE).with_sequence(16, 8),  // 2014-09-01T00:00:00Z
        row("ns40", "Nokia S40 7-byte timestamp", "Nokia S40 devices",
            "Nokia S40 7-byte (year BE u16 + field bytes); vs time-decode",
            Packed(PackedCodec::Ns40), PACKED_EPOCH, UTC_TIME, RARE),
        row("ns40le", "Nokia S40 7-byte timestamp (LE year)", "Nokia S40 devices",
            "Nokia S40 7-byte, little-endian year u16; vs time-decode",
            Packed(PackedCodec::Ns40Le), PACKED_EPOCH, UTC_TIME, RARE),
        row("logtime", "JET LogTime 8-byte timestamp", "Microsoft JET / ESE database logs",
            "JET LogTime (reversed field bytes, year+1900); vs time-decode",
            Packed(PackedCodec::LogTime), PACKED_EPOCH, UTC_TIME, RARE),
        row("semioctet", "Semi-Octet decimal (LOCAL time)", "Semi-octet (nibble-swapped) timestamps",
            "Semi-Octet decimal (nibble-swapped pairs, YY+2000); vs time-decode",
            Packed(PackedCodec::SemiOctet), PACKED_EPOCH, LOCAL_TIME, RARE),
        row("gsm", "GSM 7-byte semi-octet timestamp", "GSM mobile timestamps",
            "GSM semi-octet (per-byte nibble swap + tz byte); vs time-decode",
            Packed(PackedCodec::Gsm), PACKED_EPOCH, UTC_TIME, RARE),
        row("nokiale", "Nokia time LE (seconds before 2050)", "Nokia devices",
            "Nokia LE (byte-reversed two's-complement seconds before 2050); vs time-decode",
            Packed(PackedCodec::NokiaLe), PACKED_EPOCH, UTC_TIME, RARE),
        row("mjd", "Modified Julian Day (float days since 1858-11-17)",
            "astronomy / VMS / scientific timestamps",
            "Modified Julian Day (JD − 2400000.5; day 0 = 1858-11-17)",
            Float(Unit::Days), epoch_at(-3506716800), UTC_TIME, RARE),  // 1858-11-17T00:00:00Z
        row("sqlserver", "SQL Server datetime (days since 1900 + 1/300s ticks)",
            "Microsoft SQL Server datetime",
            "SQL Server datetime (int32 days since 1900-01-01 + uint32 1/300s ticks)",
            Packed(PackedCodec::SqlServer), PACKED_EPOCH, UTC_TIME),
        // Extended-only rows from here on.
        row("gps", "GPS time (s since 1980-01-06, leap seconds counted)", "GPS receivers, GNSS logs, telematics",
            "IS-GPS-200 §20.3.3.5.2.4 (GPS time; UTC offset = TAI−UTC − 19 s)",
            Integer(Unit::Seconds), epoch_at(315964819), UTC_TIME)  // 1980-01-06T00:00:19 TAI
            .on_tai_scale().with_prior(PriorTier::Specialised).extended_only(),
        row("tai", "TAI seconds since 1970 (leap seconds counted)", "atomic-clock and PTP logs",
            "BIPM TAI; IERS Bulletin C (TAI−UTC)",
            Integer(Unit::Seconds), epoch_at(0), UTC_TIME, RARE)  // 1970-01-01T00:00:00 TAI
            .on_tai_scale().extended_only(),
        row("tai_ms", "TAI milliseconds since 1970 (leap seconds counted)", "atomic-clock and PTP logs",
            "BIPM TAI; IERS Bulletin C (TAI−UTC)",
            Integer(Unit::Milliseconds), epoch_at(0), UTC_TIME, RARE)  // 1970-01-01T00:00:00 TAI
            .on_tai_scale().extended_only(),
        row("ntp", "NTP seconds since 1900 (era 0)", "NTP, SNTP, PTP and network captures",
            "RFC 5905 §6 (NTP timestamp format, prime epoch 1900-01-01)",
            Integer(Unit::Seconds), epoch_at(-2208988800), UTC_TIME)  // 1900-01-01T00:00:00Z
            .with_window(WINDOW_START, NTP_ERA_0_END).with_prior(PriorTier::Specialised).extended_only(),
        row("ntp_float", "NTP seconds since 1900 (decimal fraction)", "NTP tools (ntpq, chrony) output",
            "RFC 5905 §6 (NTP timestamp format, prime epoch 1900-01-01)",
            Float(Unit::Seconds), epoch_at(-2208988800), UTC_TIME, RARE)  // 1900-01-01T00:00:00Z
            .with_window(WINDOW_START, NTP_ERA_0_END).extended_only(),
        row("ntp64", "NTP 64-bit timestamp (32.32 fixed point since 1900)", "NTP packets, RTP/RTCP sender reports",
            "RFC 5905 §6 (64-bit NTP timestamp: seconds, then 32 fraction bits)",
            Fixed(Unit::Seconds, 32), epoch_at(-2208988800), UTC_TIME)  // 1900-01-01T00:00:00Z
            .with_window(WINDOW_START, NTP_ERA_0_END).with_prior(PriorTier::Specialised).extended_only(),
        row("telegram", "Telegram MTProto message ID (32.32 Unix seconds)", "Telegram MTProto message IDs",
            "Telegram MTProto description (msg_id ≈ unixtime × 2^32)",
            Fixed(Unit::Seconds, 32), epoch_at(0), UTC_TIME, RARE).extended_only(),  // 1970-01-01T00:00:00Z
        row("dotnet_binary", ".NET DateTime.ToBinary (kind bits + ticks)", ".NET serialised DateTime (BinaryWriter)",
            ".NET DateTime.ToBinary / FromBinary (kind in bits 62-63)",
            Packed(PackedCodec::DotnetBinary), PACKED_EPOCH, UTC_TIME)
            .with_prior(PriorTier::Specialised).extended_only(),
        row("unix_days", "Unix days (days since 1970-01-01)", "shadow(5) password ages, date columns",
            "shadow(5) (days since Jan 1, 1970)",
            Integer(Unit::Days), epoch_at(0), UTC_TIME)  // 1970-01-01T00:00:00Z
            .with_prior(PriorTier::Specialised).extended_only(),
        row("unix_minutes", "Unix minutes (minutes since 1970)", "metrics and scheduler stores",
            "derived (Unix epoch, minutes)",
            Integer(Unit::Minutes), epoch_at(0), UTC_TIME, RARE).extended_only(),  // 1970-01-01T00:00:00Z
        row("unix_cs", "Unix centiseconds (1/100 s since 1970)", "log and device counters",
            "derived (Unix epoch, 1/100 s)",
            Integer(Unit::TenMilliseconds), epoch_at(0), UTC_TIME, RARE).extended_only(),  // 1970-01-01T00:00:00Z
        row("unix_10us", "Unix 10-microsecond units (since 1970)", "log and device counters",
            "derived (Unix epoch, 10 µs)",
            Integer(Unit::TenMicroseconds), epoch_at(0), UTC_TIME, RARE).extended_only(),  // 1970-01-01T00:00:00Z
        row("quicktime", "QuickTime / MP4 time (s since 1904)", "MP4, MOV and 3GP movie headers (mvhd, tkhd)",
            "ISO/IEC 14496-12 §8.2.2 (mvhd creation_time, s since 1904-01-01 UTC)",
            Integer(Unit::Seconds), epoch_at(-2082844800), UTC_TIME)  // 1904-01-01T00:00:00Z
            .with_prior(PriorTier::Specialised).extended_only(),
        row("symbian", "Symbian TTime (µs since 0000-01-01)", "Symbian OS phones",
            "Symbian OS TTime (Int64 µs since 0000-01-01 AD)",
            Integer(Unit::Microseconds), epoch_at(-62167219200), UTC_TIME, RARE).extended_only(),  // 0000-01-01
        row("garmin", "Garmin FIT time (s since 1989-12-31)", "Garmin FIT activity files",
            "Garmin FIT SDK (date_time: s since 1989-12-31T00:00:00Z)",
            Integer(Unit::Seconds), epoch_at(631065600), UTC_TIME, RARE).extended_only(),  // 1989-12-31T00:00:00Z
        row("sas_date", "SAS date / Stata %td (days since 1960-01-01)", "SAS and Stata data sets",
            "SAS date values; Stata [D] datetime (%td)",
            Integer(Unit::Days), epoch_at(-315619200), LOCAL_TIME, RARE).extended_only(),  // 1960-01-01
        row("sas_datetime", "SAS datetime (s since 1960-01-01)", "SAS data sets",
            "SAS datetime values (s since 1960-01-01)",
            Float(Unit::Seconds), epoch_at(-315619200), LOCAL_TIME, RARE).extended_only(),  // 1960-01-01
        row("stata_tc", "Stata %tc (ms since 1960-01-01)", "Stata data sets",
            "Stata [D] datetime (%tc: ms since 01jan1960, no leap seconds)",
            Integer(Unit::Milliseconds), epoch_at(-315619200), LOCAL_TIME, RARE).extended_only(),  // 1960-01-01
        row("spss", "SPSS date-time (s since 1582-10-14)", "IBM SPSS .sav files",
            "IBM SPSS Statistics date-time (s since 14 Oct 1582)",
            Float(Unit::Seconds), epoch_at(-12219379200), LOCAL_TIME, RARE).extended_only(),  // 1582-10-14
        row("matlab", "MATLAB datenum (days since 0000-01-00)", "MATLAB and Octave",
            "MATLAB datenum (serial day 1 = 0000-01-01)",
            Float(Unit::Days), epoch_at(-62167305600), LOCAL_TIME, RARE).extended_only(),  // -0001-12-31
        row("serial_day", "Lotus 1-2-3 / Excel serial day (whole days, 1900 system)", "spreadsheet date cells",
            "ECMA-376-1 §18.17.4.1 (1900 date system); Lotus 1-2-3 serial dates",
            Integer(Unit::Days), epoch_at(-2209161600), LOCAL_TIME)  // 1899-12-30: serial 61 is 1900-03-01
            .with_prior(PriorTier::Specialised).extended_only(),
        row("instagram", "Instagram ID (ms since 2011-08-24, <<23)", "Instagram media and user IDs",
            "Instagram engineering: sharding & IDs (41-bit ms, 13-bit shard, 10-bit sequence)",
            Shifted(Unit::Milliseconds, 23), INSTAGRAM_EPOCH, UTC_TIME)
            .with_window(INSTAGRAM_EPOCH, WINDOW_END).with_sequence(0, 10)
            .with_prior(PriorTier::Specialised).extended_only(),
    });
    // Each row knows its place, which copies of it (the reference view, a
    // row under the caller's window) carry into the readings they make.
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].position = static_cast<uint16_t>(i);
        rows[i].usual_width = usual_byte_width(rows[i].encoding);
        if (rows[i].packed()) rows[i].packed_width = PACKED_WIDTHS[static_cast<std::size_t>(rows[i].encoding.codec)];
    }
    return rows;
}();

namespace numeric_families_detail {

consteval std::size_t reference_count() {
    std::size_t n = 0;
    for (auto const& f : NUMERIC_FAMILIES) n += f.reference() ? 1 : 0;
    return n;
}

}  // namespace numeric_families_detail

// The reference view: the rows the reference reading reads, in table order.
inline constexpr std::array<NumericFamily, numeric_families_detail::reference_count()> REFERENCE_FAMILIES = [] {
    std::array<NumericFamily, numeric_families_detail::reference_count()> view{};
    std::size_t n = 0;
    for (auto const& f : NUMERIC_FAMILIES) {
        if (f.reference()) view[n++] = f;
    }
    return view;
}();

namespace numeric_families_detail {

consteval bool ids_unique() {
    for (std::size_t i = 0; i < NUMERIC_FAMILIES.size(); ++i) {
        if (NUMERIC_FAMILIES[i].id.empty()) return false;
        for (std::size_t j = i + 1; j < NUMERIC_FAMILIES.size(); ++j) {
            if (NUMERIC_FAMILIES[i].id == NUMERIC_FAMILIES[j].id) return false;
        }
    }
    return true;
}

// Each packed codec decodes exactly one row.
consteval bool packed_codecs_used_once() {
    std::array<int, PACKED_CODEC_COUNT> uses{};
    for (auto const& f : NUMERIC_FAMILIES) {
        if (!f.packed()) continue;
        auto const code = static_cast<std::size_t>(f.encoding.codec);
        if (code >= PACKED_CODEC_COUNT) return false;
        ++uses[code];
        if (f.epoch != PACKED_EPOCH) return false;  // a packed row has no epoch
    }
    for (int n : uses) {
        if (n != 1) return false;
    }
    return true;
}

// A shift leaves a count in the identifier's top bits; float rows count
// whole days or seconds; a window is never empty.
consteval bool encodings_well_formed() {
    for (auto const& f : NUMERIC_FAMILIES) {
        auto const& e = f.encoding;
        bool const shifts = e.tag == Encoding::Tag::Shifted || e.tag == Encoding::Tag::Fixed;
        if (shifts && (e.shift == 0 || e.shift >= 64)) return false;
        if (!shifts && e.shift != 0) return false;
        if (e.tag == Encoding::Tag::Float && e.unit != Unit::Days && e.unit != Unit::Seconds) return false;
        if (!(f.window_start < f.window_end)) return false;
    }
    return true;
}

// Reference rows share the window, count UTC and leave the clock policy
// unknown; an extended row's window lies inside the shared one, and only a
// count on the atomic scale knows its policy.
consteval bool windows_and_scales() {
    for (auto const& f : NUMERIC_FAMILIES) {
        if (f.reference()) {
            if (f.window_start != WINDOW_START || f.window_end != WINDOW_END) return false;
            if (f.clock_policy_known || f.scale != TimeScale::Utc) return false;
        } else {
            if (f.window_start < WINDOW_START || f.window_end > WINDOW_END) return false;
            if (f.clock_policy_known != (f.scale == TimeScale::Tai)) return false;
        }
    }
    return true;
}

// Reference rows come first, so the extended reading tries them in the
// reference order and appends the rest.
consteval bool reference_rows_first() {
    for (std::size_t i = 0; i < NUMERIC_FAMILIES.size(); ++i) {
        if (NUMERIC_FAMILIES[i].reference() != (i < REFERENCE_FAMILIES.size())) return false;
        if (i < REFERENCE_FAMILIES.size() && NUMERIC_FAMILIES[i].id != REFERENCE_FAMILIES[i].id) return false;
    }
    return true;
}

// The atomic scale is read on plain counts only: the leap table is applied
// where the count is turned into an instant.
consteval bool tai_rows_are_counts() {
    for (auto const& f : NUMERIC_FAMILIES) {
        if (f.scale == TimeScale::Tai && f.encoding.tag != Encoding::Tag::Integer) return false;
    }
    return true;
}

// Rare rows sit in the lowest prior tier and no other row does.
consteval bool prior_follows_prevalence() {
    for (auto const& f : NUMERIC_FAMILIES) {
        if ((f.prevalence == RARE) != (f.prior == PriorTier::Rare)) return false;
    }
    return true;
}

// A sequence field lies below an identifier's time field.
consteval bool sequence_fields_below_shift() {
    for (auto const& f : NUMERIC_FAMILIES) {
        if (f.sequence.width == 0) continue;
        if (f.encoding.tag != Encoding::Tag::Shifted) return false;
        if (f.sequence.low_bit + f.sequence.width > f.encoding.shift) return false;
    }
    return true;
}

static_assert(REFERENCE_FAMILIES.size() == 45);
static_assert(reference_rows_first());
static_assert(tai_rows_are_counts());
static_assert(prior_follows_prevalence());
static_assert(sequence_fields_below_shift());
static_assert(ids_unique(), "every row has its own non-empty id");
static_assert(packed_codecs_used_once());
static_assert(encodings_well_formed());
static_assert(windows_and_scales());

}  // namespace numeric_families_detail

}  // namespace epochsift
