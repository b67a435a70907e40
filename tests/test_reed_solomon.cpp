// Reed-Solomon block correction on blocks encoded by the tests' own encoder.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "reading_support.h"
#include "1_base/reed_solomon.h"
#include "3_model2/classic/state.h"

using namespace vantor;

namespace {
// The state the stages of these tests work on.
DecoderState state;
} // namespace
using reading_test::LogCapture;
using reading_test::rs_encode;
using reading_test::syndrome;

namespace {

std::vector<std::uint8_t> random_block(std::mt19937 &rng, int n, int ec) {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(n - ec));
    for (auto &d : data)
        d = static_cast<std::uint8_t>(rng() & 0xFF);
    return rs_encode(data, ec);
}

// Adds non-zero errors at `count` distinct random positions.
std::vector<std::uint8_t> damage(std::mt19937 &rng, std::vector<std::uint8_t> block, int count) {
    std::set<int> at;
    while (static_cast<int>(at.size()) < count)
        at.insert(static_cast<int>(rng() % block.size()));
    for (int p : at)
        block[static_cast<std::size_t>(p)] ^= static_cast<std::uint8_t>(1 + rng() % 255);
    return block;
}

BlockCorrection correct(std::vector<std::uint8_t> &block, int t) {
    return rs_correct_block(block.data(), static_cast<int>(block.size()), t, &state);
}

bool is_codeword(const std::vector<std::uint8_t> &block, int t) {
    for (int i = 0; i < 2 * t; ++i)
        if (syndrome(block, i) != 0)
            return false;
    return true;
}

} // namespace

TEST(ReedSolomon, CorrectsUpToCapacityAndCountsTheErrors) {
    std::mt19937 rng(7);
    const int shapes[][3] = {{26, 10, 4}, {26, 17, 8}, {33, 18, 9}, {65, 24, 12}, {46, 30, 15},
                             {153, 30, 15}, {44, 10, 4}};
    for (const auto &shape : shapes) {
        const int n = shape[0], ec = shape[1], t = shape[2];
        for (int errors = 1; errors <= t; ++errors) {
            for (int trial = 0; trial < 4; ++trial) {
                const auto good = random_block(rng, n, ec);
                auto block = damage(rng, good, errors);
                const BlockCorrection fix = correct(block, t);
                ASSERT_TRUE(fix.corrected) << n << "/" << t << " errors " << errors;
                EXPECT_TRUE(fix.attempted);
                EXPECT_EQ(block, good);
                EXPECT_EQ(fix.errors, errors);
            }
        }
    }
}

TEST(ReedSolomon, ErrorFreeBlockIsNotAttempted) {
    std::mt19937 rng(3);
    auto block = random_block(rng, 26, 10);
    const auto copy = block;
    const BlockCorrection clean = correct(block, 4);
    EXPECT_FALSE(clean.attempted);
    EXPECT_FALSE(clean.corrected);
    EXPECT_EQ(block, copy);
    block[3] ^= 1;
    for (int t : {0, -3}) { // t <= 0: not looked at
        const BlockCorrection fix = correct(block, t);
        EXPECT_FALSE(fix.attempted);
        EXPECT_FALSE(fix.corrected);
    }
    EXPECT_FALSE(rs_correct_block(nullptr, 26, 4).attempted);
}

TEST(ReedSolomon, PositionsCountFromTheLastCodewordAndLogTheCorrection) {
    std::mt19937 rng(11);
    // Version 1-L: seven check codewords, two correctable errors; one error
    // at the first codeword makes the two-error system singular.
    const auto good = random_block(rng, 26, 7);
    auto block = good;
    block[0] ^= 0x5A;
    {
        LogCapture log(state);
        const BlockCorrection fix = correct(block, 2);
        ASSERT_TRUE(fix.corrected);
        EXPECT_EQ(fix.errors, 1);
        EXPECT_EQ(log.text(), "error at 25 val 90\ntotal 1 errors\n");
    }
    EXPECT_EQ(block, good);

    block[25] ^= 0x01; // last codeword, a check codeword
    block[0] ^= 0xFF;
    {
        LogCapture log(state);
        const BlockCorrection fix = correct(block, 2);
        ASSERT_TRUE(fix.corrected);
        EXPECT_EQ(fix.errors, 2);
        const std::string text = log.text();
        EXPECT_NE(text.find("error at 0 val 1\n"), std::string::npos) << text;
        EXPECT_NE(text.find("error at 25 val 255\n"), std::string::npos) << text;
        EXPECT_NE(text.find("total 2 errors\n"), std::string::npos) << text;
    }
    EXPECT_EQ(block, good);
}

