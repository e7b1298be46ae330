// A family's kept scores over a column against its plain score of each
// value: the memo gives a score again only where every component it does
// not key on is the same, so the two must agree to the bit. The values walk
// every magnitude (each family's typical span among them) with every count
// of trailing zeros up to past the sub-second digits, which decide the
// granularity and the resolution; most are scored off the kept span, where
// the memo weighs the components' values directly.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine/interpret_int.hpp"
#include "engine/read_options.hpp"
#include "formats/numeric_family_table.hpp"

namespace epochsift {
namespace {

struct NamedOptions {
    std::string name;
    ReadOptions options;
};

std::vector<NamedOptions> option_sets() {
    ReadOptions extended{.extended = true, .context = {}, .window = {}, .zones = {}};
    ReadOptions reference{.extended = false, .context = {}, .window = {}, .zones = {}};
    ReadOptions windowed = extended;
    windowed.window = InstantWindow{PosixNs::from_seconds(1'600'000'000), PosixNs::from_seconds(1'800'000'000)};
    return {{"extended", extended}, {"reference", reference}, {"extended, window", windowed}};
}

// Values of every magnitude and both signs, each with 0 to 10 trailing
// decimal zeros, in an order that mixes them.
std::vector<int64_t> column() {
    std::vector<int64_t> values;
    int64_t const tens[] = {1, 10, 100, 1'000, 10'000, 100'000, 1'000'000, 10'000'000, 100'000'000,
                            1'000'000'000, 10'000'000'000};
    for (int bits = 8; bits <= 62; ++bits) {
        for (int eighth = 0; eighth < 8; ++eighth) {
            int64_t const base = (int64_t{1} << bits) + (int64_t{1} << bits) / 8 * eighth + 7'654'321;
            for (int zeros = 0; zeros <= 10; ++zeros) {
                int64_t const step = tens[zeros];
                int64_t const rounded = base / step * step + (zeros % 2 == 1 ? step : 0);
                values.push_back(rounded);
                if (bits % 7 == 0) values.push_back(-rounded);
            }
        }
    }
    values.push_back(0);
    values.push_back(-1);
    values.push_back(INT64_MAX);
    // Random values of every width, most scored off the kept span (the era
    // and the epoch's distance vary continuously there).
    std::mt19937_64 rng(1208);
    for (int i = 0; i < 3'000; ++i) {
        auto const n = static_cast<int64_t>(rng() >> (rng() % 64));
        int64_t const step = tens[rng() % 11];
        values.push_back((i % 5 == 0 ? -n : n) / step * step);
    }
    return values;
}

TEST(FamilyScoreMemo, KeptScoresAreThePlainScores) {
    std::vector<int64_t> const values = column();
    for (NamedOptions const& set : option_sets()) {
        for (NumericFamily const& row : NUMERIC_FAMILIES) {
            if (row.encoding.tag == Encoding::Tag::Float) continue;
            if (!set.options.extended && !row.reference()) continue;
            NumericFamily const windowed = windowed_row(row, set.options);
            FamilyScoreMemo memo(windowed, set.options);
            std::size_t differing = 0;
            for (int64_t const raw : values) {
                bool const shaped = shaped_like_identifier(raw, set.options);
                auto const kept = memo.score(raw, shaped);
                auto const plain = family_score(windowed, raw, set.options, shaped);
                bool const same = kept.has_value() == plain.has_value() &&
                                  (!kept || (kept->instant == plain->instant &&
                                             std::bit_cast<uint64_t>(kept->score) ==
                                                 std::bit_cast<uint64_t>(plain->score)));
                if (!same && ++differing <= 3) ADD_FAILURE() << set.name << ' ' << row.id << ' ' << raw;
            }
            EXPECT_EQ(differing, 0u) << set.name << ' ' << row.id;
        }
    }
}

}  // namespace
}  // namespace epochsift
