// Data segment decoding: numeric, alphanumeric, 8-bit byte and kanji.
#pragma once

namespace vantor {

struct SymbolCodewords;
struct SymbolText;

// Decodes the data codewords of c.codewords, read as a symbol of the
// version, into t.result_text (and the exact bytes into t.result_bytes,
// their count into t.result_length). Returns t.result_text, or null when
// the data gives no text.
char *decode_data(const SymbolCodewords &c, int version, SymbolText &t);

} // namespace vantor
