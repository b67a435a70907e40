// Reading the Micro QR format word through the library's BCH(15,5) decoder.
#include "format.h"

#include "1_base/format_code.h"
#include "symbols.h"

namespace vantor::microqr {
namespace {

// Pattern XORed onto every Micro QR format word.
constexpr int format_mask = 0x4445;

} // namespace

std::optional<FormatInfo> read_format(const vantor::ModuleMatrix &m, int max_bit_errors) {
    if (!m.square() || m.width < 11)
        return std::nullopt;
    // Bits 0..7 go down column 8 from row 1, bits 8..14 left along row 8
    // from column 7.
    int word = 0;
    for (int i = 0; i < 8; ++i)
        word |= static_cast<int>(m.dark(8, i + 1)) << i;
    for (int i = 8; i < 15; ++i)
        word |= static_cast<int>(m.dark(15 - i, 8)) << i;
    word ^= format_mask;
    const FormatBits bits = decode_format_bits(word);
    if (bits.data < 0 || bits.reversed_count > max_bit_errors)
        return std::nullopt;
    // Three bits of symbol number: every value names a symbol.
    const int symbol = bits.data >> 2;
    return FormatInfo{bits.data, symbol_variant(symbol)->level, bits.data & 3, symbol, bits.reversed_count};
}

} // namespace vantor::microqr
