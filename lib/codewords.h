// Codeword extraction, de-interleaving and per-block correction. The stages
// return -1 for success and 0 for failure.
#pragma once

namespace vantor {

struct DecoderState;

// The whole stage: function map, codewords, correction. Afterwards the data
// codewords of all blocks, in block order, lead s.codewords, and
// s.uncorrected_blocks and s.block_tally tell how correction went.
int reorder_codewords(DecoderState &s);
// Marks the function modules of the version in s.function_map.
void build_function_map(DecoderState &s);
// Reads s.raw_codewords from the data modules in placement order and sets
// s.block_groups for the version and level.
int read_codewords(DecoderState &s);
// Splits the interleaved codewords into blocks, corrects each and counts
// the blocks that stay uncorrected.
int deinterleave_and_correct(DecoderState &s);
void release_codewords(DecoderState &s);

} // namespace vantor
