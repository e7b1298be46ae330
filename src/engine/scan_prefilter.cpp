#include "engine/scan_prefilter.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/vector_clones.hpp"

namespace epochsift {

namespace {

// Conditions a table entry can hold: one bit each.
constexpr std::size_t MAX_CONDITIONS = 16;
// The farthest word a condition reads, past the offset (a SYSTEMTIME's
// milliseconds at +14).
constexpr std::size_t MAX_AT = 16;

using Interval = std::pair<uint16_t, uint16_t>;  // inclusive

uint64_t width_mask(uint8_t width) { return width >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * width)) - 1; }

// The top-16 values of a field of `width` bytes holding a value of
// [low, low + span] (modulo the width).
std::vector<Interval> count_tops(uint8_t width, uint64_t low, uint64_t span) {
    uint64_t const mask = width_mask(width);
    if (span >= mask) return {{0, 0xFFFF}};
    unsigned const shift = 8u * (width - 2u);
    auto const a = static_cast<uint16_t>((low & mask) >> shift);
    auto const b = static_cast<uint16_t>(((low + span) & mask) >> shift);
    if ((low & mask) <= ((low + span) & mask)) return {{a, b}};
    return {{a, 0xFFFF}, {0, b}};
}

// The top-16 values of a count or packed probe's hits: its range, less the
// magnitudes below its least (runs of 0xFF read as tiny negative counts).
std::vector<Interval> hit_tops(const ScanProbe& p) {
    uint64_t low = p.low;
    uint64_t high = p.low + p.span;  // no wrap: ranges of 8-byte counts lie on one side of zero
    if (p.min_magnitude != 0 && low <= high) {
        if (p.negative) high = std::min(high, ~p.min_magnitude);  // ~raw >= least
        else low = std::max(low, p.min_magnitude);
        if (high < low) return {};
        return count_tops(p.width, low, high - low);
    }
    return count_tops(p.width, p.low, p.span);
}

uint16_t top_of_double(double x) {
    uint64_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    return static_cast<uint16_t>(bits >> 48);
}

// The top-16 values of the doubles x_low <= x < x_high with |x| >= x_least.
std::vector<Interval> double_tops(const ScanProbe& p) {
    std::vector<Interval> out;
    double const pos_lo = std::max(p.x_low, p.x_least);
    if (pos_lo < p.x_high) out.emplace_back(top_of_double(pos_lo), top_of_double(p.x_high));
    double const neg_lo = std::max(p.x_least, -p.x_high);  // magnitudes
    double const neg_hi = -p.x_low;
    if (neg_lo <= neg_hi) out.emplace_back(top_of_double(-neg_lo), top_of_double(-neg_hi));
    return out;
}

// The byte, from a field's first, where its top 16 bits start.
uint8_t top_at(uint8_t field_at, uint8_t width, ByteOrder order) {
    return static_cast<uint8_t>(order == ByteOrder::Little ? field_at + width - 2 : field_at);
}

// The little-endian word at `at`; bytes past the end read as zero.
uint16_t load_le16(const uint8_t* data, std::size_t size, std::size_t at) {
    if (at + 1 < size) return static_cast<uint16_t>(data[at] | data[at + 1] << 8);
    return at < size ? data[at] : 0;
}


// out[j]: the little-endian word at d[j] (d[j + 1] readable).
EPOCHSIFT_VECTOR_CLONES
void little_words(const uint8_t* d, std::size_t count, uint16_t* out) {
    for (std::size_t j = 0; j < count; ++j) out[j] = static_cast<uint16_t>(d[j] | d[j + 1] << 8);
}

// out[j]: keys[j] byte-swapped (big-endian words from little-endian ones).
EPOCHSIFT_VECTOR_CLONES
void swap_words(const uint16_t* keys, std::size_t count, uint16_t* out) {
    for (std::size_t j = 0; j < count; ++j) out[j] = static_cast<uint16_t>(keys[j] << 8 | keys[j] >> 8);
}

// Whether two words are within one of each other.
[[gnu::always_inline]] inline uint8_t close_pair(uint16_t a, uint16_t b) { return static_cast<uint16_t>(b - a + 1) <= 2; }

// near[i] = 1 when the key at i has a key within one of it at one of the
// distances before or after it; keys[-SCAN_MAX_DISTANCE, count +
// SCAN_MAX_DISTANCE) are readable. One pass, every distance at once.
EPOCHSIFT_VECTOR_CLONES
void close_near(const uint16_t* keys, std::size_t count, uint8_t* near) {
    for (std::size_t i = 0; i < count; ++i) {
        uint16_t const k = keys[i];
        uint8_t any = 0;
        for (uint16_t const d : SCAN_NEAR_DISTANCES) any |= close_pair(k, keys[i + d]) | close_pair(keys[i - d], k);
        for (uint16_t const d : SCAN_STRIDE_DISTANCES) any |= close_pair(k, keys[i + d]) | close_pair(keys[i - d], k);
        near[i] = any;
    }
}

