// Alignment pattern search.
#pragma once

#include <cstdint>

#include "1_base/memchunk.h"
#include "state.h"

namespace vantor {

// Finds the alignment pattern of module (probe.col, probe.row), placed from
// the corner eye with the step vectors, and writes its centre to probe.x,
// probe.y; the pass's hit lists hold its matches. False when it is not found
// (or when the bitmap is missing).
bool find_alignment(PassBuffers &s, const PickedEyes &eyes, StepUnits units, AlignmentProbe &probe,
                    const TraceSink &sink);

// Appends to `hits` the light-dark-light matches of about `unit` pixels per
// run on lines first_line .. first_line + lines - 1 of a run table, within
// `span` pixels from `start`. True when any was found, false when none (or
// when memory ran out).
bool scan_alignment_runs(int first_line, const std::int16_t *runs, int line_length, MemChunk<RunHit> &hits,
                         int start, int lines, int span, double unit, const TraceSink &sink);

} // namespace vantor
