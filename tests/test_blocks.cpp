// A codeword stream's blocks: where each codeword lies, against streams the
// test interleaves itself, and every kind's block table corrected through
// the shared correction.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "reading_support.h"
#include "1_base/blocks.h"
#include "1_base/symbol_tables.h"
#include "4_model1/symbols.h"
#include "5_microqr/symbols.h"
#include "5_rmqr/symbols.h"

using namespace vantor;

namespace {

// Every block's codewords, numbered through the groups: data, then check.
struct Layout {
    std::vector<int> data, check;
};

Layout layout_of(std::span<const BlockGroup> groups) {
    Layout l;
    for (const BlockGroup &g : groups)
        for (int k = 0; k < g.block_count; ++k) {
            l.data.push_back(g.data_codewords);
            l.check.push_back(g.block_codewords - g.data_codewords);
        }
    return l;
}

// The stream position of each (block, codeword), built by dealing the
// codewords out one row at a time (interleaved) or one block at a time.
std::vector<std::vector<int>> dealt(const Layout &l, BlockOrder order) {
    const std::size_t blocks = l.data.size();
    std::vector<std::vector<int>> at(blocks);
    int next = 0;
    for (const std::vector<int> *section : {&l.data, &l.check}) {
        const int rows = *std::max_element(section->begin(), section->end());
        if (order == BlockOrder::in_turn) {
            for (std::size_t b = 0; b < blocks; ++b)
                for (int i = 0; i < (*section)[b]; ++i)
                    at[b].push_back(next++);
        } else {
            // Row by row, each block that still has a codeword in the row.
            for (int i = 0; i < rows; ++i)
                for (std::size_t b = 0; b < blocks; ++b)
                    if (i < (*section)[b])
                        at[b].push_back(next++);
        }
    }
    return at;
}

void expect_places(std::span<const BlockGroup> groups, BlockOrder order, const char *what, int n, char level) {
    const Layout l = layout_of(groups);
    const std::vector<std::vector<int>> at = dealt(l, order);
    std::set<int> seen;
    for (std::size_t b = 0; b < at.size(); ++b)
        for (std::size_t i = 0; i < at[b].size(); ++i) {
            const int place = stream_place(groups, order, static_cast<int>(b), static_cast<int>(i));
            ASSERT_EQ(place, at[b][i]) << what << " " << n << level << " block " << b << " codeword " << i;
            seen.insert(place);
        }
    EXPECT_EQ(static_cast<int>(seen.size()), stream_codewords(groups)) << what << " " << n << level;
}

// A stream of random blocks of the groups, in the order, each block
// encoded; `errors` non-zero errors in every block.
std::vector<std::uint8_t> stream_of(std::mt19937 &rng, std::span<const BlockGroup> groups, BlockOrder order,
                                    int errors, std::vector<std::uint8_t> &data) {
    std::vector<std::uint8_t> stream(static_cast<std::size_t>(stream_codewords(groups)));
    data.clear();
    int b = 0;
    for (const BlockGroup &g : groups)
        for (int k = 0; k < g.block_count; ++k, ++b) {
            std::vector<std::uint8_t> own(static_cast<std::size_t>(g.data_codewords));
            for (auto &c : own)
                c = static_cast<std::uint8_t>(rng());
            data.insert(data.end(), own.begin(), own.end());
            std::vector<std::uint8_t> block = reading_test::rs_encode(own, g.block_codewords - g.data_codewords);
            std::set<std::size_t> hit;
            while (static_cast<int>(hit.size()) < errors)
                hit.insert(rng() % block.size());
            for (const std::size_t p : hit)
                block[p] ^= static_cast<std::uint8_t>(1 + rng() % 255);
            for (int i = 0; i < g.block_codewords; ++i)
                stream[static_cast<std::size_t>(stream_place(groups, order, b, i))] = block[static_cast<std::size_t>(i)];
        }
    return stream;
}

} // namespace

