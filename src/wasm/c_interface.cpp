// The functions of epochsift.h: each checks its pointers and sizes, reads
// its options, calls the engine and hands the JSON text over in a buffer of
// its own. No exception crosses this boundary: a build with exceptions
// catches them here, a build without them has none to throw but allocation
// failure, which ends the program as the standard containers do.
#include "wasm/epochsift.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/per_thread.hpp"
#include "engine/column.hpp"
#include "engine/encode.hpp"
#include "engine/request.hpp"
#include "engine/instant_text.hpp"
#include "formats/hex_bytes.hpp"
#include "output/column_json.hpp"
#include "output/encoded_json.hpp"
#include "output/json_buffer.hpp"
#include "output/json_number.hpp"
#include "output/json_string.hpp"
#include "output/reading_json.hpp"
#include "wasm/call_options.hpp"
#include "wasm/text_lines.hpp"

namespace {

using epochsift::wasm::CallOptions;
using epochsift::wasm::for_each_line;
using epochsift::wasm::read_call_options;
using epochsift::OPT_BEST;
using epochsift::OPT_BYTE_ORDER;
using epochsift::OPT_BYTE_WIDTH;
using epochsift::OPT_EXTENDED;
using epochsift::OPT_FAMILIES;
using epochsift::OPT_HINT;
using epochsift::OPT_NEIGHBOURS;
using epochsift::OPT_WINDOW;

constexpr unsigned IDENTIFY_OPTIONS =
    OPT_EXTENDED | OPT_HINT | OPT_BYTE_WIDTH | OPT_BYTE_ORDER | OPT_NEIGHBOURS | OPT_WINDOW | OPT_BEST;
constexpr unsigned BYTES_OPTIONS = OPT_HINT | OPT_BYTE_ORDER | OPT_WINDOW | OPT_BEST;
constexpr unsigned LINES_OPTIONS = IDENTIFY_OPTIONS & ~OPT_BEST;
constexpr unsigned COLUMN_OPTIONS = OPT_HINT | OPT_BYTE_WIDTH | OPT_BYTE_ORDER | OPT_WINDOW;
constexpr unsigned ENCODE_OPTIONS = OPT_FAMILIES;

// The most room the readings' JSON buffer keeps between calls.
constexpr std::size_t KEPT_JSON_BYTES = 1 << 20;

// A text argument: a null pointer is allowed only with size 0.
bool valid_text(const void* data, std::size_t size) { return data != nullptr || size == 0; }

std::string_view text_of(const char* data, std::size_t size) {
    return size == 0 ? std::string_view() : std::string_view(data, size);
}

// Copies text into a new buffer for the caller. EPOCHSIFT_NO_MEMORY, with
// *out null, when there is no room.
int hand_over(int status, std::string_view text, char** out, std::size_t* out_size) {
    // One byte more than needed, so that an empty answer is a real buffer.
    auto* buffer = static_cast<char*>(std::malloc(text.size() + 1));
    if (buffer == nullptr) {
        *out = nullptr;
        *out_size = 0;
        return EPOCHSIFT_NO_MEMORY;
    }
    if (!text.empty()) std::memcpy(buffer, text.data(), text.size());
    *out = buffer;
    *out_size = text.size();
    return status;
}

int fail(int status, std::string_view message, char** out, std::size_t* out_size) {
    std::string json = "{\"error\":";
    epochsift::append_json_string(json, message);
    json += '}';
    return hand_over(status, json, out, out_size);
}

// The request's readings as identify_json writes them.
int hand_over_readings(const epochsift::Request& request, char** out, std::size_t* out_size) {
    epochsift::Readings const readings = epochsift::read(request);
    // Kept from call to call, as the Python module keeps its own: growing a
    // fresh buffer to tens of kilobytes every call costs as much as the engine.
    EPOCHSIFT_PER_THREAD epochsift::JsonBuffer json;
    json.clear();
    epochsift::write_json_readings(json, readings);
    int const status = hand_over(EPOCHSIFT_OK, json.view(), out, out_size);
    json.clear_and_trim(KEPT_JSON_BYTES);
    return status;
}

int identify_bytes_of(std::span<const uint8_t> bytes, const char* options, std::size_t options_size, char** out,
                      std::size_t* out_size) {
    if (bytes.empty() || bytes.size() > epochsift::MAX_HEX_BYTES) {
        return fail(EPOCHSIFT_BAD_ARGUMENT, "identify_bytes reads 1 to 16 bytes", out, out_size);
    }
    CallOptions call;
    std::string error;
    if (!read_call_options(text_of(options, options_size), BYTES_OPTIONS, call, error)) {
        return fail(EPOCHSIFT_BAD_OPTIONS, error, out, out_size);
    }
    // As the Python module does: byte_order names the bytes' order, else each reading states the order it assumed.
    epochsift::Request request = call.request(bytes);
    request.read.extended = true;
    return hand_over_readings(request, out, out_size);
}

// A column read in pieces: its options and the tallies merged so far.
struct ColumnReader {
    CallOptions options;
    std::vector<epochsift::ColumnTally> merged = std::vector<epochsift::ColumnTally>(epochsift::column_tally_count());
};

// Open readers by id (index + 1); a closed reader's slot is empty. Ids are
// looked up here, never trusted as pointers.
std::vector<std::unique_ptr<ColumnReader>>& column_readers() {
    static std::vector<std::unique_ptr<ColumnReader>> readers;
    return readers;
}

ColumnReader* column_reader(uint32_t id) {
    auto& readers = column_readers();
    if (id == 0 || id > readers.size()) return nullptr;
    return readers[id - 1].get();
}

int identify_unguarded(const char* value, size_t value_size, const char* options, size_t options_size, char** out,
                       size_t* out_size) {
    if (out == nullptr || out_size == nullptr) return EPOCHSIFT_BAD_ARGUMENT;
    if (!valid_text(value, value_size) || !valid_text(options, options_size)) {
        return fail(EPOCHSIFT_BAD_ARGUMENT, "a null pointer with a non-zero size", out, out_size);
    }
    CallOptions call;
    std::string error;
    if (!read_call_options(text_of(options, options_size), IDENTIFY_OPTIONS, call, error)) {
        return fail(EPOCHSIFT_BAD_OPTIONS, error, out, out_size);
    }
    return hand_over_readings(call.request(text_of(value, value_size)), out, out_size);
}

int identify_bytes_unguarded(const uint8_t* bytes, size_t size, const char* options, size_t options_size, char** out,
                             size_t* out_size) {
    if (out == nullptr || out_size == nullptr) return EPOCHSIFT_BAD_ARGUMENT;
    if (!valid_text(bytes, size) || !valid_text(options, options_size)) {
        return fail(EPOCHSIFT_BAD_ARGUMENT, "a null pointer with a non-zero size", out, out_size);
    }
    return identify_bytes_of({bytes, size}, options, options_size, out, out_size);
}

int identify_hex_unguarded(const char* text, size_t size, const char* options, size_t options_size, char** out,
                           size_t* out_size) {
    if (out == nullptr || out_size == nullptr) return EPOCHSIFT_BAD_ARGUMENT;
    if (!valid_text(text, size) || !valid_text(options, options_size)) {
        return fail(EPOCHSIFT_BAD_ARGUMENT, "a null pointer with a non-zero size", out, out_size);
    }
    // The caller said the text is hex: digits alone are bytes too.
    auto const bytes = epochsift::parse_hex_bytes(text_of(text, size), true);
    if (!bytes) return fail(EPOCHSIFT_BAD_ARGUMENT, "not 1 to 16 bytes written in hex", out, out_size);
    return identify_bytes_of(bytes->view(), options, options_size, out, out_size);
}

int identify_lines_unguarded(const char* lines, size_t size, const char* options, size_t options_size, char** out,
                             size_t* out_size) {
    if (out == nullptr || out_size == nullptr) return EPOCHSIFT_BAD_ARGUMENT;
    if (!valid_text(lines, size) || !valid_text(options, options_size)) {
        return fail(EPOCHSIFT_BAD_ARGUMENT, "a null pointer with a non-zero size", out, out_size);
    }
    CallOptions call;
    std::string error;
    if (!read_call_options(text_of(options, options_size), LINES_OPTIONS, call, error)) {
        return fail(EPOCHSIFT_BAD_OPTIONS, error, out, out_size);
    }
    std::string json = "[";
    bool first = true;
    for_each_line(text_of(lines, size), [&](std::string_view line) {
        if (!first) json += ',';
        first = false;
        epochsift::Request request = epochsift::Request::of_text(line, call.read);
        request.best = 1;
        auto const readings = epochsift::read(request).ranked;
        if (readings.empty()) {
            json += "null";
            return;
        }
        epochsift::Candidate const& best = readings.front();
        json += '[';
        epochsift::append_json_string(json, best.format_id());
        json += ',';
        epochsift::append_json_string(json, best.label());
        json += ',';
        if (auto const rendered = best.rendered()) {
            epochsift::append_json_string(json, rendered->view());
        } else {
            json += "null";
        }
        // A string: JSON readers in browsers keep 53 bits of an integer.
        json += ",\"";
        epochsift::append_json_integer(json, best.instant.ns);
        json += "\",";
        epochsift::append_json_double(json, best.score);
        json += ']';
    });
    json += ']';
    return hand_over(EPOCHSIFT_OK, json, out, out_size);
}

int column_open_unguarded(const char* options, size_t options_size, uint32_t* column, char** out, size_t* out_size) {
    if (out == nullptr || out_size == nullptr) return EPOCHSIFT_BAD_ARGUMENT;
    if (column == nullptr || !valid_text(options, options_size)) {
        return fail(EPOCHSIFT_BAD_ARGUMENT, "a null pointer with a non-zero size", out, out_size);
    }
    auto reader = std::make_unique<ColumnReader>();
    std::string error;
    if (!read_call_options(text_of(options, options_size), COLUMN_OPTIONS, reader->options, error)) {
        return fail(EPOCHSIFT_BAD_OPTIONS, error, out, out_size);
    }
    auto& readers = column_readers();
    std::size_t slot = 0;
    while (slot < readers.size() && readers[slot] != nullptr) ++slot;
    if (slot == readers.size()) readers.emplace_back();
    readers[slot] = std::move(reader);
    *column = static_cast<uint32_t>(slot + 1);
    return hand_over(EPOCHSIFT_OK, "{}", out, out_size);
}

int column_add_unguarded(uint32_t column, const char* lines, size_t size) {
    ColumnReader* reader = column_reader(column);
    if (reader == nullptr || !valid_text(lines, size)) return EPOCHSIFT_BAD_ARGUMENT;
    std::vector<std::string_view> values;
    for_each_line(text_of(lines, size), [&](std::string_view line) { values.push_back(line); });
    auto const tallies = epochsift::column_tallies(values, reader->options.read);
    for (std::size_t row = 0; row < tallies.size() && row < reader->merged.size(); ++row) {
        epochsift::merge_column_tally(reader->merged[row], tallies[row]);
    }
    return EPOCHSIFT_OK;
}

int column_verdicts_unguarded(uint32_t column, char** out, size_t* out_size) {
    if (out == nullptr || out_size == nullptr) return EPOCHSIFT_BAD_ARGUMENT;
    ColumnReader* reader = column_reader(column);
    if (reader == nullptr) return fail(EPOCHSIFT_BAD_ARGUMENT, "no open column has this id", out, out_size);
    std::string json;
    epochsift::append_json_verdicts(json, epochsift::column_verdicts(reader->merged, reader->options.read));
    return hand_over(EPOCHSIFT_OK, json, out, out_size);
}

int column_close_unguarded(uint32_t column) {
    if (column_reader(column) == nullptr) return EPOCHSIFT_BAD_ARGUMENT;
    column_readers()[column - 1].reset();
    return EPOCHSIFT_OK;
}

int encode_unguarded(const char* when, size_t when_size, const char* options, size_t options_size, char** out,
                     size_t* out_size) {
    if (out == nullptr || out_size == nullptr) return EPOCHSIFT_BAD_ARGUMENT;
    if (!valid_text(when, when_size) || !valid_text(options, options_size)) {
        return fail(EPOCHSIFT_BAD_ARGUMENT, "a null pointer with a non-zero size", out, out_size);
    }
    CallOptions call;
    std::string error;
    if (!read_call_options(text_of(options, options_size), ENCODE_OPTIONS, call, error)) {
        return fail(EPOCHSIFT_BAD_OPTIONS, error, out, out_size);
    }
    auto const instant = epochsift::parse_instant(text_of(when, when_size));
    if (!instant) {
        return fail(EPOCHSIFT_BAD_INSTANT, "not an instant within years -9999 to 9999", out, out_size);
    }
    std::vector<std::string_view> const wanted(call.families.begin(), call.families.end());
    return hand_over(EPOCHSIFT_OK, epochsift::encoded_json(epochsift::encode(*instant, wanted), *instant), out,
                     out_size);
}

// The one boundary: no exception reaches the caller's frames. A build
// without exceptions has none to catch (allocation failure ends it).
template <class Work>
int guarded(char** out, std::size_t* out_size, Work&& work) noexcept {
#if defined(__cpp_exceptions)
    try {
        return work();
    } catch (...) {
        if (out != nullptr && out_size != nullptr) {
            *out = nullptr;
            *out_size = 0;
        }
        return EPOCHSIFT_NO_MEMORY;
    }
#else
    (void)out;
    (void)out_size;
    return work();
#endif
}

}  // namespace

