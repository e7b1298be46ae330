// An Arrow column taken through the PyCapsule interface (__arrow_c_stream__
// or __arrow_c_array__) and read as text views in place.
#pragma once

#include <memory>
#include <vector>

#include "python/arrow_abi.hpp"
#include "python/arrow_strings.hpp"
#include "python/py_ref.hpp"

namespace epochsift::python {

// The input's arrays, released when the call ends; their buffers back the
// views the engine reads.
class ImportedArrays {
public:
    ImportedArrays() = default;
    ImportedArrays(const ImportedArrays&) = delete;
    ImportedArrays& operator=(const ImportedArrays&) = delete;
    ~ImportedArrays();  // releases everything, keeping the caller's exception
    ArrowSchema& schema() { return schema_; }
    ArrowArrayStream& stream() { return stream_; }
    // Keeps one array; its address is stable until the call ends.
    ArrowArray& add() { return *arrays_.emplace_back(std::make_unique<ArrowArray>()); }

private:
    ArrowSchema schema_{};
    ArrowArrayStream stream_{};
    std::vector<std::unique_ptr<ArrowArray>> arrays_;
};

// Reads every row's text view out of the column; the views live as long as
// `imported`. False with an exception set.
bool import_column(PyObject* column, ImportedArrays& imported, TextColumn& texts);

}  // namespace epochsift::python
