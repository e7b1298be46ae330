// A blob scan's hits as Arrow columns: one row per hit, one column per
// scalar field of output/scan_hits.hpp (the evidence list stays with the
// dicts and JSON). Buffers are filled once and handed to consumers through
// the C data interface; every exported array shares them.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "engine/scan.hpp"
#include "python/arrow_abi.hpp"

namespace epochsift::python {

class ScanColumns;

// Throws std::bad_alloc only.
std::shared_ptr<const ScanColumns> build_scan_columns(const ScanPlan& plan, std::span<const ScanHit> hits);

int64_t scan_row_count(const ScanColumns& columns);

// As reading_columns.hpp: the caller owns schema, array and stream until it
// releases them. Throw std::bad_alloc only.
void export_scan_schema(const ScanColumns& columns, ArrowSchema& schema);
void export_scan_array(const std::shared_ptr<const ScanColumns>& columns, ArrowArray& array);
void export_scan_stream(const std::shared_ptr<const ScanColumns>& columns, ArrowArrayStream& stream);

}  // namespace epochsift::python
