// A Micro QR module matrix read as a symbol, as it stands or transposed (a
// mirrored symbol).
#pragma once

#include <optional>

#include "1_base/bitstream.h"
#include "3_model2/search/codewords.h"

namespace vantor::microqr {

struct Reading {
    Content content;
    int version = 0; // 1..4 for M1..M4
    char level = 0;  // 'L', 'M' or 'Q'; M1 reports 'L'
    int mask = 0;
    int corrected = 0;     // codewords the error correction changed
    int format_errors = 0; // format information bits corrected
    bool mirrored = false;
};

struct ReadLimits {
    int format_bit_errors = 3; // most format information bits corrected
    int corrections = 99;      // most codewords corrected, below each level's own limit
};

// The matrix read as a Micro QR symbol: format information naming a symbol
// of the matrix's size, the one block a codeword after correction (M1 only
// detects errors) with a half codeword's unused bits clear, and a valid bit
// stream. The transposed matrix is tried when the matrix gives nothing.
std::optional<Reading> read_matrix(const vantor::ModuleMatrix &matrix, const ReadLimits &limits = {});

} // namespace vantor::microqr
