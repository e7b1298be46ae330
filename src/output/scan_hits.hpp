// What a scan hit shows, and its writers: one list of fields, iterated by
// the JSON Lines and CSV writers here, the command line's table and the
// Python dicts and Arrow columns, so a field added once appears in each.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/candidate.hpp"
#include "engine/scan.hpp"

namespace epochsift {

enum class ScanField : uint8_t {
    Offset,      // of the field's first byte in the input
    Width,       // bytes the field takes
    Order,       // "little", "big", or none for a record with its own layout
    FormatId,
    Label,
    Instant,     // integer nanoseconds since 1970 UTC
    Rendered,    // RFC 3339 text
    Confidence,  // 0 to 1; hits shown by default reach 0.5
    Record,      // offset of the first hit of the record the hit belongs to
    Local,       // wall-clock time with no zone, read as UTC
    Evidence,    // the named evidence, in bits
};
inline constexpr std::size_t SCAN_FIELD_COUNT = 11;
inline constexpr std::array<std::string_view, SCAN_FIELD_COUNT> SCAN_FIELD_NAMES = {
    "offset", "width", "order", "format_id", "label", "instant", "rendered", "confidence", "record", "local", "evidence",
};
inline constexpr std::array<std::string_view, SCAN_EVIDENCE_COUNT> SCAN_EVIDENCE_NAMES = {
    "high_bytes", "prior", "alignment", "neighbours", "stride", "text", "era", "structure",
};

// A hit with its plan's facts looked up.
struct ScanRow {
    uint64_t offset;
    uint8_t width;
    std::optional<std::string_view> order;
    std::string_view format_id;
    std::string_view label;
    PosixNs instant;
    std::optional<RenderedText> rendered;
    double confidence;
    uint64_t record;
    bool local;
    std::array<float, SCAN_EVIDENCE_COUNT> evidence;
};

ScanRow scan_row(const ScanPlan& plan, const ScanHit& hit);

// One JSON object and a newline.
void append_scan_json_line(std::string& out, const ScanRow& row);

// The CSV header and a row (RFC 4180; no evidence column).
void append_scan_csv_header(std::string& out);
void append_scan_csv_row(std::string& out, const ScanRow& row);

}  // namespace epochsift
