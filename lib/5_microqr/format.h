// Micro QR format information: one 15-bit word beside the eye pattern
// carrying the symbol number (version and level) and the mask.
#pragma once

#include <optional>

#include "1_base/format_info.h"
#include "1_base/module_matrix.h"

namespace vantor::microqr {

// The format information of the matrix, when its word is within
// `max_bit_errors` (at most 3) bits of a valid one: the symbol number
// (0..7, see symbol_variant) with its level, and the mask (0..3).
std::optional<FormatInfo> read_format(const vantor::ModuleMatrix &matrix, int max_bit_errors = 3);

} // namespace vantor::microqr
