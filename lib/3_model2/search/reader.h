// A sampled module matrix read as a symbol, as it stands or transposed (a
// mirrored symbol), under every check the search demands.
#pragma once

#include <optional>

#include "1_base/bitstream.h"
#include "codewords.h"

namespace vantor::thorough {

struct Reading {
    Content content;
    int version = 0;
    FormatInfo format;
    int corrected = 0;
    bool mirrored = false;
};

// The matrix read as a symbol of the version its size gives: format
// information within 3 bits, version information (7 and up) naming that
// version, every block a codeword after correction within the search's
// limits, and a valid bit stream. The transposed matrix is tried when the
// matrix itself gives nothing.
std::optional<Reading> read_matrix(const ModuleMatrix &matrix);

} // namespace vantor::thorough
