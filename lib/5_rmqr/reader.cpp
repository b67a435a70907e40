// Reading an rMQR matrix: format, codewords, blocks, correction, bit stream.
#include "reader.h"

#include <limits>

#include "1_base/blocks.h"
#include "format.h"
#include "placement.h"
#include "symbols.h"

namespace vantor::rmqr {
namespace {

std::optional<SymbolRead> read_as_is(const ModuleMatrix &m, const ReadLimits &limits) {
    if (m.width <= m.height) // an rMQR symbol is wider than tall
        return std::nullopt;
    const auto format = read_format(m, limits.format_bit_errors);
    if (!format)
        return std::nullopt;
    const auto size = symbol_size(format->symbol);
    if (!size || size->width != m.width || size->height != m.height)
        return std::nullopt;
    const std::vector<std::uint8_t> words = read_codewords(m, *size);
    // The codewords interleave as Model 2's; every block corrects half its
    // check codewords.
    const auto data = correct_blocks(words, block_groups_of(format->symbol, format->level), BlockOrder::interleaved,
                                     std::numeric_limits<int>::max());
    const int version = format->symbol + 1;
    auto content = data ? parse_bitstream(data->data, version, SymbolKind::rmqr) : std::nullopt;
    if (!content)
        return std::nullopt;
    return SymbolRead{std::move(*content), version, format->level, 0, data->corrected, false};
}

} // namespace

std::optional<SymbolRead> read_matrix(const ModuleMatrix &matrix, const ReadLimits &limits) {
    if (!matrix.valid())
        return std::nullopt;
    return read_either_way(matrix, [&](const ModuleMatrix &m) { return read_as_is(m, limits); });
}

} // namespace vantor::rmqr
