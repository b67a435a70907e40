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
        const int changed = rs_correct_block(codes.data(), n, ec / 2).errors;
        if (!rs_syndromes_zero(codes.data(), n, ec))
            return std::nullopt;
        corrected += changed;
        data.insert(data.end(), codes.begin(), codes.end() - ec);
    }
    return data;
}

std::optional<Reading> read_as_is(const Matrix &m, const ReadLimits &limits) {
    const auto format = read_format(m, limits.format_bit_errors);
    if (!format)
        return std::nullopt;
    const auto size = symbol_size(format->size_number);
    if (!size || size->width != m.width || size->height != m.height)
        return std::nullopt;
    const std::vector<std::uint8_t> words = read_codewords(m, *size);
    if (words.empty())
        return std::nullopt;
    int corrected = 0;
    const auto data = corrected_data(words, *size, level_blocks(*size, format->level), corrected);
    if (!data)
        return std::nullopt;
    const int version = format->size_number + 1;
    auto content = parse_bitstream(*data, version, SymbolKind::rmqr);
    if (!content)
        return std::nullopt;
    return Reading{std::move(*content), version, format->level, corrected, format->bit_errors, false};
}

} // namespace

std::optional<Reading> read_matrix(const Matrix &matrix, const ReadLimits &limits) {
    if (!matrix.valid())
        return std::nullopt;
    if (matrix.width > matrix.height)
        return read_as_is(matrix, limits);
    auto r = read_as_is(matrix.transposed(), limits);
    if (r)
        r->mirrored = true;
    return r;
}

} // namespace vantor::rmqr
