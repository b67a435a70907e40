// Reading a Model 1 matrix: format, codewords, correction, bit stream.
#include "reader.h"

#include <bit>
#include <span>

#include "3_model2/classic/format.h"
#include "1_base/blocks.h"
#include "3_model2/classic/unmask.h"
#include "placement.h"
#include "symbols.h"

namespace vantor::model1 {
namespace {

// The pattern XORed onto a Model 1 format word: ten bits from Model 2's
// (which the library's format reader removes), so a Model 2 symbol's format
// is never within 2 bits of a Model 1 word.
constexpr int model1_format_mask = 0x2825;

// Bits in front of the first segment of a Model 1 stream, all clear.
constexpr int lead_bits = 4;

// The codewords of the matrix in placement order, its mask removed.
std::vector<std::uint8_t> placed_codewords(const vantor::ModuleMatrix &m, int version, int mask) {
    std::vector<std::uint8_t> words;
    for (const Slot &s : slots(version)) {
        if (s.extension)
            continue;
        int value = 0;
        for (int bit = 0; bit < 8; ++bit) {
            int col = 0, row = 0;
            slot_module(s, bit, col, row);
            value = (value << 1) | (m.dark(col, row) != mask_holds(mask, row, col));
        }
        words.push_back(static_cast<std::uint8_t>(value));
    }
    return words;
}

std::optional<SymbolRead> read_as_is(const vantor::ModuleMatrix &m, int version) {
    const auto format = model1::read_format(m);
    if (!format)
        return std::nullopt;
    const int level = level_index(format->level_bits());
    const BlockGroup blocks = block_layout(version, level);
    const std::vector<std::uint8_t> words = placed_codewords(m, version, format->mask);
    const int limit = version <= 2 ? thorough::small_symbol_limit(version, level) : 99;
    // The data of every block in block order, then their check codewords
    // in the same order.
    const auto corrected = correct_blocks(words, std::span(&blocks, 1), BlockOrder::in_turn, limit);
    if (!corrected || corrected->data.empty() || (corrected->data[0] >> (8 - lead_bits)) != 0)
        return std::nullopt;
    const std::vector<std::uint8_t> &data = corrected->data;
    // The stream after its lead bits.
    std::vector<std::uint8_t> stream(data.size(), 0);
    for (std::size_t i = 0; i < data.size(); ++i)
        stream[i] = static_cast<std::uint8_t>((data[i] << lead_bits) |
                                              (i + 1 < data.size() ? data[i + 1] >> (8 - lead_bits) : 0));
    const long bits = static_cast<long>(data.size()) * 8 - lead_bits;
    auto content = parse_bitstream(stream, version, SymbolKind::model1, bits);
    if (!content)
        return std::nullopt;
    return SymbolRead{std::move(*content), version, format->level, format->mask, corrected->corrected, false};
}

} // namespace

std::optional<FormatInfo> read_format(const vantor::ModuleMatrix &m, int max_bit_errors) {
    if (!m.square() || m.width < 21)
        return std::nullopt;
    std::optional<FormatInfo> best;
    int other = -1; // the data of the copy not chosen
    for (int copy = 0; copy < 2; ++copy) {
        const int word = read_format_word(m.modules, m.width, m.width, copy, 1);
        if (word < 0)
            return std::nullopt;
        const int own = word ^ model2_format_mask ^ model1_format_mask;
        const FormatBits bits = decode_format_bits(own);
        if (bits.data < 0)
            continue;
        // The decoder trusts a word whose first syndrome is zero; the
        // distance to the codeword of its data is what counts.
        const int errors = std::popcount(static_cast<unsigned>(own ^ format_codeword(bits.data)));
        if (errors > 3)
            continue;
        if (!best || errors < best->bit_errors) {
            if (best)
                other = best->data;
            best = FormatInfo{bits.data, level_letter(bits.data >> 3), bits.data & 7, -1, errors};
        } else {
            other = bits.data;
        }
    }
    if (!best || best->bit_errors > max_bit_errors)
        return std::nullopt;
    if (other >= 0 && other != best->data)
        return std::nullopt;
    return best;
}

std::optional<SymbolRead> read_matrix(const vantor::ModuleMatrix &matrix) {
    const int n = matrix.width, version = size_version(n);
    if (version < 1 || version > max_version || !matrix.square())
        return std::nullopt;
    return read_either_way(matrix, [&](const vantor::ModuleMatrix &m) { return read_as_is(m, version); });
}

} // namespace vantor::model1
