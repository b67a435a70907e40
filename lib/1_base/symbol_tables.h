// Per-version facts of the symbol.
#pragma once

#include <cstdint>
#include <span>

#include "symbol.h"

namespace vantor {

// The characters of the alphanumeric mode, by value 0..44.
inline constexpr char alphanumeric_chars[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
inline constexpr int alphanumeric_count = 45;

// Modules per side of a version.
constexpr int symbol_size(int version) { return 4 * version + 17; }
// The version of a square symbol `size` modules a side, 0 when no version
// is that size.
constexpr int size_version(int size) { return size >= 21 && (size - 17) % 4 == 0 ? (size - 17) / 4 : 0; }

// The version's alignment pattern centre coordinates (rows and columns
// alike), ascending, padded with 0; all 0 for version 1 and out of range.
std::span<const int, 7> alignment_coords(int version);

// The version information code word (6-bit version, 12-bit BCH remainder);
// 0 below version 7, which carries none, and out of range.
std::uint32_t version_code(int version);

// The 18-bit BCH code word of six data bits (generator 0x1F25): the code of
// the version information, which the rectangular symbols' format
// information shares.
std::uint32_t bch_18_6_code(std::uint32_t data);

// The two block groups of a version and level index (L 0, M 1, Q 2, H 3);
// the second is empty when all blocks are alike. Both empty out of range.
std::span<const BlockGroup, 2> block_groups_of(int version, int level);

} // namespace vantor
