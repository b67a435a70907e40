// Format information: error correction level and mask pattern.
#pragma once

#include <cstdint>
#include <span>

#include "1_base/format_info.h"

namespace vantor {

struct SymbolMatrix;
struct TraceSink;

// XOR mask applied to every format word so that it is never all zero.
inline constexpr int format_mask = 0x5412;

// Reads m.ecc_level and m.mask_pattern from the module matrix, the first
// copy first, tracing what it reads; false when neither copy decodes (the
// matrix's values are then left as they were).
bool read_format_info(SymbolMatrix &m, const TraceSink &sink);
// The level (bits 4-3) and mask (bits 2-0) of one copy (0 beside the corner
// eye pattern, 1 split between the other two) of the format information in
// m.module_matrix, or -1 when the copy is not within 3 bits of a valid word.
// The bits it corrects are traced.
int read_format_copy(const SymbolMatrix &m, const TraceSink &sink, int copy);
// The 15-bit word of one copy, its mask removed, in a row-major module
// matrix whose dark modules hold dark_value; -1 when the matrix is smaller
// than a symbol.
int read_format_word(std::span<const std::uint8_t> modules, int width, int height, int copy, std::uint8_t dark_value);

// The 5 data bits of a 15-bit format word (mask already removed), -1 when
// more than three bits are wrong, and the bit positions corrected.
struct FormatBits {
    int data;
    int reversed[3];
    int reversed_count;
};
FormatBits decode_format_bits(int word);
// Whether both copies in m.module_matrix decode, each within 2 wrong bits,
// to the same level and mask: a reading of noise rarely gets that far
// (about 1 in 2500), a symbol nearly always. Traces nothing.
bool format_copies_agree(const SymbolMatrix &m);

} // namespace vantor
