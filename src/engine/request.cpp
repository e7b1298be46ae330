#include "engine/request.hpp"

#include "engine/identify.hpp"
#include "engine/zoned_readings.hpp"

namespace epochsift {

Readings read(const Request& request) {
    Readings out{request.bytes ? identify_bytes(*request.bytes, request.read, request.read.context.byte_order)
                               : identify(request.text, request.read),
                 {},
                 request.read.zones};
    if (request.read.zones.any()) {
        place_in_zones(out, request.best);
    } else if (request.best && *request.best < out.ranked.size()) {
        out.ranked.resize(*request.best);
    }
    return out;
}

}  // namespace epochsift
