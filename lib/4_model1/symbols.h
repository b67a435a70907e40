// QR Code Model 1 symbols: versions 1..14, their sizes and Reed-Solomon
// blocks.
#pragma once

namespace vantor::model1 {

inline constexpr int max_version = 14;

// Modules a side of version 1..14.
constexpr int symbol_size(int version) { return 4 * version + 17; }

// The blocks of one symbol, all alike. They may leave the last codeword
// places of the symbol (at most four) unused.
struct Blocks {
    int count = 0;
    int data_per_block = 0;
    int ec_per_block = 0;
};

// The blocks of a version at a level (index L 0, M 1, Q 2, H 3); count 0
// when there is no such symbol.
Blocks block_layout(int version, int level_index);

} // namespace vantor::model1
