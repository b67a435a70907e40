// Reading a Micro QR matrix: format, codewords, correction, bit stream.
#include "reader.h"

#include <span>

#include "1_base/blocks.h"
#include "format.h"
#include "placement.h"
#include "symbols.h"

namespace vantor::microqr {
namespace {

std::optional<SymbolRead> read_as_is(const vantor::ModuleMatrix &m, const ReadLimits &limits) {
    const auto format = read_format(m, limits.format_bit_errors);
    if (!format)
        return std::nullopt;
    const auto variant = symbol_variant(format->symbol);
    if (!variant || symbol_size(variant->version) != m.width)
        return std::nullopt;
    // The one block a codeword within the limit (M1 only detects errors:
    // it corrects none), a final half codeword's unused bits clear.
    const auto data = correct_blocks(read_codewords(m, *variant, format->mask), std::span(&variant->block, 1),
                                     BlockOrder::interleaved, limits.corrections);
    if (!data || (variant->data_bits % 8 != 0 && (data->data.back() & 0x0F) != 0))
        return std::nullopt;
    auto content = parse_bitstream(data->data, variant->version, SymbolKind::micro, variant->data_bits);
    if (!content)
        return std::nullopt;
    return SymbolRead{std::move(*content), variant->version, variant->level, format->mask, data->corrected, false};
}

} // namespace

std::optional<SymbolRead> read_matrix(const vantor::ModuleMatrix &matrix, const ReadLimits &limits) {
    if (!matrix.square() || matrix.width < 11 || matrix.width > 17)
        return std::nullopt;
    return read_either_way(matrix, [&](const vantor::ModuleMatrix &m) { return read_as_is(m, limits); });
}

} // namespace vantor::microqr
