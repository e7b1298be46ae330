#include "output/encoded_json.hpp"

#include "output/reading_json.hpp"

namespace epochsift {

namespace {

constexpr char HEX[] = "0123456789abcdef";

void put_byte(std::string& out, uint64_t byte) {
    out += HEX[byte >> 4 & 0xF];
    out += HEX[byte & 0xF];
}

std::string signed_ns(i128 ns) {
    std::string text;
    if (ns > 0) text += '+';
    append_json_integer(text, ns);
    return text;
}

}  // namespace

std::string hex_big_endian(const StoredBytes& stored) {
    std::string out;
    for (int i = stored.width - 1; i >= 0; --i) put_byte(out, stored.bits >> (8 * i));
    return out;
}

std::string hex_little_endian(const StoredBytes& stored) {
    std::string out;
    for (int i = 0; i < stored.width; ++i) put_byte(out, stored.bits >> (8 * i));
    return out;
}

std::vector<std::string> encode_assumptions(const Encoded& encoded, PosixNs instant, std::string_view wall_zone) {
    std::vector<std::string> texts;
    if (encoded.has(EncodeNote::Rounded)) {
        texts.push_back("the family's resolution moves the instant by " + signed_ns(encoded.reads_as.ns - instant.ns) +
                        " ns: it reads back as " + encoded.reads_as.to_rfc3339().value_or("(outside calendar)"));
    }
    if (encoded.has(EncodeNote::NearestDouble)) {
        texts.emplace_back("stored as the nearest IEEE 754 double; the text is the shortest that reads back to it");
    }
    if (encoded.has(EncodeNote::IdentifierBitsZero)) {
        texts.emplace_back("every bit of the identifier but the time (and a UUID's variant) is zero");
    }
    if (encoded.has(EncodeNote::WallClockUtc)) {
        texts.emplace_back("the family stores wall-clock time without an offset: the UTC wall clock is written");
    }
    if (encoded.has(EncodeNote::WallClockZone)) {
        texts.push_back("the family stores wall-clock time without an offset: the wall clock of " +
                        std::string(wall_zone) + " is written, and reads back as that zone's local time");
    }
    return texts;
}

std::string encoded_json(std::span<const Encoded> encoded, PosixNs instant, std::string_view wall_zone) {
    std::string out = "[";
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const Encoded& e = encoded[i];
        if (i != 0) out += ',';
        out += "{\"format_id\":";
        append_json_string(out, e.format_id);
        out += ",\"label\":";
        append_json_string(out, e.label);
        out += ",\"value\":";
        append_json_string(out, e.value);
        out += ",\"instant\":";
        append_json_integer(out, e.reads_as.ns);
        out += ",\"rendered\":";
        if (auto const text = e.reads_as.to_rfc3339()) append_json_string(out, *text);
        else out += "null";
        for (auto const& [key, hex] : {std::pair{",\"hex_be\":", &hex_big_endian}, std::pair{",\"hex_le\":", &hex_little_endian}}) {
            out += key;
            // Bytes in a fixed sequence have no little-endian form.
            if (e.stored && (e.stored->ordered || hex == &hex_big_endian)) append_json_string(out, hex(*e.stored));
            else out += "null";
        }
        out += ",\"exact\":";
        out += e.reads_as == instant ? "true" : "false";
        out += ",\"assumptions\":[";
        std::vector<std::string> const texts = encode_assumptions(e, instant, wall_zone);
        for (std::size_t j = 0; j < texts.size(); ++j) {
            if (j != 0) out += ',';
            append_json_string(out, texts[j]);
        }
        out += "]}";
    }
    out += ']';
    return out;
}

}  // namespace epochsift
