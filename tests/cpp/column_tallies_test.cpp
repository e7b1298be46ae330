// A column's tallies split among threads by family: each row taken from the
// share that owns it equals the one-thread tallies bit for bit, whatever the
// number of shares and whatever the column holds.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/column.hpp"

namespace epochsift {
namespace {

// Integers of every magnitude in runs (a sorted stretch, then noise), hex
// bytes, decimals, date-time texts, blanks and words: every kind of row the
// tallies keep is read by some value, with gaps that break the pairs.
std::vector<std::string> mixed_column(std::mt19937_64& random, std::size_t count) {
    std::vector<std::string> values;
    int64_t run = 1'600'000'000;
    for (std::size_t i = 0; i < count; ++i) {
        switch (random() % 8) {
            case 0: values.push_back(std::to_string(static_cast<int64_t>(random() >> (random() % 64)))); break;
            case 1: values.push_back("0x" + std::to_string(random() % 100'000'000)); break;
            case 2: values.push_back(std::to_string(random() % 2'000'000'000) + "." + std::to_string(random() % 1000)); break;
            case 3: values.push_back("2024-05-0" + std::to_string(1 + random() % 9) + "T12:00:00Z"); break;
            case 4: values.push_back(random() % 2 ? "" : "not a time"); break;
            default: values.push_back(std::to_string(run += static_cast<int64_t>(random() % 5000))); break;
        }
    }
    return values;
}

bool same_bits(double a, double b) { return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b); }

bool same_tally(const ColumnTally& a, const ColumnTally& b) {
    return a.values == b.values && same_bits(a.log_likelihood, b.log_likelihood) && a.read == b.read &&
           a.in_window == b.in_window && a.pairs == b.pairs && a.ordered_pairs == b.ordered_pairs &&
           (a.read == 0 || (a.first == b.first && a.last == b.last && a.earliest == b.earliest && a.latest == b.latest)) &&
           a.starts_read == b.starts_read && a.ends_read == b.ends_read && a.marked == b.marked;
}

TEST(ColumnTallies, SharesTakenByOwnerEqualOneThreadsTallies) {
    std::mt19937_64 random(26);
    ReadOptions extended;
    extended.extended = true;
    ReadOptions windowed = extended;
    windowed.window = InstantWindow{PosixNs::from_seconds(946'684'800), PosixNs::from_seconds(1'893'456'000)};
    for (int trial = 0; trial < 6; ++trial) {
        std::vector<std::string> const column = mixed_column(random, 1 + random() % 3000);
        std::vector<std::string_view> const views(column.begin(), column.end());
        for (ReadOptions const& options : {extended, windowed}) {
            for (DigitsAsBytes digits : {DigitsAsBytes::Yes, DigitsAsBytes::No}) {
                std::vector<ColumnTally> const whole = column_tallies(views, options, digits);
                ASSERT_EQ(whole.size(), column_tally_count());
                for (std::size_t count = 1; count <= 4; ++count) {
                    std::vector<std::vector<ColumnTally>> shares;
                    for (std::size_t k = 0; k < count; ++k) {
                        shares.push_back(column_tallies(views, options, digits, TallyShare{k, count}));
                    }
                    for (std::size_t row = 0; row < whole.size(); ++row) {
                        std::size_t owners = 0;
                        for (std::size_t k = 0; k < count; ++k) {
                            if (!tally_share_owns(row, TallyShare{k, count})) continue;
                            ++owners;
                            EXPECT_TRUE(same_tally(shares[k][row], whole[row]))
                                << "row " << row << " of " << count << " shares, trial " << trial;
                        }
                        EXPECT_EQ(owners, 1u) << "row " << row << " of " << count << " shares";
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace epochsift

namespace epochsift {
namespace {

// A row's log likelihood is its values' terms added in value order from
// zero: each value's term read off the tallies of that value alone (its
// reading's weight, or the miss of a value it does not read). Rows that
// read late in the column, or never, carry their misses exactly.
TEST(ColumnTallies, LogLikelihoodIsTheValuesTermsInOrder) {
    std::mt19937_64 random(27);
    ReadOptions extended;
    extended.extended = true;
    for (int trial = 0; trial < 4; ++trial) {
        std::vector<std::string> column = mixed_column(random, 1 + random() % 400);
        // Rows first read after a long stretch of values they miss.
        if (trial % 2 == 1) column.insert(column.begin(), 50, "not a time");
        std::vector<std::string_view> const views(column.begin(), column.end());
        for (DigitsAsBytes digits : {DigitsAsBytes::Yes, DigitsAsBytes::No}) {
            std::vector<ColumnTally> const whole = column_tallies(views, extended, digits);
            std::vector<double> sums(whole.size(), 0.0);
            std::vector<uint64_t> reads(whole.size(), 0);
            for (std::string_view const value : views) {
                std::vector<ColumnTally> const alone = column_tallies(std::span(&value, 1), extended, digits);
                for (std::size_t row = 0; row < alone.size(); ++row) {
                    sums[row] += alone[row].log_likelihood;
                    reads[row] += alone[row].read;
                }
            }
            std::size_t differing = 0;
            for (std::size_t row = 0; row < whole.size(); ++row) {
                bool const same = same_bits(whole[row].log_likelihood, sums[row]) && whole[row].read == reads[row];
                if (!same && ++differing <= 3) ADD_FAILURE() << "trial " << trial << " row " << row;
            }
            EXPECT_EQ(differing, 0u) << "trial " << trial;
        }
    }
}

}  // namespace
}  // namespace epochsift
