// libFuzzer entry: every byte string goes through the whole engine. Beyond
// what the sanitizers catch, every answer must parse as JSON, be ranked by
// score and show each instant as its own calendar text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "reading_properties.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view const text(reinterpret_cast<const char*>(data), size);
    std::string const faults = epochsift::test_support::reading_faults(text);
    if (!faults.empty()) {
        std::fprintf(stderr, "%s\n", faults.c_str());
        std::abort();
    }
    return 0;
}
