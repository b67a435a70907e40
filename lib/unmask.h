// Removes the data mask from module_matrix.
#pragma once

namespace vantor {

struct DecoderState;

// True where data mask condition `pattern` (0..7) holds at row i, column j.
bool mask_holds(int pattern, int i, int j);

// Inverts every module of s.module_matrix where mask s.mask_pattern holds;
// nothing for a pattern outside 0..7 or a matrix that does not fit.
void unmask(DecoderState &s);

} // namespace vantor
