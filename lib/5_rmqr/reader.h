// An rMQR module matrix read as a symbol, as it stands or transposed (a
// mirrored symbol).
#pragma once

#include <optional>

#include "1_base/bitstream.h"
#include "matrix.h"

namespace vantor::rmqr {

struct Reading {
    Content content;
    int version = 0; // size number + 1: 1..32 for R7x43 .. R17x139
    char level = 0;  // 'M' or 'H'
    int corrected = 0;     // codewords the error correction changed
    int format_errors = 0; // format information bits corrected
    bool mirrored = false;
};

struct ReadLimits {
    int format_bit_errors = 3; // most format information bits corrected
};

// The matrix read as an rMQR symbol: format information naming the
// matrix's size, every Reed-Solomon block a codeword after correction, and
// a valid bit stream. A matrix taller than wide is read transposed.
std::optional<Reading> read_matrix(const Matrix &matrix, const ReadLimits &limits = {});

} // namespace vantor::rmqr
