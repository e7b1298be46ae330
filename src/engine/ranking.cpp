#include "engine/ranking.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <span>

namespace epochsift {

namespace {

// Each format's place among the catalog's ids in byte order (as
// string_view compares them), from 1; equal ids share a place. Made once.
using IdPlaces = std::array<uint16_t, FORMAT_COUNT>;
const IdPlaces& id_places() {
    static const IdPlaces places = [] {
        std::array<uint16_t, FORMAT_COUNT> by_id{};
        for (std::size_t i = 0; i < FORMAT_COUNT; ++i) by_id[i] = static_cast<uint16_t>(i);
        auto const id = [](uint16_t i) { return format_id(*FormatRef::from_index(i)); };
        std::sort(by_id.begin(), by_id.end(), [&](uint16_t a, uint16_t b) { return id(a) < id(b); });
        IdPlaces out{};
        uint16_t place = 0;
        for (std::size_t k = 0; k < FORMAT_COUNT; ++k) {
            if (k == 0 || id(by_id[k]) != id(by_id[k - 1])) ++place;
            out[by_id[k]] = place;
        }
        return out;
    }();
    return places;
}

struct OrderKeys {
    double score;
    bool string_form;
    bool rare;
    uint16_t id_place;  // the id's place; 0 for string forms: they keep table order
    std::size_t index;  // position before sorting
};

OrderKeys keys_of(const Candidate& c, std::size_t index, const IdPlaces& places) {
    return {c.score, c.facts.string_form, c.facts.rare, c.facts.string_form ? uint16_t{0} : places[c.format.index()],
            index};
}

bool keys_before(const OrderKeys& a, const OrderKeys& b) {
    if (b.score < a.score) return true;
    if (a.score < b.score) return false;
    if (a.string_form != b.string_form) return b.string_form;
    if (a.rare != b.rare) return b.rare;
    // The ids in byte order, shorter prefix first.
    return a.id_place < b.id_place;
}

// Moves readings into the order of keys (each key holds the position its
// reading had before sorting), in place, one cycle at a time: each reading is
// moved once, plus one move through a temporary per cycle.
template <typename Key>
void apply_order(std::vector<Candidate>& readings, std::span<Key> keys) {
    std::size_t const n = readings.size();
    for (std::size_t start = 0; start < n; ++start) {
        if (keys[start].index == start || keys[start].index == n) continue;
        Candidate held = std::move(readings[start]);
        std::size_t to = start;
        for (;;) {
            std::size_t const from = keys[to].index;
            keys[to].index = n;  // placed
            if (from == start) {
                readings[to] = std::move(held);
                break;
            }
            readings[to] = std::move(readings[from]);
            to = from;
        }
    }
}

// A stable sort of a value's keys: by insertion up to ON_STACK of them (a
// value has at most one reading per family and form; no buffer is needed),
// merging beyond.
template <std::size_t ON_STACK, typename Key, typename Before>
void sort_keys(std::span<Key> keys, Before before) {
    if (keys.size() > ON_STACK) {
        std::stable_sort(keys.begin(), keys.end(), before);
        return;
    }
    for (std::size_t i = 1; i < keys.size(); ++i) {
        Key const key = keys[i];
        std::size_t j = i;
        for (; j > 0 && before(key, keys[j - 1]); --j) keys[j] = keys[j - 1];
        keys[j] = key;
    }
}

// Room for one key a reading: on the stack for as many readings as a value
// usually has, on the heap beyond. Not to be moved: the span points into it.
template <typename Key, std::size_t ON_STACK>
class KeyRoom {
public:
    explicit KeyRoom(std::size_t n) {
        if (n > ON_STACK) heap_.resize(n);
        keys_ = n > ON_STACK ? std::span<Key>(heap_) : std::span<Key>(stack_.data(), n);
    }
    KeyRoom(const KeyRoom&) = delete;
    KeyRoom& operator=(const KeyRoom&) = delete;

