#include "python/scan_columns.hpp"

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "output/scan_hits.hpp"
#include "python/arrow_export.hpp"

namespace epochsift::python {

namespace {

// One column: fixed-width values, or utf8 text (offsets and bytes), with a
// validity bitmap once a row is null.
struct Column {
    const char* name = "";
    const char* format = "";
    bool text = false;
    std::vector<uint8_t> values;   // fixed width: the values; text: the bytes
    std::vector<int32_t> offsets;  // text only
    std::vector<uint8_t> validity;
    int64_t nulls = 0;

    void null_at(std::size_t row, std::size_t rows) {
        if (validity.empty()) validity.assign((rows + 7) / 8, 0xFF);
        validity[row >> 3] &= static_cast<uint8_t>(~(1u << (row & 7)));
        ++nulls;
    }
    template <class T>
    void put(T value) {
        auto const at = values.size();
        values.resize(at + sizeof value);
        std::memcpy(values.data() + at, &value, sizeof value);
    }
    void put_text(std::string_view t) {
        if (offsets.empty()) offsets.push_back(0);
        values.insert(values.end(), t.begin(), t.end());
        if (values.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) throw std::bad_alloc();
        offsets.push_back(static_cast<int32_t>(values.size()));
    }
};

const char* format_of(ScanField f) {
    switch (f) {
    case ScanField::Offset:
    case ScanField::Record: return "l";
    case ScanField::Width: return "i";
    case ScanField::Instant: return "tsn:UTC";
    case ScanField::Confidence: return "g";
    case ScanField::Local: return "b";
    case ScanField::Order:
    case ScanField::FormatId:
    case ScanField::Label:
    case ScanField::Rendered: return "u";
    case ScanField::Evidence: break;
    }
    return "";
}

}  // namespace

class ScanColumns {
public:
    int64_t rows = 0;
    std::vector<Column> columns;
    std::vector<std::string> names;
};

int64_t scan_row_count(const ScanColumns& columns) { return columns.rows; }

std::shared_ptr<const ScanColumns> build_scan_columns(const ScanPlan& plan, std::span<const ScanHit> hits) {
    auto built = std::make_shared<ScanColumns>();
    ScanColumns& c = *built;
    std::size_t const rows = hits.size();
    c.rows = static_cast<int64_t>(rows);
    for (std::size_t f = 0; f < SCAN_FIELD_COUNT; ++f) {
        auto const field = static_cast<ScanField>(f);
        if (field == ScanField::Evidence) continue;  // a list per row: dicts and JSON only
        Column column;
        column.name = SCAN_FIELD_NAMES[f].data();  // the names are literals, so terminated
        column.format = format_of(field);
        column.text = column.format[0] == 'u';
        if (field == ScanField::Local) column.values.assign((rows + 7) / 8 + 1, 0);
        c.columns.push_back(std::move(column));
    }
    for (std::size_t r = 0; r < rows; ++r) {
        ScanRow const row = scan_row(plan, hits[r]);
        std::size_t k = 0;
        for (std::size_t f = 0; f < SCAN_FIELD_COUNT; ++f) {
            auto const field = static_cast<ScanField>(f);
            if (field == ScanField::Evidence) continue;
            Column& col = c.columns[k++];
            switch (field) {
            case ScanField::Offset: col.put(static_cast<int64_t>(row.offset)); break;
            case ScanField::Record: col.put(static_cast<int64_t>(row.record)); break;
            case ScanField::Width: col.put(static_cast<int32_t>(row.width)); break;
            case ScanField::Instant: col.put(static_cast<int64_t>(row.instant.ns)); break;  // in the window: int64
            case ScanField::Confidence: col.put(row.confidence); break;
            case ScanField::Local:
                if (row.local) col.values[r >> 3] |= static_cast<uint8_t>(1u << (r & 7));
                break;
            case ScanField::Order:
                col.put_text(row.order.value_or(""));
                if (!row.order) col.null_at(r, rows);
                break;
            case ScanField::FormatId: col.put_text(row.format_id); break;
            case ScanField::Label: col.put_text(row.label); break;
            case ScanField::Rendered:
                col.put_text(row.rendered ? row.rendered->view() : std::string_view());
                if (!row.rendered) col.null_at(r, rows);
                break;
            case ScanField::Evidence: break;
            }
        }
    }
    for (Column& col : c.columns) {
        // Every buffer non-null, even for no rows: consumers may insist.
        if (col.text && col.offsets.empty()) col.offsets.push_back(0);
        col.values.reserve(col.values.size() + 1);
        if (col.values.empty()) col.values.push_back(0);
    }
    return built;
}

namespace {

struct SchemaPrivate {
    std::vector<ArrowSchema> children;
    std::vector<ArrowSchema*> pointers;
};

void release_child_schema(ArrowSchema* schema) { schema->release = nullptr; }

void release_schema(ArrowSchema* schema) {
    auto* owned = static_cast<SchemaPrivate*>(schema->private_data);
    for (ArrowSchema& child : owned->children) {
        if (child.release != nullptr) child.release(&child);
    }
    delete owned;
    schema->release = nullptr;
}

void fill_schema(ArrowSchema& schema, const ScanColumns& columns) {
    auto owned = std::make_unique<SchemaPrivate>();
    owned->children.reserve(columns.columns.size());
    for (Column const& col : columns.columns) {
        owned->children.push_back(ArrowSchema{
            .format = col.format,
            .name = col.name,
            .metadata = nullptr,
            .flags = (col.nulls > 0 || std::strcmp(col.name, "order") == 0 || std::strcmp(col.name, "rendered") == 0)
                         ? ARROW_FLAG_NULLABLE
                         : 0,
            .n_children = 0,
            .children = nullptr,
            .dictionary = nullptr,
            .release = release_child_schema,
            .private_data = nullptr,
        });
    }
    for (ArrowSchema& child : owned->children) owned->pointers.push_back(&child);
    schema = ArrowSchema{
        .format = "+s",
        .name = "",
        .metadata = nullptr,
        .flags = 0,
        .n_children = static_cast<int64_t>(owned->children.size()),
        .children = owned->pointers.data(),
        .dictionary = nullptr,
        .release = release_schema,
        .private_data = owned.get(),
    };
    owned.release();
}

}  // namespace

void export_scan_schema(const ScanColumns& columns, ArrowSchema& schema) { fill_schema(schema, columns); }

void export_scan_array(const std::shared_ptr<const ScanColumns>& columns, ArrowArray& array) {
    arrow_export::fill_struct(array, columns, [&](std::vector<ArrowArray*>& children) {
        for (Column const& col : columns->columns) {
            const void* validity = col.nulls > 0 ? col.validity.data() : nullptr;
            std::vector<const void*> buffers = col.text
                                                   ? std::vector<const void*>{validity, col.offsets.data(), col.values.data()}
                                                   : std::vector<const void*>{validity, col.values.data()};
            arrow_export::add_child(children, columns, col.nulls, std::move(buffers));
        }
    });
}

void export_scan_stream(const std::shared_ptr<const ScanColumns>& columns, ArrowArrayStream& stream) {
    arrow_export::OneBatchStream<ScanColumns, export_scan_schema, export_scan_array>::fill(columns, stream);
}

}  // namespace epochsift::python
