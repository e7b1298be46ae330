// libFuzzer entry for the zone file reader: any bytes, seeded with real TZif
// files (fuzz/seeds-tzif). Beyond what the sanitizers catch, a zone that
// parses must keep RFC 8536's limits (offsets within [-89999, 93599] s,
// abbreviations of 3 to 6 letters, digits, '+' and '-'), and looking up
// instants and wall clocks in it must give offsets the zone has.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "core/instant.hpp"
#include "core/tzif.hpp"
#include "core/zone_rules.hpp"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "tzif: %s\n", what);
    std::abort();
}

bool offset_in_limits(int32_t offset) {
    return offset >= epochsift::MIN_UT_OFFSET && offset <= epochsift::MAX_UT_OFFSET;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    epochsift::TzifResult parsed = epochsift::parse_tzif(std::span<const unsigned char>(data, size));
    if (!parsed.zone) {
        if (parsed.error == epochsift::TzifError::None) fail("no zone and no error");
        return 0;
    }
    for (epochsift::LocalTimeType const& type : parsed.zone->types) {
        if (!offset_in_limits(type.offset)) fail("an offset past RFC 8536's limits");
        if (!epochsift::valid_designation(type.abbreviation)) fail("an abbreviation past RFC 8536's limits");
    }
    epochsift::ZoneRules const rules(std::move(*parsed.zone));
    // Instants across the calendar and around 1970 and 2037.
    int64_t const instants[] = {epochsift::MIN_CALENDAR_SECOND, -2'208'988'800, -1, 0, 1'700'000'000,
                                2'147'483'647, 4'102'444'800, epochsift::MAX_CALENDAR_SECOND};
    for (int64_t const at : instants) {
        epochsift::ZoneState const state = rules.at(at);
        if (!offset_in_limits(state.offset)) fail("a state's offset past the limits");
        if (!epochsift::valid_designation(state.abbreviation)) fail("a state's abbreviation past the limits");
        epochsift::WallClockLookup const found = rules.instants_of(at + state.offset);
        if (found.count > 2) fail("a wall clock read more than twice");
        for (uint8_t i = 0; i < found.count; ++i) {
            if (!offset_in_limits(found.states[i].offset)) fail("a wall clock's offset past the limits");
        }
    }
    return 0;
}
