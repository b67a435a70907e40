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
void refine_eye(EyePattern &eye);
// Refines every candidate and drops the marked ones.
void refine_eyes();

int find_eye_patterns();
void filter_eyes();
void pick_eyes();
int orient_eyes();
void free_eye_patterns();

int find_alignment(AlignmentProbe &probe);
int scan_alignment_runs(int first_line, const std::int16_t *runs, int line_length,
                        MemChunk<RunHit> &hits, int start, int lines, int span, double unit);

} // namespace vantor
