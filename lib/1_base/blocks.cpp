// The blocks of a codeword stream, placed and corrected.
#include "blocks.h"

#include <algorithm>

#include "reed_solomon.h"

namespace vantor {

int stream_codewords(std::span<const BlockGroup> groups) {
    int n = 0;
    for (const BlockGroup &g : groups)
        n += std::max(0, g.block_count) * g.block_codewords;
    return n;
}

int stream_place(std::span<const BlockGroup> groups, BlockOrder order, int b, int i) {
    // The block's group, and the block's number within it.
    std::size_t own = 0;
    for (; own + 1 < groups.size() && b >= std::max(0, groups[own].block_count); ++own)
        b -= std::max(0, groups[own].block_count);
    const bool check = i >= groups[own].data_codewords;
    const int at = check ? i - groups[own].data_codewords : i; // the codeword within its section
    int place = 0;
    for (std::size_t k = 0; k < groups.size(); ++k) {
        const BlockGroup &g = groups[k];
        const int count = std::max(0, g.block_count);
        const int length = check ? g.block_codewords - g.data_codewords : g.data_codewords;
        if (check) // the data section first
            place += count * g.data_codewords;
        if (order == BlockOrder::in_turn) // the section's codewords of the blocks before
            place += k < own ? count * length : k == own ? b * length + at : 0;
        else // every block's codewords of the rows before, then this row's of the blocks before
            place += count * std::min(length, at) + (k < own && length > at ? count : k == own ? b : 0);
    }
    return place;
}

std::optional<Corrected> correct_blocks(std::span<const std::uint8_t> words, std::span<const BlockGroup> groups,
                                        BlockOrder order, int limit) {
    const int total = stream_codewords(groups);
    if (total == 0 || words.size() < static_cast<std::size_t>(total))
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
