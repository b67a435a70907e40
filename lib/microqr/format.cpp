// Reading the Micro QR format word through the library's BCH(15,5) decoder.
#include "format.h"

#include <bit>

#include "../format.h"
#include "../state.h"

namespace vantor::microqr {
namespace {

// Pattern XORed onto every Micro QR format word.
constexpr int format_mask = 0x4445;

// The BCH(15,5) codeword of five data bits.
int bch_word(int data) {
    int rem = data << 10;
    for (int bit = 14; bit >= 10; --bit)
        if (rem & (1 << bit))
            rem ^= 0x537 << (bit - 10);
    return (data << 10) | rem;
}

} // namespace

std::optional<Format> read_format(const thorough::ModuleMatrix &m, int max_bit_errors) {
    if (m.size < 11 || m.modules.size() != static_cast<std::size_t>(m.size) * static_cast<std::size_t>(m.size))
        return std::nullopt;
    // Bits 0..7 go down column 8 from row 1, bits 8..14 left along row 8
    // from column 7.
    int word = 0;
    for (int i = 0; i < 8; ++i)
        word |= static_cast<int>(m.dark(8, i + 1)) << i;
    for (int i = 8; i < 15; ++i)
        word |= static_cast<int>(m.dark(15 - i, 8)) << i;
    word ^= format_mask;
    const DecoderState quiet;
    const int data = decode_format_bits(quiet, word);
    if (data < 0)
        return std::nullopt;
    const int errors = std::popcount(static_cast<unsigned>(bch_word(data) ^ word));
    if (errors > max_bit_errors)
        return std::nullopt;
    return Format{data >> 2, data & 3, errors};
}

} // namespace vantor::microqr
