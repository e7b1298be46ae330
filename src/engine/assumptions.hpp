// The notes a numeric reading carries: what it takes for granted (from the
// registry row) and what about the raw value looks suspicious.
#pragma once

#include <cstdint>
#include "engine/candidate.hpp"
#include "core/instant.hpp"

namespace epochsift {

struct TimeFormat;

// The row notes: the consistency note, then the leap-smear note while the
// row has no clock policy, then the local-time note for local rows.
NoteList assumptions(const TimeFormat& row);

// The row notes followed by the value notes of an integer reading of raw:
// the sentinel note, the FILETIME whole-second note, the 32-bit notes.
NoteList integer_assumptions(const TimeFormat& row, int64_t raw, PosixNs instant);

}  // namespace epochsift
