// QR Code Model 1 symbols: versions 1..14 and their Reed-Solomon blocks.
#pragma once

#include "1_base/symbol.h"
#include "1_base/symbol_tables.h"

namespace vantor::model1 {

inline constexpr int max_version = 14;

// The blocks of a version at a level (index L 0, M 1, Q 2, H 3), all alike,
// each correcting half its check codewords; they may leave the last
// codeword places of the symbol (at most four) unused. No blocks when there
// is no such symbol. Sizes are Model 2's (symbol_size).
BlockGroup block_layout(int version, int level_index);

} // namespace vantor::model1
