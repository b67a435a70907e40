// Eye pattern stage: candidates from the run tables, and the
// choice and orientation of three of them.
#pragma once

#include <cstdint>

#include "1_base/memchunk.h"
#include "state.h"

namespace vantor {

// The whole stage: run tables, window matches, grouping, refinement,
// filtering, picking and orienting. True when three candidates were picked
// and oriented (s.eye_pick: corner, along, down); s.eye_count holds the
// candidates either way.
bool find_eye_patterns(DecoderState &s);
// Releases the hit lists, candidates and run tables of the pass.
void free_eye_patterns(DecoderState &s);

// Appends the 1:1:3:1:1 window matches of every line of a run table to
// `hits`. True on success (matches or not), false without a table or
// memory.
bool scan_runs(const DecoderState &s, const std::int16_t *runs, int line_length, int lines, MemChunk<RunHit> &hits);
// Groups the row and column hits into candidates (s.eyes), each the mean of
// its group's hits.
void cross_hits(DecoderState &s);
// Rejects (score -1) candidates of odd shape or without two partners of
// about their size, then scores the rest.
void filter_eyes(DecoderState &s);
// Picks the three best-scored candidates into s.eye_pick.
void pick_eyes(DecoderState &s);
// Orders the picks as corner, along the rows, down the columns. False when
// the picks are not three candidates or lie in a line.
bool orient_eyes(DecoderState &s);
// The candidate picked for slot 0 (corner), 1 (along) or 2 (down), or null
// when the pick is not a candidate.
const EyePattern *picked_eye(const DecoderState &s, int slot);

} // namespace vantor
