#include "python/reading_columns_object.hpp"

#include "python/arrow_columns_type.hpp"

namespace epochsift::python {

namespace {

struct ReadingExport {
    using Columns = ReadingColumns;
    static constexpr const char* NAME = "epochsift.ReadingColumns";
    static constexpr const char* ATTRIBUTE = "ReadingColumns";
    static constexpr const char* DOC =
        "Readings of an Arrow string column, exported through the Arrow PyCapsule interface.";
    static constexpr const char* ARRAY_DOC =
        "__arrow_c_array__($self, /, requested_schema=None)\n--\n\nThe readings as (schema, array) PyCapsules.";
    static constexpr const char* STREAM_DOC =
        "__arrow_c_stream__($self, /, requested_schema=None)\n--\n\nThe readings as an ArrowArrayStream PyCapsule.";
    static void schema(const Columns& columns, ArrowSchema& out) { export_schema(columns, out); }
    static void array(const std::shared_ptr<const Columns>& columns, ArrowArray& out) { export_array(columns, out); }
    static void stream(const std::shared_ptr<const Columns>& columns, ArrowArrayStream& out) {
        export_stream(columns, out);
    }
    static int64_t rows(const Columns& columns) { return row_count(columns); }
};

using ReadingColumnsType = ArrowColumnsType<ReadingExport>;

}  // namespace

PyObject* wrap_columns(PyObject* module, std::shared_ptr<const ReadingColumns> columns) {
    return ReadingColumnsType::wrap(module, std::move(columns));
}

int add_reading_columns_type(PyObject* module) { return ReadingColumnsType::add(module); }

}  // namespace epochsift::python
