// A sampled module matrix to corrected data codewords, through the library's
// own stages: format information, unmasking, codeword placement, the block
// table and the Reed-Solomon correction.
#pragma once

#include <optional>
#include <vector>

#include "1_base/blocks.h"
#include "1_base/format_info.h"
#include "1_base/module_matrix.h"
#include "2_image/sampling.h"

namespace vantor::thorough {

// The format information of the matrix: each copy within 3 bits of a valid
// word, the first copy first, a second only when it differs.
std::vector<FormatInfo> read_format(const ModuleMatrix &matrix);

// The version of the matrix's version information blocks (versions 7 and
// up): the first block within 3 bits of a valid word, then the second; 0
// when neither is.
int read_version_blocks(const ModuleMatrix &matrix);
// The modules (column, row) of both version information blocks of a
// symbol `size` modules across, in the order read_version_blocks reads them.
std::vector<ModuleAt> version_block_modules(int size);

// The modules of row and column 8 beside the eye patterns of a symbol
// `size` modules across, which hold both copies of the format information:
// enough to read the format without sampling the whole grid.
std::vector<ModuleAt> format_strip_modules(int size);

// The data codewords of the unmasked matrix of a symbol of this version,
// every block corrected and then judged by all its check codewords; nothing
// when a block is not a codeword after correction, or when a version 1 or 2
// symbol (one block) needed more corrections than the search allows it.
std::optional<Corrected> correct_codewords(const ModuleMatrix &matrix, int version, const FormatInfo &format);

// The most corrections the search takes in a version 1 or 2 symbol of a
// level (index L 0, M 1, Q 2, H 3); larger versions take their blocks' full
// capacity.
int small_symbol_limit(int version, int level_index);

} // namespace vantor::thorough
