#include "engine/scan_plan.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "formats/byte_layouts.hpp"
#include "formats/numeric_decode.hpp"
#include "formats/numeric_family_table.hpp"
#include "formats/packed_codecs.hpp"

namespace epochsift {

namespace {

// The records a default scan reads, and a cheap gate on some of them: the
// record's leading count must lie in Unix time's window before the decoder
// runs. Records not listed are read only when named.
enum class Gate : uint8_t {
    None,
    UnixCount,  // a Unix time in seconds of the gate's width
    YearWord,   // a 16-bit year in the window's years
};

struct ScanRecord {
    std::string_view id;
    Gate gate;
    uint8_t gate_width;
    ByteOrder gate_order;
    bool by_default;  // read without being named
    uint8_t align;    // the boundary its writers start it on
    // A later field of the record that its format keeps below a bound, in
    // the gate's byte order (0 wide: none): a second cheap test.
    uint8_t bound_at;
    uint8_t bound_width;
    uint32_t bound_max;
};
constexpr std::array<ScanRecord, 5> DEFAULT_RECORDS = {{
    {"dos_date_time", Gate::None, 0, ByteOrder::Little, false, 2, 0, 0, 0},  // ZIP and FAT keep the time word first (fat)
    // pcap-savefile(5): ts_usec below 10^6
    {"pcap", Gate::UnixCount, 4, ByteOrder::Little, true, 4, 4, 4, 999'999},
    {"pcap_be", Gate::UnixCount, 4, ByteOrder::Big, false, 4, 4, 4, 999'999},  // rare; ZIP signatures read as one
    // btrfs_timespec: nsec below 10^9
    {"btrfs", Gate::UnixCount, 8, ByteOrder::Little, true, 4, 8, 4, 999'999'999},
    // [MS-DTYP] 2.3.13: wMilliseconds below 1000
    {"systemtime", Gate::YearWord, 2, ByteOrder::Little, true, 2, 14, 2, 999},
}};

consteval bool default_records_exist() {
    for (ScanRecord const& r : DEFAULT_RECORDS) {
        bool found = false;
        for (auto const& id : {"dos_date_time", "pcap", "pcap_be", "btrfs", "systemtime"}) found |= r.id == id;
        if (!found) return false;
    }
    return true;
}
static_assert(default_records_exist());

// Fixed seed: a plan, and so every score, is the same on every run.
constexpr uint64_t SAMPLE_SEED = 0x5eed'0f'b10b5ull;
constexpr int SAMPLES = 1 << 14;
// A binary64 hit's magnitude is at least this share of the window's largest: six
// binades, within which random doubles spread their instants evenly enough.
constexpr double BINARY64_LEAST_SHARE = 1.0 / 64;


uint64_t splitmix64(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint64_t width_mask(uint8_t width) { return width >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * width)) - 1; }

double prior_bits_of(PriorTier tier) { return 2.0 * std::log2(prior_value(tier)); }

// The raw value a key of the probe's domain stands for: keys run in the
// order the family's instants do.
int64_t raw_of_key(uint64_t key) { return static_cast<int64_t>(key); }

// The first key in [lo, hi] whose instant is at or after `at`.
std::optional<uint64_t> first_key_at(const NumericFamily& family, uint64_t lo, uint64_t hi, PosixNs at) {
    auto const reaches = [&](uint64_t key) {
        auto const instant = decode_integer(family, raw_of_key(key));
        return instant && *instant >= at;
    };
    if (!reaches(hi)) return std::nullopt;
    while (lo < hi) {
        uint64_t const mid = lo + (hi - lo) / 2;
        if (reaches(mid)) hi = mid;
        else lo = mid + 1;
    }
    return lo;
}

struct KeyRange {
    uint64_t low;
    uint64_t span;
};

// The keys of [lo, hi] whose instants lie in the window.
std::optional<KeyRange> count_range(const NumericFamily& family, uint64_t lo, uint64_t hi, InstantWindow window) {
    auto const first = first_key_at(family, lo, hi, window.start);
    if (!first) return std::nullopt;
    auto const past = first_key_at(family, *first, hi, window.end);  // the first key past the window
    if (past && *past == *first) return std::nullopt;
    uint64_t const last = past ? *past - 1 : hi;
    return KeyRange{*first, last - *first};
}

// The domain of a width's keys: unsigned values (all 64 bits only for an
// unsigned fixed-point field, else up to 2^63 - 1), or negative ones.
struct Domain {
    uint64_t lo;
    uint64_t hi;
};
Domain domain_of(uint8_t width, bool negative, bool full_unsigned) {
    if (negative) return {~uint64_t{0} << (8 * width - 1), ~uint64_t{0}};
    if (width < 8) return {0, width_mask(width)};
    return {0, full_unsigned ? ~uint64_t{0} : static_cast<uint64_t>(INT64_MAX)};
}

// Bytes needed for the largest magnitude the range reaches.
uint8_t bytes_needed(uint64_t low, uint64_t span, bool negative) {
    uint64_t const top = negative ? ~low : low + span;
    int const bits = 64 - std::countl_zero(top) + (negative ? 1 : 0);
    return static_cast<uint8_t>(std::max(1, (bits + 7) / 8));
}

InstantWindow window_for(const ScanRequest& request, PosixNs start, PosixNs end) {
    return request.window ? *request.window : InstantWindow{start, end};
}

// The order-preserving instants of a binary64 row, as the ordered key of
// the double's bits: keys of doubles increase with their values.
uint64_t double_key(double x) {
    uint64_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    return (bits >> 63) != 0 ? ~bits : bits | (uint64_t{1} << 63);
}

void add_count_probes(std::vector<ScanProbe>& out, std::size_t index, const NumericFamily& family,
                      InstantWindow window, const std::vector<uint8_t>& widths) {
    bool const fixed = family.encoding.tag == Encoding::Tag::Fixed;
    double const step = static_cast<double>(unit_ns(family.encoding.unit)) /
                        std::ldexp(1.0, static_cast<int>(family.encoding.shift));
    for (bool const negative : {false, true}) {
        if (negative && family.encoding.tag != Encoding::Tag::Integer) continue;
        // The narrowest width that holds the whole range is the one read;
        // a wider field holding the same count is found there too.
        for (uint8_t const width : SCAN_INT_WIDTHS) {
            Domain const d = domain_of(width, negative, fixed);
            auto const range = count_range(family, d.lo, d.hi, window);
            if (!range) continue;
            bool const whole = [&] {
                if (width == 8) return true;
                Domain const wide = domain_of(8, negative, fixed);
                auto const all = count_range(family, wide.lo, wide.hi, window);
                return all && all->span == range->span;
            }();
            if (!whole) continue;
            if (std::find(widths.begin(), widths.end(), width) != widths.end()) {
                for (ByteOrder const order : {ByteOrder::Little, ByteOrder::Big}) {
                    ScanProbe p;
                    p.kind = ProbeKind::Count;
                    p.source = static_cast<uint16_t>(index);
                    p.width = width;
                    p.order = order;
                    p.negative = negative;
                    p.low = range->low;
                    p.span = range->span;
                    p.step_ns = step;
                    uint8_t const significant = std::min(width, bytes_needed(range->low, range->span, negative));
                    // Small counts (the first months after an epoch) are what
                    // most fields hold: a hit uses its top significant byte.
                    p.significant = significant;
                    p.align = width == 6 ? 2 : width;
                    // (A window that starts above that bound needs no such cut.)
                    uint64_t const top_byte = significant > 1 ? uint64_t{1} << (8 * (significant - 1)) : 0;
                    p.min_magnitude = negative || range->low == 0 ? top_byte : std::min(top_byte, range->low);
                    p.noise_bits = 8.0 * significant - std::log2(static_cast<double>(range->span) + 1.0);
                    p.prior_bits = prior_bits_of(family.prior);
                    p.window = window;
                    p.local = family.local;
                    out.push_back(p);
                }
            }
            break;
        }
    }
}

// Doubles whose ordered keys lie in [a, b), counted.
double doubles_between(double a, double b) { return a < b ? static_cast<double>(double_key(b) - double_key(a)) : 0.0; }

void add_binary64_probes(std::vector<ScanProbe>& out, std::size_t index, const NumericFamily& family,
                         InstantWindow window) {
    double const unit = static_cast<double>(unit_ns(family.encoding.unit));
    double const x_low = static_cast<double>(window.start.ns - family.epoch.ns) / unit;
    double const x_high = static_cast<double>(window.end.ns - family.epoch.ns) / unit;
    // Values far below the window's largest magnitude (the first weeks
    // after an epoch inside the window) are what tiny and zero fields read as.
    double const least = std::max(std::fabs(x_low), std::fabs(x_high)) * BINARY64_LEAST_SHARE;
    double const count = doubles_between(std::max(x_low, least), x_high) + doubles_between(x_low, std::min(x_high, -least));
    for (ByteOrder const order : {ByteOrder::Little, ByteOrder::Big}) {
        ScanProbe p;
        p.kind = ProbeKind::Binary64;
        p.align = 8;
        p.source = static_cast<uint16_t>(index);
        p.width = 8;
        p.order = order;
        p.x_low = x_low;
        p.x_high = x_high;
        p.x_least = least;
        p.noise_bits = 64.0 - std::log2(std::max(count, 1.0));
        p.prior_bits = prior_bits_of(family.prior);
        p.window = window;
        p.local = family.local;
        out.push_back(p);
    }
}

// A packed layout gets a range prefilter when its encoding keeps the order
// of instants across the window (years in the top bits); the decoder
// decides every hit.
void add_packed_probes(std::vector<ScanProbe>& out, std::size_t index, const NumericFamily& family,
                       InstantWindow window, const std::vector<uint8_t>& widths) {
    auto const encode = PACKED_ENCODERS[static_cast<std::size_t>(family.encoding.codec)];
    uint64_t state = SAMPLE_SEED + index;
    i128 const length = window.end.ns - window.start.ns;
    std::vector<std::pair<i128, uint64_t>> samples;
    uint64_t widest = 0;
    for (int i = 0; i < 256; ++i) {
        i128 const at = window.start.ns + static_cast<i128>(splitmix64(state) % static_cast<uint64_t>(length / NS_PER_SECOND)) * NS_PER_SECOND;
        auto const raw = encode(PosixNs{at});
        if (!raw) continue;
        samples.emplace_back(at, *raw);
        widest = std::max(widest, *raw);
    }
    if (samples.empty()) return;
    uint8_t width = 8;
    for (uint8_t const w : SCAN_INT_WIDTHS) {
        if (widest <= width_mask(w)) {
            width = w;
            break;
        }
    }
    if (std::find(widths.begin(), widths.end(), width) == widths.end()) return;
    std::sort(samples.begin(), samples.end());
    bool const ordered = std::is_sorted(samples.begin(), samples.end(),
                                        [](auto const& a, auto const& b) { return a.second < b.second; });
    uint64_t low = 0;
    uint64_t span = width_mask(width);
    if (ordered) {
        auto const first = encode(window.start);
        auto const last = encode(PosixNs{window.end.ns - NS_PER_SECOND});
        if (first && last && *first <= *last) {
            low = *first;
            span = *last - *first;
        }
    }
    for (ByteOrder const order : {ByteOrder::Little, ByteOrder::Big}) {
        ScanProbe p;
        p.kind = ProbeKind::Packed;
        p.align = 2;  // date and time words
        p.source = static_cast<uint16_t>(index);
        p.width = width;
        p.order = order;
        p.low = low;
        p.span = span;
        p.prior_bits = prior_bits_of(family.prior);
        p.window = window;
        p.local = family.local;
        out.push_back(p);
    }
}

void add_record_probe(std::vector<ScanProbe>& out, std::size_t index, InstantWindow window, bool listed,
                      const ScanRecord* gate) {
    ScanProbe p;
    p.kind = ProbeKind::Record;
    p.source = static_cast<uint16_t>(index);
    p.width = BYTE_LAYOUTS[index].width;
    p.prior_bits = prior_bits_of(listed ? PriorTier::Common : PriorTier::Rare);
    p.window = window;
    p.span = ~uint64_t{0};
    p.align = gate != nullptr ? gate->align : 1;
    if (gate != nullptr) {
        p.bound_at = gate->bound_at;
        p.bound_width = gate->bound_width;
        p.bound_max = gate->bound_max;
    }
    if (gate != nullptr && gate->gate == Gate::YearWord) {
        // Years from the window's, a year of slack either side.
        constexpr int64_t SECONDS_PER_YEAR = 31'556'952;  // Gregorian mean
        auto const year_of = [](PosixNs t) { return 1970 + static_cast<int64_t>(floor_div(t.ns, i128{SECONDS_PER_YEAR} * NS_PER_SECOND)); };
        int64_t const first = std::max<int64_t>(0, year_of(window.start) - 1);
        int64_t const last = std::min<int64_t>(0xFFFF, year_of(window.end) + 1);
        p.low = static_cast<uint64_t>(first);
        p.span = static_cast<uint64_t>(last - first);
        p.order = gate->gate_order;
        p.gate_width = gate->gate_width;
    }
    if (gate != nullptr && gate->gate == Gate::UnixCount) {
        // The leading count's range: Unix time's at the gate's width.
        NumericFamily const& unix_row = NUMERIC_FAMILIES[0];
        Domain const d = domain_of(gate->gate_width, false, false);
        if (auto const range = count_range(unix_row, d.lo, d.hi, window)) {
            p.low = range->low;
            p.span = range->span;
            p.order = gate->gate_order;
            p.gate_width = gate->gate_width;
        }
    }
    out.push_back(p);
}

bool same_counting(const NumericFamily& a, const NumericFamily& b) {
    return a.encoding.tag == b.encoding.tag && a.encoding.unit == b.encoding.unit && a.encoding.shift == b.encoding.shift &&
           a.encoding.codec == b.encoding.codec && a.epoch == b.epoch && a.scale == b.scale;
}

// The families a scan reads unless told otherwise: the everyday and common
// ones, less identifiers (any small number is one) and rows that count
// exactly as an earlier row does (PRTime as Unix microseconds).
bool in_default_set(std::size_t index) {
    auto const wanted = [](const NumericFamily& f) {
            // Of the packed layouts only FAT/DOS: the others' integer is not how
        // their bytes are stored (SQL Server's two words) or is rare.
        bool const packed_ok = f.encoding.tag != Encoding::Tag::Packed || f.encoding.codec == PackedCodec::FatDos;
        return (f.prior == PriorTier::Everyday || f.prior == PriorTier::Common) &&
               f.encoding.tag != Encoding::Tag::Shifted && packed_ok;
    };
    NumericFamily const& family = NUMERIC_FAMILIES[index];
    if (!wanted(family)) return false;
    for (std::size_t i = 0; i < index; ++i) {
        if (wanted(NUMERIC_FAMILIES[i]) && same_counting(NUMERIC_FAMILIES[i], family)) return false;
    }
    return true;
}

const ScanRecord* default_record(std::string_view id) {
    for (ScanRecord const& r : DEFAULT_RECORDS) {
        if (r.id == id) return &r;
    }
    return nullptr;
}

// Below this, a probe's hits are mostly noise (see above).
constexpr double DEFAULT_WEAK_BITS = 6.0;

// Bits a record's checks beyond its leading count are worth, and at most.
constexpr double RECORD_CHECK_BITS = 2.0;
constexpr double RECORD_CAP_BITS = 10.0;

double gate_noise_bits(const ScanProbe& p) {
    return 8.0 * 4 - std::log2(static_cast<double>(p.span) + 1.0);  // the gate's count, read as 4 significant bytes
}

// Sampled share of random fields a probe hits, for the layouts whose hits
// no range describes.
double sampled_noise_bits(const ScanProbe& probe) {
    uint64_t state = SAMPLE_SEED ^ (uint64_t{probe.source} << 8 | probe.width);
    uint8_t bytes[16];
    int hits = 0;
    for (int i = 0; i < SAMPLES; ++i) {
        uint64_t const a = splitmix64(state);
        uint64_t const b = splitmix64(state);
        std::memcpy(bytes, &a, 8);
        std::memcpy(bytes + 8, &b, 8);
        hits += probe_instant(probe, bytes).has_value() ? 1 : 0;
    }
    // No hit in the sample: credit half a hit rather than certainty.
    return std::log2(static_cast<double>(SAMPLES) / std::max(0.5, static_cast<double>(hits)));
}

}  // namespace

std::string_view probe_format_id(const ScanProbe& probe) {
    return probe.kind == ProbeKind::Record ? BYTE_LAYOUTS[probe.source].id : NUMERIC_FAMILIES[probe.source].id;
}

std::string_view probe_label(const ScanProbe& probe) {
    return probe.kind == ProbeKind::Record ? BYTE_LAYOUTS[probe.source].label : NUMERIC_FAMILIES[probe.source].label;
}

uint64_t probe_raw(const ScanProbe& probe, const uint8_t* bytes) {
    uint8_t const width = probe.kind == ProbeKind::Record ? probe.gate_width : probe.width;
    uint8_t buffer[8] = {};
    std::memcpy(buffer, bytes, width);  // the field's own bytes only
    uint64_t word = 0;
    for (int i = 7; i >= 0; --i) word = word << 8 | buffer[i];  // little-endian, whatever the host
    uint64_t value = probe.order == ByteOrder::Little ? word : __builtin_bswap64(word) >> (64 - 8 * width);
    if (probe.negative && width < 8 && (value >> (8 * width - 1)) != 0) value |= ~width_mask(width);
    return value;
}

std::optional<PosixNs> probe_instant(const ScanProbe& probe, const uint8_t* bytes) {
    switch (probe.kind) {
    case ProbeKind::Count:
    case ProbeKind::Packed: {
        uint64_t const value = probe_raw(probe, bytes);
        if (value - probe.low > probe.span) return std::nullopt;
        if (value == 0 || value == width_mask(probe.width)) return std::nullopt;  // unset-field markers
        if ((probe.negative ? ~value : value) < probe.min_magnitude) return std::nullopt;
        auto const instant = decode_integer(NUMERIC_FAMILIES[probe.source], static_cast<int64_t>(value));
        if (!instant || !probe.window.contains(*instant)) return std::nullopt;
        return *instant;
    }
    case ProbeKind::Binary64: {
        uint64_t value = 0;
        for (int i = 0; i < 8; ++i) {
            value = probe.order == ByteOrder::Little ? value | uint64_t{bytes[i]} << (8 * i) : value << 8 | bytes[i];
        }
        double x = 0;
        std::memcpy(&x, &value, sizeof x);
        if (!(x >= probe.x_low && x < probe.x_high)) return std::nullopt;
        if (std::fabs(x) < probe.x_least) return std::nullopt;
        auto const instant = decode_float(NUMERIC_FAMILIES[probe.source], x);
        if (!instant || !probe.window.contains(*instant)) return std::nullopt;
        return *instant;
    }
    case ProbeKind::Record: {
        if (probe.gate_width != 0) {
            uint64_t const lead = probe_raw(probe, bytes);
            if (lead - probe.low > probe.span) return std::nullopt;
        }
        auto const found = BYTE_LAYOUTS[probe.source].decode(std::span<const uint8_t>(bytes, probe.width));
        if (!found || !probe.window.contains(found->instant)) return std::nullopt;
        return found->instant;
    }
    }
    return std::nullopt;
}

ScanPlanResult make_scan_plan(const ScanRequest& request) {
    ScanPlanResult result;
    if (request.window && !(request.window->start < request.window->end)) {
        result.error = ScanPlanError::EmptyWindow;
        return result;
    }
    std::vector<uint8_t> widths = request.widths;
    if (widths.empty()) {
        widths.assign(SCAN_INT_WIDTHS.begin(), SCAN_INT_WIDTHS.end());
        for (ByteLayout const& layout : BYTE_LAYOUTS) widths.push_back(layout.width);
    }
    for (uint8_t const w : widths) {
        bool const known = std::find(SCAN_INT_WIDTHS.begin(), SCAN_INT_WIDTHS.end(), w) != SCAN_INT_WIDTHS.end() ||
                           std::any_of(BYTE_LAYOUTS.begin(), BYTE_LAYOUTS.end(),
                                       [w](ByteLayout const& l) { return l.width == w; });
        if (!known) {
            result.error = ScanPlanError::BadWidth;
            return result;
        }
    }
    for (std::string_view const name : request.formats) {
        bool const known =
            std::any_of(NUMERIC_FAMILIES.begin(), NUMERIC_FAMILIES.end(), [name](auto const& f) { return f.id == name; }) ||
            std::any_of(BYTE_LAYOUTS.begin(), BYTE_LAYOUTS.end(), [name](auto const& l) { return l.id == name; });
        if (!known) {
            result.error = ScanPlanError::UnknownFormat;
            result.offending = name;
            return result;
        }
    }
    auto const named = [&](std::string_view id) {
        return std::find(request.formats.begin(), request.formats.end(), id) != request.formats.end();
    };
    bool const defaults = request.formats.empty();

    ScanPlan plan;
    for (std::size_t i = 0; i < NUMERIC_FAMILIES.size(); ++i) {
        NumericFamily const& family = NUMERIC_FAMILIES[i];
        if (defaults ? !in_default_set(i) : !named(family.id)) continue;
        if (request.reference_only && !family.reference()) continue;
        InstantWindow const window = window_for(request, family.window_start, family.window_end);
        switch (family.encoding.tag) {
        case Encoding::Tag::Integer:
        case Encoding::Tag::Shifted:
        case Encoding::Tag::Fixed: add_count_probes(plan.probes, i, family, window, widths); break;
        case Encoding::Tag::Float:
            if (std::find(widths.begin(), widths.end(), 8) != widths.end()) add_binary64_probes(plan.probes, i, family, window);
            break;
        case Encoding::Tag::Packed: add_packed_probes(plan.probes, i, family, window, widths); break;
        }
    }
    for (std::size_t i = 0; i < BYTE_LAYOUTS.size(); ++i) {
        ByteLayout const& layout = BYTE_LAYOUTS[i];
        const ScanRecord* listed = default_record(layout.id);
        if (defaults ? listed == nullptr || !listed->by_default : !named(layout.id)) continue;
        if (request.reference_only) continue;  // the binary records are read by the extended reading only
        if (std::find(widths.begin(), widths.end(), layout.width) == widths.end()) continue;
        InstantWindow const window = window_for(request, numeric_families_detail::WINDOW_START,
                                                numeric_families_detail::WINDOW_END);
        add_record_probe(plan.probes, i, window, listed != nullptr, listed);
    }
    for (ScanProbe& p : plan.probes) {
        if (p.kind == ProbeKind::Packed || p.kind == ProbeKind::Record) p.noise_bits = sampled_noise_bits(p);
        // A record's checks past its leading count (microseconds below 10^6,
        // a zero high word) are what small numbers in structures pass too:
        // in real files it is about as rare as that count.
        if (p.kind == ProbeKind::Record) {
            bool const counted = p.gate_width >= 4;  // a Unix count leads the record
            p.noise_bits = std::min(p.noise_bits, counted ? gate_noise_bits(p) + RECORD_CHECK_BITS : RECORD_CAP_BITS);
        }
        plan.max_width = std::max<std::size_t>(plan.max_width, p.width);
    }
    if (defaults) {
        // Probes that a tenth or more of random fields hit are worth reading
        // unasked only for the everyday families and FAT/DOS times.
        std::erase_if(plan.probes, [](ScanProbe const& p) {
            if (p.kind == ProbeKind::Record || p.noise_bits >= DEFAULT_WEAK_BITS) return false;
            NumericFamily const& f = NUMERIC_FAMILIES[p.source];
            return f.prior != PriorTier::Everyday && !(f.packed() && f.encoding.codec == PackedCodec::FatDos);
        });
    }
    if (plan.probes.empty()) return result;
    result.plan = std::move(plan);
    return result;
}

}  // namespace epochsift