// Beyond capacity a correction is kept only when it gives a codeword; the
// block is then reported as attempted and not corrected. Sought here: t + 1 errors for
// which the one-error attempt (t = 2) finds its root inside the block, the
// case that was taken as a correction before any check.
TEST(ReedSolomon, NoCorrectionKeptBeyondCapacityWhenResultIsNoCodeword) {
    std::mt19937 rng(2024);
    const int n = 26, ec = 7, t = 2;
    int found = 0;
    for (int trial = 0; trial < 2000 && found < 5; ++trial) {
        const auto good = random_block(rng, n, ec);
        const auto bad = damage(rng, good, t + 1);
        const std::uint8_t s0 = syndrome(bad, 0), s1 = syndrome(bad, 1);
        if (s0 == 0 || s1 == 0)
            continue;
        // alpha^p = S1 / S0: a single error at position p would explain S0, S1.
        int p = 0;
        while (p < 255 && reading_test::gf_mul(s0, reading_test::gf_pow2(p)) != s1)
            ++p;
        if (p >= n)
            continue;
        auto block = bad;
        LogCapture log(state);
        const BlockCorrection fix = correct(block, t);
        if (fix.corrected)
            continue; // the two-error attempt succeeded; not the sought case
        ++found;
        EXPECT_EQ(block, bad);
        EXPECT_TRUE(fix.attempted);
        EXPECT_EQ(log.text(), "");
    }
    EXPECT_EQ(found, 5);
}

TEST(ReedSolomon, BeyondCapacityNeverLeavesANonCodeword) {
    std::mt19937 rng(99);
    const int shapes[][3] = {{26, 10, 4}, {33, 18, 9}, {46, 30, 15}, {26, 7, 2}};
    for (const auto &shape : shapes) {
        const int n = shape[0], ec = shape[1], t = shape[2];
        for (int trial = 0; trial < 150; ++trial) {
            const auto good = random_block(rng, n, ec);
            const auto bad = damage(rng, good, t + 1 + static_cast<int>(rng() % 3));
            auto block = bad;
            const BlockCorrection fix = correct(block, t);
            if (!fix.corrected) {
                EXPECT_EQ(block, bad);
                EXPECT_TRUE(fix.attempted);
            } else {
                EXPECT_TRUE(is_codeword(block, t));
            }
            EXPECT_EQ(rs_syndromes_zero(block.data(), n, 2 * t) != 0, is_codeword(block, t));
        }
    }
}

TEST(ReedSolomon, SolvesSystemsWithPivotExchangeAndDetectsSingular) {
    // Row 0 has no x, so the rows must be exchanged: 2y = 4, 3x + y = 7.
    std::uint8_t r0[] = {0, 2, 4};
    std::uint8_t r1[] = {3, 1, 7};
    std::uint8_t *rows[] = {r0, r1};
    ASSERT_TRUE(gf_solve(rows, 2));
    const std::uint8_t x = rows[0][2], y = rows[1][2];
    EXPECT_EQ(y, 2);
    EXPECT_EQ(reading_test::gf_mul(3, x) ^ y, 7);

    std::uint8_t s0[] = {1, 2, 3};
    std::uint8_t s1[] = {2, 4, 6}; // twice row 0
    std::uint8_t *singular[] = {s0, s1};
    EXPECT_FALSE(gf_solve(singular, 2));
    std::uint8_t z0[] = {0, 0, 1};
    std::uint8_t z1[] = {0, 5, 1};
    std::uint8_t *zero_column[] = {z0, z1};
    EXPECT_FALSE(gf_solve(zero_column, 2));
}

// The syndromes are sums of independent terms; each must still be the block
// polynomial at alpha^i by Horner's rule, for any block length and for
// counts past 255, where alpha^i comes round again.
TEST(ReedSolomon, SyndromeCheckFollowsHornersRule) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 400; ++trial) {
        const int n = 1 + static_cast<int>(rng() % 300);
        std::vector<std::uint8_t> block(static_cast<std::size_t>(n), 0);
        // A few non-zero codewords anywhere, or a codeword of up to 30 checks.
        if (trial % 2 && n > 31) {
            const int ec = 1 + static_cast<int>(rng() % 30);
            block = random_block(rng, n, ec);
        } else {
            for (int k = 0; k < 1 + trial % 4; ++k)
                block[rng() % block.size()] = static_cast<std::uint8_t>(rng());
        }
        const int count = 1 + static_cast<int>(rng() % 300);
        bool zero = true;
        for (int i = 0; i < count && zero; ++i)
            zero = syndrome(block, i) == 0;
        EXPECT_EQ(rs_syndromes_zero(block.data(), n, count), zero) << "n " << n << ", count " << count;
    }
}

// A correction limited below capacity is judged by every check codeword: a
// block it passes is the one sent, with as many codewords changed as were
// damaged; with no correction allowed (error detection only) a damaged block
// is refused and a clean one passes unchanged.
TEST(ReedSolomon, CheckedCorrectionPassesOnlyTheBlockSent) {
    std::mt19937 rng(11);
    const int n = 30, ec = 10;
    int refused = 0;
    for (int trial = 0; trial < 600; ++trial) {
        const std::vector<std::uint8_t> sent = random_block(rng, n, ec);
        const int errors = trial % 7;
        for (int limit : {0, 2}) {
            std::vector<std::uint8_t> block = damage(rng, sent, errors);
            const int changed = rs_correct_checked(block.data(), n, ec, limit);
            if (errors <= limit) {
                EXPECT_EQ(changed, errors) << "trial " << trial;
            }
            if (changed >= 0) {
                EXPECT_EQ(changed, errors);
                EXPECT_EQ(block, sent) << "trial " << trial << ", limit " << limit;
            } else {
                ++refused;
            }
        }
    }
    EXPECT_GT(refused, 0);
}
