// Reed-Solomon block correction over GF(256).
#pragma once

#include <cstdint>

namespace vantor {

int rs_correct_block(std::uint8_t *block, int n, int t);
int gf_solve(std::uint8_t **rows, int m);
// Nonzero when the first 2t syndromes of the block are all zero.
int rs_block_clean(const std::uint8_t *block, int n, int t);

} // namespace vantor
