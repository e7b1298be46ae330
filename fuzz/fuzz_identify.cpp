// libFuzzer entry: every byte string goes through the whole engine: the
// reference and the extended reading (with and without a caller's window),
// the first bytes as raw bytes, the lines as one column, and the encoding of
// an instant taken from the bytes. Beyond what the sanitizers catch, every
// answer must parse as JSON, be ranked by score and show each instant as its
// own calendar text; a window must decide the era evidence; every encoded
// value must read back in its family near the instant.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/column.hpp"
#include "engine/encode.hpp"
#include "output/column_json.hpp"
#include "output/encoded_json.hpp"
#include "reading_properties.hpp"

namespace {

using epochsift::i128;
using epochsift::test_support::readings_faults;

constexpr i128 NS = 1'000'000'000;
constexpr i128 MIN_NS = i128{epochsift::MIN_CALENDAR_SECOND} * NS;
constexpr i128 MAX_NS = i128{epochsift::MAX_CALENDAR_SECOND} * NS;

[[noreturn]] void fail(std::string_view what, const std::string& fault) {
    std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(what.size()), what.data(), fault.c_str());
    std::abort();
}

void check(std::string_view what, const std::string& fault) {
    if (!fault.empty()) fail(what, fault);
}

// The input's bytes folded into one number, so that every input picks a
// window and an instant without giving up its text.
uint64_t fold(std::string_view text) {
    uint64_t h = 0xcbf29ce484222325u;
    for (unsigned char c : text) h = (h ^ c) * 0x100000001b3u;
    return h;
}

// An instant in the calendar range.
i128 instant_of(uint64_t bits) {
    i128 const span = MAX_NS - MIN_NS + 1;
    i128 const wide = (i128{bits} << 40) ^ i128{bits >> 3};
    return MIN_NS + wide % span;
}

void check_extended(std::string_view text, uint64_t bits) {
    epochsift::ReadOptions options{.extended = true};
    check("extended", readings_faults(epochsift::identify_json(text, options), epochsift::identify(text, options)));

    // A window of one second to a few centuries somewhere in 1900..2100.
    i128 const start = i128{static_cast<int64_t>(bits % 6'311'433'600)} * NS - i128{2'208'988'800} * NS;
    i128 const length = i128{static_cast<int64_t>(1 + (bits >> 33) % 6'311'433'600)} * NS;
    epochsift::InstantWindow const window{{start}, {start + length}};
    options.window = window;
    std::vector<epochsift::Candidate> const readings = epochsift::identify(text, options);
    check("extended in a window", readings_faults(epochsift::identify_json(text, options), readings));
    for (epochsift::Candidate const& reading : readings) {
        for (epochsift::ScoreComponent const& component : reading.components) {
            if (component.kind != epochsift::Component::PlausibleEra) continue;
            double const expected = window.contains(reading.instant) ? 1.0 : 0.0;
            if (component.value != expected) {
                fail("extended in a window", std::string(reading.format_id()) + ": era evidence disagrees with the window");
            }
        }
    }
}

void check_bytes(std::span<const uint8_t> data) {
    if (data.empty()) return;
    std::span<const uint8_t> const bytes = data.first(std::min<std::size_t>(data.size(), 16));
    epochsift::ReadOptions const options{.extended = true};
    std::optional<epochsift::ByteOrder> const orders[] = {std::nullopt, epochsift::ByteOrder::Little,
                                                          epochsift::ByteOrder::Big};
    auto const order = orders[data.back() % 3];
    check("identify_bytes", readings_faults(epochsift::identify_bytes_json(bytes, options, order),
                                            epochsift::identify_bytes(bytes, options, order)));
}

void check_column(std::string_view text) {
    std::vector<std::string_view> values;
    for (std::size_t start = 0;;) {
        std::size_t const end = text.find('\n', start);
        values.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    epochsift::ReadOptions const options{};
    std::vector<epochsift::ColumnVerdict> const verdicts = epochsift::identify_column(values, options);
    nlohmann::json const json =
        nlohmann::json::parse(epochsift::identify_column_json(values, options), nullptr, /*allow_exceptions=*/false);
    if (json.is_discarded() || !json.is_array() || json.size() != verdicts.size()) fail("column", "JSON differs");
    double total = 0.0;
    for (std::size_t i = 0; i < verdicts.size(); ++i) {
        epochsift::ColumnVerdict const& v = verdicts[i];
        total += v.score;
        if (!(v.score >= 0.0 && v.score <= 1.0) || !(v.ordered >= 0.0 && v.ordered <= 1.0)) fail("column", "share out of [0, 1]");
        if (i > 0 && verdicts[i - 1].score < v.score) fail("column", "not ranked by score");
        if (v.read == 0 || v.read > values.size() || v.in_window > v.read) fail("column", "counts out of range");
        if (json[i]["format_id"] != std::string(v.format_id()) || json[i]["read"] != v.read) fail("column", "JSON differs");
    }
    if (!verdicts.empty() && (total < 0.999 || total > 1.001)) fail("column", "shares do not sum to one");
}

void check_encode(uint64_t bits) {
    epochsift::PosixNs const instant{instant_of(bits)};
    std::vector<epochsift::Encoded> const encoded = epochsift::encode(instant);
    nlohmann::json const json =
        nlohmann::json::parse(epochsift::encoded_json(encoded, instant), nullptr, /*allow_exceptions=*/false);
    if (json.is_discarded() || !json.is_array() || json.size() != encoded.size()) fail("encode", "JSON differs");
    for (epochsift::Encoded const& e : encoded) {
        std::string const family(e.format_id);
        // The coarsest family counts days.
        i128 const moved = instant.ns - e.reads_as.ns;
        if (moved < -86'400 * NS || moved > 86'400 * NS) fail("encode", family + " reads back a day away");
        if ((e.reads_as != instant) != e.has(epochsift::EncodeNote::Rounded)) fail("encode", family + " rounding note");
        // Some families are read only by the extended reading.
        epochsift::ReadOptions const extended{.extended = true};
        bool found = false;
        for (epochsift::Candidate const& reading : epochsift::identify(e.value, extended)) {
            found = found || (reading.format_id() == e.format_id && reading.instant == e.reads_as);
        }
        if (!found) fail("encode", family + " value " + e.value + " does not read back");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view const text(reinterpret_cast<const char*>(data), size);
    check("reference", epochsift::test_support::reading_faults(text));
    uint64_t const bits = fold(text);
    check_extended(text, bits);
    check_bytes({data, size});
    check_column(text);
    // Encoding reads every family's value back: one input in eight keeps
    // the rate of the other checks up.
    if (bits % 8 == 0) check_encode(bits);
    return 0;
}
