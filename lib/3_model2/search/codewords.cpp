// The library's own stages applied to a matrix the search sampled,
// tracing nothing.
#include "codewords.h"

#include <limits>
#include <span>

#include "3_model2/classic/format.h"
#include "3_model2/classic/codewords.h"
#include "1_base/symbol.h"
#include "1_base/symbol_tables.h"
#include "3_model2/classic/unmask.h"
#include "3_model2/classic/version.h"

namespace vantor::thorough {
namespace {

// Most corrections the search accepts in the one block of the smallest
// symbols, by version 1, 2 and level L, M, Q, H (see small_symbol_limit).
constexpr int small_limits[2][4] = {{2, 4, 6, 8}, {4, 8, 11, 14}};

// The matrix as the codeword stage reads it (64 dark), with the layout of
// its version.
bool load(SymbolMatrix &s, const ModuleMatrix &m) {
    const std::size_t cells = static_cast<std::size_t>(m.width) * static_cast<std::size_t>(m.width);
    if (m.width < 21 || m.modules.size() != cells || !s.module_matrix.allocate(cells) ||
        !s.function_map.allocate_zeroed((cells + 7) / 8))
        return false;
    for (std::size_t i = 0; i < cells; ++i)
        s.module_matrix[i] = m.modules[i] ? 64 : 0;
    s.matrix_width = s.matrix_height = m.width;
    s.version = size_version(m.width);
    return true;
}

} // namespace

std::vector<FormatInfo> read_format(const ModuleMatrix &matrix) {
    std::vector<FormatInfo> out;
    if (!matrix.square())
        return out;
    for (int copy = 0; copy < 2; ++copy) {
        const int word = read_format_word(matrix.modules, matrix.width, matrix.width, copy, 1);
        const FormatBits bits = word < 0 ? FormatBits{-1, {}, 0} : decode_format_bits(word);
        if (bits.data < 0)
            continue;
        const FormatInfo f{bits.data, level_letter(bits.data >> 3), bits.data & 7, -1, bits.reversed_count};
        if (out.empty() || out.front().data != f.data)
            out.push_back(f);
    }
    return out;
}

std::vector<ModuleAt> version_block_modules(int n) {
    // Bit i (0 the lowest) of the block left of the along eye pattern
    // is at column n - 11 + i % 3, row i / 3; the other block is its
    // transpose. Highest bit first.
    std::vector<ModuleAt> out;
    for (int block = 0; block < 2; ++block)
        for (int i = 17; i >= 0; --i) {
            const int a = i / 3, b = n - 11 + i % 3;
            out.push_back(block == 0 ? ModuleAt{b, a} : ModuleAt{a, b});
        }
    return out;
}

std::vector<ModuleAt> format_strip_modules(int n) {
    std::vector<ModuleAt> out;
    for (int i = 0; i <= 8; ++i) {
        out.push_back({i, 8});
        out.push_back({8, i});
    }
    for (int i = n - 8; i < n; ++i) {
        out.push_back({i, 8});
        out.push_back({8, i});
    }
    return out;
}

int read_version_blocks(const ModuleMatrix &m) {
    const int n = m.width;
    if (n < 45)
        return 0;
    const std::vector<ModuleAt> at = version_block_modules(n);
    for (std::size_t block = 0; block < 2; ++block) {
        std::uint32_t value = 0;
        for (std::size_t k = 0; k < 18; ++k)
            value = (value << 1) | m.dark(at[block * 18 + k].col, at[block * 18 + k].row);
        const int v = match_version_info(value).version;
        if (v > 0)
            return v;
    }
    return 0;
}

int small_symbol_limit(int version, int level_index) {
    if (version < 1 || version > 2 || level_index < 0 || level_index > 3)
        return 1 << 30;
    return small_limits[version - 1][level_index];
}

std::optional<Corrected> correct_codewords(const ModuleMatrix &matrix, int version, const FormatInfo &format) {
    if (version < 1 || version > 40 || size_version(matrix.width) != version)
        return std::nullopt;
    SymbolMatrix s;
    if (!load(s, matrix))
        return std::nullopt;
    s.ecc_level = format.level_bits();
    s.mask_pattern = format.mask;
    unmask(s);
    SymbolCodewords c;
    build_function_map(s);
    if (!read_codewords(s, c))
        return std::nullopt;
    auto out = correct_blocks(std::span(c.raw_codewords.get(), static_cast<std::size_t>(c.codeword_count)),
                              c.block_groups, BlockOrder::interleaved, std::numeric_limits<int>::max());
    // Versions 1 and 2 have one block: the corrections are that block's.
    if (!out || out->corrected > small_symbol_limit(version, level_index(format.level_bits())))
        return std::nullopt;
    return out;
}

} // namespace vantor::thorough
