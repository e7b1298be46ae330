#include "cli/record_splitter.hpp"

#include <cstdint>
#include <cstring>
#include <utility>

namespace epochsift::cli {

namespace {

constexpr std::string_view BOM = "\xEF\xBB\xBF";

bool is_line_end(char c) { return c == '\n' || c == '\r'; }

}  // namespace

RecordSplitter::RecordSplitter(SplitterSettings settings) : settings_(std::move(settings)) {}

void RecordSplitter::keep(std::string_view bytes, std::string& text) {
    if (overlong_) return;
    if (bytes.size() > settings_.max_record - held_) {
        text.resize(text.size() - held_);  // drop what was held; nothing more is kept
        held_ = 0;
        overlong_ = true;
        return;
    }
    text.append(bytes);
    held_ += bytes.size();
}

RecordEnd RecordSplitter::end_record() {
    RecordEnd const end{.line = record_line_, .overlong = overlong_, .input_bytes = record_bytes_};
    record_line_ = line_;
    record_bytes_ = 0;
    in_record_ = false;
    held_ = 0;
    overlong_ = false;
    field_ = Field::Start;
    delimiter_matched_ = 0;
    return end;
}

std::size_t RecordSplitter::scan_whole_lines(std::string_view input, std::string& text, bool& ended) {
    std::size_t const stop = line_end_in(input);
    keep(input.substr(0, stop), text);
    if (stop == input.size()) return stop;
    after_cr_ = input[stop] == '\r';
    ++line_;
    ended = true;
    return stop + 1;
}

std::size_t RecordSplitter::scan_fields(std::string_view input, std::string& text, bool& ended) {
    std::string_view const delimiter = settings_.delimiter;
    std::size_t i = 0;
    for (; i < input.size(); ++i) {
        char const c = input[i];
        if (field_ == Field::QuoteInQuoted) {
            if (c == '"') {  // "" stands for one mark
                field_ = Field::Quoted;
                continue;
            }
            field_ = Field::Plain;  // the mark before c closed the field
        } else if (field_ == Field::Quoted) {
            if (c == '"') field_ = Field::QuoteInQuoted;
            if (c == '\n' && after_cr_) {
                after_cr_ = false;  // the LF of a CRLF inside the field
                continue;
            }
            after_cr_ = c == '\r';
            if (is_line_end(c)) ++line_;
            continue;
        } else if (field_ == Field::Start) {
            if (c == '"') {
                field_ = Field::Quoted;
                continue;
            }
            field_ = Field::Plain;
        }
        // A plain field, or the rest of a quoted one after its closing mark.
        if (is_line_end(c)) {
            keep(input.substr(0, i), text);
            after_cr_ = c == '\r';
            ++line_;
            ended = true;
            return i + 1;
        }
        // The delimiter is one UTF-8 character: a mismatch can only restart it at its lead byte.
        if (c == delimiter[delimiter_matched_]) ++delimiter_matched_;
        else delimiter_matched_ = c == delimiter[0] ? 1 : 0;
        if (delimiter_matched_ == delimiter.size()) {
            delimiter_matched_ = 0;
            field_ = Field::Start;
        }
    }
    keep(input, text);
    return i;
}

std::optional<RecordEnd> RecordSplitter::whole_line(std::string_view& input, std::string& text) {
    auto const line = take_whole_line(input);
    if (!line) return std::nullopt;
    if (!line->end.overlong) text.append(line->text);
    return line->end;
}

std::optional<RecordEnd> RecordSplitter::next(std::string_view& input, std::string& text) {
    // Most records are lines whole in the piece read.
    if (!settings_.quoted_fields && bom_done_ && !in_record_) {
        if (auto const end = whole_line(input, text)) return end;
    }
    while (!bom_done_ && !input.empty()) {
        if (input.front() != BOM[bom_seen_]) {
            replay_partial_bom(text);
            break;
        }
        input.remove_prefix(1);
        if (++bom_seen_ == BOM.size()) {
            bom_done_ = true;
            record_bytes_ += BOM.size();
        }
    }
    // A CR that ended the last record: an LF right after it is part of that line end.
    if (after_cr_ && field_ != Field::Quoted && !input.empty()) {
        after_cr_ = false;
        if (input.front() == '\n') {
            input.remove_prefix(1);
            record_bytes_ += 1;
        }
    }
    if (input.empty()) return std::nullopt;
    in_record_ = true;
    bool ended = false;
    std::size_t const used = settings_.quoted_fields ? scan_fields(input, text, ended) : scan_whole_lines(input, text, ended);
    record_bytes_ += used;
    input.remove_prefix(used);
    if (!ended) return std::nullopt;
    return end_record();
}

void RecordSplitter::replay_partial_bom(std::string& text) {
    bom_done_ = true;
    if (bom_seen_ == 0) return;
    std::string_view partial = BOM.substr(0, bom_seen_);  // EF and BB end no record
    next(partial, text);
}

std::optional<RecordEnd> RecordSplitter::finish(std::string& text) {
    if (!bom_done_) replay_partial_bom(text);
    if (!in_record_) return std::nullopt;
    return end_record();
}

}  // namespace epochsift::cli
