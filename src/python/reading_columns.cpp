#include "python/reading_columns.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>

#include "output/reading_fields.hpp"
#include "python/arrow_export.hpp"
#include "python/page_advice.hpp"

namespace epochsift::python {

namespace {

// Room of many megabytes, reserved for a column's rows: the kernel is asked
// to back it with 2 MiB pages where it can, which makes a fault per 2 MiB
// written rather than one per 4 KiB.
void advise_large_pages(const void* data, std::size_t bytes) {
#if defined(MADV_HUGEPAGE)
    advise_whole_pages(data, bytes, uintptr_t{2} << 20, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

// A column's vectors: their large blocks from the block cache.
template <class T>
using ColumnVector = std::vector<T, BlockAllocator<T>>;

template <class T>
void advise_large_pages(const ColumnVector<T>& room) {
    advise_large_pages(room.data(), room.capacity() * sizeof(T));
}

// A validity bitmap grown a row at a time.
struct Validity {
    ColumnVector<uint8_t> bits;
    int64_t nulls = 0;
    std::size_t rows = 0;

    void reserve(std::size_t more) { bits.reserve((rows + more + 7) / 8); }
    void push(bool valid) {
        if ((rows & 7) == 0) bits.push_back(0xFF);
        if (!valid) {
            bits.back() &= static_cast<uint8_t>(~(1u << (rows & 7)));
            ++nulls;
        }
        ++rows;
    }
    // n rows alike: whole bytes at once past the first partial one.
    void push(bool valid, std::size_t n) {
        for (; n != 0 && (rows & 7) != 0; --n) push(valid);
        bits.insert(bits.end(), n / 8, valid ? 0xFF : 0x00);
        rows += n / 8 * 8;
        if (!valid) nulls += static_cast<int64_t>(n / 8 * 8);
        for (n %= 8; n != 0; --n) push(valid);
    }
    const void* buffer() const { return nulls == 0 ? nullptr : bits.data(); }
};

// The validity of rows 0 to rows - 1 by valid(i): a chunk whose rows are
// all alike (as a column read by its verdict mostly is) a byte at a time.
template <class Valid>
void push_validity(Validity& validity, std::size_t rows, Valid valid) {
    if (rows == 0) return;
    bool const first = valid(0);
    std::size_t alike = 1;
    while (alike < rows && valid(alike) == first) ++alike;
    if (alike == rows) {
        validity.push(first, rows);
        return;
    }
    for (std::size_t i = 0; i < rows; ++i) validity.push(valid(i));
}

// utf8 while the texts fit 32-bit offsets, large_utf8 once they pass them.
struct TextBuffers {
    ColumnVector<int32_t> offsets32{0};
    ColumnVector<int64_t> offsets64;
    ByteBlock data;
    Validity validity;
    bool large = false;

    void reserve(std::size_t rows, std::size_t bytes) {
        if (large) offsets64.reserve(offsets64.size() + rows);
        else offsets32.reserve(offsets32.size() + rows);
        data.reserve(data.size() + bytes);
    }
    // Ends a row whose text ends at byte `end` of data.
    void end_row(std::size_t end) {
        if (large) offsets64.push_back(static_cast<int64_t>(end));
        else offsets32.push_back(static_cast<int32_t>(end));
    }
    // Before data grows to `bytes`: 64-bit offsets once 32 bits no longer hold them.
    void allow(std::size_t bytes) {
        if (large || bytes <= static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) return;
        offsets64.assign(offsets32.begin(), offsets32.end());
        offsets32 = {};
        large = true;
    }
    void push(std::string_view text) {
        allow(data.size() + text.size());
        data.append(text.data(), text.size());
        end_row(data.size());
    }
    // The same text in n rows: the bytes by doubling copies, the ends by steps.
    void push(std::string_view text, std::size_t n) {
        std::size_t const start = data.size();
        std::size_t const bytes = text.size() * n;
        allow(start + bytes);
        if (bytes != 0) {
            char* const out = data.room(bytes);
            std::memcpy(out, text.data(), text.size());
            for (std::size_t filled = text.size(); filled < bytes;) {
                std::size_t const step = std::min(filled, bytes - filled);
                std::memcpy(out + filled, out, step);
                filled += step;
            }
            data.commit(bytes);
        }
        if (large) {
            for (std::size_t k = 1; k <= n; ++k) offsets64.push_back(static_cast<int64_t>(start + k * text.size()));
        } else {
            for (std::size_t k = 1; k <= n; ++k) offsets32.push_back(static_cast<int32_t>(start + k * text.size()));
        }
    }
    void finish() {
        data.reserve(1);  // never a null buffer, even when empty
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
    ColumnVector<int64_t> row;
    ColumnVector<int32_t> rank;
    // Rows of inputs nothing reads (keep_empty): rank, format_id, label and
    // score are nullable, null in those rows.
    Validity reading_validity;
    TextBuffers format_id;
    TextBuffers label;
    ColumnVector<int64_t> instant;
    Validity instant_validity;
    TextBuffers rendered;
    ColumnVector<double> score;
    ColumnVector<double> confidence;
    Validity confidence_validity;  // null where nothing reads, or the reading weighs no confidence
    bool with_path = false;
    TextBuffers path;  // with_path: "verdict" or "full"
};

int64_t row_count(const ReadingColumns& columns) { return columns.rows; }

namespace {

std::string_view path_text(ReadingRows::Path path) {
    switch (path) {
        case ReadingRows::Path::Verdict: return "verdict";
        case ReadingRows::Path::Full: return "full";
        case ReadingRows::Path::Unset: break;
    }
    return {};
}

}  // namespace

namespace {

template <class T>
void regrow(std::unique_ptr<T[]>& column, std::size_t kept, std::size_t capacity) {
    static_assert(std::is_trivially_copyable_v<T>);
    auto grown = std::make_unique_for_overwrite<T[]>(capacity);
    if (kept != 0) std::memcpy(grown.get(), column.get(), kept * sizeof(T));
    column = std::move(grown);
}

}  // namespace

void ReadingRows::grow(std::size_t capacity) {
    regrow(row_, size_, capacity);
    regrow(rank_, size_, capacity);
    regrow(format_, size_, capacity);
    regrow(instant_, size_, capacity);
    regrow(fits_, size_, capacity);
    regrow(score_, size_, capacity);
    regrow(confidence_, size_, capacity);
    regrow(path_, size_, capacity);
    regrow(rendered_length_, size_, capacity);
    capacity_ = capacity;
}

void ReadingRows::add(int64_t row, int32_t rank, FormatRef format, PosixNs instant, double score, double confidence,
                      Path path) {
    std::size_t const at = next();
    // Room for a rendering with a fraction of seven digits (28 bytes) a row
    // from the first: a FILETIME's does not outgrow it.
    if (rendered_.size() == 0) rendered_.reserve(capacity_ * 28 + RFC3339_MAX_LEN);
    std::size_t const length = instant.write_rfc3339(rendered_.room(RFC3339_MAX_LEN));  // 0 outside the range
    rendered_.commit(length);
    rendered_length_[at] = static_cast<uint8_t>(length);
    bool const fits = instant.ns >= std::numeric_limits<int64_t>::min() && instant.ns <= std::numeric_limits<int64_t>::max();
    row_[at] = row;
    rank_[at] = rank;
    format_[at] = format;
    instant_[at] = fits ? static_cast<int64_t>(instant.ns) : 0;
    fits_[at] = fits ? 1 : 0;
    score_[at] = score;
    confidence_[at] = confidence;
    path_[at] = path;
}

void ReadingRows::add_empty(int64_t row) {
    std::size_t const at = next();
    row_[at] = row;
    rank_[at] = 0;
    format_[at] = FormatRef();
    instant_[at] = 0;
    fits_[at] = 0;
    score_[at] = 0.0;
    confidence_[at] = NO_CONFIDENCE;
    path_[at] = Path::Unset;
    rendered_length_[at] = 0;
}

ReadingColumnsBuilder::ReadingColumnsBuilder(bool with_path, std::size_t expected_rows)
    : columns_(std::make_shared<ReadingColumns>()), expected_rows_(expected_rows) {
    ReadingColumns& c = *columns_;
    c.with_path = with_path;
    // Room for the rows expected, reserved and not touched: pages of it no
    // row reaches are never faulted in. Texts by their usual lengths.
    c.row.reserve(expected_rows + 1);
    c.rank.reserve(expected_rows + 1);
    c.instant.reserve(expected_rows + 1);
    c.score.reserve(expected_rows + 1);
    c.confidence.reserve(expected_rows + 1);
    c.confidence_validity.reserve(expected_rows);
    c.reading_validity.reserve(expected_rows);
    c.instant_validity.reserve(expected_rows);
    c.format_id.reserve(expected_rows, expected_rows * 8);
    c.label.reserve(expected_rows, expected_rows * 32);
    c.rendered.reserve(expected_rows, expected_rows * 20);
    c.rendered.validity.reserve(expected_rows);
    if (with_path) c.path.reserve(expected_rows, expected_rows * 7);
    for (auto const* room : {&c.row, &c.instant}) advise_large_pages(*room);
    advise_large_pages(c.rank);
    advise_large_pages(c.score);
    advise_large_pages(c.confidence);
    for (TextBuffers const* text : {&c.format_id, &c.label, &c.rendered, &c.path}) {
        advise_large_pages(text->offsets32);
        advise_large_pages(text->data.data(), text->data.capacity());
    }
}

ReadingColumnsBuilder::~ReadingColumnsBuilder() = default;

void ReadingColumnsBuilder::append(const ReadingRows& part) {
    ReadingColumns& c = *columns_;
    std::size_t const rows = part.size();
    if (c.rows == 0 && rows != 0) {
        // The renderings' room by the first chunk's lengths, while nothing
        // is in it: a column of fractions would outgrow the usual 20 bytes
        // and copy every rendering made so far to a new block.
        std::size_t const projected = part.rendered_.size() / rows * (expected_rows_ + expected_rows_ / 16 + 1);
        if (projected > c.rendered.data.capacity()) {
            c.rendered.data.reserve(projected);
            advise_large_pages(c.rendered.data.data(), c.rendered.data.capacity());
        }
    }
    c.rows += static_cast<int64_t>(rows);
    // The plain columns a chunk at a time.
    c.row.insert(c.row.end(), part.row_.get(), part.row_.get() + rows);
    c.rank.insert(c.rank.end(), part.rank_.get(), part.rank_.get() + rows);
    c.instant.insert(c.instant.end(), part.instant_.get(), part.instant_.get() + rows);
    c.score.insert(c.score.end(), part.score_.get(), part.score_.get() + rows);
    // The renderings are back to back already: one copy, then their ends.
    std::size_t rendered_end = c.rendered.data.size();
    c.rendered.allow(rendered_end + part.rendered_.size());
    c.rendered.data.append(part.rendered_.data(), part.rendered_.size());
    auto const read = [&](std::size_t i) { return part.rank_[i] != 0; };
    auto const weighed = [&](std::size_t i) { return read(i) && part.confidence_[i] >= 0.0; };
    push_validity(c.instant_validity, rows, [&](std::size_t i) { return read(i) && part.fits_[i] != 0; });
    push_validity(c.confidence_validity, rows, weighed);
    push_validity(c.rendered.validity, rows, [&](std::size_t i) { return part.rendered_length_[i] != 0; });
    for (std::size_t i = 0; i < rows; ++i) c.confidence.push_back(weighed(i) ? part.confidence_[i] : 0.0);
    for (std::size_t i = 0; i < rows; ++i) {
        rendered_end += part.rendered_length_[i];
        c.rendered.end_row(rendered_end);
    }
    // The texts named by the format and the path, a run of rows alike at a
    // time: a column read by its verdict is one run.
    for (std::size_t i = 0; i < rows;) {
        bool const read = part.rank_[i] != 0;
        std::size_t end = i + 1;
        while (end < rows && part.format_[end] == part.format_[i] && part.path_[end] == part.path_[i] &&
               (part.rank_[end] != 0) == read) {
            ++end;
        }
        std::size_t const run = end - i;
        c.reading_validity.push(read, run);
        FormatFacts const* entry = read ? &catalog_entry(part.format_[i]) : nullptr;
        c.format_id.push(read ? entry->id : std::string_view(), run);
        c.label.push(read ? entry->label : std::string_view(), run);
        if (c.with_path) c.path.push(path_text(part.path_[i]), run);
        i = end;
    }
}

std::shared_ptr<const ReadingColumns> ReadingColumnsBuilder::finish() {
    ReadingColumns& c = *columns_;
    // Every buffer non-null, even for no rows: consumers may insist.
    c.row.reserve(1);
    c.rank.reserve(1);
    c.instant.reserve(1);
    c.score.reserve(1);
    c.confidence.reserve(1);
    c.format_id.finish();
    c.label.finish();
    c.rendered.finish();
    c.path.finish();
    return std::move(columns_);
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
