// Handing columns built once to Arrow consumers through the C data
// interface: array nodes and a one-batch stream that each keep a share of
// the columns, so a consumer may release them in any order. Shared by every
// exporter (readings, scan hits); no Python here.
#pragma once

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "python/arrow_abi.hpp"

namespace epochsift::python::arrow_export {

inline void release_children(std::vector<ArrowArray*>& children) {
    for (ArrowArray* child : children) {
        if (child->release != nullptr) child->release(child);
        delete child;
    }
    children.clear();
}

// Every array node keeps the columns alive; a child moved out by a consumer
// and released on its own still frees correctly.
template <class Columns>
struct ArrayPrivate {
    std::shared_ptr<const Columns> columns;
    std::vector<const void*> buffers;
    std::vector<ArrowArray*> children;
};

template <class Columns>
void release_array(ArrowArray* array) {
    auto* owned = static_cast<ArrayPrivate<Columns>*>(array->private_data);
    release_children(owned->children);
    delete owned;
    array->release = nullptr;
}

// One node of columns->rows rows over buffers the columns own. Throws
// std::bad_alloc only; children are the node's once it returns.
template <class Columns>
void fill_array(ArrowArray& array, const std::shared_ptr<const Columns>& columns, int64_t nulls,
                std::vector<const void*> buffers, std::vector<ArrowArray*> children) {
    auto* owned = new ArrayPrivate<Columns>{columns, std::move(buffers), std::move(children)};
    array = ArrowArray{
        .length = columns->rows,
        .null_count = nulls,
        .offset = 0,
        .n_buffers = static_cast<int64_t>(owned->buffers.size()),
        .n_children = static_cast<int64_t>(owned->children.size()),
        .buffers = owned->buffers.data(),
        .children = owned->children.empty() ? nullptr : owned->children.data(),
        .dictionary = nullptr,
        .release = release_array<Columns>,
        .private_data = owned,
    };
}

// Appends a child node to children; on a throw the caller releases them.
template <class Columns>
void add_child(std::vector<ArrowArray*>& children, const std::shared_ptr<const Columns>& columns, int64_t nulls,
               std::vector<const void*> buffers) {
    children.reserve(children.size() + 1);
    children.push_back(new ArrowArray());
    fill_array(*children.back(), columns, nulls, std::move(buffers), {});
}

// The top node: a struct whose children add_children(children) appends
// with add_child. Throws std::bad_alloc only, having released them.
template <class Columns, class AddChildren>
void fill_struct(ArrowArray& array, const std::shared_ptr<const Columns>& columns, AddChildren add_children) {
    std::vector<ArrowArray*> children;
    try {
        add_children(children);
        fill_array(array, columns, 0, {nullptr}, std::move(children));
    } catch (...) {
        release_children(children);
        throw;
    }
}

template <class Columns>
struct StreamPrivate {
    std::shared_ptr<const Columns> columns;
    bool sent = false;
    std::string error;
};

// A stream of one batch: the columns whole. FillSchema and ExportArray are
// the exporter's own (they throw std::bad_alloc only).
template <class Columns, void (*FillSchema)(const Columns&, ArrowSchema&),
          void (*ExportArray)(const std::shared_ptr<const Columns>&, ArrowArray&)>
struct OneBatchStream {
    using Private = StreamPrivate<Columns>;

    static int schema(ArrowArrayStream* stream, ArrowSchema* out) {
        auto* owned = static_cast<Private*>(stream->private_data);
        try {
            FillSchema(*owned->columns, *out);
            return 0;
        } catch (...) {
            owned->error = "out of memory";
            return ENOMEM;
        }
    }

    static int next(ArrowArrayStream* stream, ArrowArray* out) {
        auto* owned = static_cast<Private*>(stream->private_data);
        if (owned->sent) {
            out->release = nullptr;  // the end of the stream
            return 0;
        }
        try {
            ExportArray(owned->columns, *out);
            owned->sent = true;
            return 0;
        } catch (...) {
            owned->error = "out of memory";
            return ENOMEM;
        }
    }

    static const char* error(ArrowArrayStream* stream) {
        auto* owned = static_cast<Private*>(stream->private_data);
        return owned->error.empty() ? nullptr : owned->error.c_str();
    }

    static void release(ArrowArrayStream* stream) {
        delete static_cast<Private*>(stream->private_data);
        stream->release = nullptr;
    }

    static void fill(const std::shared_ptr<const Columns>& columns, ArrowArrayStream& stream) {
        stream = ArrowArrayStream{
            .get_schema = schema,
            .get_next = next,
            .get_last_error = error,
            .release = release,
            .private_data = new Private{columns, false, {}},
        };
    }
};

}  // namespace epochsift::python::arrow_export
