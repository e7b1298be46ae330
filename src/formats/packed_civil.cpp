#include "formats/packed_codecs.hpp"

namespace epochsift {

CodecResult<PosixNs> packed_civil(const CivilTime& civil) {
    auto const seconds = unix_seconds(civil);
    if (!seconds) return CodecError::calendar("invalid civil date-time");
    if (!in_calendar_range(*seconds)) {
        return CodecError::calendar("date-time outside the calendar range");
    }
    return PosixNs::from_seconds(*seconds);
}

CodecResult<CivilTime> civil_fields(PosixNs instant) {
    i128 const seconds = floor_div(instant.ns, NS_PER_SECOND);  // -1 ns is still 1969-12-31T23:59:59
    if (!in_calendar_range(seconds)) {
        return CodecError::calendar("instant outside the calendar range");
    }
    return utc_civil_fields(static_cast<int64_t>(seconds));
}

}  // namespace epochsift
