// Decoding corrects up to three wrong bits by trying every error pattern
// against the syndromes S1..S6 over GF(16).
#include "format_code.h"

#include <array>
#include <cstddef>

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

int format_codeword(int data) {
    int rem = data << 10;
    for (int bit = 14; bit >= 10; --bit)
        if (rem & (1 << bit))
            rem ^= 0x537 << (bit - 10);
    return (data << 10) | rem;
}

} // namespace vantor
