"""Published examples of the forensic peers, read with extended=True: each
must give a reading at the instant the peer itself decodes it to.

The rows are time-decode 11.0.0's own examples (the `example` column of its
format table, `time_decode.ts_types`) with the instant its `from_<name>`
gives, for every format of it that this system reads.

time-decode examples not read, and why:
  eitime (a bare ei token: six base64 characters are too many ordinary
  words); stardatetng, stardatetos, mars (fictional or planetary calendars,
  not computer timestamps); tai64n (time-decode subtracts a fixed 10 s, as
  libtai's tai_now writes TAI as Unix time + 10; a TAI64 label names a TAI
  second, so the layout here applies the leap table, 37 s in 2025, and reads
  the example 27 s earlier).
"""
import datetime

import pytest

import epochsift

UTC = datetime.timezone.utc
EPOCH = datetime.datetime(1970, 1, 1, tzinfo=UTC)


def ns(text):
    when = datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%S.%fZ").replace(tzinfo=UTC)
    return (when - EPOCH) // datetime.timedelta(microseconds=1) * 1000


# (time-decode format, its example, the instant time-decode reads)
TIME_DECODE = [
    ("active", "133908455300649390", "2025-05-04T15:18:50.064939Z"),  # read as active, filetime
    ("apfs", "f8e73b89045c3c18", "2025-05-04T15:18:50.064939Z"),  # read as unix_ns
    ("biomehex", "41c6e3de6d084fec", "2025-05-04T15:18:50.064939Z"),  # read as cocoa_float
    ("bplist", "768064730", "2025-05-04T15:18:50.000000Z"),  # read as cocoa
    ("iostime", "768064730064939008", "2025-05-04T15:18:50.064939Z"),  # read as iostime
    ("mac", "768064730.064939", "2025-05-04T15:18:50.064939Z"),  # read as cocoa_float
    ("bcd", "250506232221", "2025-05-06T23:22:21.000000Z"),  # read as asn1_utctime, bcd
    ("bitdate", "d223957e", "2025-05-04T15:18:00.000000Z"),  # read as bitdate, bitdec
    ("bitdec", "2123703250", "2025-05-04T15:18:00.000000Z"),  # read as bitdec
    ("tid", "3loe5ncn43f5v", "2025-05-04T15:18:50.064939Z"),  # read as bluesky_tid
    ("btrfs", "5a85176800000000f8e3de03", "2025-05-04T15:18:50.064939Z"),  # read as btrfs
    ("cdma", "990712151030", "1999-07-12T15:10:30.000000Z"),  # read as asn1_utctime
    ("discord", "1102608904745127937", "2023-05-01T14:54:08.374000Z"),  # read as discord
    ("dvr", "654D7595", "2025-05-06T23:22:21.000000Z"),  # read as dvr
    ("exfat", "5aa47a59", "2025-05-04T15:18:50.000000Z"),  # read as exfat, fat
    ("fbcookie", "fb.1.1746371930064.1116446470", "2025-05-04T15:18:50.064000Z"),  # read as fbp_cookie
    ("fat", "a45a597a", "2025-05-04T15:18:50.000000Z"),  # read as dos_date_time
    ("firebase", "-OPQsDUF7Gkq3VtZb0Xa", "2025-05-04T15:18:50.064000Z"),  # read as firebase_push_id
    ("garmin", "1115306330", "2025-05-04T15:18:50.000000Z"),  # read as garmin
    ("gmsgid", "1969be0e7d000000", "2025-05-04T15:18:50.064000Z"),  # read as gmsgid
    ("gacookie", "GA1.2.1033914209.1746371930", "2025-05-04T15:18:50.000000Z"),  # read as ga_cookie
    ("chrome", "13390845530064940", "2025-05-04T15:18:50.064940Z"),  # read as webkit
    ("gps", "1430407111", "2025-05-04T15:18:13.000000Z"),  # read as gps
    ("hfsbe", "e43d35da", "2025-05-04T15:18:50.000000Z"),  # read as hfs, hfsplus, quicktime
    ("hfsle", "da353de4", "2025-05-04T15:18:50.000000Z"),  # read as hfs, hfsplus, quicktime
    ("hfsdec", "3829216730", "2025-05-04T15:18:50.000000Z"),  # read as hfs, hfsplus, quicktime
    ("instagram", "3625152955542620216", "2025-05-04T15:18:50.064000Z"),  # read as instagram
    ("iso9660", "7d05040f123200", "2025-05-04T15:18:50.000000Z"),  # read as iso9660
    ("logtime", "343a0d17037b0000", "2023-03-23T13:58:52.000000Z"),  # read as logtime
    ("juliandec", "2460800.1380787035", "2025-05-04T15:18:49.999982Z"),  # read as sqlite_julian
    ("ksalnum", "2PChRqPZDwT9m2gBDLd5uy7XNTr", "2023-05-01T18:49:25.000000Z"),  # read as ksuid_string
    ("ksdec", "346371930", "2025-05-04T15:18:50.000000Z"),  # read as ksuid
    ("leb128hex", "d0cf83dfe932", "2025-05-04T15:18:50.064000Z"),  # read as leb128_unix_ms
    ("linkedin", "7324176984442343424", "2025-05-02T21:04:29.719000Z"),  # read as linkedin
    ("mastodon", "114450230804480000", "2025-05-04T15:18:50.000000Z"),  # read as mastodon
    ("matlab", "739741.638079455312", "2025-05-04T15:18:50.064939Z"),  # read as matlab
    ("matroska", "768064730064939000", "2025-05-04T15:18:50.064939Z"),  # read as iostime
    ("dotnet", "638819687300649472", "2025-05-04T15:18:50.064947Z"),  # read as dotnet_ticks
    ("dotnetbin", "5250505705728037294", "2025-05-04T15:18:50.064939Z"),  # read as dotnet_binary
    ("systemtime", "e9070500000004000f00120032004000", "2025-05-04T15:18:50.064000Z"),  # read as systemtime
    ("dttm", "8768f513", "2018-08-30T20:19:00.000000Z"),  # read as dttm
    ("ms1904", "44319.638079455312", "2025-05-04T15:18:50.064939Z"),  # read as excel1904
    ("msdos", "597aa45a", "2025-05-04T15:18:50.000000Z"),  # read as exfat, fat
    ("mssql", "0000b2d300fc5d78", "2025-05-04T15:18:50.000000Z"),  # read as sqlserver
    ("mssqlle", "785dfc00d3b20000", "2025-05-04T15:18:50.000000Z"),  # read as sqlserver
    ("mjd", "60799.638079455312", "2025-05-04T15:18:50.064939Z"),  # read as mjd
    ("objectid", "6817855a1b2c3d4e5f607182", "2025-05-04T15:18:50.000000Z"),  # read as objectid
    ("moto", "3705040f1232", "2025-05-04T15:18:50.000000Z"),  # read as moto
    ("prtime", "1746371930064939", "2025-05-04T15:18:50.064939Z"),  # read as prtime, unix_us
    ("ns40", "07e905040f1232", "2025-05-04T15:18:50.000000Z"),  # read as ns40
    ("ns40le", "e90705040f1232", "2025-05-04T15:18:50.000000Z"),  # read as ns40le
    ("nokia", "d19d0f5a", "2025-05-04T15:18:51.000000Z"),  # read as nokiale
    ("nokiale", "5a0f9dd1", "2025-05-04T15:18:51.000000Z"),  # read as nokiale
    ("ntp64", "ebc203da109fd7a1", "2025-05-04T15:18:50.064939Z"),  # read as ntp64
    ("ntp", "3981841662.020607", "2026-03-07T03:07:42.020607Z"),  # read as ntp_float
    ("oracle", "787d0504101333", "2025-05-04T15:18:50.000000Z"),  # read as oracle_date
    ("int96", "f8e7eff723320000808c2500", "2025-05-04T15:18:50.064939Z"),  # read as parquet_int96
    ("postgres", "799687130064939", "2025-05-04T15:18:50.064939Z"),  # read as postgres
    ("postgresbe", "0002d74fab51a82b", "2025-05-04T15:18:50.064939Z"),  # read as postgres
    ("postgresle", "2ba851ab4fd70200", "2025-05-04T15:18:50.064939Z"),  # read as postgres
    ("quicktime", "e43d35da", "2025-05-04T15:18:50.000000Z"),  # read as hfs, hfsplus, quicktime
    ("sasdate", "23865", "2025-05-04T00:00:00.000000Z"),  # read as sas_date
    ("sas", "2061991130.064939", "2025-05-04T15:18:50.064939Z"),  # read as sas_datetime
    ("semioctet", "525040518105", "2025-05-04T15:18:50.000000Z"),  # read as semioctet
    ("spss", "13965751130.064939", "2025-05-04T15:18:50.064939Z"),  # read as spss
    ("stata", "2061991130064", "2025-05-04T15:18:50.064000Z"),  # read as stata_tc
    ("symantec", "3704040f1232", "2025-05-04T15:18:50.000000Z"),  # read as symantec
    ("symbian", "63913591130064939", "2025-05-04T15:18:50.064939Z"),  # read as symbian
    ("taimilli", "1599755800000", "2020-09-10T16:36:03.000000Z"),  # read as tai_ms
    ("tai", "1599755800", "2020-09-10T16:36:03.000000Z"),  # read as tai
    ("tar", "15005702532", "2025-05-04T15:18:50.000000Z"),  # read as tar_mtime
    ("telegram", "7500610326281312160", "2025-05-04T15:18:50.064939Z"),  # read as telegram
    ("tiktok", "7228142017547750661", "2023-05-01T09:22:38.000000Z"),  # read as tiktok
    ("twitter", "1189581422684274688", "2019-10-30T16:34:47.179000Z"),  # read as snowflake
    ("udf", "0118e90705040f1232063127", "2025-05-04T15:18:50.064939Z"),  # read as udf
    ("efitime", "e90705040f123200f8e3de03ff070000", "2025-05-04T15:18:50.064939Z"),  # read as efi_time
    ("ulid", "01JTDY1SYGCZWCBPCSEBHV1DW2", "2025-05-04T15:18:50.064000Z"),  # read as ulid
    ("unixdays", "20212", "2025-05-04T00:00:00.000000Z"),  # read as unix_days
    ("unixhex32be", "6817855a", "2025-05-04T15:18:50.000000Z"),  # read as unix
    ("unixhex32le", "5a851768", "2025-05-04T15:18:50.000000Z"),  # read as unix
    ("unixmilli", "1746371930064", "2025-05-04T15:18:50.064000Z"),  # read as unix_ms
    ("unixmillihex", "01969be0e7d0", "2025-05-04T15:18:50.064000Z"),  # read as unix_ms
    ("unixnano", "1746371930064939000", "2025-05-04T15:18:50.064939Z"),  # read as unix_ns
    ("unixsec", "1746371930", "2025-05-04T15:18:50.000000Z"),  # read as unix
    ("unixsecfrac", "1746371930.064939", "2025-05-04T15:18:50.064939Z"),  # read as unix_float
    ("uuid", "d93026f0-e857-11ed-a05b-0242ac120003", "2023-05-01T19:39:12.196376Z"),  # read as uuid_v1
    ("uuid6", "1f028fb1-4e09-61ae-8c4f-0342ac120003", "2025-05-04T15:18:50.064939Z"),  # read as uuid_v6
    ("uuid7", "01969be0-e7d0-7a3c-9b2e-5f60718293a4", "2025-05-04T15:18:50.064000Z"),  # read as uuid_v7
    ("cookie", "3600017664,31177991", "2025-05-04T15:18:50.000000Z"),  # read as active, filetime
    ("filetimelohi", "d69dd1ae:01dbbd07", "2025-05-04T15:18:50.064939Z"),  # read as active, filetime
    ("filetimebe", "01dbbd07d69dd1ae", "2025-05-04T15:18:50.064939Z"),  # read as active, filetime
    ("filetimele", "aed19dd607bddb01", "2025-05-04T15:18:50.064939Z"),  # read as active, filetime
    ("olebe", "40e65ab46b259b1a", "2025-05-04T15:18:50.064939Z"),  # read as ole
    ("olele", "1a9b256bb45ae640", "2025-05-04T15:18:50.064939Z"),  # read as ole
    ("oleauto", "45781.638079455312", "2025-05-04T15:18:50.064939Z"),  # read as ole
    ("xid", "d0boaml1mb1t9pfm0sc0", "2025-05-04T15:18:50.000000Z"),  # read as xid
    # formats read since time-decode 11.0.0's examples were first listed
    ("apache", "63450e689882b", "2025-05-04T15:18:50.064939Z"),  # odd-length hex number, read as unix_us
    ("biome64", "4739726202305531884", "2025-05-04T15:18:50.064939Z"),  # read as biome_double
    ("xray", "1-6817855a-a006649127e371903a2de979", "2025-05-04T15:18:50.000000Z"),  # read as xray_trace_id
    ("cuid", "cma9sr9ao0000k2w9b3qzd5r6", "2025-05-04T15:18:50.064000Z"),  # read as cuid
    ("dhcp6", "000100012faa41da000000000000", "2025-05-04T15:18:50.000000Z"),  # read as duid_llt
    ("exfatext", "5aa47a590700", "2025-05-04T15:18:50.070000Z"),  # read as exfat_extended
    ("ext4", "6817855a:0f7b8fe0", "2025-05-04T15:18:50.064939Z"),  # read as ext4_time
    ("gbound", "00000000000089882b063450e600", "2025-05-04T15:18:50.064939Z"),  # read as gmail_boundary
    ("gclid", "CKSDxc_qhLkCFQyk4AodO24Arg", "2013-08-17T15:50:17.893284Z"),  # read as gclid
    ("ved", "0ahUKEwilufv7joqNAxW3nYkEHd0vMyIQ4dUDCA8", "2025-05-04T15:21:20.360613Z"),  # read as ved
    ("gsm", "52504051810500", "2025-05-04T15:18:50.000000Z"),  # read as gsm_digits
    ("horolog", "67637,80193", "2026-03-08T22:16:33.000000Z"),  # read as horolog
    ("julianhex", "258c80524d235b", "2025-05-04T15:18:49.999982Z"),  # read as julian_hex
    ("metasploit", "4PGoVGYmx8l6F3sVI4Rc8g", "2017-08-15T16:52:53.000000Z"),  # read as metasploit_uuid
    ("hotmail", "07bddb01:aed19dd6", "2025-05-04T15:18:50.064939Z"),  # read as hotmail_filetime
    ("mysql", "99b688f4b200fdab", "2025-05-04T15:18:50.064939Z"),  # read as mysql_datetime (8 bytes)
    ("pcap", "5a851768abfd0000", "2025-05-04T15:18:50.064939Z"),  # read as pcap
    ("pcapbe", "6817855a0000fdab", "2025-05-04T15:18:50.064939Z"),  # read as pcap_be
    ("s32", "3muhy3twk", "2025-05-04T15:18:50.000000Z"),  # read as s32_time
    ("sony", "65dd4bb89000001", "2023-05-01T19:37:45.050000Z"),  # odd-length hex number, read as sony
    ("vm", "406608,-427259264", "2025-05-04T15:18:50.000000Z"),  # read as vmsd_time
    ("xfsbig", "3609c104893be7f8", "2025-05-04T15:18:50.064939Z"),  # read as xfs_bigtime
    ("xfs", "6817855a03dee3f8", "2025-05-04T15:18:50.064939Z"),  # read as xfs
]


