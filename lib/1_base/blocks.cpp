// The blocks of a codeword stream, placed and corrected.
#include "blocks.h"

#include <algorithm>

#include "reed_solomon.h"

namespace vantor {

int block_count(std::span<const BlockGroup> groups) {
    int n = 0;
    for (const BlockGroup &g : groups)
        n += std::max(0, g.block_count);
    return n;
}

int stream_codewords(std::span<const BlockGroup> groups) {
    int n = 0;
    for (const BlockGroup &g : groups)
        n += std::max(0, g.block_count) * g.block_codewords;
    return n;
}

int stream_place(std::span<const BlockGroup> groups, BlockOrder order, int b, int i) {
    // The block's group, and the block's number within it.
    std::size_t own = 0;
    int within = b;
    while (own + 1 < groups.size() && within >= std::max(0, groups[own].block_count)) {
        within -= std::max(0, groups[own].block_count);
        ++own;
    }
    const int own_data = groups[own].data_codewords;
    const bool check = i >= own_data;
    const int at = check ? i - own_data : i; // the codeword within its section
    auto length = [&](const BlockGroup &g) { return check ? g.block_codewords - g.data_codewords : g.data_codewords; };

    int place = 0;
    if (check)
        for (const BlockGroup &g : groups)
            place += std::max(0, g.block_count) * g.data_codewords;
    if (order == BlockOrder::in_turn) {
        // Every codeword of the blocks before, in this section.
        for (std::size_t k = 0; k < own; ++k)
            place += std::max(0, groups[k].block_count) * length(groups[k]);
        return place + within * length(groups[own]) + at;
    }
    // Every block's codewords of the rows before (as many as it has), then
    // this row's codewords of the blocks before that still have one.
    for (std::size_t k = 0; k < groups.size(); ++k) {
        const int count = std::max(0, groups[k].block_count);
        place += count * std::min(length(groups[k]), at);
        if (k < own && length(groups[k]) > at)
            place += count;
    }
    return place + within;
}

std::optional<Corrected> correct_blocks(std::span<const std::uint8_t> words, std::span<const BlockGroup> groups,
                                        BlockOrder order, int limit) {
    if (block_count(groups) == 0 || words.size() < static_cast<std::size_t>(stream_codewords(groups)))
        return std::nullopt;
    Corrected out;
    int b = 0;
    for (const BlockGroup &g : groups)
        for (int k = 0; k < g.block_count; ++k, ++b) {
            std::vector<std::uint8_t> block(static_cast<std::size_t>(g.block_codewords));
            for (int i = 0; i < g.block_codewords; ++i)
                block[static_cast<std::size_t>(i)] = words[static_cast<std::size_t>(stream_place(groups, order, b, i))];
            const int fixed = rs_correct_checked(block.data(), g.block_codewords, g.block_codewords - g.data_codewords,
                                                 std::min(g.correctable, limit));
            if (fixed < 0)
                return std::nullopt;
            out.corrected += fixed;
            out.data.insert(out.data.end(), block.begin(), block.begin() + g.data_codewords);
        }
    return out;
}

} // namespace vantor
