// Format information: error correction level and mask pattern.
#pragma once

namespace vantor {

struct DecoderState;

// Reads s.ecc_level and s.mask_pattern from the module matrix, the first
// copy first. -1 on success, 0 when neither copy decodes (the state's
// values are then left as they were).
int read_format_info(DecoderState &s);
// The level (bits 4-3) and mask (bits 2-0) of one copy (0 beside the corner
// eye pattern, 1 split between the other two) of the format information in
// s.module_matrix, or -1 when the copy is not within 3 bits of a valid word.
int read_format_copy(const DecoderState &s, int copy);
// The 5 data bits of a 15-bit format word (mask already removed), up to
// three wrong bits corrected; -1 when it cannot be corrected.
int decode_format_bits(const DecoderState &s, int word);
// Whether both copies decode, each within 2 wrong bits, to the same level
// and mask: a reading of noise rarely gets that far (about 1 in 2500), a
// symbol nearly always. Traces nothing.
bool format_copies_agree(const DecoderState &s);

} // namespace vantor
