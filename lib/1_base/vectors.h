// Pixels and counts processed side by side: the compiler turns these vector
// types into the machine's vector instructions where it has them.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantor {

using Bytes16 = std::uint8_t __attribute__((vector_size(16)));
using Ints4 = std::int32_t __attribute__((vector_size(16)));
using Floats4 = float __attribute__((vector_size(16)));
using Doubles4 = double __attribute__((vector_size(32)));
// Eight sums of greys side by side, one vector register.
using Sums8 = std::uint16_t __attribute__((vector_size(16)));
// Eight signed 16-bit values, and eight bytes (half a register).
using Shorts8 = std::int16_t __attribute__((vector_size(16)));
using Bytes8 = std::uint8_t __attribute__((vector_size(8)));

inline Bytes16 load16(const std::uint8_t *p) {
    Bytes16 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store16(std::uint8_t *p, Bytes16 v) { std::memcpy(p, &v, sizeof v); }

// Sixteen greys as two sets of eight 16-bit lanes, the first and the last
// eight: each set fills one register, so running sums stay in registers.
inline void widen_halves(Bytes16 g, Sums8 &first, Sums8 &last) {
    const Bytes16 zero{};
    first = reinterpret_cast<Sums8>(
        __builtin_shufflevector(g, zero, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23));
    last = reinterpret_cast<Sums8>(
        __builtin_shufflevector(g, zero, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31));
}

inline Ints4 load_ints(const std::int32_t *p) {
    Ints4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The top bit of each of sixteen bytes (a vector comparison's result) as
// bit i of sixteen.
inline unsigned high_bits16(Bytes16 v) {
#if defined(__SSE2__)
    __m128i m;
    std::memcpy(&m, &v, sizeof m);
    return static_cast<unsigned>(_mm_movemask_epi8(m));
#else
    unsigned bits = 0;
    for (int i = 0; i < 16; ++i)
        bits |= static_cast<unsigned>(v[i] >> 7) << i;
    return bits;
#endif
}

// Sixty-four bytes at once: bit i set when byte i equals `value`.
inline std::uint64_t equal_bytes_mask64(const std::uint8_t *bytes, std::uint8_t value) {
    const Bytes16 wanted = Bytes16{} + value;
    std::uint64_t mask = 0;
    for (int k = 0; k < 4; ++k)
        mask |= static_cast<std::uint64_t>(high_bits16(reinterpret_cast<Bytes16>(load16(bytes + 16 * k) == wanted)))
                << (16 * k);
    return mask;
}

// Calls on_change(i), in order, for each pixel i of a line of `count` bytes
// whose colour differs from the pixel's before it (before pixel 0: the
// colour dark_before). A pixel is dark when its byte equals `value`, or with
// dark_when_equal false when it differs from it. Sixty-four pixels at a
// time: the colour changes wherever the dark mask differs from itself
// shifted by one pixel.
template <class OnChange>
inline void for_each_change(const std::uint8_t *line, int count, std::uint8_t value, bool dark_when_equal,
                            bool dark_before, OnChange on_change) {
    std::uint64_t before = dark_before ? 1 : 0; // colour of the pixel before, as bit 0
    int i = 0;
    for (; i + 64 <= count; i += 64) {
        const std::uint64_t equal = equal_bytes_mask64(line + i, value);
        const std::uint64_t mask = dark_when_equal ? equal : ~equal;
        for (std::uint64_t change = mask ^ ((mask << 1) | before); change != 0; change &= change - 1)
            on_change(i + std::countr_zero(change));
        before = mask >> 63;
    }
    for (; i < count; ++i) {
        const std::uint64_t is_dark = (line[i] == value) == dark_when_equal ? 1 : 0;
        if (is_dark != before)
            on_change(i);
        before = is_dark;
    }
}

} // namespace vantor
