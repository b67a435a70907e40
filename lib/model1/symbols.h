// QR Code Model 1 symbols: versions 1..14, their sizes and Reed-Solomon
// blocks.
#pragma once

namespace vantor::model1 {

inline constexpr int max_version = 14;

// Modules a side of version 1..14.
constexpr int symbol_size(int version) { return 4 * version + 17; }

// The blocks of one symbol: `count` blocks of `ec_per_block` check
// codewords; the codewords divide evenly, the last blocks one data codeword
// longer when they do not.
struct Blocks {
    int count = 0;
    int ec_per_block = 0;
};

// The blocks of a version at a level (index L 0, M 1, Q 2, H 3); count 0
// when there is no such symbol.
Blocks block_layout(int version, int level_index);

// Data codewords of block b of `blocks` in a symbol of `total` codewords.
int block_data_codewords(const Blocks &blocks, int total, int b);

} // namespace vantor::model1
