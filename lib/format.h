// Format information: error correction level and mask pattern.
#pragma once

namespace vantor {

struct DecoderState;

int read_format_info(DecoderState &s);
// The level (bits 4-3) and mask (bits 2-0) of one copy (0 beside the corner
// eye pattern, 1 split between the other two) of the format information in
// s.module_matrix, or -1 when the copy is not within 3 bits of a valid word.
int read_format_copy(const DecoderState &s, int copy);
int decode_format_bits(const DecoderState &s, int word);

} // namespace vantor
