// libFuzzer entry: every byte string goes through the whole engine. The
// engine promises an answer for any input, so the only checks are the ones
// the sanitizers make, plus the shape of the JSON text it returns.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "output/reading_json.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view const text(reinterpret_cast<const char*>(data), size);
    std::string const json = epochsift::identify_json(text);
    // A list of readings is always an array; "[]" when nothing decodes.
    if (json.size() < 2 || json.front() != '[' || json.back() != ']') std::abort();
    return 0;
}
