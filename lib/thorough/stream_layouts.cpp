// The segment headers of each kind of symbol: mode indicator, terminator and
// character count widths, by kind and version. The stream reader itself is
// the same for every kind.
#include "bitstream.h"

#include "../symbol_tables.h"

namespace vantor::thorough {
namespace {

// Model 2 mode indicators stand for themselves.
constexpr signed char model2_modes[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

// Micro QR mode indicators 0..3: numeric, alphanumeric, 8-bit, kanji.
constexpr signed char micro_modes[8] = {1, 2, 4, 8, -1, -1, -1, -1};

// Micro QR M1..M4: mode indicator length, terminator length and count widths
// (numeric, alphanumeric, 8-bit, kanji; 0 where the mode does not exist).
constexpr struct {
    int mode_bits;
    int terminator_bits;
    std::array<int, 4> count_widths;
} micro_headers[4] = {
    {0, 3, {3, 0, 0, 0}},
    {1, 5, {4, 3, 0, 0}},
    {2, 7, {5, 4, 4, 3}},
    {3, 9, {6, 5, 5, 4}},
};

} // namespace

std::optional<StreamLayout> model2_layout(int version) {
    if (version < 1 || version > 40)
        return std::nullopt;
    const int range = version <= 9 ? 0 : version <= 26 ? 1 : 2;
    StreamLayout l;
    l.modes = model2_modes;
    for (int k = 0; k < 4; ++k)
        l.count_widths[static_cast<std::size_t>(k)] = count_widths[k][range];
    return l;
}

std::optional<StreamLayout> micro_layout(int version) {
    if (version < 1 || version > 4)
        return std::nullopt;
    const auto &h = micro_headers[version - 1];
    return StreamLayout{h.mode_bits, h.terminator_bits, micro_modes, h.count_widths};
}

} // namespace vantor::thorough
