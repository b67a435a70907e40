// PLACEHOLDER: replaced by the eye pattern stage.
#include "eyepattern.h"

namespace vantor {
int build_row_runs() { return 0; }
int build_col_runs() { return 0; }
int scan_runs(const std::int16_t *, int, int, MemChunk<RunHit> &) { return 0; }
void cross_hits() {}
void refine_eye(EyePattern &) {}
void refine_eyes() {}
int find_eye_patterns() { return 0; }
void filter_eyes() {}
void pick_eyes() {}
int orient_eyes() { return 0; }
void free_eye_patterns() {}
int find_alignment(AlignmentProbe &) { return 0; }
int scan_alignment_runs(int, const std::int16_t *, int, MemChunk<RunHit> &, int, int, int, double) { return 0; }
} // namespace vantor
