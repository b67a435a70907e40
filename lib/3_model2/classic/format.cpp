// Format information: the 15-bit word next to the eye patterns carries the
// error correction level and the mask pattern, protected by a BCH(15,5) code.
// Up to three wrong bits are corrected by trying every error pattern against
// the syndromes S1..S6.
#include "format.h"

#include <array>
#include <cstddef>
#include <cstdio>
#include <span>

#include "bitmap.h"
#include "1_base/symbol.h"
#include "1_base/trace.h"

namespace vantor {
namespace {

// Powers alpha^0..alpha^14 of GF(16) over x^4 + x + 1; the coefficient of
// alpha^0 is the highest bit of each element.
constexpr std::array<int, 15> gf16_exp = {8, 4, 2, 1, 12, 6, 3, 13, 10, 5, 14, 7, 15, 11, 9};

// Exponent of each non-zero element of gf16_exp (index 0 unused).
constexpr std::array<int, 16> gf16_log = [] {
    std::array<int, 16> log{};
    log[0] = -1;
    for (int i = 0; i < 15; ++i)
        log[static_cast<std::size_t>(gf16_exp[static_cast<std::size_t>(i)])] = i;
    return log;
}();

int alpha(int exponent) { return gf16_exp[static_cast<std::size_t>(exponent % 15)]; }
int log_of(int element) { return gf16_log[static_cast<std::size_t>(element)]; }

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

// S_i == alpha^(i*a) + alpha^(i*b) + ... for i = 2..6, exponents given.
template <class... Exps>
bool syndromes_match(const int (&s)[7], Exps... exps) {
    for (int i = 2; i <= 6; ++i)
        if (s[i] != (alpha(i * exps) ^ ...))
            return false;
    return true;
}

} // namespace

FormatBits decode_format_bits(int word) {
    word &= 0x7fff;
    int syn[7] = {};
    for (int k = 0; k < 15; ++k)
        if (word & (1 << k))
            for (int i = 1; i <= 6; ++i)
                syn[i] ^= alpha(i * k);

    if (syn[1] == 0)
        return {word >> 10, {}, 0};

    const int j = log_of(syn[1]);
    if (syndromes_match(syn, j))
        return {(word ^ (1 << j)) >> 10, {j}, 1};

    for (int l = 0; l <= 13; ++l) {
        const int sum = syn[1] ^ alpha(l);
        if (sum == 0)
            continue;
        const int m = log_of(sum);
        if (l < m && syndromes_match(syn, m, l))
            return {(word ^ (1 << l) ^ (1 << m)) >> 10, {l, m}, 2};
    }

    for (int p = 0; p <= 13; ++p) {
        for (int q = p + 1; q <= 13; ++q) {
            const int sum = syn[1] ^ alpha(p) ^ alpha(q);
            if (sum == 0)
                continue;
            const int big_p = log_of(sum);
            if (q < big_p && syndromes_match(syn, big_p, p, q))
                return {(word ^ (1 << p) ^ (1 << q) ^ (1 << big_p)) >> 10, {p, q, big_p}, 3};
        }
    }
    return {-1, {}, 0};
}

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
    return word ^ format_mask;
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