TEST(Blocks, EveryTwoGroupTableIsPlacedAsDealtByHand) {
    for (int v = 1; v <= 40; ++v)
        for (int level = 0; level < 4; ++level)
            for (const BlockOrder order : {BlockOrder::interleaved, BlockOrder::in_turn})
                expect_places(block_groups_of(v, level), order, "model 2", v, "LMQH"[level]);
    for (int n = 0; n < rmqr::size_count; ++n)
        for (const char level : {'M', 'H'}) {
            const auto groups = rmqr::block_groups_of(n, level);
            expect_places(groups, BlockOrder::interleaved, "rmqr", n, level);
            // The table's groups fill the size's codewords, the longer blocks
            // last and one data codeword longer.
            EXPECT_EQ(stream_codewords(groups), rmqr::symbol_size(n)->codewords) << n << level;
            if (groups[1].block_count > 0) {
                EXPECT_EQ(groups[1].data_codewords, groups[0].data_codewords + 1) << n << level;
            }
            EXPECT_EQ(groups[0].correctable, (groups[0].block_codewords - groups[0].data_codewords) / 2);
        }
    EXPECT_EQ(stream_codewords(rmqr::block_groups_of(rmqr::size_count, 'M')), 0);
    EXPECT_EQ(stream_codewords(rmqr::block_groups_of(0, 'L')), 0);
}

TEST(Blocks, EveryKindsTableCorrectsToCapacityAndRefusesBeyond) {
    std::mt19937 rng(11);
    struct Case {
        std::vector<BlockGroup> groups;
        BlockOrder order;
    };
    std::vector<Case> cases;
    for (const int v : {1, 5, 7, 21, 40})
        for (int level = 0; level < 4; ++level) {
            const auto g = block_groups_of(v, level);
            cases.push_back({{g.begin(), g.end()}, BlockOrder::interleaved});
        }
    for (const int n : {0, 9, 15, 31})
        for (const char level : {'M', 'H'}) {
            const auto g = rmqr::block_groups_of(n, level);
            cases.push_back({{g.begin(), g.end()}, BlockOrder::interleaved});
        }
    for (const int v : {1, 5, 14})
        for (int level = 0; level < 4; ++level)
            cases.push_back({{model1::block_layout(v, level)}, BlockOrder::in_turn});
    for (int s = 1; s < 8; ++s) // M1 corrects nothing: below
        cases.push_back({{microqr::symbol_variant(s)->block}, BlockOrder::interleaved});

    for (const Case &c : cases) {
        const int capacity = c.groups[0].correctable;
        std::vector<std::uint8_t> data;
        const std::vector<std::uint8_t> clean = stream_of(rng, c.groups, c.order, 0, data);
        auto r = correct_blocks(clean, c.groups, c.order, 99);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->data, data);
        EXPECT_EQ(r->corrected, 0);

        const std::vector<std::uint8_t> damaged = stream_of(rng, c.groups, c.order, capacity, data);
        r = correct_blocks(damaged, c.groups, c.order, 99);
        ASSERT_TRUE(r) << c.groups[0].block_codewords << "/" << c.groups[0].data_codewords;
        EXPECT_EQ(r->data, data);
        EXPECT_EQ(r->corrected, capacity * static_cast<int>(layout_of(c.groups).data.size()));
        // Held below the blocks' capacity, the same stream is refused.
        EXPECT_FALSE(correct_blocks(damaged, c.groups, c.order, capacity - 1));
        // One codeword short.
        EXPECT_FALSE(correct_blocks(std::span(clean).first(clean.size() - 1), c.groups, c.order, 99));
    }
    // M1 only detects errors: one error is refused, whatever the limit.
    const BlockGroup m1 = microqr::symbol_variant(0)->block;
    std::vector<std::uint8_t> data;
    EXPECT_TRUE(correct_blocks(stream_of(rng, {&m1, 1}, BlockOrder::interleaved, 0, data), {&m1, 1},
                               BlockOrder::interleaved, 99));
    EXPECT_FALSE(correct_blocks(stream_of(rng, {&m1, 1}, BlockOrder::interleaved, 1, data), {&m1, 1},
                                BlockOrder::interleaved, 99));
}
