// Reading an rMQR matrix: format, codewords, blocks, correction, bit stream.
#include "reader.h"

#include <algorithm>

#include "1_base/reed_solomon.h"
#include "format.h"
#include "placement.h"
#include "symbols.h"

namespace vantor::rmqr {
namespace {

// The data codewords of the level's blocks, each block corrected and then
// every one of its check codewords required to agree; nothing otherwise.
// The codewords interleave as Model 2's: the data codewords of the blocks in
// turn (the shorter blocks first, done one codeword early), then the check
// codewords in turn.
std::optional<std::vector<std::uint8_t>> corrected_data(const std::vector<std::uint8_t> &words, const SymbolSize &size,
                                                        const LevelBlocks &level, int &corrected) {
    const int blocks = level.blocks;
    const int ec = block_check_codewords(size, level);
    const int short_data = level.data / blocks;
    const int long_blocks = level.data % blocks;
    std::vector<std::vector<std::uint8_t>> block(static_cast<std::size_t>(blocks));
    std::size_t at = 0;
    for (int i = 0; i <= short_data; ++i)
        for (int b = 0; b < blocks; ++b)
            if (i < short_data || b >= blocks - long_blocks)
                block[static_cast<std::size_t>(b)].push_back(words[at++]);
    for (int i = 0; i < ec; ++i)
        for (int b = 0; b < blocks; ++b)
            block[static_cast<std::size_t>(b)].push_back(words[at++]);
    std::vector<std::uint8_t> data;
    corrected = 0;
    for (auto &codes : block) {
        const int n = static_cast<int>(codes.size());
        const int changed = rs_correct_checked(codes.data(), n, ec, ec / 2);
        if (changed < 0)
            return std::nullopt;
        corrected += changed;
        data.insert(data.end(), codes.begin(), codes.end() - ec);
    }
    return data;
}

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
    if (words.empty())
        return std::nullopt;
    int corrected = 0;
    const auto data = corrected_data(words, *size, level_blocks(*size, format->level), corrected);
    if (!data)
        return std::nullopt;
    const int version = format->symbol + 1;
    auto content = parse_bitstream(*data, version, SymbolKind::rmqr);
    if (!content)
        return std::nullopt;
    return SymbolRead{std::move(*content), version, format->level, 0, corrected, format->bit_errors, false};
}

} // namespace

std::optional<SymbolRead> read_matrix(const ModuleMatrix &matrix, const ReadLimits &limits) {
    if (!matrix.valid())
        return std::nullopt;
    return read_either_way(matrix, [&](const ModuleMatrix &m) { return read_as_is(m, limits); });
}

} // namespace vantor::rmqr
