// The Micro QR symbols M1..M4 with their levels, as the format information
// numbers them, and the layout of their codewords.
#pragma once

#include <optional>

#include "1_base/symbol.h"

namespace vantor::microqr {

struct SymbolVariant {
    int version = 0;   // 1..4 for M1..M4
    char level = 0;    // 'L', 'M' or 'Q'; M1 has detection only ('L' here)
    int data_bits = 0; // bits of the data codewords (M1 and M3 end on a half codeword)
    // The one block: its data codewords count a final half codeword as one,
    // and it corrects none where the level only detects errors (M1).
    BlockGroup block;
};

// The symbol a format information symbol number (0..7) stands for.
std::optional<SymbolVariant> symbol_variant(int symbol_number);

// Modules a side of version 1..4.
inline int symbol_size(int version) { return 2 * version + 9; }

} // namespace vantor::microqr
