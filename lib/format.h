// Format information: error correction level and mask pattern.
#pragma once

namespace vantor {

struct DecoderState;

int read_format_info(DecoderState &s);
int decode_format_bits(const DecoderState &s, int word);

} // namespace vantor
