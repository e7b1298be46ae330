// The batch pipeline as a library: input from a pipe or a file, output and
// messages captured, records checked against a parse of the output.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "cli/batch.hpp"
#include "cli/record_splitter.hpp"

namespace epochsift::cli {
namespace {

std::string read_back(int fd) {
    std::string text;
    char buffer[1 << 16];
    ::lseek(fd, 0, SEEK_SET);
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    return text;
}

struct Outcome {
    int status;
    std::string output;
    std::vector<std::string> messages;
};

// Runs the pipeline over input, fed through a pipe in small pieces or read
// from a file.
Outcome run_pipeline(const std::string& input, BatchSettings settings, bool through_pipe) {
    int const out = memfd_create("out", 0), messages = memfd_create("messages", 0);
    int in = -1;
    std::thread feeder;
    if (through_pipe) {
        int ends[2];
        EXPECT_EQ(::pipe(ends), 0);
        in = ends[0];
        feeder = std::thread([&input, fd = ends[1]] {
            std::mt19937 random(1);
            for (std::size_t at = 0; at < input.size();) {
                std::size_t const piece = std::min<std::size_t>(1 + random() % 300, input.size() - at);
                if (::write(fd, input.data() + at, piece) < 0) break;
                at += piece;
            }
            ::close(fd);
        });
    } else {
        in = memfd_create("in", 0);
        EXPECT_EQ(::write(in, input.data(), input.size()), static_cast<ssize_t>(input.size()));
        ::lseek(in, 0, SEEK_SET);
    }
    Outcome run;
    run.status = run_batch_streams(BatchStreams{.input = in, .output = out, .messages = messages, .input_name = "in"},
                                   settings);
    if (feeder.joinable()) feeder.join();
    run.output = read_back(out);
    std::string const text = read_back(messages);
    for (std::size_t at = 0; at < text.size();) {
        std::size_t const end = text.find('\n', at);
        run.messages.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    for (int fd : {in, out, messages}) ::close(fd);
    return run;
}

std::vector<nlohmann::json> records_of(const std::string& output) {
    std::vector<nlohmann::json> records;
    for (std::size_t at = 0; at < output.size();) {
        std::size_t const end = output.find('\n', at);
        records.push_back(nlohmann::json::parse(output.substr(at, end - at)));
        at = end + 1;
    }
    return records;
}

// Lines far past one chunk, with faults spread over later chunks: each
// record and message must name the line it came from.
TEST(BatchPipeline, LineNumbersAcrossChunks) {
    std::vector<std::string> lines;
    for (int i = 1; i <= 700; ++i) lines.push_back(std::to_string(1700000000 + i));
    lines[99] = "\xF5\x80\x80\x80";    // lead byte above F4
    lines[299] = "ab\xFF";              // never UTF-8
    lines[650] = "\xC0\xAF";            // overlong form
    lines[699] = std::string(300, '7');  // over the limit below
    std::string input;
    for (const std::string& line : lines) input += line + '\n';
    BatchSettings settings;
    settings.threads = 3;
    settings.max_line = 200;
    for (bool pipe : {false, true}) {
        Outcome const run = run_pipeline(input, settings, pipe);
        EXPECT_EQ(run.status, EXIT_LINES_UNREAD);
        std::vector<nlohmann::json> const records = records_of(run.output);
        ASSERT_EQ(records.size(), lines.size());
        for (std::size_t i = 0; i < lines.size(); ++i) {
            bool const faulty = i == 99 || i == 299 || i == 650 || i == 699;
            EXPECT_EQ(records[i]["value"].is_null(), faulty) << i;
            if (!faulty) EXPECT_EQ(records[i]["value"], lines[i]) << i;
            else EXPECT_EQ(records[i], (nlohmann::json{{"value", nullptr}, {"line", i + 1},
                                         {"error", i == 699 ? "line longer than 200 bytes" : "invalid UTF-8"},
                                         {"readings", nlohmann::json::array()}})) << i;
        }
        std::vector<std::string> const expected = {
            "epochsift: in:100: not valid UTF-8",
            "epochsift: in:300: not valid UTF-8",
            "epochsift: in:651: not valid UTF-8",
            "epochsift: in:700: line longer than 200 bytes, skipped (--max-line)",
            "epochsift: in: 4 of 700 lines could not be read (first: line 100); their records carry the error",
        };
        EXPECT_EQ(run.messages, expected) << "through a pipe: " << pipe;
    }
}

// Controls inside values: a quoted field keeps its CR; DEL and C1 controls
// pass through, and a CSV field with any line break is quoted (RFC 4180,
// 2.6). The JSON records of such values are checked against the module by
// test_cli.py.
TEST(BatchPipeline, ControlsInValuesAsCsv) {
    std::string const input = "k,\"a\rb\"\nk,x\x7Fy\nk,\xC2\x85z\nk,\"1\r\n2\"\n";
    BatchSettings settings;
    settings.threads = 2;
    settings.format.column = 2;
    settings.format.output = BatchOutput::BestCsv;
    Outcome const csv = run_pipeline(input, settings, false);
    EXPECT_EQ(csv.status, EXIT_DONE);
    EXPECT_EQ(csv.output, std::string(CSV_HEADER) + "\"a\rb\",,,,,\nx\x7Fy,,,,,\n\xC2\x85z,,,,,\n\"1\r\n2\",,,,,\n");
}

struct Record {
    std::string text;
    uint64_t line;
    bool overlong;
    bool operator==(const Record&) const = default;
    friend void PrintTo(const Record& r, std::ostream* out) {
        *out << testing::PrintToString(r.text) << "@" << r.line << (r.overlong ? " overlong" : "");
    }
};

std::vector<Record> split(std::string_view input, SplitterSettings settings, std::vector<std::size_t> const& cuts) {
    RecordSplitter splitter(std::move(settings));
    std::vector<Record> records;
    std::string text;
    std::size_t at = 0;
    auto const take = [&](std::optional<RecordEnd> end) {
        records.push_back(Record{.text = text, .line = end->line, .overlong = end->overlong});
        text.clear();
    };
    for (std::size_t cut : cuts) {
        std::string_view piece = input.substr(at, cut - at);
        while (auto end = splitter.next(piece, text)) take(end);
        at = cut;
    }
    std::string_view rest = input.substr(at);
    while (auto end = splitter.next(rest, text)) take(end);
    if (auto end = splitter.finish(text)) take(end);
    return records;
}

// Line numbers and what the CSV reading leaves alone; the mark at the start
// and quoted fields as Python's csv module writes them: test_cli.py.
TEST(RecordSplitter, Table) {
    struct Case {
        const char* name;
        std::string_view input;
        bool fields;
        std::vector<Record> records;
        std::size_t max_record = 64;
    };
    const Case cases[] = {
        {"line ends", "a\nb\r\nc\rd", false, {{"a", 1, false}, {"b", 2, false}, {"c", 3, false}, {"d", 4, false}}},
        {"blank lines", "\n\r\n\r", false, {{"", 1, false}, {"", 2, false}, {"", 3, false}}},
        {"mark only at the start", "1\n\xEF\xBB\xBF" "2", false, {{"1", 1, false}, {"\xEF\xBB\xBF" "2", 2, false}}},
        {"half a mark", "\xEF\xBB" "1", false, {{"\xEF\xBB" "1", 1, false}}},
        {"quotes ignored in whole lines", "\"a\nb\"", false, {{"\"a", 1, false}, {"b\"", 2, false}}},
        {"quoted line breaks", "x,\"a\r\nb\rc\nd\"\ny", true, {{"x,\"a\r\nb\rc\nd\"", 1, false}, {"y", 5, false}}},
        {"mark inside a plain field", "a\"b\nc", true, {{"a\"b", 1, false}, {"c", 2, false}}},
        {"unclosed at the end", "\"a\nb", true, {{"\"a\nb", 1, false}}},
        {"overlong", "12345\n1234\n123456789\n1", false,
         {{"", 1, true}, {"1234", 2, false}, {"", 3, true}, {"1", 4, false}}, 4},
    };
    for (const Case& c : cases) {
        SplitterSettings const settings{.quoted_fields = c.fields, .delimiter = ",", .max_record = c.max_record};
        std::vector<Record> const whole = split(c.input, settings, {});
        EXPECT_EQ(whole, c.records) << c.name;
        for (std::size_t cut = 0; cut <= c.input.size(); ++cut) {  // one cut anywhere changes nothing
            EXPECT_EQ(split(c.input, settings, {cut}), whole) << c.name << " cut at " << cut;
        }
    }
}

// Cut into random pieces, any input splits as it does whole.
TEST(RecordSplitter, PiecesDoNotMatter) {
    std::mt19937 random(11);
    std::string const alphabet = "ab,\"\r\n\xEF\xBB\xBF\xC2\xA6";
    for (int round = 0; round < 3000; ++round) {
        std::string input;
        for (int n = static_cast<int>(random() % 40); n > 0; --n) input += alphabet[random() % alphabet.size()];
        std::vector<std::size_t> cuts;
        for (std::size_t at = 0; at < input.size(); at += 1 + random() % 5) cuts.push_back(at);
        for (std::string delimiter : {",", "\xC2\xA6"}) {
            SplitterSettings const settings{.quoted_fields = round % 2 == 0, .delimiter = delimiter, .max_record = 8};
            ASSERT_EQ(split(input, settings, cuts), split(input, settings, {})) << testing::PrintToString(input);
        }
    }
}

// Whole lines, cut anywhere (a line whole in a piece or across pieces):
// the same records, and the input bytes each takes add up to the input's
// (an LF closing the last CR counts towards a record that never comes).
TEST(RecordSplitter, InputBytesAddUpWhateverThePieces) {
    std::mt19937 random(29);
    std::string const alphabet = "ab\r\n\r\n\xEF\xBB\xBF";
    auto const records = [](std::string_view input, std::vector<std::size_t> const& cuts) {
        RecordSplitter splitter(SplitterSettings{.quoted_fields = false, .delimiter = ",", .max_record = 3});
        std::vector<std::pair<Record, uint64_t>> out;
        std::string text;
        auto const take = [&](const RecordEnd& end) {
            out.push_back({Record{.text = text, .line = end.line, .overlong = end.overlong}, end.input_bytes});
            text.clear();
        };
        std::size_t at = 0;
        for (std::size_t cut : cuts) {
            std::string_view piece = input.substr(at, cut - at);
            while (auto end = splitter.next(piece, text)) take(*end);
            at = cut;
        }
        std::string_view rest = input.substr(at);
        while (auto end = splitter.next(rest, text)) take(*end);
        if (auto end = splitter.finish(text)) take(*end);
        return out;
    };
    for (int round = 0; round < 3000; ++round) {
        std::string input;
        for (int n = static_cast<int>(random() % 40); n > 0; --n) input += alphabet[random() % alphabet.size()];
        std::vector<std::size_t> cuts;
        for (std::size_t at = 0; at < input.size(); at += 1 + random() % 7) cuts.push_back(at);
        auto const whole = records(input, {});
        ASSERT_EQ(records(input, cuts), whole) << testing::PrintToString(input);
        uint64_t bytes = 0;
        for (auto const& record : whole) bytes += record.second;
        bool const crlf_last = input.size() >= 2 && input.substr(input.size() - 2) == "\r\n";
        EXPECT_EQ(bytes + (crlf_last ? 1 : 0), input.size()) << testing::PrintToString(input);
    }
}

}  // namespace
}  // namespace epochsift::cli
