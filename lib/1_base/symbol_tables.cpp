// Per-version facts of the symbol: alignment pattern positions, version
// information code words and the Reed-Solomon block layout, the tables
// checked against their rules when compiled.
#include "symbol_tables.h"

#include <array>
#include <cstddef>

namespace vantor {
namespace {

// Alignment pattern centre coordinates (rows and columns alike) per version,
// ascending, padded with 0; versions 0 and 1 have none.
constexpr int alignment_table[41][7] = {
    {0, 0, 0, 0, 0, 0, 0},          {0, 0, 0, 0, 0, 0, 0},
    {6, 18, 0, 0, 0, 0, 0},         {6, 22, 0, 0, 0, 0, 0},
    {6, 26, 0, 0, 0, 0, 0},         {6, 30, 0, 0, 0, 0, 0},
    {6, 34, 0, 0, 0, 0, 0},         {6, 22, 38, 0, 0, 0, 0},
    {6, 24, 42, 0, 0, 0, 0},        {6, 26, 46, 0, 0, 0, 0},
    {6, 28, 50, 0, 0, 0, 0},        {6, 30, 54, 0, 0, 0, 0},
    {6, 32, 58, 0, 0, 0, 0},        {6, 34, 62, 0, 0, 0, 0},
    {6, 26, 46, 66, 0, 0, 0},       {6, 26, 48, 70, 0, 0, 0},
    {6, 26, 50, 74, 0, 0, 0},       {6, 30, 54, 78, 0, 0, 0},
    {6, 30, 56, 82, 0, 0, 0},       {6, 30, 58, 86, 0, 0, 0},
    {6, 34, 62, 90, 0, 0, 0},       {6, 28, 50, 72, 94, 0, 0},
    {6, 26, 50, 74, 98, 0, 0},      {6, 30, 54, 78, 102, 0, 0},
    {6, 28, 54, 80, 106, 0, 0},     {6, 32, 58, 84, 110, 0, 0},
    {6, 30, 58, 86, 114, 0, 0},     {6, 34, 62, 90, 118, 0, 0},
    {6, 26, 50, 74, 98, 122, 0},    {6, 30, 54, 78, 102, 126, 0},
    {6, 26, 52, 78, 104, 130, 0},   {6, 30, 56, 82, 108, 134, 0},
    {6, 34, 60, 86, 112, 138, 0},   {6, 30, 58, 86, 114, 142, 0},
    {6, 34, 62, 90, 118, 146, 0},   {6, 30, 54, 78, 102, 126, 150},
    {6, 24, 50, 76, 102, 128, 154}, {6, 28, 54, 80, 106, 132, 158},
    {6, 32, 58, 84, 110, 136, 162}, {6, 26, 54, 82, 110, 138, 166},
    {6, 30, 58, 86, 114, 142, 170},
};

// Each row starts at 6, ends at 4v + 10 (six modules from the far edge, as 6
// is from the near one), and has v / 7 + 2 ascending entries.
constexpr bool alignment_table_consistent() {
    for (int v = 2; v <= 40; ++v) {
        const int k = v / 7 + 2;
        if (alignment_table[v][0] != 6 || alignment_table[v][k - 1] != 4 * v + 10)
            return false;
        for (int i = 1; i < 7; ++i) {
            const int c = alignment_table[v][i];
            if (i < k ? c <= alignment_table[v][i - 1] : c != 0)
                return false;
        }
    }
    return true;
}
static_assert(alignment_table_consistent(), "alignment table rows are malformed");

// The code word of six data bits: the bits followed by the remainder of
// them times x^12 divided by the generator 0x1F25.
constexpr std::uint32_t bch_18_6(std::uint32_t v) {
    std::uint32_t rem = v << 12;
    for (int bit = 17; bit >= 12; --bit)
        if (rem & (1u << bit))
            rem ^= 0x1F25u << (bit - 12);
    return (v << 12) | rem;
}
static_assert(bch_18_6(7) == 0x07C94 && bch_18_6(40) == 0x28C69, "the version information code");

// Error correction characteristics per version 1..40 and level L, M, Q, H:
// error correction codewords per block, blocks of the first group, data
// codewords per block of the first group, blocks of the second group (whose
// blocks hold one data codeword more).
struct EcRow {
    std::int16_t ec;
    std::int16_t blocks1;
    std::int16_t data1;
    std::int16_t blocks2;
};
constexpr EcRow ec_rows[40][4] = {
    {{7, 1, 19, 0}, {10, 1, 16, 0}, {13, 1, 13, 0}, {17, 1, 9, 0}},
    {{10, 1, 34, 0}, {16, 1, 28, 0}, {22, 1, 22, 0}, {28, 1, 16, 0}},
    {{15, 1, 55, 0}, {26, 1, 44, 0}, {18, 2, 17, 0}, {22, 2, 13, 0}},
    {{20, 1, 80, 0}, {18, 2, 32, 0}, {26, 2, 24, 0}, {16, 4, 9, 0}},
    {{26, 1, 108, 0}, {24, 2, 43, 0}, {18, 2, 15, 2}, {22, 2, 11, 2}},
    {{18, 2, 68, 0}, {16, 4, 27, 0}, {24, 4, 19, 0}, {28, 4, 15, 0}},
    {{20, 2, 78, 0}, {18, 4, 31, 0}, {18, 2, 14, 4}, {26, 4, 13, 1}},
    {{24, 2, 97, 0}, {22, 2, 38, 2}, {22, 4, 18, 2}, {26, 4, 14, 2}},
    {{30, 2, 116, 0}, {22, 3, 36, 2}, {20, 4, 16, 4}, {24, 4, 12, 4}},
    {{18, 2, 68, 2}, {26, 4, 43, 1}, {24, 6, 19, 2}, {28, 6, 15, 2}},
    {{20, 4, 81, 0}, {30, 1, 50, 4}, {28, 4, 22, 4}, {24, 3, 12, 8}},
    {{24, 2, 92, 2}, {22, 6, 36, 2}, {26, 4, 20, 6}, {28, 7, 14, 4}},
    {{26, 4, 107, 0}, {22, 8, 37, 1}, {24, 8, 20, 4}, {22, 12, 11, 4}},
    {{30, 3, 115, 1}, {24, 4, 40, 5}, {20, 11, 16, 5}, {24, 11, 12, 5}},
    {{22, 5, 87, 1}, {24, 5, 41, 5}, {30, 5, 24, 7}, {24, 11, 12, 7}},
    {{24, 5, 98, 1}, {28, 7, 45, 3}, {24, 15, 19, 2}, {30, 3, 15, 13}},
    {{28, 1, 107, 5}, {28, 10, 46, 1}, {28, 1, 22, 15}, {28, 2, 14, 17}},
    {{30, 5, 120, 1}, {26, 9, 43, 4}, {28, 17, 22, 1}, {28, 2, 14, 19}},
    {{28, 3, 113, 4}, {26, 3, 44, 11}, {26, 17, 21, 4}, {26, 9, 13, 16}},
    {{28, 3, 107, 5}, {26, 3, 41, 13}, {30, 15, 24, 5}, {28, 15, 15, 10}},
    {{28, 4, 116, 4}, {26, 17, 42, 0}, {28, 17, 22, 6}, {30, 19, 16, 6}},
    {{28, 2, 111, 7}, {28, 17, 46, 0}, {30, 7, 24, 16}, {24, 34, 13, 0}},
    {{30, 4, 121, 5}, {28, 4, 47, 14}, {30, 11, 24, 14}, {30, 16, 15, 14}},
    {{30, 6, 117, 4}, {28, 6, 45, 14}, {30, 11, 24, 16}, {30, 30, 16, 2}},
    {{26, 8, 106, 4}, {28, 8, 47, 13}, {30, 7, 24, 22}, {30, 22, 15, 13}},
    {{28, 10, 114, 2}, {28, 19, 46, 4}, {28, 28, 22, 6}, {30, 33, 16, 4}},
    {{30, 8, 122, 4}, {28, 22, 45, 3}, {30, 8, 23, 26}, {30, 12, 15, 28}},
    {{30, 3, 117, 10}, {28, 3, 45, 23}, {30, 4, 24, 31}, {30, 11, 15, 31}},
    {{30, 7, 116, 7}, {28, 21, 45, 7}, {30, 1, 23, 37}, {30, 19, 15, 26}},
    {{30, 5, 115, 10}, {28, 19, 47, 10}, {30, 15, 24, 25}, {30, 23, 15, 25}},
    {{30, 13, 115, 3}, {28, 2, 46, 29}, {30, 42, 24, 1}, {30, 23, 15, 28}},
    {{30, 17, 115, 0}, {28, 10, 46, 23}, {30, 10, 24, 35}, {30, 19, 15, 35}},
    {{30, 17, 115, 1}, {28, 14, 46, 21}, {30, 29, 24, 19}, {30, 11, 15, 46}},
    {{30, 13, 115, 6}, {28, 14, 46, 23}, {30, 44, 24, 7}, {30, 59, 16, 1}},
    {{30, 12, 121, 7}, {28, 12, 47, 26}, {30, 39, 24, 14}, {30, 22, 15, 41}},
    {{30, 6, 121, 14}, {28, 6, 47, 34}, {30, 46, 24, 10}, {30, 2, 15, 64}},
    {{30, 17, 122, 4}, {28, 29, 46, 14}, {30, 49, 24, 10}, {30, 24, 15, 46}},
    {{30, 4, 122, 18}, {28, 13, 46, 32}, {30, 48, 24, 14}, {30, 42, 15, 32}},
    {{30, 20, 117, 4}, {28, 40, 47, 7}, {30, 43, 24, 22}, {30, 10, 15, 67}},
    {{30, 19, 118, 6}, {28, 18, 47, 31}, {30, 34, 24, 34}, {30, 20, 15, 61}},
};

// Errors a block may correct: half its error correction codewords, less the
// codewords that the smallest symbols keep back against misdecoding.
constexpr int correctable(int version, int level_index, int ec) {
    if (version == 1 && level_index == 0)
        return 2;
    if ((version == 1 && level_index == 1) || (version == 2 && level_index == 0))
        return 4;
    return ec / 2;
}

using BlockEntry = std::array<BlockGroup, 2>;

// The block groups of every version 0..40 and level index (L 0, M 1, Q 2,
// H 3), at version * 4 + level index; version 0 is empty.
constexpr std::array<BlockEntry, 41 * 4> block_table = [] {
    std::array<BlockEntry, 41 * 4> table{};
    for (int v = 1; v <= 40; ++v) {
        for (int l = 0; l < 4; ++l) {
            const EcRow &row = ec_rows[v - 1][l];
            const int r = correctable(v, l, row.ec);
            BlockEntry &e = table[static_cast<std::size_t>(v * 4 + l)];
            e[0] = {row.blocks1, row.data1 + row.ec, row.data1, r};
            if (row.blocks2 > 0)
                e[1] = {row.blocks2, row.data1 + 1 + row.ec, row.data1 + 1, r};
        }
    }
    return table;
}();

} // namespace

std::span<const int, 7> alignment_coords(int version) {
    if (version < 0 || version > 40)
        version = 0;
    return std::span<const int, 7>(alignment_table[version]);
}

std::uint32_t version_code(int version) {
    return version < 7 || version > 40 ? 0 : bch_18_6(static_cast<std::uint32_t>(version));
}

std::uint32_t bch_18_6_code(std::uint32_t data) { return bch_18_6(data & 0x3F); }

std::span<const BlockGroup, 2> block_groups_of(int version, int level) {
    if (version < 1 || version > 40 || level < 0 || level > 3)
        version = level = 0;
    return block_table[static_cast<std::size_t>(version * 4 + level)];
}

} // namespace vantor
