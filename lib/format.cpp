// Format information: the 15-bit word next to the eye patterns carries the
// error correction level and the mask pattern, protected by a BCH(15,5) code.
// Up to three wrong bits are corrected by trying every error pattern against
// the syndromes S1..S6.
#include "format.h"

#include <array>
#include <cstddef>
#include <cstdio>

#include "bitmap.h"
#include "state.h"

namespace vantor {
namespace {

// XOR mask applied to every format word so that it is never all zero.
constexpr int format_mask = 0x5412;

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

// The copy's 15 bits, bit 14 first, dark (exactly 64) reading as 1.
int read_copy(const DecoderState &s, const FormatModule (&copy)[15]) {
    const int w = s.matrix_width;
    const int h = s.matrix_height;
    int word = 0;
    for (const FormatModule &m : copy) {
        const int row = m.row < 0 ? h + m.row : m.row;
        const int col = m.col < 0 ? w + m.col : m.col;
        const std::size_t index = static_cast<std::size_t>(row) * static_cast<std::size_t>(w) +
                                  static_cast<std::size_t>(col);
        word = (word << 1) | (s.module_matrix[index] == dark ? 1 : 0);
    }
    return word;
}

// The corrected bits are traced when there is a state to trace to.
void log_reversed(const DecoderState *s, int bit) {
    if (s)
        trace(*s, "BCH reverse %d bit\n", bit);
}

// S_i == alpha^(i*a) + alpha^(i*b) + ... for i = 2..6, exponents given.
template <class... Exps>
bool syndromes_match(const int (&s)[7], Exps... exps) {
    for (int i = 2; i <= 6; ++i)
        if (s[i] != (alpha(i * exps) ^ ...))
            return false;
    return true;
}

// The 5 data bits of a format word and how many bits were corrected (at
// most max_errors), or -1.
int decode_bits(const DecoderState *s, int word, int max_errors, int *errors) {
    word &= 0x7fff;
    int syn[7] = {};
    for (int k = 0; k < 15; ++k)
        if (word & (1 << k))
            for (int i = 1; i <= 6; ++i)
                syn[i] ^= alpha(i * k);

    if (syn[1] == 0) {
        *errors = 0;
        return word >> 10;
    }

    const int j = log_of(syn[1]);
    if (max_errors < 1)
        return -1;
    if (syndromes_match(syn, j)) {
        *errors = 1;
        log_reversed(s, j);
        return (word ^ (1 << j)) >> 10;
    }

    if (max_errors < 2)
        return -1;
    for (int l = 0; l <= 13; ++l) {
        const int sum = syn[1] ^ alpha(l);
        if (sum == 0)
            continue;
        const int m = log_of(sum);
        if (l < m && syndromes_match(syn, m, l)) {
            *errors = 2;
            log_reversed(s, l);
            log_reversed(s, m);
            return (word ^ (1 << l) ^ (1 << m)) >> 10;
        }
    }

    if (max_errors < 3)
        return -1;
    for (int p = 0; p <= 13; ++p) {
        for (int q = p + 1; q <= 13; ++q) {
            const int sum = syn[1] ^ alpha(p) ^ alpha(q);
            if (sum == 0)
                continue;
            const int big_p = log_of(sum);
            if (q < big_p && syndromes_match(syn, big_p, p, q)) {
                *errors = 3;
                log_reversed(s, p);
                log_reversed(s, q);
                log_reversed(s, big_p);
                return (word ^ (1 << p) ^ (1 << q) ^ (1 << big_p)) >> 10;
            }
        }
    }
    return -1;
}

} // namespace

int decode_format_bits(const DecoderState &s, int word) {
    int errors = 0;
    return decode_bits(&s, word, 3, &errors);
}

bool format_copies_agree(const DecoderState &s) {
    const int w = s.matrix_width;
    const int h = s.matrix_height;
    if (w < 21 || h < 21 || !s.module_matrix ||
        s.module_matrix.size() < static_cast<std::size_t>(w) * static_cast<std::size_t>(h))
        return false;
    int errors = 0;
    const int first = decode_bits(nullptr, read_copy(s, first_copy) ^ format_mask, 2, &errors);
    const int second = decode_bits(nullptr, read_copy(s, second_copy) ^ format_mask, 2, &errors);
    return first >= 0 && first == second;
}

int read_format_copy(const DecoderState &s, int copy) {
    // Both copies lie within the nine rows and columns at each edge, so any
    // matrix of the smallest symbol's size or more holds them.
    const int w = s.matrix_width;
    const int h = s.matrix_height;
    if (w < 21 || h < 21 || !s.module_matrix ||
        s.module_matrix.size() < static_cast<std::size_t>(w) * static_cast<std::size_t>(h))
        return -1;
    return decode_format_bits(s, read_copy(s, copy == 0 ? first_copy : second_copy) ^ format_mask);
}

int read_format_info(DecoderState &s) {
    int r = read_format_copy(s, 0);
    if (r >= 0) {
        s.ecc_level = r >> 3;
        s.mask_pattern = r & 7;
        trace(s, "Error Correction Level %d, mask pattern %d\n",
                         s.ecc_level, s.mask_pattern);
        return -1;
    }
    r = read_format_copy(s, 1);
    if (r < 0)
        return 0;
    s.ecc_level = r >> 3;
    s.mask_pattern = r & 7;
    return -1;
}

} // namespace vantor
