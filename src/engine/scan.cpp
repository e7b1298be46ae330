#include "engine/scan.hpp"

#include "core/civil.hpp"
#include "core/per_thread.hpp"
#include "engine/scan_prefilter.hpp"
#include "engine/scan_structure.hpp"
#include "formats/byte_layouts.hpp"
#include "formats/numeric_family_table.hpp"
#include "formats/packed_codecs.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>

namespace epochsift {

namespace {

constexpr std::size_t DISTANCE_COUNT = SCAN_NEAR_DISTANCES.size() + SCAN_STRIDE_DISTANCES.size();
constexpr std::size_t MAX_DISTANCE = SCAN_MAX_DISTANCE;
// Neighbours within a record; beyond, records of an array.
constexpr std::size_t NEAR_DISTANCE = 32;
// Partners are looked for among hits within an hour, a few at most.
constexpr i128 MAX_PAIR_DELTA_NS = i128{3600} * NS_PER_SECOND;
constexpr std::size_t MAX_PAIR_STEPS = 32;
constexpr i128 ANCHOR_DELTA_NS = i128{60} * NS_PER_SECOND;
constexpr double ANCHOR_SLACK_NS = 120e9;
constexpr i128 ANCHOR_STEP_NS = i128{2} * NS_PER_SECOND;  // FAT/DOS keeps even seconds
// Only hits of probes rarer than this anchor others: one random field in a
// thousand, so that anchors are few in noise.
constexpr double ANCHOR_NOISE_BITS = 10.0;  // the minute, and leap seconds of atomic-scale counts

constexpr std::array<uint16_t, DISTANCE_COUNT> ALL_DISTANCES = [] {
    std::array<uint16_t, DISTANCE_COUNT> all{};
    std::size_t n = 0;
    for (uint16_t d : SCAN_NEAR_DISTANCES) all[n++] = d;
    for (uint16_t d : SCAN_STRIDE_DISTANCES) all[n++] = d;
    return all;
}();

// One pair's evidence is capped: two equal FILETIMEs are not worth more
// than any record's worth of agreement.
constexpr double PAIR_CAP_BITS = 24.0;
// A neighbour with the very same bytes: within a record, created and
// modified times often are; across records, the same bytes at the same
// place are a constant of the structure (a flag word, a header) far more
// often than a time.
constexpr double EQUAL_NEAR_CAP_BITS = 20.0;
constexpr double EQUAL_FAR_CAP_BITS = 4.0;
// Each further close neighbour (triplets and quadruplets of times).
constexpr double EXTRA_NEIGHBOUR_BITS = 3.0;
constexpr double EXTRA_NEIGHBOUR_CAP = 6.0;
constexpr double CONTEXT_CAP_BITS = PAIR_CAP_BITS + EXTRA_NEIGHBOUR_CAP;
constexpr double STRONG_PAIR_BITS = 8.0;
// A partner of another kind may be any of a few dozen probes.
constexpr double OTHER_PROBES_BITS = 4.0;
// Close, for weak 4- and 8-byte fields: raw values within 2^12 (68 minutes
// of seconds), and 8-byte values whose top halves are within 1 (2^32 raw:
// 71 minutes of microseconds); farther pairs cannot reach the threshold.
constexpr uint32_t CLOSE_RAW_4 = 1u << 12;
constexpr uint32_t CLOSE_TOP_HALF_8 = 1;
// Share of real timestamps stored at an offset that is a multiple of their
// alignment (an estimate; noise is aligned 1/alignment of the time): 8-byte
// fields are laid out aligned by nearly every compiler and format.
constexpr double ALIGNED_SHARE = 0.7;
constexpr double ALIGNED_SHARE_8 = 0.9;
constexpr double TEXT_BITS_PER_BYTE = 1.0;
constexpr double REPEATED_BYTE_BITS = -12.0;
// Each low byte of a small number, flag or mask (0x00, 0x01, 0xFF) past the
// first: a real count's low bytes hit those three values 3/256 of the time.
constexpr double STRUCTURE_BYTE_BITS = -6.0;
constexpr std::size_t TILE = 1 << 15;

uint64_t load_le(const uint8_t* p, std::size_t n) {
    if (n == 8 && std::endian::native == std::endian::little) {  // one load
        uint64_t v = 0;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    uint64_t v = 0;
    for (std::size_t i = n; i-- > 0;) v = v << 8 | p[i];
    return v;
}

uint64_t width_mask(uint8_t width) { return width >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * width)) - 1; }

// probe_raw for the widths counts are read at, inline: the field's value in
// its order, sign-extended for a negative probe. `room` bytes are readable.
uint64_t read_raw(const ScanProbe& p, const uint8_t* bytes, std::size_t room) {
    uint64_t word = 0;
    if (room >= 8) std::memcpy(&word, bytes, 8);
    else std::memcpy(&word, bytes, std::min<std::size_t>(room, p.width));
    word = load_le(reinterpret_cast<const uint8_t*>(&word), 8);
    uint64_t value = p.order == ByteOrder::Little ? word & width_mask(p.width)
                                                  : __builtin_bswap64(word) >> (64 - 8 * p.width);
    if (p.negative && p.width < 8 && (value >> (8 * p.width - 1)) != 0) value |= ~width_mask(p.width);
    return value;
}

double alignment_bits(uint64_t offset, const ScanProbe& p) {
    double const unit = p.align;
    if (p.align <= 1) return 0;
    double const share = p.align >= 8 ? ALIGNED_SHARE_8 : ALIGNED_SHARE;
    if (offset % p.align == 0) return std::log2(share * unit);
    return std::log2((1 - share) * unit / (unit - 1));
}

bool printable(uint8_t b) { return (b >= 0x20 && b < 0x7F) || b == '\t' || b == '\n' || b == '\r'; }

// Bytes a text run around a field is looked for in, on each side.
constexpr std::size_t TEXT_CONTEXT = 4;
// A field inside a run of text (itself printable but for one byte, and
// the bytes around it all printable): a real count is printable in each
// low byte 3/8 of the time, so such a run is rare around one.
constexpr double TEXT_RUN_BITS = -16.0;

// Text, repeated bytes and record structure around the field at `at`: a
// count's low bytes are near uniform in a real timestamp, so a field of
// text (ASCII or UTF-16), of one byte repeated, of 16-bit words counting
// up by one (tables of consecutive numbers), or with two or more bytes of
// 0x00, 0x01 or 0xFF below its top byte (small numbers, flag words, masks,
// round numbers) is structure far more often than a time.
double text_bits(const uint8_t* data, std::size_t size, std::size_t at, uint8_t width, int structure_low_bytes) {
    const uint8_t* p = data + at;
    bool all_same = true;
    int shown = 0;
    for (uint8_t i = 0; i < width; ++i) {
        shown += printable(p[i]) ? 1 : 0;
        all_same &= p[i] == p[0];
    }
    if (all_same) return REPEATED_BYTE_BITS;
    if (width >= 4) {
        if (shown >= width - 1) {
            bool run = at >= TEXT_CONTEXT && at + width + TEXT_CONTEXT <= size;
            for (std::size_t i = 1; run && i <= TEXT_CONTEXT; ++i) run = printable(p[-static_cast<std::ptrdiff_t>(i)]) && printable(p[width + i - 1]);
            if (run) return TEXT_RUN_BITS;
        }
        if (shown == width) return -TEXT_BITS_PER_BYTE * (width - 1);
        bool utf16 = true;
        bool counting = true;
        for (uint8_t i = 0; i + 1 < width; i += 2) {
            uint8_t const lo = p[i];
            uint8_t const hi = p[i + 1];
            utf16 &= hi == 0 && lo != 0 && printable(lo);
            if (i >= 2) counting &= static_cast<uint16_t>((lo | hi << 8) - (p[i - 2] | p[i - 1] << 8)) == 1;
        }
        if (utf16) return -TEXT_BITS_PER_BYTE * (width - 1);
        if (counting) return REPEATED_BYTE_BITS;
    }
    return structure_low_bytes >= 2 ? STRUCTURE_BYTE_BITS * (structure_low_bytes - 1) : 0;
}

// The bytes of a count's field below its top significant byte (of a
// record, its leading count's): the low bytes a real timestamp fills at
// random. Those of a small number, flag or mask are counted.
int structure_low_bytes(const ScanProbe& p, const uint8_t* field) {
    int n = 0;
    const uint8_t* low = field;
    if (p.kind == ProbeKind::Count && p.significant >= 2) {
        n = p.significant - 1;
        low = p.order == ByteOrder::Little ? field : field + p.width - n;
    } else if (p.kind == ProbeKind::Record && p.gate_width >= 4) {
        n = 3;  // a Unix count's low bytes, whatever its stored width
        low = p.order == ByteOrder::Little ? field : field + p.gate_width - n;
    }
    int count = 0;
    for (int i = 0; i < n; ++i) count += low[i] <= 0x01 || low[i] == 0xFF ? 1 : 0;
    return count;
}

// Most data handed over was written in these years; the plausible window
// reaches a decade beyond them on either side.
constexpr PosixNs CORE_ERA_START = PosixNs::from_seconds(946'684'800);   // 2000-01-01T00:00:00Z
constexpr PosixNs CORE_ERA_END = PosixNs::from_seconds(1'893'456'000);   // 2030-01-01T00:00:00Z
constexpr double ERA_BITS = 1.0;

double era_bits(PosixNs instant) {
    return CORE_ERA_START <= instant && instant < CORE_ERA_END ? ERA_BITS : -ERA_BITS;
}

// Nanoseconds a probe's instants are told apart by.
double resolution_ns(const ScanProbe& probe) {
    switch (probe.kind) {
    case ProbeKind::Count: return std::max(probe.step_ns, 1.0);
    case ProbeKind::Binary64: return 1e3;
    case ProbeKind::Packed:
    case ProbeKind::Record: return 1e9;
    }
    return 1e9;
}

double window_ns(const ScanProbe& probe) { return static_cast<double>(probe.window.end.ns - probe.window.start.ns); }

// How unlikely it is that a random field within `distance` bytes hits the
// partner's probe within `delta_ns` of the hit: the partner probe's rarity
// and the closeness of the instants, less the bits spent looking on both
// sides up to that distance, and at every other probe for a partner of
// another kind.
double pair_bits(const ScanProbe& partner, double delta_ns, std::size_t distance, bool same_probe) {
    double const closeness = std::log2(window_ns(partner) / (2 * delta_ns + resolution_ns(partner)));
    double const looked = std::log2(2.0 * static_cast<double>(distance)) + (same_probe ? 0.0 : OTHER_PROBES_BITS);
    return partner.noise_bits + std::max(0.0, closeness) - looked;
}

bool weak(const ScanProbe& probe) { return weak_probe(probe); }

// Probes read from the same loaded value, with the probes each top byte of
// the value may hit.
struct ProbeGroup {
    uint8_t width = 0;
    ByteOrder order = ByteOrder::Little;
    uint8_t read = 0;  // the candidate bits that call for it
    std::vector<uint16_t> probes;  // at most 64
    std::array<uint64_t, 256> by_top_byte{};
};

double double_of(uint64_t bits) {
    double x = 0;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

bool top_byte_may_hit(const ScanProbe& p, unsigned top) {
    if (p.kind == ProbeKind::Binary64) {
        double const a = double_of(uint64_t{top} << 56);
        double const b = double_of(uint64_t{top} << 56 | 0x00FF'FFFF'FFFF'FFFFull);
        double const lo = std::fmin(a, b);  // NaN patterns drop out
        double const hi = std::fmax(a, b);
        if (std::isnan(lo) || std::isnan(hi)) return false;
        return hi >= p.x_low && lo < p.x_high;
    }
    uint64_t const mask = width_mask(p.width);
    unsigned const shift = 8u * (p.width - 1u);
    unsigned const first = static_cast<unsigned>((p.low & mask) >> shift);
    unsigned const last = static_cast<unsigned>(((p.low + p.span) & mask) >> shift);
    if (p.span >= mask) return true;
    return first <= last ? (top >= first && top <= last) : (top >= first || top <= last);
}

std::vector<ProbeGroup> group_probes(const ScanPlan& plan) {
    std::vector<ProbeGroup> groups;
    for (std::size_t i = 0; i < plan.probes.size(); ++i) {
        ScanProbe const& p = plan.probes[i];
        if (p.kind == ProbeKind::Record) continue;
        auto it = std::find_if(groups.begin(), groups.end(), [&](ProbeGroup const& g) {
            return g.width == p.width && g.order == p.order && g.probes.size() < 64;
        });
        if (it == groups.end()) {
            // Weak 4-byte fields are read where a signature names them too.
            uint8_t const read = scan_read_bit(p.kind, p.width, p.order);
            groups.push_back(ProbeGroup{p.width, p.order,
                                        static_cast<uint8_t>(read | (read == SCAN_READ_LITTLE_4 ? SCAN_SIGNED_FIELD : 0)),
                                        {}, {}});
            it = groups.end() - 1;
        }
        uint64_t const bit = uint64_t{1} << it->probes.size();
        it->probes.push_back(static_cast<uint16_t>(i));
        for (unsigned top = 0; top < 256; ++top) {
            if (top_byte_may_hit(p, top)) it->by_top_byte[top] |= bit;
        }
    }
    return groups;
}

// The 32 bits a weak probe's closeness is judged on: a 4-byte field, or
// an 8-byte field's top half; fields not wholly in the block read as 0.
uint32_t close_word(const uint8_t* data, std::size_t size, std::size_t at, std::size_t width, ByteOrder order) {
    if (at + width > size) return 0;
    if (width == 4) {
        uint32_t v = 0;
        std::memcpy(&v, data + at, sizeof v);
        return order == ByteOrder::Little ? v : __builtin_bswap32(v);
    }
    uint64_t v = 0;
    std::memcpy(&v, data + at, sizeof v);
    return static_cast<uint32_t>((order == ByteOrder::Little ? v : __builtin_bswap64(v)) >> 32);
}

// Whether the field at `at` has a close field of its width and order at
// one of the distances (no nearer than its width) before or after it.
bool has_close_field(const uint8_t* data, std::size_t size, std::size_t at, std::size_t width, ByteOrder order) {
    uint32_t const close = width == 4 ? CLOSE_RAW_4 : CLOSE_TOP_HALF_8;
    uint32_t const v = close_word(data, size, at, width, order);
    for (std::size_t const d : ALL_DISTANCES) {
        if (d < width) continue;
        uint32_t const before = at >= d ? close_word(data, size, at - d, width, order) : 0;
        uint32_t const after = close_word(data, size, at + d, width, order);
        if (static_cast<uint32_t>(before - v + close) <= 2 * close) return true;
        if (static_cast<uint32_t>(after - v + close) <= 2 * close) return true;
    }
    return false;
}

// A hit found in the first pass, before its neighbours are known.
struct Found {
    std::size_t at;  // in the block
    uint16_t probe;
    PosixNs instant;
    float best_near = 0;
    float best_far = 0;
    uint8_t strong_near = 0;
    float text = 0;  // text_bits of the field
};

// Pairs of hits close in the file and in time, of any probe: the instants
// sorted, each hit looks at the next few within an hour. A hit gains the
// evidence its partner's existence gives: the partner's own rarity and
// how close their instants are.
void pair_up(const ScanPlan& plan, const uint8_t* data, std::size_t size, std::vector<Found>& found) {
    for (Found& f : found) {
        ScanProbe const& p = plan.probes[f.probe];
        f.text = static_cast<float>(text_bits(data, size, f.at, p.width, structure_low_bytes(p, data + f.at)));
    }
    std::vector<uint32_t> order(found.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<uint32_t>(i);
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return found[a].instant != found[b].instant ? found[a].instant < found[b].instant : a < b;
    });
    // A partner that is text or structure itself is less rare than its
    // probe's share of random fields says: its own text bits come off.
    auto const credit = [&](Found& to, const ScanProbe& partner, float partner_text, double delta, std::size_t distance,
                            bool equal, bool same_probe) {
        double const cap = !equal ? PAIR_CAP_BITS : distance <= NEAR_DISTANCE ? EQUAL_NEAR_CAP_BITS : EQUAL_FAR_CAP_BITS;
        double const bits = std::min(pair_bits(partner, delta, distance, same_probe) + std::min(0.0f, partner_text), cap);
        if (bits <= 0) return;
        if (distance <= NEAR_DISTANCE) {
            to.best_near = std::max(to.best_near, static_cast<float>(bits));
            if (bits >= STRONG_PAIR_BITS && to.strong_near < 255) ++to.strong_near;
        } else {
            to.best_far = std::max(to.best_far, static_cast<float>(bits));
        }
    };
    for (std::size_t k = 0; k < order.size(); ++k) {
        Found& a = found[order[k]];
        ScanProbe const& pa = plan.probes[a.probe];
        std::size_t steps = 0;
        for (std::size_t m = k + 1; m < order.size() && steps < MAX_PAIR_STEPS; ++m) {
            Found& b = found[order[m]];
            i128 const delta = b.instant.ns - a.instant.ns;
            if (delta > MAX_PAIR_DELTA_NS) break;
            std::size_t const distance = a.at < b.at ? b.at - a.at : a.at - b.at;
            if (distance > MAX_DISTANCE) continue;
            ++steps;
            ScanProbe const& pb = plan.probes[b.probe];
            std::size_t const first_end = (a.at < b.at ? a.at + pa.width : b.at + pb.width);
            if (first_end > (a.at < b.at ? b.at : a.at)) continue;  // readings of the same bytes
            bool const equal = pa.width == pb.width && std::memcmp(data + a.at, data + b.at, pa.width) == 0;
            if (equal && a.text < 0) continue;
            double const d = static_cast<double>(delta);
            bool const same = a.probe == b.probe;
            credit(a, pb, b.text, d, distance, equal, same);
            credit(b, pa, a.text, d, distance, equal, same);
        }
    }
}

constexpr int64_t ANCHOR_REACH_SECONDS = (ANCHOR_DELTA_NS + ANCHOR_STEP_NS) / NS_PER_SECOND + 1;

// The 16-bit date word of a FAT/DOS time (Microsoft's fatgen103
// document §6.1: years from 1980 in bits 9-15, month 5-8, day 0-4) for the day of
// Unix second `s`, or nothing outside its years.
std::optional<uint16_t> dos_date_word(int64_t s) {
    auto const c = civil_from_unix_seconds(s);
    if (!c || c->year < 1980 || c->year > 1980 + 127) return std::nullopt;
    return static_cast<uint16_t>((c->year - 1980) << 9 | c->month << 5 | c->day);
}

// Weak hits next to a strong one with an instant within a minute: the
// fields of one record written at one time in different kinds (a row's
// seconds beside its milliseconds), which the close-pair pass, looking
// only at fields of the same kind, does not see. Added in offset order.
void anchor_weak_hits(const ScanPlan& plan, const uint8_t* data, std::size_t size, std::vector<Found>& found) {
    std::vector<uint16_t> weak_probes;
    for (std::size_t i = 0; i < plan.probes.size(); ++i) {
        if (weak(plan.probes[i])) weak_probes.push_back(static_cast<uint16_t>(i));
    }
    if (weak_probes.empty()) return;
    std::vector<Found> added;
    // Per anchor and weak probe, the raw values that may come within a
    // minute of it: counts map onto the window step by step, and order-
    // preserving packed layouts are encoded at either end (with a step of
    // slack for their resolution).
    struct Reach {
        uint64_t low;
        uint64_t span;
    };
    std::vector<Reach> reach(weak_probes.size());
    for (Found const& anchor : found) {
        if (plan.probes[anchor.probe].noise_bits < ANCHOR_NOISE_BITS) continue;
        auto const anchor_second = static_cast<int64_t>(floor_div(anchor.instant.ns, NS_PER_SECOND));
        for (std::size_t k = 0; k < weak_probes.size(); ++k) {
            ScanProbe const& p = plan.probes[weak_probes[k]];
            reach[k] = Reach{p.low, p.span};
            if (p.kind == ProbeKind::Count) {
                double const expected = static_cast<double>(anchor.instant.ns - p.window.start.ns) / p.step_ns;
                double const slack = ANCHOR_SLACK_NS / p.step_ns;
                double const from = std::max(0.0, std::ceil(expected - slack));
                double const to = std::min(static_cast<double>(p.span), std::floor(expected + slack));
                if (from > to) reach[k] = Reach{p.low, 0};
                else reach[k] = Reach{p.low + static_cast<uint64_t>(from), static_cast<uint64_t>(to - from)};
            } else if (p.kind == ProbeKind::Packed && p.span < width_mask(p.width) &&
                       NUMERIC_FAMILIES[p.source].encoding.codec == PackedCodec::FatDos) {
                // The date words of either end, whatever the time words: the
                // decoded instant is held to the minute below.
                auto const lo = dos_date_word(anchor_second - ANCHOR_REACH_SECONDS);
                auto const hi = dos_date_word(anchor_second + ANCHOR_REACH_SECONDS);
                if (lo && hi && *lo <= *hi) reach[k] = Reach{uint64_t{*lo} << 16, (uint64_t{*hi} << 16 | 0xFFFF) - (uint64_t{*lo} << 16)};
            } else if (p.kind == ProbeKind::Packed && p.span < width_mask(p.width)) {
                auto const encode = PACKED_ENCODERS[static_cast<std::size_t>(NUMERIC_FAMILIES[p.source].encoding.codec)];
                auto const lo = encode(PosixNs{anchor.instant.ns - ANCHOR_DELTA_NS - ANCHOR_STEP_NS});
                auto const hi = encode(PosixNs{anchor.instant.ns + ANCHOR_DELTA_NS + ANCHOR_STEP_NS});
                if (lo && hi && *lo <= *hi) reach[k] = Reach{*lo, *hi - *lo};
            }
        }
        std::size_t const from = anchor.at >= NEAR_DISTANCE ? anchor.at - NEAR_DISTANCE : 0;
        std::size_t const to = std::min(size, anchor.at + NEAR_DISTANCE + 1);
        // The 16-bit words around the anchor in both orders, once: each
        // weak probe's top word is one of them.
        constexpr std::size_t MOST = 2 * NEAR_DISTANCE + 1;
        constexpr std::size_t WORDS = (MOST + 7) / 8 * 8 + 8;
        uint16_t little_words[WORDS];
        uint16_t big_words[WORDS];
        if (from + WORDS < size) {  // a fixed count, so that it vectorises
            for (std::size_t i = 0; i < WORDS; ++i) {
                little_words[i] = static_cast<uint16_t>(data[from + i] | data[from + i + 1] << 8);
                big_words[i] = static_cast<uint16_t>(data[from + i] << 8 | data[from + i + 1]);
            }
        } else {
            std::size_t const readable = size > from + 1 ? std::min(WORDS, size - from - 1) : 0;
            for (std::size_t i = 0; i < WORDS; ++i) {
                little_words[i] = i < readable ? static_cast<uint16_t>(data[from + i] | data[from + i + 1] << 8) : 0;
                big_words[i] = i < readable ? static_cast<uint16_t>(data[from + i] << 8 | data[from + i + 1]) : 0;
            }
        }
        for (std::size_t k = 0; k < weak_probes.size(); ++k) {
            ScanProbe const& p = plan.probes[weak_probes[k]];
            if (from + p.width > size) continue;
            std::size_t const n = std::min(to, size - p.width + 1) - from;
            // First the fields whose top 16 bits can reach: one pass over
            // the words, then the few that do are read whole.
            unsigned const shift = 8u * (p.width - 2u);
            uint64_t const mask = width_mask(p.width);
            uint64_t const top_low = (reach[k].low & mask) >> shift;
            uint64_t const top_high = ((reach[k].low + reach[k].span) & mask) >> shift;
            bool const quick = top_low <= top_high && (reach[k].low & mask) <= ((reach[k].low + reach[k].span) & mask);
            auto const t0 = static_cast<uint16_t>(top_low);
            auto const dt = static_cast<uint16_t>(quick ? top_high - top_low : 0xFFFF);
            bool const little = p.order == ByteOrder::Little;
            // A field's top word lies within it, so within the words read.
            const uint16_t* word = little ? little_words + (p.width - 2) : big_words;
            constexpr std::size_t FIELDS = (MOST + 7) / 8 * 8;  // read eight at a time
            uint8_t reaches[FIELDS];
            for (std::size_t i = 0; i < FIELDS; ++i) reaches[i] = static_cast<uint16_t>(word[i] - t0) <= dt;
            for (std::size_t i = n; i < FIELDS; ++i) reaches[i] = 0;
            uint8_t any_reach = 0;  // most anchors have no weak field in reach at all
            for (std::size_t i = 0; i < FIELDS; ++i) any_reach |= reaches[i];
            if (any_reach == 0) continue;
            for (std::size_t i = 0; i < n; ++i) {
                if (i % 8 == 0) {  // eight fields at a time: most reach none
                    uint64_t any = 0;
                    std::memcpy(&any, reaches + i, sizeof any);
                    if (any == 0) {
                        i += 7;
                        continue;
                    }
                }
                if (reaches[i] == 0) continue;
                std::size_t const at = from + i;
                if (read_raw(p, data + at, size - at) - reach[k].low > reach[k].span) continue;
                auto const instant = probe_instant(p, data + at);
                if (!instant) continue;
                i128 const delta = instant->ns - anchor.instant.ns;
                if (delta > ANCHOR_DELTA_NS || delta < -ANCHOR_DELTA_NS) continue;
                added.push_back(Found{at, weak_probes[k], *instant});
            }
        }
    }
    if (added.empty()) return;
    found.insert(found.end(), added.begin(), added.end());
    std::sort(found.begin(), found.end(),
              [](Found const& a, Found const& b) { return a.at != b.at ? a.at < b.at : a.probe < b.probe; });
    found.erase(std::unique(found.begin(), found.end(),
                            [](Found const& a, Found const& b) { return a.at == b.at && a.probe == b.probe; }),
                found.end());
}

// The most bits a hit can gather with no partner: its probe's rarity and
// prior, an aligned offset, the core era and the structure around it (text
// only ever takes bits away).
double lone_bound(const ScanProbe& p) {
    double const aligned = p.align > 1 ? std::log2((p.align >= 8 ? ALIGNED_SHARE_8 : ALIGNED_SHARE) * p.align) : 0.0;
    return p.noise_bits + p.prior_bits + std::max(0.0, aligned) + ERA_BITS;
}
// Float rounding of the evidence summed into a hit's bits.
constexpr double LONE_SLACK_BITS = 1e-3;

constexpr unsigned CLOSE_SPAN_SHIFT = 12;
static_assert(MAX_PAIR_DELTA_NS < (i128{NS_PER_SECOND} << CLOSE_SPAN_SHIFT), "partners lie in the same or the next span");

static_assert((SCAN_SIGNED_FIELD & (SCAN_READ_LITTLE_2 | SCAN_READ_LITTLE_4 | SCAN_READ_LITTLE_6 | SCAN_READ_LITTLE_8 |
                                   SCAN_READ_BIG | SCAN_READ_RECORD)) == 0,
              "a candidate byte's bits are distinct");

constexpr std::size_t LONE_SLOTS = 4096;
struct LoneSlot {
    int32_t span = 0;
    uint32_t last = 0;  // index + 1 into the hits; 0: empty
    std::size_t at = 0;  // that hit's offset
};
// Buffers of drop_lone_hits, kept from block to block.
struct LoneScratch {
    std::vector<uint8_t> keep;
    std::array<LoneSlot, LONE_SLOTS> slots;
};

// Drops the hits that can neither reach the threshold alone nor pair with
// another: no hit within MAX_DISTANCE bytes and MAX_PAIR_DELTA_NS. Such a
// hit gains no evidence and gives none, and is never a step of another
// hit's partner search, so every kept hit scores as before. Most raw hits
// of random bytes are such. `found` in offset order.
void drop_lone_hits(const ScanPlan& plan, std::span<const uint8_t> block, std::span<const StructureField> structures,
                    PlistObjects& plists, std::vector<Found>& found, LoneScratch& scratch) {
    if (found.empty()) return;
    // Hits go by in offset order into a table of the last hit seen in each
    // span of 2^12 seconds (a partner within the hour is in the same span
    // or the next). A hit looks up its span and the two beside it: one
    // seen there within MAX_DISTANCE bytes keeps both, and a chain of such
    // hits reaches every earlier one. A slot is shared by spans 2^12
    // apart: a live entry of another span is kept when it is overwritten,
    // and a hit that finds one in its way is kept too, so that nothing
    // that may pair is lost.
    std::vector<uint8_t>& keep = scratch.keep;
    keep.assign(found.size(), 0);
    std::array<LoneSlot, LONE_SLOTS>& table = scratch.slots;
    table.fill(LoneSlot{});
    auto const live = [&](LoneSlot const& slot, std::size_t at) {
        return slot.last != 0 && at - slot.at <= MAX_DISTANCE;
    };
    for (std::size_t k = 0; k < found.size(); ++k) {
        std::size_t const at = found[k].at;
        auto const span = static_cast<int32_t>(floor_div(found[k].instant.ns, i128{NS_PER_SECOND} << CLOSE_SPAN_SHIFT));
        for (int32_t const s : {span - 1, span, span + 1}) {
            LoneSlot const& slot = table[static_cast<uint32_t>(s) % LONE_SLOTS];
            if (!live(slot, at)) continue;
            keep[k] = 1;
            if (slot.span == s) keep[slot.last - 1] = 1;
        }
        LoneSlot& own = table[static_cast<uint32_t>(span) % LONE_SLOTS];
        if (live(own, at) && own.span != span) {
            keep[own.last - 1] = 1;
            keep[k] = 1;
        }
        own = LoneSlot{span, static_cast<uint32_t>(k + 1), at};
    }
    std::size_t n = 0;
    for (std::size_t k = 0; k < found.size(); ++k) {
        Found const& f = found[k];
        ScanProbe const& p = plan.probes[f.probe];
        bool alone = keep[k] == 0;
        if (alone) {
            double bound = lone_bound(p) + LONE_SLACK_BITS;
            if (bound < SCAN_THRESHOLD_BITS && structures[f.probe] != StructureField::None) {
                bound += structure_bits(structures[f.probe], block, f.at, &plists);
            }
            alone = bound < SCAN_THRESHOLD_BITS;
        }
        if (!alone) found[n++] = f;
    }
    found.resize(n);
}

// What a block scan derives from its plan, and its buffers: kept per
// thread from block to block while the plan's probes stay the same.
struct BlockTables {
    std::vector<ScanProbe> probes;
    std::vector<ProbeGroup> groups;
    std::vector<uint16_t> records;
    std::vector<StructureField> structures;
    ScanPrefilter prefilter;
    std::vector<Found> found;
    LoneScratch lone;
    PlistObjects plists;

    explicit BlockTables(const ScanPlan& plan)
        : probes(plan.probes), groups(group_probes(plan)), structures(plan.probes.size()), prefilter(plan) {
        for (std::size_t i = 0; i < plan.probes.size(); ++i) {
            if (plan.probes[i].kind == ProbeKind::Record) records.push_back(static_cast<uint16_t>(i));
            structures[i] = structure_field(plan.probes[i]);
        }
    }
};

// Hits a thread's buffer keeps between blocks: a default scan of a chunk
// finds well under this (random bytes: about 30,000 a MB).
constexpr std::size_t KEPT_FOUND = std::size_t{1} << 17;

BlockTables& tables_for(const ScanPlan& plan) {
    EPOCHSIFT_PER_THREAD std::optional<BlockTables> kept;
    if (!kept || kept->probes != plan.probes) kept.emplace(plan);
    return *kept;
}

}  // namespace

double ScanHit::confidence() const { return 1.0 / (1.0 + std::exp2((SCAN_THRESHOLD_BITS - bits) / 4.0)); }

std::size_t scan_context_bytes(const ScanPlan& plan) { return MAX_DISTANCE + plan.max_width; }

void scan_block(const ScanPlan& plan, std::span<const uint8_t> block, std::size_t begin, std::size_t end,
                uint64_t base, bool all, std::vector<ScanHit>& out) {
    end = std::min(end, block.size());
    if (begin >= end) return;
    BlockTables& tables = tables_for(plan);
    std::vector<ProbeGroup> const& groups = tables.groups;
    std::vector<uint16_t> const& records = tables.records;
    std::vector<StructureField> const& structures = tables.structures;
    uint8_t tail[16] = {};
    std::vector<Found>& found = tables.found;
    found.clear();
    tables.plists.reset();
    // The whole block is read, context included, so that hits just outside
    // [begin, end) vouch for those inside. A raw scan keeps weak hits
    // without neighbours, which the prefilter would pass over.
    ScanPrefilter* prefilter = all ? nullptr : &tables.prefilter;
    // Every probe at one offset of the tile starting at `tile`.
    // `mark`: the offset's candidate byte (SCAN_READ_* bits of the groups to
    // read, SCAN_SIGNED_FIELD), or SCAN_READ_ALL where there is none.
    auto const read_offset = [&](std::size_t at, std::size_t tile, uint8_t mark) {
        std::size_t const room = block.size() - at;
        const uint8_t* field = block.data() + at;
        if (room < 8) {  // the last bytes: read through a zero-padded copy
            std::memset(tail, 0, sizeof tail);
            std::memcpy(tail, field, room);
        }
        uint64_t word = 0;
        std::memcpy(&word, room >= 8 ? field : tail, 8);
        word = load_le(reinterpret_cast<const uint8_t*>(&word), 8);  // host order independent
        for (ProbeGroup const& g : groups) {
            if (g.width > room || (mark & g.read) == 0) continue;
            uint64_t const value = g.order == ByteOrder::Little ? word & width_mask(g.width)
                                                                : __builtin_bswap64(word) >> (64 - 8 * g.width);
            uint64_t candidates = g.by_top_byte[(value >> (8 * (g.width - 1))) & 0xFF];
            while (candidates != 0) {
                unsigned const k = static_cast<unsigned>(std::countr_zero(candidates));
                candidates &= candidates - 1;
                uint16_t const index = g.probes[k];
                ScanProbe const& p = plan.probes[index];
                if (p.kind == ProbeKind::Count || p.kind == ProbeKind::Packed) {
                    uint64_t raw = value;
                    if (p.negative && (raw >> (8 * p.width - 1)) != 0) raw |= ~width_mask(p.width);
                    if (raw - p.low > p.span) continue;
                    if ((p.negative ? ~raw : raw) < p.min_magnitude) continue;
                    // Weak: only with a close field at one of the distances,
                    // or where a signature names the field.
                    if (weak(p) && !all &&
                        ((p.width != 4 && p.width != 8) ||
                         !prefilter->near(p.order, at - tile + (p.order == ByteOrder::Little ? p.width - 2 : 0)) ||
                         !has_close_field(block.data(), block.size(), at, p.width, p.order)) &&
                        ((mark & SCAN_SIGNED_FIELD) == 0 || structure_bits(structures[index], block, at, &tables.plists) <= 0)) {
                        continue;
                    }
                } else if (p.kind == ProbeKind::Binary64) {  // the families of doubles share top bytes
                    double const x = double_of(value);
                    if (!(x >= p.x_low && x < p.x_high) || std::fabs(x) < p.x_least) continue;
                }
                if (auto const instant = probe_instant(p, field)) found.push_back(Found{at, index, *instant});
            }
        }
        for (uint16_t const index : records) {
            if ((mark & SCAN_READ_RECORD) == 0) break;
            ScanProbe const& p = plan.probes[index];
            if (p.width > room) continue;
            if (p.gate_width != 0) {  // the leading count, from the word already loaded
                uint64_t const lead = p.order == ByteOrder::Little ? word & width_mask(p.gate_width)
                                                                   : __builtin_bswap64(word) >> (64 - 8 * p.gate_width);
                if (lead - p.low > p.span) continue;
            }
            auto const record = BYTE_LAYOUTS[p.source].decode(std::span<const uint8_t>(field, p.width));
            if (record && p.window.contains(record->instant)) found.push_back(Found{at, index, record->instant});
        }
    };
    std::vector<uint8_t> candidates;
    for (std::size_t tile = 0; tile < block.size(); tile += TILE) {
        std::size_t const tile_end = std::min(block.size(), tile + TILE);
        if (!prefilter || !prefilter->usable()) {
            for (std::size_t at = tile; at < tile_end; ++at) read_offset(at, tile, SCAN_READ_ALL);
            continue;
        }
        prefilter->mark(block, tile, tile_end, candidates);
        mark_signed_fields(block, tile, tile_end, candidates);
        std::size_t const n = tile_end - tile;
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8) {  // eight offsets at a time: most have none
            uint64_t any = 0;
            std::memcpy(&any, candidates.data() + i, sizeof any);
            if (any == 0) continue;
            for (std::size_t j = i; j < i + 8; ++j) {
                if (candidates[j] != 0) read_offset(tile + j, tile, candidates[j]);
            }
        }
        for (; i < n; ++i) {
            if (candidates[i] != 0) read_offset(tile + i, tile, candidates[i]);
        }
    }
    if (!all) {
        anchor_weak_hits(plan, block.data(), block.size(), found);
        drop_lone_hits(plan, block, structures, tables.plists, found, tables.lone);
    }
    pair_up(plan, block.data(), block.size(), found);
    for (Found const& f : found) {
        if (f.at < begin || f.at >= end) continue;
        ScanProbe const& p = plan.probes[f.probe];
        ScanHit hit;
        hit.offset = base + f.at;
        hit.probe = f.probe;
        hit.instant = f.instant;
        auto& e = hit.evidence;
        e[static_cast<std::size_t>(ScanEvidence::HighBytes)] = static_cast<float>(p.noise_bits);
        e[static_cast<std::size_t>(ScanEvidence::Prior)] = static_cast<float>(p.prior_bits);
        e[static_cast<std::size_t>(ScanEvidence::Alignment)] = static_cast<float>(alignment_bits(hit.offset, p));
        e[static_cast<std::size_t>(ScanEvidence::Text)] = f.text;
        e[static_cast<std::size_t>(ScanEvidence::Era)] = static_cast<float>(era_bits(f.instant));
        e[static_cast<std::size_t>(ScanEvidence::Structure)] =
            static_cast<float>(structure_bits(structures[f.probe], block, f.at, &tables.plists));
        double const extra = std::min(EXTRA_NEIGHBOUR_CAP, EXTRA_NEIGHBOUR_BITS * std::max(0, f.strong_near - 1));
        double const near = f.best_near + extra;
        // Neighbours and records of an array overlap as evidence: together
        // they are worth no more than one record's worth of agreement.
        double const far = std::min<double>(f.best_far, std::max(0.0, CONTEXT_CAP_BITS - near));
        e[static_cast<std::size_t>(ScanEvidence::Neighbours)] = static_cast<float>(near);
        e[static_cast<std::size_t>(ScanEvidence::Stride)] = static_cast<float>(far);
        double bits = 0;
        for (float const part : e) bits += part;
        hit.bits = bits;
        if (all || bits >= SCAN_THRESHOLD_BITS) out.push_back(hit);
    }
    // A raw scan of dense data finds a hit at most offsets: what it needed
    // is not kept for the thread's life.
    if (found.capacity() > KEPT_FOUND) std::vector<Found>().swap(found);
}

namespace {

// Of two shown hits that share bytes: a field its structure names beats
// one it does not; between fields of one width, an aligned reading beats
// an unaligned one (a shifted reading of a run of equal fields looks like
// a run itself); otherwise the higher score.
bool beats(const ScanPlan& plan, const ScanHit& a, const ScanHit& b) {
    ScanProbe const& pa = plan.probes[a.probe];
    ScanProbe const& pb = plan.probes[b.probe];
    // A field its format's structure names in full (a signature, a FAT
    // entry, a plist's offset table) fixes where the bytes' field lies:
    // other readings of them are pieces of it, however well they pair.
    bool const a_named = a.evidence[static_cast<std::size_t>(ScanEvidence::Structure)] >= SCAN_STRUCTURE_CAP_BITS;
    bool const b_named = b.evidence[static_cast<std::size_t>(ScanEvidence::Structure)] >= SCAN_STRUCTURE_CAP_BITS;
    if (a_named != b_named) return a_named;
    bool const a_aligned = a.offset % pa.align == 0;
    bool const b_aligned = b.offset % pb.align == 0;
    if (pa.width == pb.width && a_aligned != b_aligned) return a_aligned;
    return a.bits > b.bits;
}

uint64_t end_of(const ScanPlan& plan, const ScanHit& h) { return h.offset + plan.probes[h.probe].width; }

}  // namespace

void settle_hits(const ScanPlan& plan, std::span<ScanHit> hits, const ScanHit* previous) {
    for (ScanHit& h : hits) h.shown = h.bits >= SCAN_THRESHOLD_BITS;
    // Where shown hits share bytes, only the best reading of them stays:
    // each shown hit against the shown hits that start before it ends.
    for (std::size_t i = 0; i < hits.size(); ++i) {
        if (!hits[i].shown) continue;
        for (std::size_t j = i + 1; j < hits.size() && hits[j].offset < end_of(plan, hits[i]); ++j) {
            if (!hits[j].shown) continue;
            if (beats(plan, hits[j], hits[i])) {
                hits[i].shown = false;
                break;
            }
            hits[j].shown = false;
        }
    }
    // Records: shown hits no more than a field apart.
    constexpr uint64_t RECORD_GAP = 8;
    uint64_t record = 0;
    uint64_t last_end = 0;
    bool open = false;
    if (previous != nullptr) {
        record = previous->record;
        last_end = previous->offset + plan.probes[previous->probe].width;
        open = true;
    }
    for (ScanHit& h : hits) {
        if (!h.shown) {
            h.record = h.offset;
            continue;
        }
        if (!open || h.offset > last_end + RECORD_GAP) record = h.offset;
        h.record = record;
        last_end = std::max(last_end, h.offset + plan.probes[h.probe].width);
        open = true;
    }
}

}  // namespace epochsift
