// rMQR from its module matrix: every size and both levels as zint writes
// them in each mode, the size table against the symbols, mirrored symbols,
// damage within and beyond what a level corrects (never a wrong text), and
// hostile matrices.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "family_symbols.h"
#include "5_rmqr/format.h"
#include "5_rmqr/patterns.h"
#include "5_rmqr/reader.h"
#include "5_rmqr/symbols.h"

namespace rq = vantor::rmqr;
using vantor::testing::make_rmqr_zint;
using vantor::testing::RmqrSymbol;

namespace {

using vantor::testing::random_kanji;
using vantor::testing::random_text;

std::string text_of(const vantor::SymbolRead &r) { return std::string(r.content.bytes.begin(), r.content.bytes.end()); }


const std::string &digits = vantor::testing::digit_chars;
const std::string &alnum = vantor::testing::alnum_chars;
const std::string printable = "abcdefghijklmnopqrstuvwxyz0123456789ABC!#&()<>?@[]^_{}~";


// The longest text of the alphabet (made by `make`) that the size and level
// hold, found by halving: so the symbols fill their data codewords.
template <class Make> std::optional<RmqrSymbol> fullest(int version, char level, Make make) {
    int lo = 1, hi = 400;
    std::optional<RmqrSymbol> best;
    while (lo <= hi) {
        const int mid = (lo + hi) / 2;
        if (auto s = make_rmqr_zint(make(mid), version, level)) {
            best = s;
            lo = mid + 1;
        } else {
            hi = mid - 1;
        }
    }
    return best;
}

// The modules every size's data region leaves over after its codewords.
constexpr int remainder_bits[rq::size_count] = {0, 3, 5, 6, 1, 2, 3, 1, 4, 5, 2, 1, 0, 2, 7, 6,
                                                4, 1, 6, 4, 3, 0, 1, 4, 6, 7, 2, 1, 2, 0, 3, 4};

// The size table and the function patterns agree with every size: the
// codewords fill the data modules up to each size's remainder, and zint's
// symbols have the table's dimensions.
TEST(RmqrMatrix, SizeTableFitsEverySize) {
    for (int n = 0; n < rq::size_count; ++n) {
        const auto size = rq::symbol_size(n);
        ASSERT_TRUE(size);
        int data_modules = 0;
        for (int r = 0; r < size->height; ++r)
            for (int c = 0; c < size->width; ++c)
                data_modules += !rq::function_module(size->height, size->width, c, r);
        EXPECT_EQ(data_modules, size->codewords * 8 + remainder_bits[n]) << rq::size_name(n);
        const auto s = make_rmqr_zint("1", n + 1, 'M');
        ASSERT_TRUE(s);
        ASSERT_EQ(s->matrix.width, size->width);
        ASSERT_EQ(s->matrix.height, size->height);
        // The function patterns have the colours the locator expects.
        int wrong = 0;
        for (int r = 0; r < size->height; ++r)
            for (int c = 0; c < size->width; ++c)
                if (rq::function_module(size->height, size->width, c, r) &&
                    !rq::format_module(size->height, size->width, c, r))
                    wrong += rq::function_dark(size->height, size->width, c, r) != s->matrix.dark(c, r);
        EXPECT_EQ(wrong, 0) << rq::size_name(n);
        EXPECT_EQ(rq::size_number_of(size->height, size->width), n);
    }
    EXPECT_FALSE(rq::symbol_size(32));
    EXPECT_EQ(rq::size_name(19), "R13x77");
}

// Every size and level in numeric, alphanumeric, byte, kanji and mixed
// contents, from one character to the full data capacity, reads exactly;
// the format names the size and level.
TEST(RmqrMatrix, ReadsEverySizeLevelAndModeZintWrites) {
    std::mt19937 rng(23);
    int read = 0;
    for (int version = 1; version <= rq::size_count; ++version)
        for (char level : {'M', 'H'}) {
            std::vector<RmqrSymbol> symbols;
            for (const std::string *alphabet : {&digits, &alnum, &printable}) {
                if (auto s = fullest(version, level, [&](int n) { return random_text(rng, *alphabet, n); }))
                    symbols.push_back(*s);
                if (auto s = make_rmqr_zint(random_text(rng, *alphabet, 1), version, level))
                    symbols.push_back(*s);
            }
            if (auto s = fullest(version, level, [&](int n) { return random_kanji(rng, n); }))
                symbols.push_back(*s);
            if (auto s = make_rmqr_zint(random_text(rng, digits, 9) + random_text(rng, printable, 3) +
                                            random_text(rng, alnum, 8),
                                        version, level))
                symbols.push_back(*s);
            ASSERT_GE(symbols.size(), 6u) << rq::size_name(version - 1) << level;
            for (const RmqrSymbol &s : symbols) {
                const auto r = rq::read_matrix(s.matrix);
                ASSERT_TRUE(r) << rq::size_name(version - 1) << " " << level << ": " << s.text;
                EXPECT_EQ(text_of(*r), s.text);
                EXPECT_EQ(r->version, version);
                EXPECT_EQ(r->level, level);
                EXPECT_EQ(r->corrected, 0);
                EXPECT_FALSE(r->mirrored);
                ++read;
            }
        }
    EXPECT_GE(read, 64 * 6);
}

// GS1 data (FNC1 in first position, a variable-length field ended by GS)
// and bytes beyond ASCII are read as the other kinds read them.
TEST(RmqrMatrix, ReadsGs1AndBytes) {
    const auto gs1 = make_rmqr_zint("[10]ABC123[17]140704", 20, 'M', true);
    ASSERT_TRUE(gs1);
    const auto r = rq::read_matrix(gs1->matrix);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->content.facts.fnc1, 1);
    EXPECT_EQ(text_of(*r), "10ABC123\x1d" "17140704");
    const auto plain = make_rmqr_zint("\xc3\xa9t\xc3\xa9", 20, 'M');
    ASSERT_TRUE(plain);
    EXPECT_EQ(text_of(*rq::read_matrix(plain->matrix)), "\xc3\xa9t\xc3\xa9");
}