// cand[i] |= the word at i meets `bit` and has a close word.
EPOCHSIFT_VECTOR_CLONES
void mark_near(const uint16_t* met, uint16_t bit, const uint8_t* near, std::size_t n, uint8_t read, uint8_t* cand) {
    for (std::size_t i = 0; i < n; ++i) {
        cand[i] |= static_cast<uint8_t>(-static_cast<uint8_t>(((met[i] & bit) != 0) & near[i])) & read;
    }
}

// cand[i] |= a[i] meets bit_a, b[i] bit_b and c[i] bit_c.
EPOCHSIFT_VECTOR_CLONES
void mark_all(const uint16_t* a, uint16_t bit_a, const uint16_t* b, uint16_t bit_b, const uint16_t* c, uint16_t bit_c,
              std::size_t n, uint8_t read, uint8_t* cand) {
    for (std::size_t i = 0; i < n; ++i) {
        auto const all = static_cast<uint8_t>(((a[i] & bit_a) != 0) & ((b[i] & bit_b) != 0) & ((c[i] & bit_c) != 0));
        cand[i] |= static_cast<uint8_t>(-all) & read;
    }
}

}  // namespace

uint8_t scan_read_bit(ProbeKind kind, uint8_t width, ByteOrder order) {
    if (kind == ProbeKind::Record) return SCAN_READ_RECORD;
    if (order == ByteOrder::Big) return SCAN_READ_BIG;
    switch (width) {
    case 2: return SCAN_READ_LITTLE_2;
    case 4: return SCAN_READ_LITTLE_4;
    case 6: return SCAN_READ_LITTLE_6;
    case 8: return SCAN_READ_LITTLE_8;
    default: return SCAN_READ_ALL;
    }
}

bool weak_probe(const ScanProbe& probe) {
    return (probe.kind == ProbeKind::Count || probe.kind == ProbeKind::Packed) && probe.noise_bits < SCAN_WEAK_NOISE_BITS;
}

ScanPrefilter::ScanPrefilter(const ScanPlan& plan) : table_(std::size_t{1} << 16, 0) {
    struct Condition {
        ByteOrder order;
        uint8_t at;
        bool shared;  // may take more intervals: a union over probes of one kind
        bool weak;
        std::vector<Interval> tops;
    };
    std::vector<Condition> conditions;
    // The condition's index: shared ones are merged by place and kind.
    auto const condition = [&](ByteOrder order, uint8_t at, bool shared, bool weak, std::vector<Interval> tops) {
        if (shared) {
            for (std::size_t i = 0; i < conditions.size(); ++i) {
                Condition& c = conditions[i];
                if (c.shared && c.order == order && c.at == at && c.weak == weak) {
                    c.tops.insert(c.tops.end(), tops.begin(), tops.end());
                    return i;
                }
            }
        }
        conditions.push_back(Condition{order, at, shared, weak, std::move(tops)});
        return conditions.size() - 1;
    };
    struct Pending {
        std::size_t a;
        std::size_t b;  // == a: one condition
        std::size_t c;  // == a: two at most
        uint8_t read;
    };
    std::vector<Pending> pending;
    for (ScanProbe const& p : plan.probes) {
        switch (p.kind) {
        case ProbeKind::Count:
        case ProbeKind::Packed: {
            if (p.width < 2) {
                usable_ = false;
                break;
            }
            bool const weak = weak_probe(p);
            // A weak probe of another width is never kept outside a raw scan.
            if (weak && p.width != 4 && p.width != 8) break;
            std::size_t const c = condition(p.order, top_at(0, p.width, p.order), true, weak, hit_tops(p));
            pending.push_back({c, c, c, scan_read_bit(p.kind, p.width, p.order)});
            break;
        }
        case ProbeKind::Binary64: {
            std::size_t const c = condition(p.order, top_at(0, p.width, p.order), true, false, double_tops(p));
            pending.push_back({c, c, c, scan_read_bit(p.kind, p.width, p.order)});
            break;
        }
        case ProbeKind::Record: {
            if (p.gate_width < 2) {
                usable_ = false;
                break;
            }
            // The leading count's top word: of its low bytes when the bytes
            // above them are zero for every value of its range (a 64-bit
            // count of seconds), so that runs of zeros do not pass.
            uint8_t used = p.gate_width;
            while (used > 2 && p.span < width_mask(used) && ((p.low + p.span) >> (8 * (used - 1))) == 0) --used;
            auto const gate_at = static_cast<uint8_t>(p.order == ByteOrder::Little ? used - 2 : p.gate_width - used);
            std::size_t const gate = condition(p.order, gate_at, false, false, count_tops(used, p.low, p.span));
            std::size_t bound = gate;
            if (p.bound_width >= 2) {
                bound = condition(p.order, top_at(p.bound_at, p.bound_width, p.order), false, false,
                                  count_tops(p.bound_width, 0, p.bound_max));
            }
            std::size_t zero = gate;  // and the count's top word, zero
            if (used < p.gate_width) zero = condition(p.order, top_at(0, p.gate_width, p.order), false, false, {{0, 0}});
            pending.push_back({gate, bound, zero, SCAN_READ_RECORD});
            break;
        }
        }
    }
    if (conditions.size() > MAX_CONDITIONS ||
        std::any_of(conditions.begin(), conditions.end(), [](Condition const& c) { return c.at + 2u > MAX_AT; })) {
        usable_ = false;
    }
    if (!usable_) return;
    for (std::size_t i = 0; i < conditions.size(); ++i) {
        Condition const& c = conditions[i];
        auto const bit = static_cast<uint16_t>(1u << i);
        for (auto const& [a, b] : c.tops) {
            for (uint32_t w = a; w <= b; ++w) {
                uint32_t const index = c.order == ByteOrder::Little ? w : ((w & 0xFF) << 8 | w >> 8);
                table_[index] = static_cast<uint16_t>(table_[index] | bit);
            }
        }
    }
    // One rule a condition pair; shared conditions once.
    for (Pending const& p : pending) {
        Condition const& a = conditions[p.a];
        Rule r;
        r.bit_a = static_cast<uint16_t>(1u << p.a);
        r.at_a = a.at;
        if (p.b != p.a) {
            r.bit_b = static_cast<uint16_t>(1u << p.b);
            r.at_b = conditions[p.b].at;
        }
        if (p.c != p.a) {
            r.bit_c = static_cast<uint16_t>(1u << p.c);
            r.at_c = conditions[p.c].at;
        }
        r.weak = a.weak;
        r.big = a.order == ByteOrder::Big;
        r.read = p.read;
        bool const seen = std::any_of(rules_.begin(), rules_.end(), [&](Rule const& o) {
            return o.bit_a == r.bit_a && o.bit_b == r.bit_b && o.bit_c == r.bit_c && o.read == r.read;
        });
        if (!seen) rules_.push_back(r);
        weak_little_ |= r.weak && !r.big;
        weak_big_ |= r.weak && r.big;
    }
}

