// The 32 rectangular Micro QR sizes R7x43 .. R17x139 with their two levels,
// as the format information numbers them, and the layout of their codewords.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>

#include "1_base/symbol.h"

namespace vantor::rmqr {

struct SymbolSize {
    int height = 0;
    int width = 0;
    int codewords = 0; // data and check codewords of either level
};

inline constexpr int size_count = 32;

// The size a format information size number (0..31) stands for.
std::optional<SymbolSize> symbol_size(int size_number);

// The size number of a symbol height x width; -1 when there is none.
int size_number_of(int height, int width);

// The centre columns of the size's alignment patterns (none at width 27),
// ascending.
std::span<const int> alignment_columns(int width);

// The size's name: "R13x77".
std::string size_name(int size_number);

// The block groups of a size number at level 'M' or 'H': every block has
// the same check codewords, correcting half of them, and the data codewords
// are shared out as evenly as they go, the longer blocks (the second group)
// last. The second group is empty when all blocks are alike; both are empty
// out of range.
std::array<BlockGroup, 2> block_groups_of(int size_number, char level);

} // namespace vantor::rmqr
