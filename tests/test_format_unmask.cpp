// Format information and unmasking on module matrices set up by hand.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "3_model2/classic/format.h"
#include "reading_support.h"
#include "3_model2/classic/state.h"
#include "3_model2/classic/unmask.h"
#include "3_model2/search/codewords.h"

using namespace vantor;

namespace {
// The state the stages of these tests work on.
DecoderState state;
} // namespace
using reading_test::LogCapture;

namespace {

// Independent BCH(15,5) encoding with the generator 0x537.
int bch_format(int data) {
    int rem = data << 10;
    for (int bit = 14; bit >= 10; --bit)
        if (rem >> bit & 1)
            rem ^= 0x537 << (bit - 10);
    return data << 10 | rem;
}

// Module positions (row, column) of bit 14 ... bit 0 of each copy.
std::vector<std::pair<int, int>> copy_positions(int copy, int n) {
    if (copy == 0)
        return {{8, 0}, {8, 1}, {8, 2}, {8, 3}, {8, 4}, {8, 5}, {8, 7}, {8, 8},
                {7, 8}, {5, 8}, {4, 8}, {3, 8}, {2, 8}, {1, 8}, {0, 8}};
    return {{n - 1, 8}, {n - 2, 8}, {n - 3, 8}, {n - 4, 8}, {n - 5, 8},
            {n - 6, 8}, {n - 7, 8}, {8, n - 8}, {8, n - 7}, {8, n - 6},
            {8, n - 5}, {8, n - 4}, {8, n - 3}, {8, n - 2}, {8, n - 1}};
}

void set_matrix(int n, std::uint8_t fill) {
    state.matrix_width = n;
    state.matrix_height = n;
    ASSERT_TRUE(state.module_matrix.allocate(static_cast<std::size_t>(n) * n));
    for (auto &m : state.module_matrix.span())
        m = fill;
}

// Writes a 15-bit word as the symbol carries it (dark = 1).
void put_word(int copy, int word) {
    const int n = state.matrix_width;
    const auto pos = copy_positions(copy, n);
    for (int i = 0; i < 15; ++i) {
        const int bit = word >> (14 - i) & 1;
        state.module_matrix[static_cast<std::size_t>(pos[static_cast<std::size_t>(i)].first) * n +
                            pos[static_cast<std::size_t>(i)].second] = bit ? 64 : 0;
    }
}

int count_dark() {
    int dark = 0;
    for (auto m : state.module_matrix.span())
        dark += m == 64;
    return dark;
}

} // namespace

TEST(FormatInfo, ReadsFirstCopyAndCorrectsUpToThreeBits) {
    set_matrix(21, 0);
    struct Case {
        int flips;
        const char *log;
    };
    const Case cases[] = {
        {0, ""},
        {1 << 12, "BCH reverse 12 bit\n"},
        {1 << 3 | 1 << 12, "BCH reverse 3 bit\nBCH reverse 12 bit\n"},
        {1 | 1 << 3 | 1 << 12, "BCH reverse 0 bit\nBCH reverse 3 bit\nBCH reverse 12 bit\n"},
    };
    for (const Case &c : cases) {
        put_word(0, 0x40CE ^ c.flips);
        state.ecc_level = 3;
        state.mask_pattern = 0;
        LogCapture log(state);
        ASSERT_TRUE(read_format_info(state, state)) << c.flips;
        EXPECT_EQ(state.ecc_level, 0);
        EXPECT_EQ(state.mask_pattern, 5);
        EXPECT_EQ(log.text(), std::string(c.log) + "Error Correction Level 0, mask pattern 5\n");
    }
}

// The format strip holds every module of both copies: a matrix of any size
// with only the strip's modules kept reads the words of the whole matrix.
TEST(FormatInfo, FormatStripHoldsBothCopies) {
    std::mt19937 rng(9);
    for (int n = 21; n <= 177; n += 4)
        for (int trial = 0; trial < 4; ++trial) {
            ModuleMatrix whole{n, n, std::vector<std::uint8_t>(static_cast<std::size_t>(n) * n)};
            for (auto &m : whole.modules)
                m = static_cast<std::uint8_t>(rng() % 2);
            ModuleMatrix strip{n, n, std::vector<std::uint8_t>(whole.modules.size())};
            for (const thorough::ModuleAt &at : thorough::format_strip_modules(n)) {
                ASSERT_TRUE(at.col >= 0 && at.row >= 0 && at.col < n && at.row < n) << n;
                const std::size_t i = static_cast<std::size_t>(at.row) * n + at.col;
                strip.modules[i] = whole.modules[i];
            }
            for (int copy = 0; copy < 2; ++copy)
                EXPECT_EQ(read_format_word(strip.modules, n, n, copy, 1), read_format_word(whole.modules, n, n, copy, 1))
                    << "size " << n << ", copy " << copy;
        }
}

TEST(FormatInfo, AllLightAreaReadsAsLevelHMask5) {
    set_matrix(25, 0);
    LogCapture log(state);
    ASSERT_TRUE(read_format_info(state, state));
    EXPECT_EQ(state.ecc_level, 2);
    EXPECT_EQ(state.mask_pattern, 5);
    EXPECT_EQ(log.text(), "Error Correction Level 2, mask pattern 5\n");
}