    std::span<Key> keys() const { return keys_; }

private:
    std::array<Key, ON_STACK> stack_;
    std::vector<Key> heap_;
    std::span<Key> keys_;
};

// A reading's place in the extended order, its position in the list, and
// whether a reading above it gives the same instant. Kept small: the sort
// moves it.
struct Ranked {
    unsigned __int128 order;
    uint32_t index;
    bool repeats_instant;
};

// Sets repeats_instant on each reading whose instant a reading above it
// has: one pass down the order, the instants met so far in an open-addressed
// set of positions (up to SET_READINGS readings; past them, each reading
// looks at all those above it).
void mark_repeated_instants(std::span<Ranked> ranked, const std::vector<Candidate>& readings) {
    auto const instant = [&](std::size_t i) { return readings[ranked[i].index].instant; };
    constexpr std::size_t SET_READINGS = 128;
    constexpr std::size_t SLOTS = 2 * SET_READINGS;  // at most half full: probes stay short
    std::size_t const n = ranked.size();
    if (n > SET_READINGS) {
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t above = 0; above < i && !ranked[i].repeats_instant; ++above) {
                ranked[i].repeats_instant = instant(above) == instant(i);
            }
        }
        return;
    }
    std::array<uint8_t, SLOTS> slots{};  // position + 1; 0 is empty
    static_assert(SET_READINGS <= 255 && std::has_single_bit(SLOTS));
    for (std::size_t i = 0; i < n; ++i) {
        PosixNs const at = instant(i);
        auto const bits = static_cast<unsigned __int128>(at.ns);
        uint64_t const mixed = (static_cast<uint64_t>(bits) ^ static_cast<uint64_t>(bits >> 64)) * 0x9E37'79B9'7F4A'7C15u;
        std::size_t slot = static_cast<std::size_t>(mixed >> 56);
        for (;;) {
            if (slots[slot] == 0) {
                slots[slot] = static_cast<uint8_t>(i + 1);
                break;
            }
            if (instant(slots[slot] - 1u) == at) {
                ranked[i].repeats_instant = true;
                break;
            }
            slot = (slot + 1) % SLOTS;
        }
    }
}

}  // namespace

bool candidate_order(const Candidate& a, const Candidate& b) {
    IdPlaces const& places = id_places();
    return keys_before(keys_of(a, 0, places), keys_of(b, 0, places));
}

void rank(std::vector<Candidate>& readings) {
    std::size_t const n = readings.size();
    if (n < 2) return;
    constexpr std::size_t ON_STACK = 64;
    KeyRoom<OrderKeys, ON_STACK> room(n);
    std::span<OrderKeys> const keys = room.keys();
    IdPlaces const& places = id_places();
    for (std::size_t i = 0; i < n; ++i) keys[i] = keys_of(readings[i], i, places);
    sort_keys<ON_STACK>(keys, keys_before);
    apply_order(readings, keys);
}

void rank_extended(std::vector<Candidate>& readings) {
    std::size_t const n = readings.size();
    if (n < 2) return;
    // Each reading's order as one 128-bit number, compared as an integer:
    // the score (descending), then string forms after numeric families, then
    // the prior (descending); the reading's position breaks ties. Scores and
    // priors are non-negative, so their bits order as they do.
    auto const bits_of = [](double value) { return std::bit_cast<uint64_t>(value + 0.0); };  // -0.0 as +0.0
    KeyRoom<Ranked, 128> room(n);
    std::span<Ranked> const ranked = room.keys();
    for (std::size_t i = 0; i < n; ++i) {
        Candidate const& c = readings[i];
        uint64_t const low = uint64_t{c.facts.string_form} << 63 | ~bits_of(c.prior) >> 1;
        ranked[i] = Ranked{static_cast<unsigned __int128>(~bits_of(c.score)) << 64 | low, static_cast<uint32_t>(i), false};
    }
    // Sorted on the order alone, a single 128-bit comparison; each run of
    // equal orders is then put back in list order, which keeps the sort
    // stable. Ties are few and short.
    std::sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) { return a.order < b.order; });
    bool tied = false;
    for (std::size_t i = 1; i < n; ++i) {
        if (ranked[i - 1].order != ranked[i].order) continue;
        tied = true;
        Ranked const moving = ranked[i];
        std::size_t j = i;
        for (; j > 0 && ranked[j - 1].order == moving.order && ranked[j - 1].index > moving.index; --j) {
            ranked[j] = ranked[j - 1];
        }
        ranked[j] = moving;
    }

    // Among readings tied on score and prior, one whose instant a reading
    // above it already gives (exFAT after FAT) goes after those naming a new
    // instant: the first few readings then offer as many answers as they can.
    if (!tied) {
        apply_order(readings, ranked);
        return;
    }
    mark_repeated_instants(ranked, readings);
    for (std::size_t start = 0; start < n;) {
        std::size_t end = start + 1;
        while (end < n && ranked[start].order == ranked[end].order) ++end;
        // A stable partition by insertion: a tied group is a few readings.
        for (std::size_t i = start + 1; i < end; ++i) {
            if (ranked[i].repeats_instant) continue;
            Ranked const moving = ranked[i];
            std::size_t j = i;
            for (; j > start && ranked[j - 1].repeats_instant; --j) ranked[j] = ranked[j - 1];
            ranked[j] = moving;
        }
        start = end;
    }
    apply_order(readings, ranked);
}

}  // namespace epochsift
