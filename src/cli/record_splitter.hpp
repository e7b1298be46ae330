// Cuts batch input into records as it arrives, in any pieces. A record is a
// line: it ends at LF, CRLF or a lone CR. When fields are read, a field that
// starts with a quotation mark runs to its closing mark (RFC 4180), line
// breaks included, so such a record spans several lines. A byte order mark
// at the very start of the input is dropped. A record longer than the limit
// is not kept: its bytes are dropped as they come and only its end is
// reported, so memory stays bounded however long a line is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace epochsift::cli {

struct SplitterSettings {
    bool quoted_fields = false;  // honour quotation marks at the start of a field
    std::string delimiter = ",";  // between fields, when quoted_fields
    std::size_t max_record = std::size_t(1) << 20;  // bytes, line ends excluded
};

struct RecordEnd {
    uint64_t line;         // the line the record starts on, from 1
    bool overlong;         // longer than max_record; its text was dropped
    uint64_t input_bytes;  // bytes the record took in the input, line end and a leading mark included
};

// The first line end (LF or CR) in input, or its size: eight bytes a step,
// a byte of the word matching when it XORs to zero with the end's pattern.
inline std::size_t line_end_in(std::string_view input) {
    constexpr uint64_t ONES = 0x0101010101010101u, HIGHS = 0x8080808080808080u;
    constexpr uint64_t LF = ONES * '\n', CR = ONES * '\r';
    auto const has_zero_byte = [](uint64_t x) { return (x - ONES) & ~x & HIGHS; };
    std::size_t i = 0;
    for (; input.size() - i >= 8; i += 8) {
        uint64_t word;
        std::memcpy(&word, input.data() + i, sizeof word);
        if (has_zero_byte(word ^ LF) | has_zero_byte(word ^ CR)) break;  // in these eight bytes
    }
    while (i < input.size() && input[i] != '\n' && input[i] != '\r') ++i;
    return i;
}

class RecordSplitter {
public:
    explicit RecordSplitter(SplitterSettings settings);

    // Consumes input from the front, appending the current record's bytes to
    // text, and stops after the first record that ends. The caller leaves
    // text alone between calls, except right after a record end.
    std::optional<RecordEnd> next(std::string_view& input, std::string& text);

    // At the end of input: the last record, when it has no line end.
    std::optional<RecordEnd> finish(std::string& text);

    // For a reader that looks at each record once: on_line(end, text) for
    // each record next would give while lines lie whole in input, text a
    // view into input (empty when overlong), leaving the same state. Stops
    // at input's end or where next's own path is needed (a record begun in
    // an earlier piece, quoted fields, the mark not yet settled); the rest
    // of input is next's.
    template <class OnLine>
    void whole_lines(std::string_view& input, OnLine&& on_line) {
        if (settings_.quoted_fields || !bom_done_ || in_record_) return;
        while (auto const line = take_whole_line(input)) on_line(line->end, line->text);
    }

private:
    enum class Field : uint8_t { Start, Plain, Quoted, QuoteInQuoted };

    struct Line {
        RecordEnd end;
        std::string_view text;  // into the input; empty when overlong
    };
    // A line that lies whole in input when no record has begun (whole-line
    // records, past the mark): next's record and state, without its
    // general path. Nothing, with nothing changed, where no line end is in
    // input.
    std::optional<Line> take_whole_line(std::string_view& input) {
        // An LF after the CR that ended the last record is part of that line end.
        std::size_t const skip = after_cr_ && !input.empty() && input.front() == '\n' ? 1 : 0;
        std::size_t const stop = skip + line_end_in(input.substr(skip));
        if (stop == input.size()) return std::nullopt;
        after_cr_ = input[stop] == '\r';
        ++line_;
        std::size_t const length = stop - skip;
        bool const overlong = length > settings_.max_record;
        Line const line{.end = {.line = record_line_, .overlong = overlong, .input_bytes = record_bytes_ + stop + 1},
                        .text = overlong ? std::string_view() : input.substr(skip, length)};
        record_line_ = line_;
        record_bytes_ = 0;
        input.remove_prefix(stop + 1);
        return line;
    }
    void keep(std::string_view bytes, std::string& text);
    // take_whole_line, its text appended to text.
    std::optional<RecordEnd> whole_line(std::string_view& input, std::string& text);
    RecordEnd end_record();
    void replay_partial_bom(std::string& text);
    // Scans bytes of the current record; returns how many it used, the
    // line end included when `ended`.
    std::size_t scan_whole_lines(std::string_view input, std::string& text, bool& ended);
    std::size_t scan_fields(std::string_view input, std::string& text, bool& ended);

    SplitterSettings settings_;
    std::size_t bom_seen_ = 0;    // bytes of a leading byte order mark matched so far
    bool bom_done_ = false;
    bool after_cr_ = false;       // the last byte was a CR: an LF right after it is its pair
    uint64_t line_ = 1;           // the line being read
    uint64_t record_line_ = 1;
    uint64_t record_bytes_ = 0;   // input bytes of the record so far
    bool in_record_ = false;      // bytes of a record seen since the last end
    std::size_t held_ = 0;        // bytes of the record kept in text
    bool overlong_ = false;
    Field field_ = Field::Start;
    std::size_t delimiter_matched_ = 0;
};

}  // namespace epochsift::cli
