#include "output/scan_hits.hpp"

#include <cstdio>

#include "formats/byte_layouts.hpp"
#include "formats/numeric_family_table.hpp"
#include "output/json_number.hpp"
#include "output/json_string.hpp"

namespace epochsift {

ScanRow scan_row(const ScanPlan& plan, const ScanHit& hit) {
    ScanProbe const& p = plan.probes[hit.probe];
    std::optional<std::string_view> order;
    if (p.kind != ProbeKind::Record) order = p.order == ByteOrder::Little ? "little" : "big";
    bool const local = p.kind == ProbeKind::Record ? false : NUMERIC_FAMILIES[p.source].local;
    return ScanRow{hit.offset,   p.width,         order,       probe_format_id(p), probe_label(p),
                   hit.instant,  RenderedText::of(hit.instant), hit.confidence(), hit.record, local || p.local,
                   hit.evidence};
}

void append_scan_json_line(std::string& out, const ScanRow& row) {
    for (std::size_t f = 0; f < SCAN_FIELD_COUNT; ++f) {
        out += f == 0 ? "{" : ",";
        append_json_string(out, SCAN_FIELD_NAMES[f]);
        out += ':';
        switch (static_cast<ScanField>(f)) {
        case ScanField::Offset: append_json_integer(out, row.offset); break;
        case ScanField::Width: append_json_integer(out, row.width); break;
        case ScanField::Order:
            if (row.order) append_json_string(out, *row.order);
            else out += "null";
            break;
        case ScanField::FormatId: append_json_string(out, row.format_id); break;
        case ScanField::Label: append_json_string(out, row.label); break;
        case ScanField::Instant: append_json_integer(out, row.instant.ns); break;
        case ScanField::Rendered:
            if (row.rendered) append_json_string(out, row.rendered->view());
            else out += "null";
            break;
        case ScanField::Confidence: append_json_double(out, row.confidence); break;
        case ScanField::Record: append_json_integer(out, row.record); break;
        case ScanField::Local: out += row.local ? "true" : "false"; break;
        case ScanField::Evidence:
            out += '[';
            for (std::size_t e = 0; e < SCAN_EVIDENCE_COUNT; ++e) {
                if (e != 0) out += ',';
                out += '[';
                append_json_string(out, SCAN_EVIDENCE_NAMES[e]);
                out += ',';
                append_json_double(out, static_cast<double>(row.evidence[e]));
                out += ']';
            }
            out += ']';
            break;
        }
    }
    out += "}\n";
}

namespace {

// The fields a CSV row carries: every one but the evidence list and the
// label (the format id names it).
constexpr bool in_csv(ScanField f) { return f != ScanField::Evidence && f != ScanField::Label; }

}  // namespace

void append_scan_csv_header(std::string& out) {
    bool first = true;
    for (std::size_t f = 0; f < SCAN_FIELD_COUNT; ++f) {
        if (!in_csv(static_cast<ScanField>(f))) continue;
        if (!first) out += ',';
        out += SCAN_FIELD_NAMES[f];
        first = false;
    }
    out += '\n';
}

void append_scan_csv_row(std::string& out, const ScanRow& row) {
    bool first = true;
    for (std::size_t f = 0; f < SCAN_FIELD_COUNT; ++f) {
        auto const field = static_cast<ScanField>(f);
        if (!in_csv(field)) continue;
        if (!first) out += ',';
        first = false;
        switch (field) {
        case ScanField::Offset: append_json_integer(out, row.offset); break;
        case ScanField::Width: append_json_integer(out, row.width); break;
        case ScanField::Order: out += row.order.value_or(""); break;
        case ScanField::FormatId: out += row.format_id; break;  // ids are [a-z0-9_]
        case ScanField::Instant: append_json_integer(out, row.instant.ns); break;
        case ScanField::Rendered: out += row.rendered ? row.rendered->view() : std::string_view(); break;
        case ScanField::Confidence: append_json_double(out, row.confidence); break;
        case ScanField::Record: append_json_integer(out, row.record); break;
        case ScanField::Local: out += row.local ? "true" : "false"; break;
        case ScanField::Label:
        case ScanField::Evidence: break;
        }
    }
    out += '\n';
}

}  // namespace epochsift
