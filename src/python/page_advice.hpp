// Advice to the kernel over the whole pages inside a block: a page the
// block only partly covers is shared with whatever lies beside it, so it is
// left out. Only advice: nothing changes where it is refused or unknown.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace epochsift::python {

inline void advise_whole_pages(const void* data, std::size_t bytes, uintptr_t page, [[maybe_unused]] int advice) {
#if defined(__linux__)
    auto const start = reinterpret_cast<uintptr_t>(data);
    uintptr_t const first = (start + page - 1) & ~(page - 1);
    uintptr_t const end = (start + bytes) & ~(page - 1);
    if (data != nullptr && first < end) madvise(reinterpret_cast<void*>(first), end - first, advice);
#else
    (void)data;
    (void)bytes;
    (void)page;
#endif
}

}  // namespace epochsift::python
