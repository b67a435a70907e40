// Where the codewords of an rMQR symbol lie, and its one data mask.
#pragma once

#include <cstdint>
#include <vector>

#include "1_base/module_matrix.h"
#include "symbols.h"

namespace vantor::rmqr {

// True where the data mask inverts the module: the rows taken in pairs and
// the columns in threes, as a checkerboard.
bool mask_inverts(int col, int row);

// The codewords of the matrix (a symbol of `size`'s size) with the mask
// removed, in placement order: two-module columns from the right, up and
// down in turn. Empty when the matrix is not of that size.
std::vector<std::uint8_t> read_codewords(const ModuleMatrix &matrix, const SymbolSize &size);

} // namespace vantor::rmqr
