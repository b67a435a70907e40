// Format information: the 15-bit word next to the eye patterns carries the
// error correction level and the mask pattern, protected by a BCH(15,5) code
// (1_base/format_code).
#include "format.h"

#include <cstddef>
#include <span>

#include "bitmap.h"
#include "1_base/format_code.h"
#include "1_base/symbol.h"
#include "1_base/trace.h"

namespace vantor {
namespace {

// Module positions (row, column) of the two copies, bit 14 first. Negative
// values count from the far edge: -k is N - k.
struct FormatModule {
    int row;
    int col;
};
constexpr FormatModule first_copy[15] = {{8, 0}, {8, 1}, {8, 2}, {8, 3}, {8, 4},
                                         {8, 5}, {8, 7}, {8, 8}, {7, 8}, {5, 8},
                                         {4, 8}, {3, 8}, {2, 8}, {1, 8}, {0, 8}};
constexpr FormatModule second_copy[15] = {{-1, 8}, {-2, 8}, {-3, 8}, {-4, 8}, {-5, 8},
                                          {-6, 8}, {-7, 8}, {8, -8}, {8, -7}, {8, -6},
                                          {8, -5}, {8, -4}, {8, -3}, {8, -2}, {8, -1}};

} // namespace

int read_format_word(std::span<const std::uint8_t> modules, int width, int height, int copy, std::uint8_t dark_value) {
    // Both copies lie within the nine rows and columns at each edge, so any
    // matrix of the smallest symbol's size or more holds them.
    if (width < 21 || height < 21 || modules.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        return -1;
    int word = 0;
    for (const FormatModule &m : copy == 0 ? first_copy : second_copy) {
        const int row = m.row < 0 ? height + m.row : m.row;
        const int col = m.col < 0 ? width + m.col : m.col;
        const std::size_t index = static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                                  static_cast<std::size_t>(col);
        word = (word << 1) | (modules[index] == dark_value ? 1 : 0);
    }
    return word ^ model2_format_mask;
}

bool format_copies_agree(const SymbolMatrix &s) {
    if (!s.module_matrix)
        return false;
    const std::span<const std::uint8_t> modules{s.module_matrix.get(), s.module_matrix.size()};
    int data[2];
    for (int copy = 0; copy < 2; ++copy) {
        const int word = read_format_word(modules, s.matrix_width, s.matrix_height, copy, dark);
        const FormatBits bits = word < 0 ? FormatBits{-1, {}, 0} : decode_format_bits(word);
        if (bits.data < 0 || bits.reversed_count > 2)
            return false;
        data[copy] = bits.data;
    }
    return data[0] == data[1];
}

int read_format_copy(const SymbolMatrix &s, const TraceSink &sink, int copy) {
    if (!s.module_matrix)
        return -1;
    const int word = read_format_word({s.module_matrix.get(), s.module_matrix.size()}, s.matrix_width,
                                      s.matrix_height, copy, dark);
    if (word < 0)
        return -1;
    const FormatBits bits = decode_format_bits(word);
    for (int i = 0; i < bits.reversed_count; ++i)
        trace(sink, "BCH reverse %d bit\n", bits.reversed[i]);
    return bits.data;
}

bool read_format_info(SymbolMatrix &s, const TraceSink &sink) {
    int r = read_format_copy(s, sink, 0);
    if (r >= 0) {
        s.ecc_level = r >> 3;
        s.mask_pattern = r & 7;
        trace(sink, "Error Correction Level %d, mask pattern %d\n",
                         s.ecc_level, s.mask_pattern);
        return true;
    }
    r = read_format_copy(s, sink, 1);
    if (r < 0)
        return false;
    s.ecc_level = r >> 3;
    s.mask_pattern = r & 7;
    return true;
}

} // namespace vantor
