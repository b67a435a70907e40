// A symbol's Reed-Solomon blocks in its codeword stream: where each block's
// codewords lie, and the blocks taken out and corrected.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "symbol.h"

namespace vantor {

// How the blocks' codewords follow one another in the stream. Either way
// the data codewords of every block come first, then the check codewords.
enum class BlockOrder {
    // A codeword of each block in turn, a block that has run out (a shorter
    // one of an earlier group) passed over: Model 2, rMQR and Micro QR.
    interleaved,
    // Each block's codewords together, block after block: Model 1.
    in_turn,
};

// The codewords of all blocks.
int stream_codewords(std::span<const BlockGroup> groups);

// Where codeword `i` of block `b` (data codewords first, the blocks
// numbered through the groups) lies in the stream. A later group's blocks
// are no shorter, in data or check codewords.
int stream_place(std::span<const BlockGroup> groups, BlockOrder order, int b, int i);

struct Corrected {
    std::vector<std::uint8_t> data; // data codewords, block after block
    int corrected = 0;              // codewords changed, all blocks
};

// The data codewords of the stream's blocks, each corrected up to its
// group's capacity (at most `limit` errors), then judged by all its check
// codewords; nothing when a block is not a codeword, or the stream is short.
std::optional<Corrected> correct_blocks(std::span<const std::uint8_t> words, std::span<const BlockGroup> groups,
                                        BlockOrder order, int limit);

} // namespace vantor
