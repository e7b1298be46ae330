// The notes a numeric reading carries: what it takes for granted (from the
// family's row) and what about the raw value looks suspicious.
#pragma once

#include <cstdint>

#include "core/instant.hpp"
#include "engine/candidate.hpp"

namespace epochsift {

struct NumericFamily;

// The row notes: the consistency note, then the leap-smear note while the
// row has no clock policy, then the local-time note for local rows.
NoteSet row_notes(const NumericFamily& family);

// The row notes and the value notes of an integer reading of raw: the
// sentinel note, the whole-second note, the 32-bit notes.
NoteSet integer_notes(const NumericFamily& family, int64_t raw, PosixNs instant);

// 0, -1 and the two 64-bit extremes: markers of an unset or never-expiring
// field more often than real instants.
constexpr bool is_sentinel(int64_t raw) {
    return raw == 0 || raw == -1 || raw == INT64_MIN || raw == INT64_MAX;
}

}  // namespace epochsift
