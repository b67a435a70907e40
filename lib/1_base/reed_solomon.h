// Reed-Solomon block correction over GF(256).
#pragma once

#include <cstdint>

namespace vantor {

struct TraceSink;

// How the correction of one block came out.
struct BlockCorrection {
    bool attempted = false; // the block was not clean and a correction was sought
    bool corrected = false; // the block was corrected to a codeword
    int errors = 0;         // codewords the correction changed
};

// Corrects up to t errors of the n-codeword block in place, tracing the
// errors it corrects to the sink when one is given. A block that is clean or
// beyond repair is left as it was.
BlockCorrection rs_correct_block(std::uint8_t *block, int n, int t, const TraceSink *sink = nullptr);
// Solves the m x (m + 1) augmented system in place (rows may be swapped);
// the solution is left in column m. False when singular.
bool gf_solve(std::uint8_t **rows, int m);
// True when the first `count` syndromes of the block are all zero; with
// count = the block's error correction codewords, when it is a codeword.
bool rs_syndromes_zero(const std::uint8_t *block, int n, int count);
// Corrects up to t errors of the block in place, then judges it by all
// `check` of its check codewords, not only those the correction used (so a
// correction limited below capacity cannot pass a miscorrection): the
// codewords changed, or -1 when the block is not a codeword.
int rs_correct_checked(std::uint8_t *block, int n, int check, int t);

} // namespace vantor
