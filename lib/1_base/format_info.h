// The format information of a symbol, as every kind's format reader gives it.
#pragma once

namespace vantor {

// The level as Model 2 and Model 1 store it (L 1, M 0, Q 3, H 2) as an
// index in L, M, Q, H order, and as its letter.
constexpr int level_index(int level_bits) { return level_bits ^ 1; }
constexpr char level_letter(int level_bits) { return "MLHQ"[level_bits & 3]; }

struct FormatInfo {
    // The word's data bits, corrected, its mask removed: level bits and
    // mask (Model 2, Model 1), symbol number and mask (Micro QR), level bit
    // and size number (rMQR).
    int data = 0;
    char level = 0;      // 'L', 'M', 'Q' or 'H'; Micro QR M1 'L'
    int mask = 0;        // rMQR has one mask: 0
    int symbol = -1;     // Micro QR's symbol number, rMQR's size number; -1 where the size names the symbol
    int bit_errors = 0;  // bits the word differs from the nearest valid one

    // The level as Model 2 and Model 1 store it: the data's two high bits.
    int level_bits() const { return data >> 3; }
};

} // namespace vantor
