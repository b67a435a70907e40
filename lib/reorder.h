// Codeword extraction, de-interleaving and per-block correction.
#pragma once

namespace vantor {

struct DecoderState;

int reorder_codewords(DecoderState &s);
void build_function_map(DecoderState &s);
int read_codewords(DecoderState &s);
int deinterleave_and_correct(DecoderState &s);
void release_codewords(DecoderState &s);

} // namespace vantor