TEST(RmqrMatrix, ReadsMirroredSymbols) {
    for (int version = 1; version <= rq::size_count; version += 5) {
        const auto s = make_rmqr_zint("M42", version, 'M');
        ASSERT_TRUE(s);
        const auto r = rq::read_matrix(s->matrix.transposed());
        ASSERT_TRUE(r);
        EXPECT_TRUE(r->mirrored);
        EXPECT_EQ(text_of(*r), "M42");
    }
}

// The matrix with `flips` random modules inverted away from the eye
// pattern's format copy; a module may be hit twice.
vantor::ModuleMatrix damaged(const vantor::ModuleMatrix &m, int flips, std::mt19937 &rng) {
    vantor::ModuleMatrix d = m;
    for (int i = 0; i < flips;) {
        const int col = static_cast<int>(rng() % static_cast<unsigned>(m.width));
        const int row = static_cast<int>(rng() % static_cast<unsigned>(m.height));
        if (col <= 11)
            continue;
        ++i;
        d.modules[static_cast<std::size_t>(row) * static_cast<std::size_t>(m.width) + static_cast<std::size_t>(col)] ^= 1;
    }
    return d;
}

TEST(RmqrMatrix, CorrectsOneWrongModuleAndFormatBits) {
    std::mt19937 rng(5);
    for (int version = 1; version <= rq::size_count; ++version)
        for (char level : {'M', 'H'}) {
            const auto s = make_rmqr_zint("31415", version, level);
            ASSERT_TRUE(s);
            for (int k = 0; k < 4; ++k) {
                const auto r = rq::read_matrix(damaged(s->matrix, 1, rng));
                ASSERT_TRUE(r) << rq::size_name(version - 1) << level;
                EXPECT_EQ(text_of(*r), "31415");
                EXPECT_LE(r->corrected, 1);
            }
        }
    // Three wrong bits in the eye's copy: the sub-eye's copy reads.
    auto s = make_rmqr_zint("31415", 12, 'H');
    ASSERT_TRUE(s);
    for (int row = 1; row <= 3; ++row)
        s->matrix.modules[static_cast<std::size_t>(row) * static_cast<std::size_t>(s->matrix.width) + 9] ^= 1;
    const auto f = rq::read_format_copy(s->matrix, rq::FormatCopy::eye);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->bit_errors, 3);
    const auto r = rq::read_matrix(s->matrix);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->level, 'H');
}

// Damage beyond each level's capacity gives no text or the right text, never
// a wrong one: 2,000 trials a level.
TEST(RmqrMatrix, DamageBeyondCapacityGivesNoWrongText) {
    std::mt19937 rng(7);
    for (char level : {'M', 'H'}) {
        int trials = 0, wrong = 0, read = 0;
        for (int round = 0; round < 500; ++round) {
            const int version = 1 + static_cast<int>(rng() % rq::size_count);
            const std::string text = random_text(rng, digits, 1 + static_cast<int>(rng() % 5));
            const auto s = make_rmqr_zint(text, version, level);
            ASSERT_TRUE(s);
            for (int k = 0; k < 4; ++k, ++trials) {
                const int flips = 4 + static_cast<int>(rng() % (s->matrix.width * s->matrix.height / 6));
                const auto r = rq::read_matrix(damaged(s->matrix, flips, rng));
                read += r.has_value();
                wrong += r && text_of(*r) != text;
            }
        }
        std::printf("level %c: %d trials, %d read, %d wrong\n", level, trials, read, wrong);
        EXPECT_EQ(wrong, 0) << level;
    }
}

// Random and uniform matrices of every rMQR size and of sizes near them: no
// crash, and no text from noise.
TEST(RmqrMatrix, HostileMatricesGiveNothing) {
    std::mt19937 rng(11);
    int read = 0;
    for (int n = 0; n < rq::size_count; ++n) {
        const auto size = rq::symbol_size(n);
        for (const auto &[w, h] : {std::pair{size->width, size->height}, std::pair{size->width + 2, size->height},
                                   std::pair{size->height, size->width}, std::pair{size->width, size->height - 1}})
            for (int k = 0; k < 300; ++k) {
                vantor::ModuleMatrix m{w, h, std::vector<std::uint8_t>(static_cast<std::size_t>(w * h))};
                for (auto &v : m.modules)
                    v = k == 0 ? 0 : k == 1 ? 1 : static_cast<std::uint8_t>(rng() & 1);
                read += rq::read_matrix(m).has_value();
            }
    }
    EXPECT_EQ(read, 0);
    EXPECT_FALSE(rq::read_matrix(vantor::ModuleMatrix{43, 7, std::vector<std::uint8_t>(100)}));
    EXPECT_FALSE(rq::read_matrix(vantor::ModuleMatrix{0, 0, {}}));
    EXPECT_FALSE(rq::read_matrix(vantor::ModuleMatrix{5, 3, std::vector<std::uint8_t>(15)}));
}

} // namespace