TEST(FormatInfo, SecondCopyUsedSilentlyWhenFirstFailsAndNothingSetWhenBothFail) {
    // A first copy with no explanation by up to three wrong bits.
    int bad = -1;
    for (int w = 0; w < (1 << 15) && bad < 0; ++w)
        if (decode_format_bits(w).data < 0)
            bad = w;
    ASSERT_GE(bad, 0);

    set_matrix(29, 0);
    put_word(0, bad ^ 0x5412);
    put_word(1, bch_format(3 << 3 | 6) ^ 0x5412 ^ (1 << 9)); // Q, mask 6, one wrong bit
    state.matrix_height = 29;
    state.ecc_level = 0;
    state.mask_pattern = 0;
    {
        LogCapture log(state);
        ASSERT_TRUE(read_format_info(state, state));
        EXPECT_EQ(state.ecc_level, 3);
        EXPECT_EQ(state.mask_pattern, 6);
        EXPECT_EQ(log.text(), "BCH reverse 9 bit\n"); // the decoder's line only
    }
    put_word(1, bad ^ 0x5412);
    state.ecc_level = 1;
    state.mask_pattern = 2;
    EXPECT_FALSE(read_format_info(state, state));
    EXPECT_EQ(state.ecc_level, 1);
    EXPECT_EQ(state.mask_pattern, 2);

    state.matrix_width = 17; // smaller than any symbol: refused, not read
    EXPECT_FALSE(read_format_info(state, state));
    state.module_matrix.reset();
    state.matrix_width = 21;
    EXPECT_FALSE(read_format_info(state, state));
}

TEST(FormatInfo, EveryPatternOfTwoWrongBitsCorrectedAndThreeCorrectedUnlessInvisible) {
    int invisible = 0;
    for (int data = 0; data < 32; ++data) {
        const int code = bch_format(data);
        // The library's encoder, which the Model 1 reader counts wrong bits
        // against, gives the same codeword.
        EXPECT_EQ(format_codeword(data), code) << data;
        for (int a = 0; a < 15; ++a) {
            EXPECT_EQ(decode_format_bits(code ^ 1 << a).data, data);
            for (int b = a + 1; b < 15; ++b) {
                EXPECT_EQ(decode_format_bits(code ^ 1 << a ^ 1 << b).data, data);
                for (int c = b + 1; c < 15; ++c) {
                    const int received = code ^ 1 << a ^ 1 << b ^ 1 << c;
                    const int r = decode_format_bits(received).data;
                    if (r != data) {
                        // Only errors whose S1 is zero pass, as read.
                        EXPECT_EQ(r, received >> 10);
                        ++invisible;
                    }
                }
            }
        }
    }
    EXPECT_GT(invisible, 0);
}

TEST(Unmask, ConditionsInvertTheirModules) {
    set_matrix(21, 0);
    state.mask_pattern = 1;
    unmask(state);
    EXPECT_EQ(count_dark(), 231);
    for (int row = 0; row < 21; ++row)
        EXPECT_EQ(state.module_matrix[static_cast<std::size_t>(row) * 21 + 5], row % 2 == 0 ? 64 : 0);

    // Every condition holds at (0, 0) and each inverts a share of modules
    // that follows from its period.
    const int expected_dark[8] = {221, 231, 147, 147, 0, 0, 0, 0};
    for (int mask = 0; mask < 8; ++mask) {
        set_matrix(21, 0);
        state.mask_pattern = mask;
        unmask(state);
        EXPECT_EQ(state.module_matrix[0], 64) << mask;
        if (expected_dark[mask]) {
            EXPECT_EQ(count_dark(), expected_dark[mask]) << mask;
        }
    }

    // Mask 5: dark exactly where row * column is a multiple of 6.
    set_matrix(25, 0);
    state.mask_pattern = 5;
    unmask(state);
    for (int i = 0; i < 25; ++i)
        for (int j = 0; j < 25; ++j)
            ASSERT_EQ(state.module_matrix[static_cast<std::size_t>(i) * 25 + j], (i * j) % 6 == 0 ? 64 : 0);

    // A marked module stays light either way; other masks are ignored.
    set_matrix(21, 80);
    state.mask_pattern = 1;
    unmask(state);
    EXPECT_EQ(state.module_matrix[0], 16);
    EXPECT_EQ(state.module_matrix[21], 80);
    state.mask_pattern = 8;
    unmask(state);
    EXPECT_EQ(state.module_matrix[0], 16);
}

TEST(Unmask, MasksFourToSevenMatchTheirTiles) {
    // Row by row, a period of the pattern: 1 where the module is inverted.
    const char *mask4[4] = {"111000", "111000", "000111", "000111"};
    const char *mask5[6] = {"111111", "100000", "100100", "101010", "100100", "100000"};
    const char *mask6[6] = {"111111", "111000", "110110", "101010", "101101", "100011"};
    const char *mask7[6] = {"101010", "000111", "100011", "010101", "111000", "011100"};
    struct Tile {
        int mask;
        const char **rows;
        int height;
    };
    const Tile tiles[] = {{4, mask4, 4}, {5, mask5, 6}, {6, mask6, 6}, {7, mask7, 6}};
    for (const Tile &tile : tiles) {
        set_matrix(21, 0);
        state.mask_pattern = tile.mask;
        unmask(state);
        for (int i = 0; i < 21; ++i)
            for (int j = 0; j < 21; ++j)
                ASSERT_EQ(state.module_matrix[static_cast<std::size_t>(i) * 21 + j] == 64,
                          tile.rows[i % tile.height][j % 6] == '1')
                    << "mask " << tile.mask << " at " << i << "," << j;
    }
    state.module_matrix.reset();
}
