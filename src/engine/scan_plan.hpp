// What a blob scan tests at every offset: one probe per family, stored
// width, byte order and sign, each with the raw values that map into the
// window, worked out once from the family and record tables so that the
// per-offset test is a load and one unsigned compare.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/byte_order.hpp"
#include "core/instant.hpp"
#include "engine/read_options.hpp"

namespace epochsift {

enum class ProbeKind : uint8_t {
    Count,     // an integer count (plain, shifted or fixed point): exact raw range
    Binary64,  // an IEEE-754 double: a range of values, checked exactly on a hit
    Packed,    // civil fields packed in one integer: a range prefilter, then the decoder
    Record,    // a binary record of its own width: the decoder at every offset
};

// The widths integer families are read at; records bring their own.
inline constexpr std::array<uint8_t, 4> SCAN_INT_WIDTHS = {2, 4, 6, 8};

struct ScanProbe {
    ProbeKind kind = ProbeKind::Count;
    uint16_t source = 0;  // NUMERIC_FAMILIES index, or BYTE_LAYOUTS index for a Record
    uint8_t width = 0;
    ByteOrder order = ByteOrder::Little;
    bool negative = false;  // the field read as a negative two's-complement value
    // Record: the width of a leading count that must lie in [low, low + span]
    // before the decoder runs (0: none).
    uint8_t gate_width = 0;
    // Record: a field at bound_at, bound_width bytes in the gate's order,
    // that the format keeps at or below bound_max (0 wide: none).
    uint8_t bound_at = 0;
    uint8_t bound_width = 0;
    uint32_t bound_max = 0;
    // Count and Packed: the field's value, zero- or sign-extended to 64
    // bits, hits when (value - low) <= span in unsigned arithmetic. Packed
    // rows without an order-preserving layout take every value.
    uint64_t low = 0;
    uint64_t span = 0;
    // Count: the least magnitude of a hit (a negative field's complement).
    uint64_t min_magnitude = 0;
    // Count: bytes the window's largest magnitude takes.
    uint8_t significant = 0;
    // The boundary real fields of this kind start on: the width for counts
    // and doubles (2 for 6-byte counts), 2 for layouts of 16-bit words.
    uint8_t align = 1;
    // Binary64: x_low <= x < x_high and |x| >= x_least.
    double x_low = 0;
    double x_high = 0;
    double x_least = 0;
    // Nanoseconds one raw step is worth (Count), for the distance between
    // two fields' instants without decoding them.
    double step_ns = 0;
    // -log2 of the share of uniformly random fields that hit.
    double noise_bits = 0;
    // log2 of the family's prior relative to the everyday families.
    double prior_bits = 0;
    InstantWindow window{};
    bool local = false;  // wall-clock time with no zone

    friend bool operator==(const ScanProbe&, const ScanProbe&) = default;
};

struct ScanRequest {
    std::optional<InstantWindow> window;  // default: each family's own plausible era
    std::vector<uint8_t> widths;          // empty: every width
    std::vector<std::string_view> formats;  // empty: the default set (no rare rows)
    bool reference_only = false;            // only the families of the reference reading
};

// Why a request cannot be planned.
enum class ScanPlanError : uint8_t {
    UnknownFormat,  // a name in formats is no family or record id
    BadWidth,       // a width no family or record stores
    EmptyWindow,    // the window's start is not before its end
    NothingToScan,  // the formats and widths leave no probe
};

struct ScanPlan {
    std::vector<ScanProbe> probes;
    std::size_t max_width = 0;
};

struct ScanPlanResult {
    std::optional<ScanPlan> plan;
    ScanPlanError error = ScanPlanError::NothingToScan;
    std::string_view offending;  // the unknown format name
};

ScanPlanResult make_scan_plan(const ScanRequest& request);

// The format id and label a probe's hits carry (static texts of the tables).
std::string_view probe_format_id(const ScanProbe& probe);
std::string_view probe_label(const ScanProbe& probe);

// The probe's instant for the field at bytes (probe.width of them), or
// nothing when the field is no hit. Exact: the decoders of the tables.
std::optional<PosixNs> probe_instant(const ScanProbe& probe, const uint8_t* bytes);

// The field's value, zero-extended (or sign-extended for a negative probe).
uint64_t probe_raw(const ScanProbe& probe, const uint8_t* bytes);

}  // namespace epochsift
