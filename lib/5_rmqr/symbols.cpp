// The rectangular Micro QR size table.
#include "symbols.h"

#include <array>
#include <cstdio>

namespace vantor::rmqr {
namespace {

// The data codewords of a size at one level, all blocks, and its blocks.
struct LevelBlocks {
    int data = 0;
    int blocks = 0;
};

struct SizeRow {
    SymbolSize size;
    LevelBlocks m; // level M
    LevelBlocks h; // level H
};

// By size number: height, width, codewords, then data codewords and blocks
// of level M and of level H.
constexpr SizeRow sizes[size_count] = {
    {{7, 43, 13}, {6, 1}, {3, 1}},
    {{7, 59, 21}, {12, 1}, {7, 1}},
    {{7, 77, 32}, {20, 1}, {10, 1}},
    {{7, 99, 44}, {28, 1}, {14, 1}},
    {{7, 139, 68}, {44, 1}, {24, 2}},
    {{9, 43, 21}, {12, 1}, {7, 1}},
    {{9, 59, 33}, {21, 1}, {11, 1}},
    {{9, 77, 49}, {31, 1}, {17, 2}},
    {{9, 99, 66}, {42, 1}, {22, 2}},
    {{9, 139, 99}, {63, 2}, {33, 3}},
    {{11, 27, 15}, {7, 1}, {5, 1}},
    {{11, 43, 31}, {19, 1}, {11, 1}},
    {{11, 59, 47}, {31, 1}, {15, 2}},
    {{11, 77, 67}, {43, 1}, {23, 2}},
    {{11, 99, 89}, {57, 2}, {29, 2}},
    {{11, 139, 132}, {84, 2}, {42, 3}},
    {{13, 27, 21}, {12, 1}, {7, 1}},
    {{13, 43, 41}, {27, 1}, {13, 1}},
    {{13, 59, 60}, {38, 1}, {20, 2}},
    {{13, 77, 85}, {53, 2}, {29, 2}},
    {{13, 99, 113}, {73, 2}, {35, 3}},
    {{13, 139, 166}, {106, 3}, {54, 4}},
    {{15, 43, 51}, {33, 1}, {15, 2}},
    {{15, 59, 74}, {48, 1}, {26, 2}},
    {{15, 77, 103}, {67, 2}, {31, 3}},
    {{15, 99, 136}, {88, 2}, {48, 4}},
    {{15, 139, 199}, {127, 3}, {69, 5}},
    {{17, 43, 61}, {39, 1}, {21, 2}},
    {{17, 59, 88}, {56, 2}, {28, 2}},
    {{17, 77, 122}, {78, 2}, {38, 3}},
    {{17, 99, 160}, {100, 3}, {56, 4}},
    {{17, 139, 232}, {152, 4}, {76, 6}},
};

// Centre columns of the alignment patterns by width.
constexpr int columns_43[] = {21};
constexpr int columns_59[] = {19, 39};
constexpr int columns_77[] = {25, 51};
constexpr int columns_99[] = {23, 49, 75};
constexpr int columns_139[] = {27, 55, 83, 111};

constexpr bool blocks_even(const SymbolSize &s, const LevelBlocks &b) {
    return b.blocks > 0 && b.data > 0 && (s.codewords - b.data) % b.blocks == 0;
}

constexpr bool sizes_consistent() {
    for (const SizeRow &r : sizes)
        if (!blocks_even(r.size, r.m) || !blocks_even(r.size, r.h) || r.h.data >= r.m.data)
            return false;
    return true;
}
static_assert(sizes_consistent(), "each level's check codewords must share out evenly over its blocks");

} // namespace

std::optional<SymbolSize> symbol_size(int size_number) {
    if (size_number < 0 || size_number >= size_count)
        return std::nullopt;
    return sizes[size_number].size;
}

int size_number_of(int height, int width) {
    for (int i = 0; i < size_count; ++i)
        if (sizes[i].size.height == height && sizes[i].size.width == width)
            return i;
    return -1;
}

std::array<BlockGroup, 2> block_groups_of(int size_number, char level) {
    std::array<BlockGroup, 2> out{};
    if (size_number < 0 || size_number >= size_count || (level != 'M' && level != 'H'))
        return out;
    const SizeRow &r = sizes[size_number];
    const LevelBlocks &b = level == 'H' ? r.h : r.m;
    const int check = (r.size.codewords - b.data) / b.blocks;
    const int data = b.data / b.blocks, longer = b.data % b.blocks;
    out[0] = {b.blocks - longer, data + check, data, check / 2};
    if (longer > 0)
        out[1] = {longer, data + 1 + check, data + 1, check / 2};
    return out;
}

std::span<const int> alignment_columns(int width) {
    switch (width) {
    case 43: return columns_43;
    case 59: return columns_59;
    case 77: return columns_77;
    case 99: return columns_99;
    case 139: return columns_139;
    default: return {};
    }
}

std::string size_name(int size_number) {
    const auto s = symbol_size(size_number);
    if (!s)
        return {};
    char name[16];
    std::snprintf(name, sizeof name, "R%dx%d", s->height, s->width);
    return name;
}

} // namespace vantor::rmqr
