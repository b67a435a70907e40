// Eye (finder) pattern scanning, selection and orientation, and the
// alignment pattern search that reuses the run tables.
#pragma once

#include <cstdint>

#include "state.h"

namespace vantor {

int build_row_runs(DecoderState &s);
int build_col_runs(DecoderState &s);
int scan_runs(const DecoderState &s, const std::int16_t *runs, int line_length, int lines, MemChunk<RunHit> &hits);
void cross_hits(DecoderState &s);
// Labels crossing row and column hits in place as cross_hits and
// find_alignment do; returns the next unused label. all_pairs selects the
// plain loop over every pair, which the default indexed sweep matches
// exactly (kept for tests).
int label_eye_hits(MemChunk<RunHit> &rows, MemChunk<RunHit> &cols, bool all_pairs = false);
int label_alignment_hits(MemChunk<RunHit> &rows, MemChunk<RunHit> &cols, bool all_pairs = false);
void refine_eye(const DecoderState &s, EyePattern &eye);
// Refines every candidate and drops the marked ones.
// plain_walk follows each candidate's dark region pixel by pixel; the
// default sweep gives exactly the same records, listing each row's dark runs
// once instead of reading every span's pixels (kept for tests).
void refine_eyes(DecoderState &s, bool plain_walk = false);

int find_eye_patterns(DecoderState &s);
void filter_eyes(DecoderState &s);
void pick_eyes(DecoderState &s);
int orient_eyes(DecoderState &s);
void free_eye_patterns(DecoderState &s);

int find_alignment(DecoderState &s, AlignmentProbe &probe);
int scan_alignment_runs(const DecoderState &s, int first_line, const std::int16_t *runs, int line_length,
                        MemChunk<RunHit> &hits, int start, int lines, int span, double unit);

} // namespace vantor
