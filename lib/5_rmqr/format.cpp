// Reading the rMQR format words: the nearest word of the 18-bit BCH code
// that Model 2's version information uses (minimum distance 8, so up to 3
// wrong bits are corrected without doubt).
#include "format.h"

#include <bit>
#include <cstdint>

#include "1_base/symbol_tables.h"

namespace vantor::rmqr {
namespace {

// Patterns XORed onto the word beside the eye and the sub-eye.
constexpr std::uint32_t eye_mask = 0x1FAB2;
constexpr std::uint32_t sub_eye_mask = 0x20A7B;

// The 18 bits of a copy, first bit highest.
std::uint32_t copy_word(const ModuleMatrix &m, FormatCopy copy) {
    std::uint32_t word = 0;
    auto take = [&](int col, int row) { word = word << 1 | static_cast<std::uint32_t>(m.dark(col, row)); };
    if (copy == FormatCopy::eye) {
        // Column 11 rows 3..1, then columns 10..8, each rows 5..1.
        for (int row = 3; row >= 1; --row)
            take(11, row);
        for (int col = 10; col >= 8; --col)
            for (int row = 5; row >= 1; --row)
                take(col, row);
    } else {
        const int w = m.width, h = m.height;
        // Row h-6 columns w-3..w-5, then columns w-6..w-8, each rows h-2..h-6.
        for (int col = w - 3; col >= w - 5; --col)
            take(col, h - 6);
        for (int col = w - 6; col >= w - 8; --col)
            for (int row = h - 2; row >= h - 6; --row)
                take(col, row);
    }
    return word;
}

} // namespace

std::optional<FormatInfo> read_format_copy(const ModuleMatrix &m, FormatCopy copy, int max_bit_errors) {
    if (!m.valid() || m.width < 12 || m.height < 6)
        return std::nullopt;
    const std::uint32_t word = copy_word(m, copy) ^ (copy == FormatCopy::eye ? eye_mask : sub_eye_mask);
    for (std::uint32_t data = 0; data < 64; ++data) {
        const int wrong = std::popcount(word ^ bch_18_6_code(data));
        if (wrong <= max_bit_errors && wrong <= 3)
            return FormatInfo{static_cast<int>(data), data & 32 ? 'H' : 'M', 0, static_cast<int>(data & 31), wrong};
    }
    return std::nullopt;
}

std::optional<FormatInfo> read_format(const ModuleMatrix &m, int max_bit_errors) {
    const auto a = read_format_copy(m, FormatCopy::eye, max_bit_errors);
    const auto b = read_format_copy(m, FormatCopy::sub_eye, max_bit_errors);
    if (!a || !b)
        return a ? a : b;
    if (a->data == b->data)
        return a->bit_errors <= b->bit_errors ? a : b;
    if (a->bit_errors == b->bit_errors)
        return std::nullopt;
    return a->bit_errors < b->bit_errors ? a : b;
}

} // namespace vantor::rmqr