@pytest.mark.parametrize("name, example, instant", TIME_DECODE)
def test_time_decode_example_is_read_at_its_instant(name, example, instant):
    # time-decode prints microseconds: a reading within a millisecond of the
    # printed instant (the float forms round at the last digit) counts.
    readings = epochsift.identify(example, extended=True)
    assert any(abs(r["instant"] - ns(instant)) < 1_000_000 for r in readings), (name, example)


# The new families at instants their formats' documentation fixes, in the
# family named: (family, value, instant, source).
DOCUMENTED = [
    # RFC 5905 §6, figure 4: NTP era 0 second 2 208 988 800 is 1970-01-01.
    ("ntp", "2208988800", "1970-01-01T00:00:00.000000Z"),
    # RFC 5905 §6: the 64-bit form is seconds above 32 fraction bits; half a second is 2^31.
    # Past 2^63 it is given as hex bytes (decimal text is read as a signed 64-bit count).
    ("ntp64", f"0x{(2208988800 << 32) | (1 << 31):016x}", "1970-01-01T00:00:00.500000Z"),
    # IS-GPS-200: GPS week 0 starts 1980-01-06T00:00:00Z, when GPS − UTC was 0.
    ("gps", "0", "1980-01-06T00:00:00.000000Z"),
    # IERS Bulletin C: GPS − UTC = 18 s since 2017-01-01 (TAI − UTC 37 s, less 19).
    ("gps", str(1483228800 - 315964800 + 18), "2017-01-01T00:00:00.000000Z"),
    # .NET ToBinary: UTC kind (bit 62) over DateTime.UnixEpoch.Ticks, 621 355 968 000 000 000.
    ("dotnet_binary", str((1 << 62) | 621355968000000000), "1970-01-01T00:00:00.000000Z"),
    # .NET ToBinary: a local kind (bit 63) stores the UTC ticks; as a signed long it is negative.
    ("dotnet_binary", str(((1 << 63) | 621355968000000000) - (1 << 64)), "1970-01-01T00:00:00.000000Z"),
    # Instagram engineering: the 41-bit ms field counts from 1314220021721 Unix ms.
    ("instagram", str(1 << 23), "2011-08-24T21:07:01.722000Z"),
    # Garmin FIT SDK: date_time 631065600 s after the Unix epoch is 1989-12-31T00:00:00Z.
    ("garmin", "0", "1989-12-31T00:00:00.000000Z"),
    # ECMA-376-1 §18.17.4.1: serial day 61 is 1900-03-01 in the 1900 date system.
    ("serial_day", "61", "1900-03-01T00:00:00.000000Z"),
    # POSIX ustar: mtime is octal; 0o17777777777 is 2^31 − 1, 2038-01-19T03:14:07Z.
    ("tar_mtime", "17777777777", "2038-01-19T03:14:07.000000Z"),
    # MATLAB datenum: datenum(1970,1,1) is 719529.
    ("matlab", "719529.0", "1970-01-01T00:00:00.000000Z"),
    # SAS: the date value 0 is 1 January 1960; Stata's %td counts the same days.
    ("sas_date", "0", "1960-01-01T00:00:00.000000Z"),
    # pcap-savefile(5): ts_sec 0 and ts_usec 500000, little-endian.
    ("pcap", "0000000020a10700", "1970-01-01T00:00:00.500000Z"),
    # xfs_format.h: bigtime counts ns from XFS_BIGTIME_EPOCH_OFFSET = 2^31 s before 1970.
    ("xfs_bigtime", f"{(1 << 31) * 10**9:016x}", "1970-01-01T00:00:00.000000Z"),
    # ext4 "Inode Timestamps": epoch bits 01 over seconds 0x80000000 is 2^31 s, 2038-01-19T03:14:08Z.
    ("ext4_time", "80000000:00000001", "2038-01-19T03:14:08.000000Z"),
    # RFC 8415 §11.2: DUID-LLT time 0 is 2000-01-01T00:00:00Z (Ethernet, type 1).
    ("duid_llt", "00:01:00:01:00:00:00:00:00:11:22:33:44:55", "2000-01-01T00:00:00.000000Z"),
    # $HOROLOG: day 1 is 1841-01-01.
    ("horolog", "1,0", "1841-01-01T00:00:00.000000Z"),
    # AWS X-Ray guide: 10:00 PST on 1 December 2016 is 1480615200 s, 58406520 in hex.
    ("xray_trace_id", "1-58406520-a006649127e371903a2de979", "2016-12-01T18:00:00.000000Z"),
    # MySQL internals: DATETIME(6) 2000-01-01 12:00:00.000001; year*13+month = 26001.
    ("mysql_datetime", f"{(1 << 39 | 26001 << 22 | 1 << 17 | 12 << 12):010x}000001", "2000-01-01T12:00:00.000001Z"),
]


@pytest.mark.parametrize("family, value, instant", DOCUMENTED)
def test_documented_value_is_read_in_its_family(family, value, instant):
    found = [r["instant"] for r in epochsift.identify(value, extended=True) if r["format_id"] == family]
    # Hex bytes are read in both byte orders: one of the readings is the documented one.
    assert ns(instant) in found, (family, value)


def test_reference_reading_leaves_the_new_families_out():
    # The reference reading is fixed: none of the extended-only families appear in it.
    new = {family for family, _, _ in DOCUMENTED}
    for _, example, _ in TIME_DECODE:
        assert not new & {r["format_id"] for r in epochsift.identify(example)}
