// Pixels and counts processed side by side: the compiler turns these vector
// types into the machine's vector instructions where it has them.
#pragma once

#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantor {

using Bytes16 = std::uint8_t __attribute__((vector_size(16)));
using Ints4 = std::int32_t __attribute__((vector_size(16)));
using Floats4 = float __attribute__((vector_size(16)));

inline Bytes16 load16(const std::uint8_t *p) {
    Bytes16 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store16(std::uint8_t *p, Bytes16 v) { std::memcpy(p, &v, sizeof v); }

inline Ints4 load_ints(const std::int32_t *p) {
    Ints4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Four bytes as four ints.
inline Ints4 widen4(const std::uint8_t *p) { return Ints4{p[0], p[1], p[2], p[3]}; }

// Sixty-four bytes at once: bit i set when byte i equals `value`.
inline std::uint64_t equal_bytes_mask64(const std::uint8_t *bytes, std::uint8_t value) {
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi8(static_cast<char>(value));
    std::uint64_t mask = 0;
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + 16 * k));
        const auto bits = static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, wanted)));
        mask |= static_cast<std::uint64_t>(bits) << (16 * k);
    }
    return mask;
#else
    std::uint64_t mask = 0;
    for (int i = 0; i < 64; ++i)
        mask |= static_cast<std::uint64_t>(bytes[i] == value) << i;
    return mask;
#endif
}

} // namespace vantor
