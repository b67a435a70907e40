// Data segment decoding: numeric, alphanumeric, 8-bit byte and kanji.
#pragma once

namespace vantor {

int read_bits(int n);
// result_text, or null when the data gives no text.
char *decode_data();

} // namespace vantor
