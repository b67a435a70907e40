// A Micro QR module matrix read as a symbol, as it stands or transposed (a
// mirrored symbol).
#pragma once

#include <optional>

#include "1_base/symbol_read.h"
#include "3_model2/search/codewords.h"

namespace vantor::microqr {

struct ReadLimits {
    int format_bit_errors = 3; // most format information bits corrected
    int corrections = 99;      // most codewords corrected, below each level's own limit
};

// The matrix read as a Micro QR symbol: format information naming a symbol
// of the matrix's size, the one block a codeword after correction (M1 only
// detects errors) with a half codeword's unused bits clear, and a valid bit
// stream. The transposed matrix is tried when the matrix gives nothing.
std::optional<SymbolRead> read_matrix(const vantor::ModuleMatrix &matrix, const ReadLimits &limits = {});

} // namespace vantor::microqr