extern "C" {

void* epochsift_alloc(size_t size) { return size == 0 ? nullptr : std::malloc(size); }

void epochsift_free(void* buffer) { std::free(buffer); }

int epochsift_identify(const char* value, size_t value_size, const char* options, size_t options_size, char** out,
                       size_t* out_size) {
    return guarded(out, out_size, [&] { return identify_unguarded(value, value_size, options, options_size, out, out_size); });
}

int epochsift_identify_bytes(const uint8_t* bytes, size_t size, const char* options, size_t options_size, char** out,
                             size_t* out_size) {
    return guarded(out, out_size, [&] { return identify_bytes_unguarded(bytes, size, options, options_size, out, out_size); });
}

int epochsift_identify_hex(const char* text, size_t size, const char* options, size_t options_size, char** out,
                           size_t* out_size) {
    return guarded(out, out_size, [&] { return identify_hex_unguarded(text, size, options, options_size, out, out_size); });
}

int epochsift_identify_lines(const char* lines, size_t size, const char* options, size_t options_size, char** out,
                             size_t* out_size) {
    return guarded(out, out_size, [&] { return identify_lines_unguarded(lines, size, options, options_size, out, out_size); });
}

int epochsift_column_open(const char* options, size_t options_size, uint32_t* column, char** out, size_t* out_size) {
    return guarded(out, out_size, [&] { return column_open_unguarded(options, options_size, column, out, out_size); });
}

int epochsift_column_add(uint32_t column, const char* lines, size_t size) {
    return guarded(nullptr, nullptr, [&] { return column_add_unguarded(column, lines, size); });
}

int epochsift_column_verdicts(uint32_t column, char** out, size_t* out_size) {
    return guarded(out, out_size, [&] { return column_verdicts_unguarded(column, out, out_size); });
}

int epochsift_column_close(uint32_t column) {
    return guarded(nullptr, nullptr, [&] { return column_close_unguarded(column); });
}

int epochsift_encode(const char* when, size_t when_size, const char* options, size_t options_size, char** out,
                     size_t* out_size) {
    return guarded(out, out_size, [&] { return encode_unguarded(when, when_size, options, options_size, out, out_size); });
}

}  // extern "C"
