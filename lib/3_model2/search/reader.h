// A sampled module matrix read as a symbol, as it stands or transposed (a
// mirrored symbol), under every check the search demands.
#pragma once

#include <optional>

#include "1_base/symbol_read.h"
#include "codewords.h"

namespace vantor::thorough {

// The matrix read as a symbol of the version its size gives: format
// information within 3 bits, version information (7 and up) naming that
// version, every block a codeword after correction within the search's
// limits, and a valid bit stream. The transposed matrix is tried when the
// matrix itself gives nothing.
std::optional<SymbolRead> read_matrix(const ModuleMatrix &matrix);

} // namespace vantor::thorough
