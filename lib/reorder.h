// Codeword extraction, de-interleaving and per-block correction.
#pragma once

namespace vantor {

int reorder_codewords();
void build_function_map();
int read_codewords();
int deinterleave_and_correct();
void release_codewords();

} // namespace vantor
