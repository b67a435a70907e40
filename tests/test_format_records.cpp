// The format information of every kind in its one record: each reader's
// level letter, mask and symbol number agree with the symbol an independent
// encoder wrote, the data bits hold them as the kind packs them, and a wrong
// bit is counted.
#include <gtest/gtest.h>

#include <string>

#include "3_model2/search/codewords.h"
#include "4_model1/reader.h"
#include "5_microqr/format.h"
#include "5_microqr/symbols.h"
#include "5_rmqr/format.h"
#include "family_symbols.h"
#include "model1_symbols.h"

namespace vt = vantor::testing;
using vantor::FormatInfo;
using vantor::ModuleMatrix;

namespace {

constexpr vt::Level levels[] = {vt::Level::L, vt::Level::M, vt::Level::Q, vt::Level::H};

char letter(vt::Level level) { return "LMQH"[static_cast<int>(level)]; }

ModuleMatrix matrix_of(const vt::Symbol &s) { return ModuleMatrix{s.size, s.size, s.modules}; }

// Model 2 and Model 1 pack the level bits (L 1, M 0, Q 3, H 2) over the mask.
void expect_square_format(const FormatInfo &f, vt::Level level, int mask) {
    EXPECT_EQ(f.level, letter(level));
    EXPECT_EQ(f.mask, mask);
    EXPECT_EQ(f.symbol, -1);
    EXPECT_EQ(f.bit_errors, 0);
    EXPECT_EQ(vantor::level_letter(f.level_bits()), f.level);
    EXPECT_EQ(f.data & 7, mask);
}

} // namespace

TEST(FormatRecord, Model2AndModel1GiveLevelAndMaskOfEveryWord) {
    for (vt::Level level : levels)
        for (int mask = 0; mask < 8; ++mask) {
            const auto m2 = vt::make_symbol("FORMAT 42", 2, level, vt::Mode::alphanumeric, mask);
            ASSERT_TRUE(m2);
            const auto read = vantor::thorough::read_format(matrix_of(*m2));
            ASSERT_EQ(read.size(), 1u) << "copies agree: one record";
            expect_square_format(read.front(), level, mask);

            const auto m1 = vt::make_model1("FORMAT 42", 2, level, vt::Mode::alphanumeric, mask);
            ASSERT_TRUE(m1);
            const auto f = vantor::model1::read_format(matrix_of(*m1));
            ASSERT_TRUE(f);
            expect_square_format(*f, level, mask);
        }
}

TEST(FormatRecord, Model2CountsTheBitsItCorrects) {
    auto s = vt::make_symbol("12345", 1, vt::Level::Q, vt::Mode::numeric, 5);
    ASSERT_TRUE(s);
    // The first copy's modules at (8, 0) and (8, 1) (row 8, columns 0 and 1).
    for (int col : {0, 1})
        s->modules[static_cast<std::size_t>(8 * s->size + col)] ^= 1;
    const auto read = vantor::thorough::read_format(matrix_of(*s));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read.front().bit_errors, 2);
    EXPECT_EQ(read.front().level, 'Q');
    EXPECT_EQ(read.front().mask, 5);
}

TEST(FormatRecord, MicroQrNamesTheSymbolAndItsLevel) {
    int symbols = 0;
    for (int version = 1; version <= 4; ++version)
        for (vt::Level level : levels) {
            const auto s = vt::make_micro_qrencode("123", version, level, vt::Mode::numeric);
            if (!s)
                continue; // no such level at this version
            ++symbols;
            const auto f = vantor::microqr::read_format(matrix_of(*s));
            ASSERT_TRUE(f) << "M" << version;
            const auto variant = vantor::microqr::symbol_variant(f->symbol);
            ASSERT_TRUE(variant);
            EXPECT_EQ(variant->version, version);
            EXPECT_EQ(f->level, variant->level);
            EXPECT_EQ(f->level, letter(s->level)) << "M" << version;
            EXPECT_EQ(f->data, f->symbol << 2 | f->mask);
            EXPECT_LT(f->mask, 4);
        }
    EXPECT_EQ(symbols, 8) << "M1 L, M2 and M3 L and M, M4 L, M and Q";
}

TEST(FormatRecord, RmqrNamesTheSizeAndLevelWithOneMask) {
    for (int version : {1, 11, 32})
        for (char level : {'M', 'H'}) {
            const auto s = vt::make_rmqr_zint("123", version, level);
            ASSERT_TRUE(s);
            const auto f = vantor::rmqr::read_format(s->matrix);
            ASSERT_TRUE(f);
            EXPECT_EQ(f->symbol, version - 1);
            EXPECT_EQ(f->level, level);
            EXPECT_EQ(f->mask, 0);
            EXPECT_EQ(f->data, (level == 'H' ? 32 : 0) | f->symbol);
            EXPECT_EQ(f->bit_errors, 0);
        }
}
