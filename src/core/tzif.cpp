#include "core/tzif.hpp"

#include <string_view>

namespace epochsift {

namespace {

constexpr std::size_t HEADER_SIZE = 44;  // magic, version, 15 unused bytes, six 32-bit counts
constexpr std::size_t TYPE_SIZE = 6;     // 32-bit offset, is_dst, abbreviation index

struct Header {
    char version = 0;  // '\0' for version 1, else '2', '3', '4', ...
    uint32_t isut = 0, isstd = 0, leap = 0, time = 0, type = 0, chars = 0;

    // The data block's size with times of time_size bytes.
    uint64_t block_size(uint64_t time_size) const {
        return uint64_t{time} * time_size + time + uint64_t{type} * TYPE_SIZE + chars +
               uint64_t{leap} * (time_size + 4) + isstd + isut;
    }
};

// A bounds-checked big-endian reader over the file.
struct Reader {
    std::span<const unsigned char> bytes;
    std::size_t at = 0;

    bool has(uint64_t n) const { return n <= bytes.size() - at; }
    uint64_t be(std::size_t n) {  // callers check has() first
        uint64_t v = 0;
        for (std::size_t i = 0; i < n; ++i) v = v << 8 | bytes[at++];
        return v;
    }
    int64_t time(std::size_t size) {
        uint64_t const raw = be(size);
        return size == 8 ? static_cast<int64_t>(raw) : int64_t{static_cast<int32_t>(static_cast<uint32_t>(raw))};
    }
};

TzifError read_header(Reader& in, Header& out) {
    if (!in.has(HEADER_SIZE)) return in.has(4) ? TzifError::Truncated : TzifError::BadMagic;
    if (std::string_view(reinterpret_cast<const char*>(in.bytes.data() + in.at), 4) != "TZif") {
        return TzifError::BadMagic;
    }
    out.version = static_cast<char>(in.bytes[in.at + 4]);
    if (out.version != '\0' && out.version < '2') return TzifError::BadMagic;
    in.at += 20;
    uint32_t* const counts[] = {&out.isut, &out.isstd, &out.leap, &out.time, &out.type, &out.chars};
    for (uint32_t* count : counts) *count = static_cast<uint32_t>(in.be(4));
    if (out.type == 0 || out.chars == 0 || (out.isut != 0 && out.isut != out.type) ||
        (out.isstd != 0 && out.isstd != out.type) || out.type > 256) {
        return TzifError::BadCounts;
    }
    return TzifError::None;
}

TzifError read_block(Reader& in, const Header& h, std::size_t time_size, TzifZone& zone) {
    if (!in.has(h.block_size(time_size))) return TzifError::Truncated;
    zone.transitions.resize(h.time);
    zone.transition_types.resize(h.time);
    for (int64_t& t : zone.transitions) t = in.time(time_size);
    for (uint8_t& type : zone.transition_types) {
        type = static_cast<uint8_t>(in.be(1));
        if (type >= h.type) return TzifError::BadTransition;
    }
    for (std::size_t i = 1; i < zone.transitions.size(); ++i) {
        if (zone.transitions[i - 1] >= zone.transitions[i]) return TzifError::BadTransition;
    }
    std::vector<uint8_t> abbreviation_at(h.type);
    zone.types.resize(h.type);
    for (std::size_t i = 0; i < h.type; ++i) {
        auto const offset = static_cast<int32_t>(static_cast<uint32_t>(in.be(4)));
        uint64_t const is_dst = in.be(1);
        abbreviation_at[i] = static_cast<uint8_t>(in.be(1));
        if (offset < MIN_UT_OFFSET || offset > MAX_UT_OFFSET || is_dst > 1 || abbreviation_at[i] >= h.chars) {
            return TzifError::BadLocalTimeType;
        }
        zone.types[i].offset = offset;
        zone.types[i].is_dst = is_dst == 1;
    }
    std::string_view const chars(reinterpret_cast<const char*>(in.bytes.data() + in.at), h.chars);
    in.at += h.chars;
    for (std::size_t i = 0; i < h.type; ++i) {
        std::size_t const end = chars.find('\0', abbreviation_at[i]);
        if (end == std::string_view::npos) return TzifError::BadLocalTimeType;
        zone.types[i].abbreviation.assign(chars.substr(abbreviation_at[i], end - abbreviation_at[i]));
        if (!valid_designation(zone.types[i].abbreviation)) return TzifError::BadDesignation;
    }
    // Leap seconds: each record's correction applies from its occurrence
    // on; transition times count them, Unix seconds do not.
    std::vector<std::pair<int64_t, int32_t>> leaps(h.leap);
    for (std::size_t i = 0; i < h.leap; ++i) {
        leaps[i].first = in.time(time_size);
        leaps[i].second = static_cast<int32_t>(static_cast<uint32_t>(in.be(4)));
        if (i > 0 && leaps[i].first <= leaps[i - 1].first) return TzifError::BadLeapSecond;
    }
    if (!leaps.empty()) {
        std::size_t next = 0;
        int32_t correction = 0;
        for (int64_t& t : zone.transitions) {
            while (next < leaps.size() && leaps[next].first <= t) correction = leaps[next++].second;
            t -= correction;
        }
    }
    in.at += h.isstd + h.isut;  // how the transitions were given to zic: not needed to read them
    return TzifError::None;
}

}  // namespace

bool valid_designation(std::string_view abbreviation) {
    if (abbreviation.size() < 3 || abbreviation.size() > 6) return false;
    for (char const c : abbreviation) {
        bool const alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!alnum && c != '+' && c != '-') return false;
    }
    return true;
}

TzifResult parse_tzif(std::span<const unsigned char> bytes) {
    Reader in{bytes};
    Header first;
    if (TzifError const e = read_header(in, first); e != TzifError::None) return {std::nullopt, e};
    TzifZone zone;
    if (first.version == '\0') {
        if (TzifError const e = read_block(in, first, 4, zone); e != TzifError::None) return {std::nullopt, e};
        return {std::move(zone), TzifError::None};
    }
    // Version 2 and later: skip the 32-bit block for the 64-bit one.
    if (!in.has(first.block_size(4))) return {std::nullopt, TzifError::Truncated};
    in.at += static_cast<std::size_t>(first.block_size(4));
    Header second;
    if (TzifError const e = read_header(in, second); e != TzifError::None) {
        return {std::nullopt, e == TzifError::BadMagic && !in.has(4) ? TzifError::Truncated : e};
    }
    if (TzifError const e = read_block(in, second, 8, zone); e != TzifError::None) return {std::nullopt, e};
    // The footer: a rule string between two newlines.
    std::string_view const rest(reinterpret_cast<const char*>(bytes.data() + in.at), bytes.size() - in.at);
    if (rest.size() < 2 || rest[0] != '\n') return {std::nullopt, TzifError::BadFooter};
    std::size_t const close = rest.find('\n', 1);
    if (close == std::string_view::npos) return {std::nullopt, TzifError::BadFooter};
    std::string_view const rule = rest.substr(1, close - 1);
    if (!rule.empty()) {
        zone.footer = parse_posix_tz(rule);
        if (!zone.footer) return {std::nullopt, TzifError::BadFooter};
        if (!valid_designation(zone.footer->std_abbreviation) ||
            (zone.footer->has_dst && !valid_designation(zone.footer->dst_abbreviation))) {
            return {std::nullopt, TzifError::BadDesignation};
        }
    }
    return {std::move(zone), TzifError::None};
}

}  // namespace epochsift
