// Where the codewords of a Micro QR symbol lie, and its data masks.
#pragma once

#include <cstdint>
#include <vector>

#include "3_model2/search/codewords.h"
#include "symbols.h"

namespace vantor::microqr {

// True for a module of the eye pattern, its separator, the format
// information or the timing patterns (the same for every size).
bool function_module(int col, int row);

// True where mask 0..3 inverts the module at (col, row).
bool mask_inverts(int mask, int col, int row);

// The codewords of the matrix (a symbol of `variant`) with the mask removed, in
// stream order: data codewords, a final half codeword in its high four bits,
// then the check codewords. Empty when the matrix is not of that size.
std::vector<std::uint8_t> read_codewords(const vantor::ModuleMatrix &matrix, const SymbolVariant &variant, int mask);

} // namespace vantor::microqr
