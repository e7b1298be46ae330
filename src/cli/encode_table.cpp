#include "cli/encode_table.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "cli/utf8.hpp"
#include "output/encoded_json.hpp"

namespace epochsift::cli {

namespace {

constexpr std::string_view GAP = "  ";
constexpr std::string_view NO_BYTES = "-";

}  // namespace

void append_encode_table(std::string& out, PosixNs instant, std::span<const Encoded> encoded,
                         std::string_view wall_zone) {
    out += instant.to_rfc3339().value_or("(outside calendar)");
    out += ": ";
    out += std::to_string(encoded.size());
    out += encoded.size() == 1 ? " family" : " families";
    out += " (~ rounds the instant to the family's resolution)\n";

    using Row = std::array<std::string, 5>;
    std::vector<Row> rows;
    rows.push_back({"family", "value", "hex big-endian", "hex little-endian", "wall clock"});
    for (const Encoded& e : encoded) {
        std::string family(e.format_id);
        if (e.reads_as != instant) family += " ~";
        // A family that stores a wall clock says whose it holds.
        std::string wall = e.has(EncodeNote::WallClockZone) ? std::string(wall_zone)
                           : e.has(EncodeNote::WallClockUtc) ? std::string("UTC")
                                                             : std::string();
        bool const ordered = e.stored && e.stored->ordered;
        rows.push_back({family, e.value, e.stored ? hex_big_endian(*e.stored) : std::string(NO_BYTES),
                        ordered ? hex_little_endian(*e.stored) : std::string(NO_BYTES), std::move(wall)});
    }
    std::array<std::size_t, 5> widths{};
    for (const Row& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], display_width(row[c]));
    }
    for (const Row& row : rows) {
        std::size_t last = row.size();  // no trailing blanks after an empty cell
        while (last > 1 && row[last - 1].empty()) --last;
        for (std::size_t c = 0; c < last; ++c) {
            out += row[c];
            if (c + 1 == last) break;
            out.append(widths[c] - display_width(row[c]), ' ');
            out += GAP;
        }
        out += '\n';
    }
}

}  // namespace epochsift::cli
