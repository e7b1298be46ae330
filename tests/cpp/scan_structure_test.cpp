// Lone fields a format's own structure vouches for, laid out here byte by
// byte from the formats' documents (PKWARE APPNOTE 4.3.7 and 4.3.12,
// Info-ZIP's extrafld.txt, RFC 1952 §2.3, Microsoft's fatgen103
// document §6), are shown by a default scan over random bytes; one byte off the
// documented layout and they are not vouched for. Text around a field
// counts against it. And the prefilter passes every offset a probe hits.
#include <gtest/gtest.h>

#include <cstring>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/scan.hpp"
#include "engine/scan_buffer.hpp"
#include "engine/scan_plan.hpp"
#include "engine/scan_prefilter.hpp"
#include "engine/scan_structure.hpp"

namespace epochsift {
namespace {

ScanPlan default_plan() { return std::move(*make_scan_plan({}).plan); }

std::vector<uint8_t> random_bytes(std::size_t n, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::vector<uint8_t> out(n);
    for (auto& b : out) b = static_cast<uint8_t>(rng());
    return out;
}

void put_le(std::vector<uint8_t>& blob, std::size_t at, uint64_t value, int width) {
    for (int i = 0; i < width; ++i) blob[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void put_be(std::vector<uint8_t>& blob, std::size_t at, uint64_t value, int width) {
    for (int i = 0; i < width; ++i) blob[at + i] = static_cast<uint8_t>(value >> (8 * (width - 1 - i)));
}

void put_text(std::vector<uint8_t>& blob, std::size_t at, std::string_view text) {
    std::copy(text.begin(), text.end(), blob.begin() + static_cast<std::ptrdiff_t>(at));
}

// 2019-07-14 10:20:30 as MS-DOS time and date words (FAT spec §6.3.1):
// hours << 11 | minutes << 5 | seconds / 2, and (year - 1980) << 9 |
// month << 5 | day; read as one little-endian u32, time word first.
constexpr uint32_t DOS_TIME = 10u << 11 | 20u << 5 | 30u / 2;
constexpr uint32_t DOS_DATE = (2019u - 1980u) << 9 | 7u << 5 | 14u;
constexpr int64_t DOS_SECONDS = 1'563'099'630;  // 2019-07-14T10:20:30Z (wall clock read as UTC)
constexpr int64_t UNIX_SECONDS = 1'330'559'998;  // 2012-02-29T23:59:58Z
constexpr int64_t UNIX_SECONDS_2 = 1'614'924'428;  // 2021-03-05T06:07:08Z

struct Layout {
    const char* name;
    std::size_t field;  // the timestamp's offset from the structure's start
    std::string_view format;
    int64_t seconds;
    void (*write)(std::vector<uint8_t>& blob, std::size_t start);
};

constexpr std::size_t START = 1001;  // odd on purpose: structures need no alignment

const Layout LAYOUTS[] = {
    {"ZIP local file header", 10, "fat", DOS_SECONDS,
     [](std::vector<uint8_t>& b, std::size_t s) {
         put_text(b, s, "PK\x03\x04");
         put_le(b, s + 4, 20, 2);  // version needed
         put_le(b, s + 6, 0, 2);   // flags
         put_le(b, s + 8, 8, 2);   // deflate
         put_le(b, s + 10, DOS_TIME, 2);
         put_le(b, s + 12, DOS_DATE, 2);
     }},
    {"ZIP central directory header", 12, "fat", DOS_SECONDS,
     [](std::vector<uint8_t>& b, std::size_t s) {
         put_text(b, s, "PK\x01\x02");
         put_le(b, s + 4, 0x031E, 2);  // made by: Unix, 3.0
         put_le(b, s + 6, 20, 2);
         put_le(b, s + 8, 0, 2);
         put_le(b, s + 10, 8, 2);
         put_le(b, s + 12, DOS_TIME, 2);
         put_le(b, s + 14, DOS_DATE, 2);
     }},
    {"gzip member header", 4, "unix", UNIX_SECONDS,
     [](std::vector<uint8_t>& b, std::size_t s) {
         put_text(b, s, "\x1f\x8b\x08");
         b[s + 3] = 0;  // FLG
         put_le(b, s + 4, UNIX_SECONDS, 4);
         b[s + 8] = 0;     // XFL
         b[s + 9] = 3;     // OS: Unix
     }},
    {"extended timestamp, mtime", 5, "unix", UNIX_SECONDS,
     [](std::vector<uint8_t>& b, std::size_t s) {
         put_text(b, s, "UT");
         put_le(b, s + 2, 9, 2);  // flags byte and two times
         b[s + 4] = 3;            // mtime and atime
         put_le(b, s + 5, UNIX_SECONDS, 4);
         put_le(b, s + 9, UNIX_SECONDS_2, 4);
     }},
    {"extended timestamp, atime", 9, "unix", UNIX_SECONDS_2,
     [](std::vector<uint8_t>& b, std::size_t s) {
         put_text(b, s, "UT");
         put_le(b, s + 2, 9, 2);
         b[s + 4] = 3;
         put_le(b, s + 5, UNIX_SECONDS, 4);
         put_le(b, s + 9, UNIX_SECONDS_2, 4);
     }},
    {"FAT directory entry, write time", 22, "fat", DOS_SECONDS,
     [](std::vector<uint8_t>& b, std::size_t s) {
         put_text(b, s, "README  TXT");
         b[s + 11] = 0x20;  // archive
         b[s + 12] = 0;
         b[s + 13] = 0;
         put_le(b, s + 14, 0, 4);  // no creation time
         put_le(b, s + 18, DOS_DATE, 2);
         put_le(b, s + 20, 0, 2);
         put_le(b, s + 22, DOS_TIME, 2);
         put_le(b, s + 24, DOS_DATE, 2);
         put_le(b, s + 26, 2, 2);
         put_le(b, s + 28, 1234, 4);
     }},
    // CFBinaryPList.c: "bplist00", the objects (a date: marker 0x33 and a
    // big-endian float64 of seconds since 2001-01-01, 978307200 s after
    // 1970), the offset table (1-byte entries), then the trailer: five
    // unused bytes, sort version, offset size, reference size, object
    // count, top object, table offset (u64s, big-endian).
    {"binary property list date", 9, "cocoa_float", UNIX_SECONDS,
     [](std::vector<uint8_t>& b, std::size_t s) {
         put_text(b, s, "bplist00");
         b[s + 8] = 0x33;
         double const seconds = static_cast<double>(UNIX_SECONDS - 978'307'200);
         uint64_t bits = 0;
         std::memcpy(&bits, &seconds, sizeof bits);
         put_be(b, s + 9, bits, 8);
         b[s + 17] = 8;  // the offset table: object 0 at 8
         std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(s + 18), 6, 0);
         b[s + 24] = 1;  // offset size
         b[s + 25] = 1;  // reference size
         put_be(b, s + 26, 1, 8);   // objects
         put_be(b, s + 34, 0, 8);   // top object
         put_be(b, s + 42, 17, 8);  // table offset
     }},
};

bool shown_at(const ScanPlan& plan, const std::vector<ScanHit>& hits, std::size_t offset, std::string_view format,
              int64_t seconds) {
    return std::any_of(hits.begin(), hits.end(), [&](ScanHit const& h) {
        return h.shown && h.offset == offset && probe_format_id(plan.probes[h.probe]) == format &&
               h.instant == PosixNs::from_seconds(seconds);
    });
}

TEST(ScanStructure, DocumentedLayoutsShowTheirLoneField) {
    ScanPlan const plan = default_plan();
    for (Layout const& l : LAYOUTS) {
        for (uint64_t seed = 1; seed <= 5; ++seed) {
            std::vector<uint8_t> blob = random_bytes(4096, seed);
            l.write(blob, START);
            std::vector<ScanHit> const hits = scan_buffer(plan, blob, false, 1);
            EXPECT_TRUE(shown_at(plan, hits, START + l.field, l.format, l.seconds)) << l.name << " seed " << seed;
        }
    }
}

// A weak field beside a rarer one of the same moment (a FILETIME, [MS-DTYP]
// 2.3.3: 100 ns ticks since 1601, 11644473600 s before 1970) is shown
// though no field of its own kind is near.
TEST(ScanStructure, WeakFieldsBesideAnAnchor) {
    ScanPlan const plan = default_plan();
    struct Beside {
        const char* name;
        std::string_view format;
        void (*write)(std::vector<uint8_t>& b, std::size_t at);
    };
    const Beside BESIDE[] = {
        {"DOS time and date", "fat", [](std::vector<uint8_t>& b, std::size_t at) {
             put_le(b, at, DOS_TIME, 2);
             put_le(b, at + 2, DOS_DATE, 2);
         }},
        {"Unix seconds", "unix", [](std::vector<uint8_t>& b, std::size_t at) { put_le(b, at, DOS_SECONDS, 4); }},
    };
    for (Beside const& w : BESIDE) {
        for (uint64_t seed = 1; seed <= 4; ++seed) {
            std::vector<uint8_t> blob = random_bytes(4096, seed);
            put_le(blob, 1000, static_cast<uint64_t>(DOS_SECONDS + 11'644'473'600) * 10'000'000 + 1'234'567, 8);
            w.write(blob, 1008);
            std::vector<ScanHit> const hits = scan_buffer(plan, blob, false, 1);
            EXPECT_TRUE(shown_at(plan, hits, 1008, w.format, DOS_SECONDS)) << w.name << " seed " << seed;
        }
    }
}

// One byte away from the documents: no structure.
TEST(ScanStructure, OffLayoutsAreNotVouchedFor) {
    ScanPlan const plan = default_plan();
    std::size_t fat_probe = 0, unix_probe = 0;
    for (std::size_t i = 0; i < plan.probes.size(); ++i) {
        if (structure_field(plan.probes[i]) == StructureField::DosLittle) fat_probe = i;
        if (structure_field(plan.probes[i]) == StructureField::UnixLittle) unix_probe = i;
    }
    struct Fault {
        const char* name;
        std::size_t layout;  // index into LAYOUTS
        std::size_t at;      // from the structure's start
        uint8_t byte;
    };
    constexpr Fault FAULTS[] = {
        {"local header signature", 0, 3, 0x05},
        {"central signature", 1, 2, 0x03},
        {"gzip method 7", 2, 2, 0x07},
        {"gzip reserved flag bit", 2, 3, 0x20},
        {"extended timestamp flags 0", 3, 4, 0x00},
        {"extended timestamp size 4", 3, 2, 0x04},
        {"atime with mtime only", 4, 4, 0x01},
        {"lower-case short name", 5, 1, 'e'},
        {"long-name attribute", 5, 11, 0x0F},
        {"NTRes", 5, 12, 0x01},
    };
    for (Fault const& f : FAULTS) {
        Layout const& l = LAYOUTS[f.layout];
        std::vector<uint8_t> blob(256, 0x5A);
        l.write(blob, 64);
        StructureField const field = structure_field(plan.probes[l.format == "fat" ? fat_probe : unix_probe]);
        EXPECT_GT(structure_bits(field, blob, 64 + l.field), 0) << l.name;
        blob[64 + f.at] = f.byte;
        EXPECT_EQ(structure_bits(field, blob, 64 + l.field), 0) << f.name;
    }
}

// Two Unix times side by side (an inode's times, 4 bytes apart), seconds
// apart, alone in random bytes: the pair vouches for both, in either order.
TEST(ScanStructure, AdjacentUnixTimesVouchForEachOther) {
    ScanPlan const plan = default_plan();
    for (uint64_t seed = 1; seed <= 4; ++seed) {
        for (bool const little : {true, false}) {
            std::vector<uint8_t> blob = random_bytes(4096, seed);
            for (int i = 0; i < 4; ++i) {
                int const shift = 8 * (little ? i : 3 - i);
                blob[2000 + i] = static_cast<uint8_t>(UNIX_SECONDS >> shift);
                blob[2004 + i] = static_cast<uint8_t>((UNIX_SECONDS + 5) >> shift);
            }
            std::vector<ScanHit> const hits = scan_buffer(plan, blob, false, 1);
            EXPECT_TRUE(shown_at(plan, hits, 2000, "unix", UNIX_SECONDS)) << seed << little;
            EXPECT_TRUE(shown_at(plan, hits, 2004, "unix", UNIX_SECONDS + 5)) << seed << little;
        }
    }
}

// A Unix-looking field inside a line of text is text, however many such
// fields repeat around it.
TEST(ScanStructure, TextAroundAFieldCountsAgainstIt) {
    ScanPlan const plan = default_plan();
    std::vector<uint8_t> blob = random_bytes(4096, 9);
    std::string_view const line = "file 1\nfile 2\nfile 3\nfile 4\nfile 5\nfile 6\nfile 7\n";
    for (std::size_t at = 512; at + line.size() < 3584; at += line.size()) put_text(blob, at, line);
    std::vector<ScanHit> const shown = scan_buffer(plan, blob, false, 1);
    for (ScanHit const& h : shown) {
        EXPECT_FALSE(h.shown && h.offset >= 512 && h.offset < 3584)
            << probe_format_id(plan.probes[h.probe]) << " at " << h.offset;
    }
    std::vector<ScanHit> const every = scan_buffer(plan, blob, true, 1);
    bool any = false;
    for (ScanHit const& h : every) {
        if (h.offset < 600 || h.offset > 3400) continue;
        any = true;
        EXPECT_LT(h.evidence[static_cast<std::size_t>(ScanEvidence::Text)], 0) << h.offset;
    }
    EXPECT_TRUE(any);  // the text does read as times
}

// The prefilter is a superset: every offset where a non-weak probe hits,
// and every weak 4- or 8-byte hit with a close field of its kind at one of
// the neighbour distances (judged here by the rule itself, written out),
// is marked. Random bytes with close pairs and pcap records planted.
// The prefilter reads words around a tile from the block: tiles of any
// size and start mark what one pass over the whole block marks.
TEST(ScanStructure, PrefilterTilesAgreeWithTheWhole) {
    ScanPlan const plan = default_plan();
    ScanPrefilter prefilter(plan);
    std::mt19937_64 rng(9);
    for (int trial = 0; trial < 4; ++trial) {
        std::vector<uint8_t> blob = random_bytes(20'000 + rng() % 5'000, rng());
        for (std::size_t at = 0; at + 8 < blob.size(); at += 7) {  // close Unix seconds in both orders
            uint32_t const s = 1'500'000'000u + static_cast<uint32_t>(rng() % 4096);
            for (int i = 0; i < 4; ++i) blob[at + i] = static_cast<uint8_t>(s >> (8 * ((at / 7) % 2 ? i : 3 - i)));
            at += rng() % 300;
        }
        std::fill_n(blob.begin() + 5000, 700, 0xFF);  // runs of one byte
        std::fill_n(blob.begin() + 9000, 700, 0x00);
        std::vector<uint8_t> whole;
        prefilter.mark(blob, 0, blob.size(), whole);
        for (std::size_t const tile : {std::size_t{1000}, std::size_t{4096}, std::size_t{7777}}) {
            std::vector<uint8_t> part;
            for (std::size_t first = 0; first < blob.size(); first += tile) {
                std::size_t const last = std::min(blob.size(), first + tile);
                prefilter.mark(blob, first, last, part);
                ASSERT_EQ(part.size(), last - first);
                for (std::size_t i = 0; i < part.size(); ++i) {
                    ASSERT_EQ(part[i], whole[first + i]) << "tile " << tile << " offset " << first + i;
                }
            }
        }
    }
}

TEST(ScanStructure, PrefilterMarksEveryOffsetAProbeHits) {
    ScanPlan const plan = default_plan();
    ScanPrefilter prefilter(plan);
    ASSERT_TRUE(prefilter.usable());
    std::mt19937_64 rng(3);
    std::vector<std::size_t> const distances = {4, 8, 12, 16, 24, 32, 64, 128, 256, 512, 1024};
    auto const word = [](const std::vector<uint8_t>& b, std::size_t at, std::size_t width, ByteOrder order) {
        if (at + width > b.size()) return uint32_t{0};
        uint64_t v = 0;
        for (std::size_t i = 0; i < width; ++i) {
            v = order == ByteOrder::Little ? v | uint64_t{b[at + i]} << (8 * i) : v << 8 | b[at + i];
        }
        return static_cast<uint32_t>(width == 8 ? v >> 32 : v);
    };
    for (int trial = 0; trial < 6; ++trial) {
        std::vector<uint8_t> blob = random_bytes(8192, rng());
        for (int k = 0; k < 40; ++k) {  // close pairs of Unix seconds, either order, and pcap headers
            std::size_t const at = 8 + rng() % 8000;
            std::size_t const d = distances[rng() % 6];
            // Half the pairs straddle a multiple of 2^16: their top 16 bits differ by one.
            uint64_t const s = (k % 2 == 0) ? (20'000u + rng() % 1'000) << 16 | (0xFC00 + rng() % 512)
                                            : 1'300'000'000 + rng() % 100'000'000;
            uint64_t const partner = s + (k % 2 == 0 ? 1'024 + rng() % 2'048 : rng() % 7);
            bool const little = (rng() & 1) != 0;
            for (auto const [o, value] : {std::pair{at, s}, std::pair{at + d, partner}}) {
                if (o + 8 > blob.size()) continue;
                for (int i = 0; i < 4; ++i) blob[o + i] = static_cast<uint8_t>(value >> (8 * (little ? i : 3 - i)));
            }
            if (k % 8 == 0 && at + 8 <= blob.size()) {  // pcap-savefile(5): ts_sec, ts_usec
                put_le(blob, at, s, 4);
                put_le(blob, at + 4, rng() % 1'000'000, 4);
            }
            if (k % 8 == 6) {  // btrfs_timespec: u64 seconds, u32 nanoseconds; alone
                std::size_t const lone = rng() % (blob.size() - 12);
                put_le(blob, lone, 1'000'000'000 + rng() % 800'000'000, 8);
                put_le(blob, lone + 8, rng() % 1'000'000'000, 4);
            }
            if (k % 8 == 4 && at + 8 <= blob.size()) {
                // PostgreSQL's int64 microseconds since 2000-01-01, negative
                // before it: a day of 1990 (643,680,000 s after 1970).
                int64_t const micros = (643'680'000 - 946'684'800 + static_cast<int64_t>(rng() % 86'400)) * 1'000'000;
                if ((rng() & 1) != 0) put_le(blob, at, static_cast<uint64_t>(micros), 8);
                else put_be(blob, at, static_cast<uint64_t>(micros), 8);
            }
        }
        std::vector<uint8_t> marks;
        prefilter.mark(blob, 0, blob.size(), marks);
        std::vector<ScanHit> const raw = scan_buffer(plan, blob, true, 1);
        for (ScanHit const& h : raw) {
            ScanProbe const& p = plan.probes[h.probe];
            bool needed = !weak_probe(p);
            if (weak_probe(p) && (p.width == 4 || p.width == 8)) {
                uint32_t const close = p.width == 4 ? 4096 : 1;
                uint32_t const v = word(blob, h.offset, p.width, p.order);
                for (std::size_t d : distances) {
                    if (d < p.width) continue;
                    uint32_t const before = h.offset >= d ? word(blob, h.offset - d, p.width, p.order) : 0;
                    uint32_t const after = word(blob, h.offset + d, p.width, p.order);
                    needed |= static_cast<uint32_t>(before - v + close) <= 2 * close ||
                              static_cast<uint32_t>(after - v + close) <= 2 * close;
                }
            }
            if (needed) {  // and with the bit of the reading's kind of field
                uint8_t const kind = p.kind == ProbeKind::Record ? SCAN_READ_RECORD
                                     : p.order == ByteOrder::Big ? SCAN_READ_BIG
                                     : p.width == 4             ? SCAN_READ_LITTLE_4
                                     : p.width == 6             ? SCAN_READ_LITTLE_6
                                                                : SCAN_READ_LITTLE_8;
                EXPECT_NE(marks[h.offset] & kind, 0) << probe_format_id(p) << " at " << h.offset;
            }
        }
    }
}

}  // namespace
}  // namespace epochsift
