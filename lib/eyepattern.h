// Eye (finder) pattern scanning, selection and orientation, and the
// alignment pattern search that reuses the run tables.
#pragma once

#include <cstdint>

#include "state.h"

namespace vantor {

int build_row_runs();
int build_col_runs();
int scan_runs(const std::int16_t *runs, int line_length, int lines, MemChunk<RunHit> &hits);
void cross_hits();
// Labels crossing row and column hits in place as cross_hits and
// find_alignment do; returns the next unused label. all_pairs selects the
// plain loop over every pair, which the default indexed sweep matches
// exactly (kept for tests).
int label_eye_hits(MemChunk<RunHit> &rows, MemChunk<RunHit> &cols, bool all_pairs = false);
int label_alignment_hits(MemChunk<RunHit> &rows, MemChunk<RunHit> &cols, bool all_pairs = false);
void refine_eye(EyePattern &eye);
// Refines every candidate and drops the marked ones.
// plain_walk follows each candidate's dark region pixel by pixel; the
// default sweep gives exactly the same records, listing each row's dark runs
// once instead of reading every span's pixels (kept for tests).
void refine_eyes(bool plain_walk = false);

int find_eye_patterns();
void filter_eyes();
void pick_eyes();
int orient_eyes();
void free_eye_patterns();

int find_alignment(AlignmentProbe &probe);
int scan_alignment_runs(int first_line, const std::int16_t *runs, int line_length,
                        MemChunk<RunHit> &hits, int start, int lines, int span, double unit);

} // namespace vantor
