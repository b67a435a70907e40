// Reading a Micro QR matrix: format, codewords, correction, bit stream.
#include "reader.h"

#include <algorithm>

#include "1_base/reed_solomon.h"
#include "format.h"
#include "placement.h"
#include "symbols.h"

namespace vantor::microqr {
namespace {

// The corrected codewords of the matrix, or nothing when the block is not a
// codeword within the limit.
std::optional<std::vector<std::uint8_t>> corrected_codewords(const vantor::ModuleMatrix &m, const SymbolVariant &variant,
                                                             int mask, int limit, int &corrected) {
    std::vector<std::uint8_t> words = read_codewords(m, variant, mask);
    if (words.empty())
        return std::nullopt;
    const int n = static_cast<int>(words.size());
    // M1 only detects errors: its correction limit is 0.
    corrected = rs_correct_checked(words.data(), n, variant.ec_codewords, std::min(variant.correctable, limit));
    if (corrected < 0)
        return std::nullopt;
    const int data = data_codewords(variant);
    if (variant.data_bits % 8 != 0 && (words[static_cast<std::size_t>(data - 1)] & 0x0F) != 0)
        return std::nullopt;
    words.resize(static_cast<std::size_t>(data));
    return words;
}

std::optional<SymbolRead> read_as_is(const vantor::ModuleMatrix &m, const ReadLimits &limits) {
    const auto format = read_format(m, limits.format_bit_errors);
    if (!format)
        return std::nullopt;
    const auto variant = symbol_variant(format->symbol);
    if (!variant || symbol_size(variant->version) != m.width)
        return std::nullopt;
    int corrected = 0;
    const auto data = corrected_codewords(m, *variant, format->mask, limits.corrections, corrected);
    if (!data)
        return std::nullopt;
    auto content = parse_bitstream(*data, variant->version, SymbolKind::micro, variant->data_bits);
    if (!content)
        return std::nullopt;
    return SymbolRead{std::move(*content), variant->version, variant->level, format->mask, corrected, format->bit_errors, false};
}

} // namespace

std::optional<SymbolRead> read_matrix(const vantor::ModuleMatrix &matrix, const ReadLimits &limits) {
    if (matrix.width < 11 || matrix.width > 17 ||
        matrix.modules.size() != static_cast<std::size_t>(matrix.width) * static_cast<std::size_t>(matrix.width))
        return std::nullopt;
    return read_either_way(matrix, [&](const vantor::ModuleMatrix &m) { return read_as_is(m, limits); });
}

} // namespace vantor::microqr
