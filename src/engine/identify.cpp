#include "engine/identify.hpp"

#include "engine/request.hpp"

namespace epochsift {

std::vector<Candidate> identify(std::string_view value) { return identify(value, ReadOptions{}); }

std::vector<Candidate> identify(std::string_view value, const ReadOptions& options) {
    Request request = Request::of_text(value, options);
    request.read.zones = {};
    return read(request).ranked;
}

std::vector<Candidate> identify_bytes(std::span<const uint8_t> bytes, const ReadOptions& options,
                                      std::optional<ByteOrder> byte_order) {
    Request request = Request::of_bytes(bytes, options);
    request.read.context.byte_order = byte_order;
    request.read.zones = {};
    return read(request).ranked;
}

}  // namespace epochsift
