// An rMQR module matrix read as a symbol, as it stands or transposed (a
// mirrored symbol).
#pragma once

#include <optional>

#include "1_base/module_matrix.h"
#include "1_base/symbol_read.h"

namespace vantor::rmqr {

struct ReadLimits {
    int format_bit_errors = 3; // most format information bits corrected
};

// The matrix read as an rMQR symbol: format information naming the
// matrix's size, every Reed-Solomon block a codeword after correction, and
// a valid bit stream. A matrix taller than wide is read transposed.
std::optional<SymbolRead> read_matrix(const ModuleMatrix &matrix, const ReadLimits &limits = {});

} // namespace vantor::rmqr
