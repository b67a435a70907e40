// Removes the data mask from module_matrix.
#pragma once

namespace vantor {

struct SymbolMatrix;

// True where data mask condition `pattern` (0..7) holds at row i, column j.
bool mask_holds(int pattern, int i, int j);

// Inverts every module of m.module_matrix where mask m.mask_pattern holds;
// nothing for a pattern outside 0..7 or a matrix that does not fit.
void unmask(SymbolMatrix &m);

} // namespace vantor
