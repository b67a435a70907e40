// Codeword extraction, de-interleaving and per-block correction.
#pragma once

namespace vantor {

struct SymbolMatrix;
struct SymbolCodewords;
struct TraceSink;

// The whole stage: function map, codewords, correction. Afterwards the data
// codewords of all blocks, in block order, lead c.codewords, and
// c.uncorrected_blocks and c.block_tally tell how correction went. The
// codewords are traced to the sink when one is given. False when the matrix
// does not fit its version or the codewords could not be read.
bool reorder_codewords(SymbolMatrix &m, SymbolCodewords &c, const TraceSink *sink = nullptr);
// Marks the function modules of the version in m.function_map.
void build_function_map(SymbolMatrix &m);
// Reads c.raw_codewords from the data modules in placement order and sets
// c.block_groups for the version and level.
bool read_codewords(const SymbolMatrix &m, SymbolCodewords &c);
// Splits the interleaved codewords into blocks, corrects each and counts
// the blocks that stay uncorrected.
bool deinterleave_and_correct(SymbolCodewords &c, const TraceSink *sink = nullptr);
void release_codewords(SymbolCodewords &c);

} // namespace vantor
