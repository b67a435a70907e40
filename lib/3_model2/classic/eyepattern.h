// Eye pattern stage: candidates from the run tables, and the
// choice and orientation of three of them.
#pragma once

#include <cstdint>
#include <optional>

#include "1_base/memchunk.h"
#include "state.h"

namespace vantor {

// The whole stage: run tables, window matches, grouping, refinement,
// filtering, picking and orienting. True when three candidates were picked
// and oriented (pick: corner, along, down); b.eye_count holds the
// candidates either way.
bool find_eye_patterns(PassBuffers &b, int (&pick)[3], const TraceSink &sink);
// Releases the hit lists, candidates and run tables of the pass.
void free_eye_patterns(PassBuffers &b);

// Appends the 1:1:3:1:1 window matches of every line of a run table to
// `hits`. True on success (matches or not), false without a table or
// memory.
bool scan_runs(const std::int16_t *runs, int line_length, int lines, MemChunk<RunHit> &hits, const TraceSink &sink);
// Groups the row and column hits into candidates (b.eyes), each the mean of
// its group's hits.
void cross_hits(PassBuffers &b, const TraceSink &sink);
// Rejects (score -1) candidates of odd shape or without two partners of
// about their size, then scores the rest.
void filter_eyes(PassBuffers &b, const TraceSink &sink);
// Picks the three best-scored candidates.
void pick_eyes(const PassBuffers &b, int (&pick)[3]);
// Orders the picks as corner, along the rows, down the columns. False when
// the picks are not three candidates or lie in a line.
bool orient_eyes(const PassBuffers &b, int (&pick)[3]);
// The candidates picked as corner, along and down, or nothing when a pick is
// not a candidate.
std::optional<PickedEyes> picked_eyes(const PassBuffers &b, const int (&pick)[3]);

} // namespace vantor
