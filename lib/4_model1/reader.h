// A Model 1 module matrix read as a symbol, as it stands or transposed (a
// mirrored symbol).
#pragma once

#include <optional>

#include "1_base/format_info.h"
#include "3_model2/search/codewords.h"
#include "3_model2/search/reader.h"

namespace vantor::model1 {

// The format information of a Model 1 matrix, its own mask removed: the
// copy with fewer wrong bits, when it is within `max_bit_errors` bits of a
// valid word and the other copy, where it decodes, names the same.
std::optional<FormatInfo> read_format(const vantor::ModuleMatrix &matrix, int max_bit_errors = 2);

// The matrix read as a Model 1 symbol of the version its size gives: format
// information within 2 bits, every block a codeword after correction (the
// smallest symbols within the search's tighter limits), the four leading
// bits of the stream clear and a valid bit stream. The transposed matrix is
// tried when the matrix gives nothing. The version read is Model 1's.
std::optional<SymbolRead> read_matrix(const vantor::ModuleMatrix &matrix);

} // namespace vantor::model1