void ScanPrefilter::mark(std::span<const uint8_t> block, std::size_t first, std::size_t last,
                         std::vector<uint8_t>& candidates) {
    std::size_t const n = last > first ? last - first : 0;
    candidates.assign(n, 0);
    if (n == 0) return;
    const uint8_t* data = block.data();
    std::size_t const size = block.size();
    // keys_[j]: the little-endian word at first - SCAN_MAX_DISTANCE + j
    // (bytes outside the block read as zero), for the conditions of each
    // word from `first` and the close words around it.
    std::size_t const words = n + MAX_AT;
    std::size_t const span = words + 2 * SCAN_MAX_DISTANCE;
    keys_.resize(span);
    std::size_t const skip = SCAN_MAX_DISTANCE - std::min(first, SCAN_MAX_DISTANCE);  // keys before the block
    std::size_t const origin = first + skip - SCAN_MAX_DISTANCE;
    std::size_t const whole = size > origin + 1 ? std::min(span - skip, size - origin - 1) : 0;  // both bytes inside
    std::fill(keys_.begin(), keys_.begin() + static_cast<std::ptrdiff_t>(skip), 0);
    little_words(data + origin, whole, keys_.data() + skip);
    for (std::size_t j = skip + whole; j < span; ++j) keys_[j] = load_le16(data, size, origin + (j - skip));
    uint16_t const* centre = keys_.data() + SCAN_MAX_DISTANCE;
    met_.resize(words);
    for (std::size_t i = 0; i < words; ++i) met_[i] = table_[centre[i]];
    near_little_.clear();
    near_big_.clear();
    if (weak_little_) {
        near_little_.resize(words);
        close_near(centre, words, near_little_.data());
    }
    if (weak_big_) {
        big_keys_.resize(span);
        swap_words(keys_.data(), span, big_keys_.data());
        near_big_.resize(words);
        close_near(big_keys_.data() + SCAN_MAX_DISTANCE, words, near_big_.data());
    }
    for (Rule const& r : rules_) {
        uint16_t const* a = met_.data() + r.at_a;
        if (r.weak) {
            uint8_t const* near = (r.big ? near_big_ : near_little_).data() + r.at_a;
            mark_near(a, r.bit_a, near, n, r.read, candidates.data());
        } else {
            // Fewer than three conditions: the first's bit again.
            uint16_t const* b = r.bit_b != 0 ? met_.data() + r.at_b : a;
            uint16_t const* c = r.bit_c != 0 ? met_.data() + r.at_c : a;
            mark_all(a, r.bit_a, b, r.bit_b != 0 ? r.bit_b : r.bit_a, c, r.bit_c != 0 ? r.bit_c : r.bit_a, n, r.read,
                     candidates.data());
        }
    }
}

}  // namespace epochsift
