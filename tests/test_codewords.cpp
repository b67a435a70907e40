// Function map, placement walk, block table and de-interleaving, on module
// matrices and codeword streams built by the tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "1_base/data_segments.h"
#include "reading_support.h"
#include "3_model2/classic/codewords.h"
#include "3_model2/classic/state.h"

using namespace vantor;

namespace {
// The state the stages of these tests work on.
DecoderState state;
} // namespace
using reading_test::LogCapture;
using reading_test::rs_encode;

namespace {

// An all-light matrix of the version with an empty function map.
void set_geometry(int version, int level) {
    const int n = 4 * version + 17;
    state.version = version;
    state.ecc_level = level;
    state.matrix_width = n;
    state.matrix_height = n;
    const std::size_t count = static_cast<std::size_t>(n) * n;
    ASSERT_TRUE(state.module_matrix.allocate_zeroed(count));
    ASSERT_TRUE(state.function_map.allocate_zeroed((count + 7) / 8));
}

int unmarked_modules() {
    const std::size_t count = static_cast<std::size_t>(state.matrix_width) * state.matrix_height;
    int free = 0;
    for (std::size_t i = 0; i < count; ++i)
        free += !(state.function_map[i / 8] >> (i % 8) & 1);
    return free;
}

void set_module(int row, int col) {
    state.module_matrix[static_cast<std::size_t>(row) * state.matrix_width + col] = 64;
}

struct Blocks {
    std::vector<std::vector<std::uint8_t>> data;
    std::vector<std::vector<std::uint8_t>> ec;
};

// Encoded blocks with distinct data bytes, for the current block_groups.
Blocks make_blocks() {
    Blocks blocks;
    int value = 1;
    for (const BlockGroup &g : state.block_groups) {
        for (int b = 0; b < g.block_count; ++b) {
            std::vector<std::uint8_t> data;
            for (int j = 0; j < g.data_codewords; ++j)
                data.push_back(static_cast<std::uint8_t>(value++ * 7));
            const auto block = rs_encode(data, g.block_codewords - g.data_codewords);
            blocks.data.push_back(data);
            blocks.ec.emplace_back(block.begin() + g.data_codewords, block.end());
        }
    }
    return blocks;
}

// The interleaved stream as a symbol carries it: data codewords round by
// round over all blocks (short blocks drop out of the last round), then the
// check codewords round by round.
std::vector<std::uint8_t> interleave(const Blocks &blocks) {
    std::vector<std::uint8_t> out;
    std::size_t longest = 0;
    for (const auto &d : blocks.data)
        longest = std::max(longest, d.size());
    for (std::size_t j = 0; j < longest; ++j)
        for (const auto &d : blocks.data)
            if (j < d.size())
                out.push_back(d[j]);
    for (std::size_t e = 0; e < blocks.ec[0].size(); ++e)
        for (const auto &c : blocks.ec)
            out.push_back(c[e]);
    return out;
}

std::vector<std::uint8_t> concatenated(const std::vector<std::vector<std::uint8_t>> &parts) {
    std::vector<std::uint8_t> out;
    for (const auto &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<std::uint8_t> codewords() {
    return {state.codewords.get(), state.codewords.get() + state.codeword_count};
}

void load_raw(const std::vector<std::uint8_t> &raw) {
    ASSERT_EQ(static_cast<int>(raw.size()), state.codeword_count);
    std::copy(raw.begin(), raw.end(), state.raw_codewords.get());
}

} // namespace

// Data modules = 8 x codewords + the remainder bits of the version; the
// table's blocks fill the codewords exactly for every level.
TEST(Codewords, FunctionMapAndBlockTableAgreeForEveryVersion) {
    const int remainder[41] = {0, 0, 7, 7, 7, 7, 7, 0, 0, 0, 0, 0, 0, 0, 3, 3, 3, 3, 3, 3, 3,
                               4, 4, 4, 4, 4, 4, 4, 3, 3, 3, 3, 3, 3, 3, 0, 0, 0, 0, 0, 0};
    const int levels[4] = {1, 0, 3, 2}; // L, M, Q, H as format values
    for (int v = 1; v <= 40; ++v) {
        set_geometry(v, 1);
        build_function_map(state);
        const int free = unmarked_modules();
        for (int level : levels) {
            state.ecc_level = level;
            ASSERT_TRUE(read_codewords(state, state)) << v;
            EXPECT_EQ(free, 8 * state.codeword_count + remainder[v]) << v;
            const BlockGroup &g1 = state.block_groups[0], &g2 = state.block_groups[1];
            const int ec = g1.block_codewords - g1.data_codewords;
            if (g2.block_count) {
                EXPECT_EQ(g2.block_codewords, g1.block_codewords + 1) << v;
                EXPECT_EQ(g2.data_codewords, g1.data_codewords + 1) << v;
                EXPECT_EQ(g2.correctable, g1.correctable) << v;
            } else {
                EXPECT_EQ(g2.block_codewords, 0);
            }
            if (v > 2 || (v == 2 && level != 1) || (v == 1 && (level == 3 || level == 2))) {
                EXPECT_EQ(g1.correctable, ec / 2) << v << "/" << level;
            }
        }
    }
    // Version 1 keeps check codewords back from correction at L and M.
    const int r1[4] = {2, 4, 6, 8};
    for (int i = 0; i < 4; ++i) {
        set_geometry(1, levels[i]);
        build_function_map(state);
        ASSERT_TRUE(read_codewords(state, state));
        EXPECT_EQ(state.block_groups[0].correctable, r1[i]);
    }
    set_geometry(2, 1);
    build_function_map(state);
    ASSERT_TRUE(read_codewords(state, state));
    EXPECT_EQ(state.block_groups[0].correctable, 4);
    set_geometry(40, 2);
    build_function_map(state);
    ASSERT_TRUE(read_codewords(state, state));
    EXPECT_EQ(state.block_groups[0].block_count, 20);
    EXPECT_EQ(state.block_groups[1].block_count, 61);
    EXPECT_EQ(state.block_groups[1].block_codewords, 46);
    EXPECT_EQ(state.block_groups[1].correctable, 15);
    release_codewords(state);
}

TEST(Codewords, PlacementWalkStartsBottomRightAndTurnsAtTheTop) {
    struct Probe {
        int row, col, codeword;
        std::uint8_t value;
    };
    const Probe probes[] = {
        {20, 20, 0, 0x80}, {20, 19, 0, 0x40}, {19, 20, 0, 0x20}, {17, 19, 0, 0x01},
        {16, 20, 1, 0x80}, {9, 19, 2, 0x01}, // last module before the format strip
        {9, 18, 3, 0x80},                   // down the next pair
        {9, 1, 25, 0x80},  {12, 0, 25, 0x01}, // the last pair, left of the timing column
    };
    for (const Probe &p : probes) {
        set_geometry(1, 1);
        set_module(p.row, p.col);
        build_function_map(state);
        ASSERT_TRUE(read_codewords(state, state));
        for (int i = 0; i < state.codeword_count; ++i)
            EXPECT_EQ(state.raw_codewords[static_cast<std::size_t>(i)], i == p.codeword ? p.value : 0)
                << p.row << "," << p.col << " codeword " << i;
    }
    release_codewords(state);
}

TEST(Codewords, DeinterleavesFiveQAndCorrectsDataOnly) {
    set_geometry(5, 3);
    build_function_map(state);
    ASSERT_TRUE(read_codewords(state, state));
    ASSERT_EQ(state.codeword_count, 134);
    ASSERT_EQ(state.block_groups[0].block_count, 2);
    ASSERT_EQ(state.block_groups[0].data_codewords, 15);
    ASSERT_EQ(state.block_groups[1].block_count, 2);
    ASSERT_EQ(state.block_groups[1].data_codewords, 16);
    ASSERT_EQ(state.block_groups[0].correctable, 9);

    const Blocks blocks = make_blocks();
    auto raw = interleave(blocks);
    load_raw(raw);
    ASSERT_TRUE(deinterleave_and_correct(state, &state));
    auto expected = concatenated(blocks.data);
    ASSERT_EQ(expected.size(), 62u);
    const auto ec = concatenated(blocks.ec);
    expected.insert(expected.end(), ec.begin(), ec.end());
    EXPECT_EQ(codewords(), expected);
    EXPECT_EQ(state.uncorrected_blocks, 0);

    // Nine errors in block 2 (its data codewords at raw 4j + 2 and 60, its
    // check codewords at 62 + 4e + 2), one in block 0's check codewords.
    const int block2[9] = {2, 6, 30, 58, 60, 62 + 2, 62 + 4 * 5 + 2, 62 + 4 * 17 + 2, 26};
    for (int i : block2)
        raw[static_cast<std::size_t>(i)] ^= 0x3C;
    raw[62 + 4 * 3] ^= 0x01;
    load_raw(raw);
    ASSERT_TRUE(deinterleave_and_correct(state, &state));
    const auto got = codewords();
    EXPECT_EQ(std::vector<std::uint8_t>(got.begin(), got.begin() + 62),
              std::vector<std::uint8_t>(expected.begin(), expected.begin() + 62));
    // The check codewords stay as read.
    EXPECT_EQ(got[62 + 3], ec[3] ^ 0x01);
    EXPECT_EQ(got[62 + 2 * 18], blocks.ec[2][0] ^ 0x3C);
    EXPECT_EQ(state.uncorrected_blocks, 0);

    // Ten errors in block 3: left as read and counted.
    for (int e = 0; e < 10; ++e)
        raw[static_cast<std::size_t>(62 + 4 * e + 3)] ^= 0x81;
    load_raw(raw);
    ASSERT_TRUE(deinterleave_and_correct(state, &state));
    EXPECT_EQ(state.uncorrected_blocks, 1);
    EXPECT_EQ(codewords()[46], blocks.data[3][0]);
    EXPECT_EQ(decode_data(state, state.version, state), nullptr);
    release_codewords(state);
}

TEST(Codewords, DeinterleavesFourteenM) {
    set_geometry(14, 0);
    build_function_map(state);
    ASSERT_TRUE(read_codewords(state, state));
    ASSERT_EQ(state.codeword_count, 581);
    EXPECT_EQ(state.block_groups[0].block_count, 4);
    EXPECT_EQ(state.block_groups[0].block_codewords, 64);
    EXPECT_EQ(state.block_groups[1].block_count, 5);
    EXPECT_EQ(state.block_groups[1].block_codewords, 65);
    EXPECT_EQ(state.block_groups[1].correctable, 12);

    const Blocks blocks = make_blocks();
    auto raw = interleave(blocks);
    // Twelve errors in the last block, whose 41st data codeword is the
    // stream's last data codeword.
    raw[364] ^= 0xFF;
    for (int e = 0; e < 11; ++e)
        raw[static_cast<std::size_t>(365 + 9 * e + 8)] ^= static_cast<std::uint8_t>(e + 1);
    load_raw(raw);
    ASSERT_TRUE(deinterleave_and_correct(state, &state));
    const auto data = concatenated(blocks.data);
    ASSERT_EQ(data.size(), 365u);
    const auto got = codewords();
    EXPECT_EQ(std::vector<std::uint8_t>(got.begin(), got.begin() + 365), data);
    EXPECT_EQ(state.uncorrected_blocks, 0);
    EXPECT_EQ(state.block_tally.last_fix, -1); // corrected at full capacity
    release_codewords(state);
}

TEST(Codewords, DumpsBothStreamsAndRefusesInconsistentGeometry) {
    set_geometry(1, 1);
    {
        LogCapture log(state);
        ASSERT_TRUE(reorder_codewords(state, state, &state));
        std::string line;
        for (int i = 0; i < 26; ++i)
            line += "0x00 ";
        EXPECT_EQ(log.text(), line + "\n" + line + "\n");
    }
    ASSERT_TRUE(state.codewords);

    state.matrix_height = 25; // not the version's size
    {
        LogCapture log(state);
        EXPECT_FALSE(reorder_codewords(state, state, &state));
        EXPECT_EQ(log.text(), "");
    }
    EXPECT_FALSE(state.codewords); // nothing of an earlier reading remains
    EXPECT_EQ(decode_data(state, state.version, state), nullptr);

    set_geometry(3, 1);
    ASSERT_TRUE(state.function_map.allocate_zeroed(4)); // too small for the matrix
    EXPECT_FALSE(reorder_codewords(state, state, &state));
    set_geometry(3, 1);
    state.version = 41;
    EXPECT_FALSE(reorder_codewords(state, state, &state));
    state.version = 3;
    state.ecc_level = 7;
    EXPECT_FALSE(reorder_codewords(state, state, &state));
    EXPECT_FALSE(state.raw_codewords);
    state.module_matrix.reset();
    state.function_map.reset();
}

// Version 1-L corrects two errors with four of its seven check codewords. A
// correction of a block with more errors can satisfy those four and still
// not be a codeword: such a block counts as uncorrected, so no wrong text.
TEST(Codewords, OneLBlockJudgedByAllSevenCheckCodewords) {
    set_geometry(1, 1);
    build_function_map(state);
    ASSERT_TRUE(read_codewords(state, state));
    ASSERT_EQ(state.codeword_count, 26);
    const Blocks blocks = make_blocks();
    const auto good = interleave(blocks);

    std::uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    int miscorrections = 0, kept_right = 0;
    for (int trial = 0; trial < 4000 && miscorrections < 3; ++trial) {
        auto raw = good;
        const int errors = 3 + static_cast<int>(next() % 3);
        for (int e = 0; e < errors; ++e)
            raw[next() % 26] ^= static_cast<std::uint8_t>(1 + next() % 255);
        load_raw(raw);
        ASSERT_TRUE(deinterleave_and_correct(state, &state));
        const auto got = codewords();
        const bool data_right = std::equal(got.begin(), got.begin() + 19, good.begin());
        if (state.uncorrected_blocks == 0) {
            // Whatever is accepted is the block that was sent.
            EXPECT_TRUE(data_right) << "trial " << trial;
            kept_right += data_right;
        } else if (!data_right && got != raw) {
            ++miscorrections; // the 2t-syndrome correction was wrong, and refused
        }
    }
    EXPECT_GT(miscorrections, 0) << "no 1-L miscorrection among the trials";
    release_codewords(state);
}
