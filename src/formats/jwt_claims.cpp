#include "formats/jwt_claims.hpp"

#include <cstddef>
#include <limits>
#include <string>

#include <nlohmann/json.hpp>

#include "core/ascii_scan.hpp"

namespace epochsift {

namespace {

using Json = nlohmann::json;

// Deeper payloads are refused rather than walked.
constexpr int MAX_JSON_DEPTH = 128;

// The first "=" ends the data whatever follows it; any other character
// outside the alphabet refuses the whole segment. Bits short of a byte at the
// end are dropped unchecked, so no length is wrong.
std::optional<std::string> decode_base64url(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3 + 2);
    uint32_t bits = 0;  // at most 13 pending bits
    int pending = 0;
    for (char const c : text) {
        if (c == '=') break;
        int const value = base64url_value(c);
        if (value < 0) return std::nullopt;
        bits = bits << 6 | static_cast<uint32_t>(value);
        pending += 6;
        if (pending >= 8) {
            pending -= 8;
            bytes.push_back(static_cast<char>(bits >> pending & 0xFF));
        }
        bits &= (1u << pending) - 1;
    }
    return bytes;
}

// Collects iat, exp and nbf from the members of the top-level object while
// the parser streams the document; nothing is built. A repeated key
// overwrites what an earlier one left, so the last occurrence counts even
// when it is not a usable number.
class ClaimCollector {
public:
    const JwtClaims& claims() const { return claims_; }

    bool null() { return scalar(std::nullopt); }
    bool boolean(bool) { return scalar(std::nullopt); }
    bool number_integer(Json::number_integer_t value) { return scalar(value); }
    bool number_unsigned(Json::number_unsigned_t value) {
        constexpr auto max = static_cast<Json::number_unsigned_t>(std::numeric_limits<int64_t>::max());
        return scalar(value <= max ? std::optional<int64_t>(static_cast<int64_t>(value)) : std::nullopt);
    }
    // Also integers beyond 64 bits, which the parser hands over as floats.
    bool number_float(Json::number_float_t, const Json::string_t&) { return scalar(std::nullopt); }
    bool string(Json::string_t&) { return scalar(std::nullopt); }
    bool binary(Json::binary_t&) { return scalar(std::nullopt); }

    bool start_object(std::size_t) { return enter(); }
    bool end_object() { return leave(); }
    bool start_array(std::size_t) { return enter(); }
    bool end_array() { return leave(); }

    bool key(Json::string_t& name) {
        // Keys at depth 1 are the top-level object's own members.
        if (depth_ == 1) target_ = slot(name);
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return false; }

private:
    std::optional<int64_t>* slot(const std::string& name) {
        if (name == "iat") return &claims_.iat;
        if (name == "exp") return &claims_.exp;
        if (name == "nbf") return &claims_.nbf;
        return nullptr;
    }

    // A value at depth 1 belongs to the member whose key came just before.
    bool scalar(std::optional<int64_t> value) {
        if (depth_ == 1 && target_ != nullptr) *target_ = value;
        target_ = nullptr;
        return true;
    }

    bool enter() {
        scalar(std::nullopt);  // an object or array is never a claim value
        return ++depth_ <= MAX_JSON_DEPTH;
    }

    bool leave() {
        --depth_;
        return true;
    }

    JwtClaims claims_;
    std::optional<int64_t>* target_ = nullptr;
    int depth_ = 0;
};

bool parse_claims(const std::string& payload, JwtClaims& claims) {
    // The parser reads a NUL byte as the end of input and skips a leading
    // byte order mark; strict JSON allows neither, so both are refused here.
    if (payload.find('\0') != std::string::npos) return false;
    if (payload.starts_with("\xEF\xBB\xBF")) return false;
    ClaimCollector collector;
    // Strict: one value and nothing after it. Errors reach the collector's
    // parse_error instead of being thrown.
    if (!Json::sax_parse(payload.begin(), payload.end(), &collector, Json::input_format_t::json, true, false)) {
        return false;
    }
    claims = collector.claims();
    return true;
}

}  // namespace

std::optional<JwtClaims> parse_jwt_claims(std::string_view text) {
    std::size_t const first_dot = text.find('.');
    if (first_dot == std::string_view::npos) return std::nullopt;
    std::size_t const second_dot = text.find('.', first_dot + 1);
    if (second_dot == std::string_view::npos || text.find('.', second_dot + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    // The header and the signature are neither decoded nor verified.
    auto const payload = decode_base64url(text.substr(first_dot + 1, second_dot - first_dot - 1));
    if (!payload) return std::nullopt;
    JwtClaims claims;
    if (!parse_claims(*payload, claims)) return std::nullopt;
    return claims;
}

}  // namespace epochsift
