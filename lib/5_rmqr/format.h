// rMQR format information: an 18-bit word beside the eye pattern and a
// second beside the sub-eye pattern, each under its own mask, carrying
// the level and the size number.
#pragma once

#include <optional>

#include "1_base/format_info.h"
#include "1_base/module_matrix.h"

namespace vantor::rmqr {

enum class FormatCopy { eye, sub_eye };

// One copy's format information (the size number, 0..31, see symbol_size,
// and the level, 'M' or 'H'), when its word is within `max_bit_errors`
// (at most 3) bits of a valid one. The sub-eye copy needs the matrix's
// true size; the eye copy only its first 12 columns and 6 rows.
std::optional<FormatInfo> read_format_copy(const ModuleMatrix &matrix, FormatCopy copy, int max_bit_errors = 3);

// The format information of the matrix: the copy with fewer wrong bits; a
// tie between copies that disagree gives nothing.
std::optional<FormatInfo> read_format(const ModuleMatrix &matrix, int max_bit_errors = 3);

} // namespace vantor::rmqr
