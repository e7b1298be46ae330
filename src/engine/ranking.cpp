#include "engine/ranking.hpp"

#include <algorithm>
#include <array>
#include <span>

namespace epochsift {

namespace {

struct OrderKeys {
    double score;
    bool string_form;
    bool rare;
    std::string_view format_id;  // empty for string forms: they keep table order
    std::size_t index;           // position before sorting
};

OrderKeys keys_of(const Candidate& c, std::size_t index) {
    return {c.score, c.facts.string_form, c.facts.rare,
            c.facts.string_form ? std::string_view() : c.format_id, index};
}

bool keys_before(const OrderKeys& a, const OrderKeys& b) {
    if (b.score < a.score) return true;
    if (a.score < b.score) return false;
    if (a.string_form != b.string_form) return b.string_form;
    if (a.rare != b.rare) return b.rare;
    // string_view compares bytes as unsigned char, shorter prefix first.
    return a.format_id < b.format_id;
}

}  // namespace

bool candidate_order(const Candidate& a, const Candidate& b) { return keys_before(keys_of(a, 0), keys_of(b, 0)); }

void rank(std::vector<Candidate>& readings) {
    std::size_t const n = readings.size();
    if (n < 2) return;
    // A value has at most one reading per numeric family and string form:
    // the keys fit on the stack and an insertion sort needs no buffer.
    constexpr std::size_t ON_STACK = 64;
    std::array<OrderKeys, ON_STACK> stack_keys;
    std::vector<OrderKeys> heap_keys;
    std::span<OrderKeys> keys(stack_keys.data(), std::min(n, ON_STACK));
    if (n > ON_STACK) {
        heap_keys.resize(n);
        keys = heap_keys;
    }
    for (std::size_t i = 0; i < n; ++i) keys[i] = keys_of(readings[i], i);
    if (n <= ON_STACK) {
        for (std::size_t i = 1; i < n; ++i) {
            OrderKeys const key = keys[i];
            std::size_t j = i;
            for (; j > 0 && keys_before(key, keys[j - 1]); --j) keys[j] = keys[j - 1];
            keys[j] = key;
        }
    } else {
        std::stable_sort(keys.begin(), keys.end(), keys_before);
    }
    // Apply the permutation in place, one cycle at a time: each reading is
    // moved once, plus one move through a temporary per cycle.
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

void rank_extended(std::vector<Candidate>& readings) {
    std::size_t const n = readings.size();
    if (n < 2) return;
    // Keys are read once a reading (the prior sits among its components),
    // then the keys are sorted and the readings moved once into place.
    struct Keys {
        double score;
        bool string_form;
        double prior;
        bool packed;
        std::size_t index;
        bool repeats_instant = false;
    };
    std::vector<Keys> keys(n);
    for (std::size_t i = 0; i < n; ++i) {
        Candidate const& c = readings[i];
        double prior = 1.0;
        for (ScoreComponent const& component : c.components) {
            if (component.kind == Component::Prior) prior = component.value;
        }
        keys[i] = Keys{c.score, c.facts.string_form, prior, c.facts.packed, i, false};
    }
    std::stable_sort(keys.begin(), keys.end(), [](const Keys& a, const Keys& b) {
        if (a.score != b.score) return a.score > b.score;
        if (a.string_form != b.string_form) return b.string_form;
        if (a.prior != b.prior) return a.prior > b.prior;
        // Civil fields that all come out valid are evidence a plain count
        // lacks: about half of random values fail a FAT date-time, none
        // fails a count of seconds.
        return a.packed && !b.packed;
    });
    // Among readings tied on score and prior, one whose instant a reading
    // above it already gives (exFAT after FAT) goes after those naming a new
    // instant: the first few readings then offer as many answers as they can.
    auto const tied = [](const Keys& a, const Keys& b) {
        return a.score == b.score && a.string_form == b.string_form && a.prior == b.prior;
    };
    for (std::size_t start = 0; start < n;) {
        std::size_t end = start + 1;
        while (end < n && tied(keys[start], keys[end])) ++end;
        if (end - start > 1) {
            for (std::size_t i = start; i < end; ++i) {
                PosixNs const instant = readings[keys[i].index].instant;
                for (std::size_t above = 0; above < i && !keys[i].repeats_instant; ++above) {
                    keys[i].repeats_instant = readings[keys[above].index].instant == instant;
                }
            }
            std::stable_partition(keys.begin() + static_cast<std::ptrdiff_t>(start),
                                  keys.begin() + static_cast<std::ptrdiff_t>(end),
                                  [](const Keys& key) { return !key.repeats_instant; });
        }
        start = end;
    }
    std::vector<Candidate> sorted;
    sorted.reserve(n);
    for (Keys const& key : keys) sorted.push_back(std::move(readings[key.index]));
    readings = std::move(sorted);
}

}  // namespace epochsift
