// The 32 rectangular Micro QR sizes R7x43 .. R17x139 with their two levels,
// as the format information numbers them, and the layout of their codewords.
#pragma once

#include <optional>
#include <span>
#include <string>

namespace vantor::rmqr {

// The data and check codewords of a size at one level. Every block of a
// level has the same number of check codewords; the data codewords are
// shared out as evenly as they go, the longer blocks last.
struct LevelBlocks {
    int data = 0;   // data codewords, all blocks
    int blocks = 0; // Reed-Solomon blocks
};

struct SymbolSize {
    int height = 0;
    int width = 0;
    int codewords = 0; // data and check codewords of either level
    LevelBlocks m;     // level M
    LevelBlocks h;     // level H
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

// The level's blocks of a size.
inline const LevelBlocks &level_blocks(const SymbolSize &s, char level) { return level == 'H' ? s.h : s.m; }

// Check codewords per block of a size's level.
inline int block_check_codewords(const SymbolSize &s, const LevelBlocks &b) {
    return b.blocks > 0 ? (s.codewords - b.data) / b.blocks : 0;
}

} // namespace vantor::rmqr
