// Reed-Solomon block correction over GF(256).
#pragma once

#include <cstdint>

namespace vantor {

struct DecoderState;

// Corrects up to t errors of the n-codeword block in place. -1 when it
// corrected the block (errors, when given, receives the number of codewords
// changed), 0 when the block was left as it was: clean, or beyond repair.
int rs_correct_block(DecoderState &s, std::uint8_t *block, int n, int t, int *errors = nullptr);
// Solves the m x (m + 1) augmented system in place (rows may be swapped);
// the solution is left in column m. -1 on success, 0 when singular.
int gf_solve(std::uint8_t **rows, int m);
// Nonzero when the first `count` syndromes of the block are all zero; with
// count = the block's error correction codewords, when it is a codeword.
int rs_syndromes_zero(const std::uint8_t *block, int n, int count);

} // namespace vantor
