"""Time scales and the caller's local zone, against published facts.

GPS time runs 18 s ahead of UTC since 2017-01-01 (IS-GPS-200; the leap second
of 2016-12-31 in tzdata's leap-seconds.list): GPS second 1 167 264 018 after
1980-01-06 is 2017-01-01T00:00:00Z. `local_zone` reads only the wall-clock
families as that zone's local time (the README); a count of UTC seconds stays
where it is."""
import epochsift


def by_id(readings):
    return {r["format_id"]: r for r in readings}


def test_gps_seconds_are_utc_plus_leap_seconds():
    gps = by_id(epochsift.identify("1167264018", extended=True))["gps"]
    assert gps["instant"] == 1_483_228_800 * 10**9
    assert gps["rendered"] == "2017-01-01T00:00:00Z"


def test_local_zone_moves_wall_clock_families_only():
    # 3 794 693 400 s after 1904-01-01 is 2024-03-31T01:30:00, before Berlin's
    # change to summer time at 02:00 local: CET, one hour ahead of UTC.
    plain = by_id(epochsift.identify("3794693400"))
    zoned = by_id(epochsift.identify("3794693400", local_zone="Europe/Berlin"))
    assert zoned["hfs"]["instant"] == plain["hfs"]["instant"] - 3600 * 10**9  # classic HFS stores local time
    assert zoned["hfsplus"]["instant"] == plain["hfsplus"]["instant"]          # HFS+ stores UTC
    assert zoned["hfs"]["local_zone"]["offset_seconds"] == 3600
    assert "local_zone" not in zoned["hfsplus"]
