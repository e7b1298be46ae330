#include "python/reading_columns.hpp"

#include <array>
#include <cstring>
#include <limits>
#include <string>

#include "output/reading_fields.hpp"
#include "python/arrow_export.hpp"

namespace epochsift::python {

namespace {

// A validity bitmap, all valid until cleared.
struct Validity {
    std::vector<uint8_t> bits;
    int64_t nulls = 0;

    void size_for(std::size_t rows) { bits.assign((rows + 7) / 8, 0xFF); }
    void clear(std::size_t row) {
        bits[row >> 3] &= static_cast<uint8_t>(~(1u << (row & 7)));
        ++nulls;
    }
    const void* buffer() const { return nulls == 0 ? nullptr : bits.data(); }
};

// utf8 while the texts fit 32-bit offsets, large_utf8 past that.
struct TextBuffers {
    std::vector<int32_t> offsets32;
    std::vector<int64_t> offsets64;
    std::vector<char> data;
    Validity validity;
    bool large = false;

    void size_for(std::size_t rows, std::size_t bytes) {
        large = bytes > static_cast<std::size_t>(std::numeric_limits<int32_t>::max());
        if (large) offsets64.resize(rows + 1);
        else offsets32.resize(rows + 1);
        data.reserve(bytes + 1);  // never a null buffer, even when empty
        data.resize(bytes);
    }
    void set(std::size_t row, std::size_t& cursor, std::string_view text) {
        std::memcpy(data.data() + cursor, text.data(), text.size());
        cursor += text.size();
        if (large) offsets64[row + 1] = static_cast<int64_t>(cursor);
        else offsets32[row + 1] = static_cast<int32_t>(cursor);
    }
    const char* format() const { return large ? "U" : "u"; }
    const void* offsets() const {
        return large ? static_cast<const void*>(offsets64.data()) : static_cast<const void*>(offsets32.data());
    }
};

}  // namespace

class ReadingColumns {
public:
    int64_t rows = 0;
    std::vector<int64_t> row;
    std::vector<int32_t> rank;
    // Rows of inputs nothing reads (keep_empty): rank, format_id, label and
    // score are nullable, null in those rows.
    Validity reading_validity;
    TextBuffers format_id;
    TextBuffers label;
    std::vector<int64_t> instant;
    Validity instant_validity;
    TextBuffers rendered;
    std::vector<double> score;
    std::vector<double> confidence;
    Validity confidence_validity;  // null where nothing reads, or the reading weighs no confidence
    bool with_path = false;
    TextBuffers path;  // with_path: "verdict" or "full"
};

int64_t row_count(const ReadingColumns& columns) { return columns.rows; }

namespace {

std::string_view path_text(ReadingRow::Path path) {
    switch (path) {
        case ReadingRow::Path::Verdict: return "verdict";
        case ReadingRow::Path::Full: return "full";
        case ReadingRow::Path::Unset: break;
    }
    return {};
}

}  // namespace

std::shared_ptr<const ReadingColumns> build_reading_columns(std::span<const std::span<const ReadingRow>> parts,
                                                            bool with_path) {
    std::size_t rows = 0, format_bytes = 0, label_bytes = 0, rendered_bytes = 0, path_bytes = 0;
    for (std::span<const ReadingRow> part : parts) {
        rows += part.size();
        for (ReadingRow const& r : part) {
            format_bytes += r.format_id.size();
            label_bytes += r.label.size();
            rendered_bytes += r.rendered ? r.rendered->size() : 0;
            path_bytes += path_text(r.path).size();
        }
    }
    auto columns = std::make_shared<ReadingColumns>();
    ReadingColumns& c = *columns;
    c.rows = static_cast<int64_t>(rows);
    // Every buffer non-null, even for no rows: consumers may insist.
    c.row.reserve(rows + 1);
    c.rank.reserve(rows + 1);
    c.instant.reserve(rows + 1);
    c.score.reserve(rows + 1);
    c.confidence.reserve(rows + 1);
    c.row.resize(rows);
    c.rank.resize(rows);
    c.format_id.size_for(rows, format_bytes);
    c.label.size_for(rows, label_bytes);
    c.instant.resize(rows);
    c.instant_validity.size_for(rows);
    c.rendered.size_for(rows, rendered_bytes);
    c.rendered.validity.size_for(rows);
    c.score.resize(rows);
    c.confidence.resize(rows);
    c.confidence_validity.size_for(rows);
    c.reading_validity.size_for(rows);
    c.with_path = with_path;
    if (with_path) c.path.size_for(rows, path_bytes);

    std::size_t at = 0, format_cursor = 0, label_cursor = 0, rendered_cursor = 0, path_cursor = 0;
    for (std::span<const ReadingRow> part : parts) {
        for (ReadingRow const& r : part) {
            c.row[at] = r.row;
            c.rank[at] = r.rank;
            if (r.rank == 0) {
                c.reading_validity.clear(at);
                c.instant_validity.clear(at);
            }
            c.format_id.set(at, format_cursor, r.format_id);
            c.label.set(at, label_cursor, r.label);
            bool const fits = r.instant >= std::numeric_limits<int64_t>::min() &&
                              r.instant <= std::numeric_limits<int64_t>::max();
            c.instant[at] = fits ? static_cast<int64_t>(r.instant) : 0;
            if (!fits && r.rank != 0) c.instant_validity.clear(at);
            c.rendered.set(at, rendered_cursor, r.rendered ? r.rendered->view() : std::string_view());
            if (!r.rendered) c.rendered.validity.clear(at);
            c.score[at] = r.score;
            c.confidence[at] = r.rank != 0 && r.confidence >= 0.0 ? r.confidence : 0.0;
            if (r.rank == 0 || r.confidence < 0.0) c.confidence_validity.clear(at);
            if (with_path) c.path.set(at, path_cursor, path_text(r.path));
            ++at;
        }
    }
    return columns;
}

namespace {

// The columns: where a reading stands (its input row, its rank), then the
// reading's flat fields, named from the one field list. The citation, the
// components, the assumptions and the sentinel flag are left to identify()'s
// dicts: a table of readings is for filtering and joining, not for evidence.
struct Field {
    const char* name;
    int64_t flags;
};
constexpr const char* name_of(ReadingField field) { return field_name(field).data(); }  // names are literals
constexpr std::array<Field, 9> FIELDS = {{
    {"row", 0},
    {"rank", 0},
    {name_of(ReadingField::FormatId), 0},
    {name_of(ReadingField::Label), 0},
    {name_of(ReadingField::Instant), ARROW_FLAG_NULLABLE},
    {name_of(ReadingField::Rendered), ARROW_FLAG_NULLABLE},
    {name_of(ReadingField::Score), 0},
    // Null where the reading weighs none: the reference reading
    // (extended=False) and the rows by_column's verdict reads alone.
    {name_of(ReadingField::Confidence), ARROW_FLAG_NULLABLE},
    {"path", 0},  // by_column only
}};
constexpr std::size_t FIELD_COUNT = FIELDS.size();

// The text fields are utf8, or large_utf8 past 2 GiB of text.
const char* field_format(std::size_t field, const ReadingColumns& columns) {
    switch (field) {
        case 0: return "l";
        case 1: return "i";
        case 2: return columns.format_id.format();
        case 3: return columns.label.format();
        case 4: return "tsn:UTC";
        case 5: return columns.rendered.format();
        case 6: return "g";
        case 7: return "g";
        default: return columns.path.format();
    }
}

// One schema node: the node and its children own nothing but themselves.
struct SchemaPrivate {
    std::array<ArrowSchema, FIELD_COUNT> children{};
    std::array<ArrowSchema*, FIELD_COUNT> child_pointers{};
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

// The fields of a reading, null in the rows of inputs nothing reads.
bool is_reading_field(std::size_t field) { return field == 1 || field == 2 || field == 3 || field == 6 || field == 8; }

std::size_t field_count(const ReadingColumns& columns) { return columns.with_path ? FIELD_COUNT : FIELD_COUNT - 1; }

void fill_schema(ArrowSchema& schema, const ReadingColumns& columns) {
    auto* owned = new SchemaPrivate();
    bool const empty_rows = columns.reading_validity.nulls != 0;
    for (std::size_t i = 0; i < field_count(columns); ++i) {
        owned->children[i] = ArrowSchema{
            .format = field_format(i, columns),
            .name = FIELDS[i].name,
            .metadata = nullptr,
            .flags = FIELDS[i].flags | (empty_rows && is_reading_field(i) ? ARROW_FLAG_NULLABLE : 0),
            .n_children = 0,
            .children = nullptr,
            .dictionary = nullptr,
            .release = release_child_schema,
            .private_data = nullptr,
        };
        owned->child_pointers[i] = &owned->children[i];
    }
    schema = ArrowSchema{
        .format = "+s",
        .name = "",
        .metadata = nullptr,
        .flags = 0,
        .n_children = static_cast<int64_t>(field_count(columns)),
        .children = owned->child_pointers.data(),
        .dictionary = nullptr,
        .release = release_schema,
        .private_data = owned,
    };
}

}  // namespace

void export_schema(const ReadingColumns& columns, ArrowSchema& schema) { fill_schema(schema, columns); }

void export_array(const std::shared_ptr<const ReadingColumns>& columns, ArrowArray& array) {
    ReadingColumns const& c = *columns;
    arrow_export::fill_struct(array, columns, [&](std::vector<ArrowArray*>& children) {
        children.reserve(FIELD_COUNT);
        auto add = [&](int64_t nulls, std::vector<const void*> buffers) {
            arrow_export::add_child(children, columns, nulls, std::move(buffers));
        };
        add(0, {nullptr, c.row.data()});
        Validity const& read = c.reading_validity;
        add(read.nulls, {read.buffer(), c.rank.data()});
        add(read.nulls, {read.buffer(), c.format_id.offsets(), c.format_id.data.data()});
        add(read.nulls, {read.buffer(), c.label.offsets(), c.label.data.data()});
        add(c.instant_validity.nulls, {c.instant_validity.buffer(), c.instant.data()});
        add(c.rendered.validity.nulls, {c.rendered.validity.buffer(), c.rendered.offsets(), c.rendered.data.data()});
        add(read.nulls, {read.buffer(), c.score.data()});
        add(c.confidence_validity.nulls, {c.confidence_validity.buffer(), c.confidence.data()});
        if (c.with_path) add(read.nulls, {read.buffer(), c.path.offsets(), c.path.data.data()});
    });
}

void export_stream(const std::shared_ptr<const ReadingColumns>& columns, ArrowArrayStream& stream) {
    arrow_export::OneBatchStream<ReadingColumns, export_schema, export_array>::fill(columns, stream);
}

}  // namespace epochsift::python
