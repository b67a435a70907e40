// Micro QR from its module matrix: every version, level and mode as two
// independent encoders write them, mirrored symbols, damage beyond what a
// level corrects (never a wrong text; M1, with detection only, on its own),
// and hostile matrices.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "family_symbols.h"
#include "5_microqr/format.h"
#include "5_microqr/reader.h"
#include "5_microqr/symbols.h"
#include "1_base/bitstream.h"

namespace mq = vantor::microqr;
namespace th = vantor::thorough;
using vantor::testing::Level;
using vantor::testing::Mode;
using vantor::testing::Symbol;

namespace {

using vantor::testing::random_kanji;
using vantor::testing::random_text;

vantor::ModuleMatrix matrix_of(const Symbol &s) { return vantor::ModuleMatrix{s.size, s.size, s.modules}; }

std::string text_of(const vantor::SymbolRead &r) { return std::string(r.content.bytes.begin(), r.content.bytes.end()); }


const std::string &digits = vantor::testing::digit_chars;
const std::string &alnum = vantor::testing::alnum_chars;
const std::string printable = "abcdefghijklmnopqrstuvwxyz0123456789ABC!#&()<>?@[]^_{}~";

// Every (version, level) a Micro QR symbol exists in.
struct VersionLevel {
    int version;
    Level level;
};
constexpr VersionLevel all_symbols[] = {{1, Level::L}, {2, Level::L}, {2, Level::M}, {3, Level::L},
                                         {3, Level::M}, {4, Level::L}, {4, Level::M}, {4, Level::Q}};


// The symbols of a sweep: every version and level, numeric, alphanumeric,
// mixed, byte and kanji contents of several lengths up to the capacity, from
// libqrencode and from zint.
std::vector<Symbol> sweep_symbols() {
    std::mt19937 rng(23);
    std::vector<Symbol> out;
    for (const VersionLevel &vl : all_symbols) {
        for (int length = 1; length <= 35; length += 1 + length / 4) {
            const std::string contents[] = {random_text(rng, digits, length), random_text(rng, digits, length),
                                            random_text(rng, digits, length), random_text(rng, alnum, length),
                                            random_text(rng, digits, length / 2) + random_text(rng, alnum, length / 2),
                                            random_text(rng, printable, length)};
            for (const std::string &c : contents) {
                if (auto s = vantor::testing::make_micro_qrencode(c, vl.version, vl.level, Mode::byte))
                    out.push_back(*s);
                if (auto s = vantor::testing::make_micro_zint(c, vl.version, vl.level))
                    out.push_back(*s);
            }
            // Kanji exists from M3 on (libqrencode writes M2 symbols with
            // kanji segments that M2 has no mode for).
            if (vl.version < 3)
                continue;
            if (auto s = vantor::testing::make_micro_qrencode(random_kanji(rng, length / 3 + 1), vl.version, vl.level,
                                                              Mode::kanji))
                out.push_back(*s);
        }
    }
    return out;
}

TEST(MicroQrMatrix, ReadsEveryVersionLevelAndModeOfBothWriters) {
    const std::vector<Symbol> symbols = sweep_symbols();
    int per_version[5] = {};
    int kanji = 0;
    for (const Symbol &s : symbols) {
        const auto r = mq::read_matrix(matrix_of(s));
        ASSERT_TRUE(r) << "M" << s.version << " level " << static_cast<int>(s.level) << ": " << s.text;
        EXPECT_EQ(text_of(*r), s.text) << "M" << s.version << " level " << static_cast<int>(s.level);
        EXPECT_EQ(r->version, s.version);
        EXPECT_FALSE(r->mirrored);
        EXPECT_EQ(r->corrected, 0);
        ++per_version[s.version];
        kanji += static_cast<unsigned char>(s.text[0]) >= 0x81 && s.text.size() % 2 == 0 &&
                 static_cast<unsigned char>(s.text[0]) != 0xFF;
    }
    // Every version is covered by many symbols, and some kanji ones.
    for (int v = 1; v <= 4; ++v)
        EXPECT_GE(per_version[v], 20) << "M" << v;
    EXPECT_GE(kanji, 10);
}

TEST(MicroQrMatrix, ReadsTheLevelTheFormatNames) {
    for (const VersionLevel &vl : all_symbols) {
        const auto s = vantor::testing::make_micro_qrencode("1", vl.version, vl.level, Mode::byte);
        ASSERT_TRUE(s);
        const auto r = mq::read_matrix(matrix_of(*s));
        ASSERT_TRUE(r);
        EXPECT_EQ(r->version, vl.version);
        EXPECT_EQ(r->level, "LMQH"[static_cast<int>(vl.level)]);
    }
}

TEST(MicroQrMatrix, ReadsMirroredSymbols) {
    for (const VersionLevel &vl : all_symbols) {
        const auto s = vantor::testing::make_micro_zint("12345", vl.version, vl.level);
        ASSERT_TRUE(s);
        const auto r = mq::read_matrix(matrix_of(*s).transposed());
        ASSERT_TRUE(r);
        EXPECT_TRUE(r->mirrored);
        EXPECT_EQ(text_of(*r), "12345");
    }
}

// The matrix with `flips` random modules of the encoding region (outside the
// eye corner) inverted; a module may be hit twice.
vantor::ModuleMatrix damaged(const vantor::ModuleMatrix &m, int flips, std::mt19937 &rng) {
    vantor::ModuleMatrix d = m;
    for (int i = 0; i < flips;) {
        const int col = 1 + static_cast<int>(rng() % static_cast<unsigned>(m.width - 1));
        const int row = 1 + static_cast<int>(rng() % static_cast<unsigned>(m.width - 1));
        if (row <= 8 && col <= 8)
            continue;
        ++i;
        d.modules[static_cast<std::size_t>(row) * static_cast<std::size_t>(m.width) + static_cast<std::size_t>(col)] ^= 1;
    }
    return d;
}

// One wrong module is corrected from M2 on; M1, which only detects errors,
// gives nothing.
TEST(MicroQrMatrix, CorrectsOneWrongModuleExceptInM1) {
    std::mt19937 rng(5);
    for (const VersionLevel &vl : all_symbols) {
        const auto s = vantor::testing::make_micro_qrencode("31415", vl.version, vl.level, Mode::byte);
        ASSERT_TRUE(s);
        for (int k = 0; k < 20; ++k) {
            const auto r = mq::read_matrix(damaged(matrix_of(*s), 1, rng));
            if (vl.version == 1) {
                EXPECT_FALSE(r);
                continue;
            }
            ASSERT_TRUE(r) << "M" << vl.version;
            EXPECT_EQ(text_of(*r), "31415");
            EXPECT_LE(r->corrected, 1);
        }
    }
}

// Damage beyond each level's capacity gives no text or the right text, never
// a wrong one: 2,000 trials a version, M1 (detection only) among them.
TEST(MicroQrMatrix, DamageBeyondCapacityGivesNoWrongText) {
    std::mt19937 rng(7);
    for (int v = 1; v <= 4; ++v) {
        int trials = 0, wrong = 0, read = 0;
        for (int round = 0; round < 500; ++round) {
            const VersionLevel vl = all_symbols[v == 1 ? 0 : v == 2 ? 1 + round % 2 : v == 3 ? 3 + round % 2 : 5 + round % 3];
            const std::string text = random_text(rng, v == 1 ? digits : alnum, 1 + static_cast<int>(rng() % 5));
            const auto s = vantor::testing::make_micro_qrencode(text, vl.version, vl.level, Mode::byte);
            ASSERT_TRUE(s);
            const vantor::ModuleMatrix m = matrix_of(*s);
            for (int k = 0; k < 4; ++k, ++trials) {
                const auto r = mq::read_matrix(damaged(m, 4 + static_cast<int>(rng() % 40), rng));
                read += r.has_value();
                wrong += r && text_of(*r) != text;
            }
        }
        std::printf("M%d: %d trials, %d read, %d wrong\n", v, trials, read, wrong);
        EXPECT_EQ(wrong, 0) << "M" << v;
    }
}

// Random and uniform matrices of every size near the Micro QR sizes: no
// crash, and no text from noise.
TEST(MicroQrMatrix, HostileMatricesGiveNothing) {
    std::mt19937 rng(11);
    int read = 0;
    for (int size = 0; size <= 19; ++size) {
        for (int k = 0; k < 1500; ++k) {
            vantor::ModuleMatrix m{size, size, std::vector<std::uint8_t>(static_cast<std::size_t>(size * size))};
            for (auto &v : m.modules)
                v = k == 0 ? 0 : k == 1 ? 1 : static_cast<std::uint8_t>(rng() & 1);
            read += mq::read_matrix(m).has_value();
        }
    }
    EXPECT_EQ(read, 0);
    // A matrix whose module vector does not match its size.
    EXPECT_FALSE(mq::read_matrix(vantor::ModuleMatrix{13, 13, std::vector<std::uint8_t>(100)}));
}

} // namespace
