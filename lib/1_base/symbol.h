// What a reading holds of its symbol: the sampled module matrix with the
// format it carries, the codewords read from it, and the text they give.
#pragma once

#include <cstdint>

#include "heap_array.h"

namespace vantor {

// One kind of Reed-Solomon block of a symbol.
struct BlockGroup {
    int32_t block_count;
    int32_t block_codewords; // c
    int32_t data_codewords;  // k
    int32_t correctable;     // r
};

// How the Reed-Solomon blocks of one reading came out.
struct BlockTally {
    int blocks = 0;              // blocks of the symbol
    int clean = 0;               // without errors
    int corrected = 0;           // corrected to a codeword
    int beyond = 0;              // more errors than the block can repair
    int codewords_corrected = 0; // codewords the corrections changed
    // The last block that needed correction: 1 when it was corrected with
    // fewer errors than its capacity, -1 when not (at capacity, or beyond
    // repair), 0 when no block needed correction.
    int last_fix = 0;
};

// The sampled modules of a symbol, and the version, level and mask they are
// read with.
struct SymbolMatrix {
    int version = 0;
    HeapArray<std::uint8_t> module_matrix; // 64 dark, 0 light
    int matrix_width = 0;
    int matrix_height = 0;
    HeapArray<std::uint8_t> function_map; // one bit per module
    int mask_pattern = 0;
    int ecc_level = 0; // level bits
};

// The codewords of a symbol, in placement order and corrected per block.
struct SymbolCodewords {
    BlockGroup block_groups[2] = {};
    HeapArray<std::uint8_t> raw_codewords;
    HeapArray<std::uint8_t> codewords;
    int codeword_count = 0;
    // Blocks that still have errors after correction; such a reading gives
    // no text.
    int uncorrected_blocks = 0;
    BlockTally block_tally;
};

inline constexpr int text_capacity = 7090; // 7089 characters and the zero

// The text of a symbol's data.
struct SymbolText {
    // The text as the classic entry gives it: zero-terminated, a numeric
    // group written at the first zero byte.
    char result_text[text_capacity] = {};
    // The data bytes exactly as the segments carry them, zero bytes kept;
    // result_length is -1 when they are not valid (a numeric group beyond
    // its digits, or more bytes than the buffer holds).
    char result_bytes[text_capacity] = {};
    int result_length = 0;
    // The latest data stopped at a mode indicator the classic rules do not
    // read (ECI, structured append, FNC1 or an undefined one).
    bool data_unsupported_mode = false;
};

} // namespace vantor
