// Micro QR format information: one 15-bit word beside the eye pattern
// carrying the symbol number (version and level) and the mask.
#pragma once

#include <optional>

#include "3_model2/search/codewords.h"

namespace vantor::microqr {

struct Format {
    int symbol_number = 0; // 0..7, see symbol_spec
    int mask = 0;          // 0..3
    int bit_errors = 0;    // bits the BCH code corrected
};

// The format information of the matrix, when its word is within
// `max_bit_errors` (at most 3) bits of a valid one.
std::optional<Format> read_format(const vantor::ModuleMatrix &matrix, int max_bit_errors = 3);

} // namespace vantor::microqr
