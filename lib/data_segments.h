// Data segment decoding: numeric, alphanumeric, 8-bit byte and kanji.
#pragma once

namespace vantor {

struct DecoderState;

// Decodes the data codewords of s.codewords into s.result_text (and the
// exact bytes into s.result_bytes, their count into s.result_length).
// Returns result_text, or null when the data gives no text.
char *decode_data(DecoderState &s);

} // namespace vantor
