// QR Code Model 1: the block table against the placement, symbols of our
// encoder read from module matrices (every version, level and mode, mirrored,
// one module wrong), random matrices and Model 2 symbols refused, and
// pictures through the reentrant API (turned, mirrored, inverted, and the
// kinds option telling Model 1 from Model 2).
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>

#include <vantor/vantor.h>

#include "4_model1/placement.h"
#include "4_model1/reader.h"
#include "4_model1/symbols.h"
#include "model1_symbols.h"
#include "3_model2/search/reader.h"

namespace vt = vantor::testing;
namespace m1 = vantor::model1;
using vantor::ModuleMatrix;

namespace {

constexpr vt::Level levels[] = {vt::Level::L, vt::Level::M, vt::Level::Q, vt::Level::H};

ModuleMatrix matrix_of(const vt::Symbol &s) { return ModuleMatrix{s.size, s.size, s.modules}; }

std::string text_of(const vantor::Content &c) { return std::string(c.bytes.begin(), c.bytes.end()); }

// Text of `mode` filling about `share` of a Model 1 symbol's data.
std::string fill_text(vt::Mode mode, int version, vt::Level level, double share, std::mt19937 &rng) {
    const int bits = static_cast<int>(vt::model1_data_codewords(version, level) * 8 * share) - 40;
    std::string s;
    switch (mode) {
    case vt::Mode::numeric:
        for (int i = 0; i < std::max(1, bits * 3 / 10); ++i)
            s += static_cast<char>('0' + rng() % 10);
        break;
    case vt::Mode::alphanumeric:
        for (int i = 0; i < std::max(1, bits * 2 / 11); ++i)
            s += "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:"[rng() % 45];
        break;
    case vt::Mode::byte:
        for (int i = 0; i < std::max(1, bits / 8); ++i)
            s += static_cast<char>(rng() % 256);
        break;
    case vt::Mode::kanji:
        for (int i = 0; i < std::max(1, bits / 13); ++i) {
            s += static_cast<char>(0x88 + rng() % 8);
            s += static_cast<char>(0x40 + rng() % 0x3C);
        }
        break;
    }
    return s;
}

// Modules every version reserves: eye patterns with separators and format
// information, and the timing patterns.
bool function_module(int n, int col, int row) {
    const bool near_left = col <= 8, near_top = row <= 8;
    if ((near_left && near_top) || (col >= n - 8 && near_top) || (near_left && row >= n - 8))
        return true;
    return col == 6 || row == 6;
}

TEST(Model1Layout, BlocksFitThePlacementAndSlotsCoverEveryDataModuleOnce) {
    for (int v = 1; v <= m1::max_version; ++v) {
        const int n = vantor::symbol_size(v);
        std::vector<int> cover(static_cast<std::size_t>(n) * n, 0);
        for (const m1::Slot &s : m1::slots(v))
            for (int bit = 0; bit < 8; ++bit) {
                int col = 0, row = 0;
                m1::slot_module(s, bit, col, row);
                ASSERT_TRUE(col >= 0 && row >= 0 && col < n && row < n) << "version " << v;
                EXPECT_FALSE(function_module(n, col, row)) << "version " << v << " at " << col << "," << row;
                ++cover[static_cast<std::size_t>(row) * n + col];
            }
        for (int row = 0; row < n; ++row)
            for (int col = 0; col < n; ++col)
                EXPECT_EQ(cover[static_cast<std::size_t>(row) * n + col], function_module(n, col, row) ? 0 : 1)
                    << "version " << v << " at " << col << "," << row;
        const int places = m1::total_codewords(v);
        for (int level = 0; level < 4; ++level) {
            const vantor::BlockGroup b = m1::block_layout(v, level);
            const int used = b.block_count * b.block_codewords;
            EXPECT_LE(used, places) << "version " << v << " level " << level;
            EXPECT_GE(used, places - 4) << "version " << v << " level " << level;
            EXPECT_EQ(b.block_count * b.data_codewords, vt::model1_data_codewords(v, levels[level]));
            EXPECT_EQ(b.correctable, (b.block_codewords - b.data_codewords) / 2);
        }
    }
}

TEST(Model1Matrix, ReadsEveryVersionLevelModeAndMaskMirroredToo) {
    std::mt19937 rng(7);
    for (int v = 1; v <= m1::max_version; ++v)
        for (vt::Level level : levels)
            for (vt::Mode mode : {vt::Mode::numeric, vt::Mode::alphanumeric, vt::Mode::byte, vt::Mode::kanji}) {
                const std::string text = fill_text(mode, v, level, rng() % 2 ? 1.0 : 0.3, rng);
                const int mask = static_cast<int>(rng() % 8);
                const auto s = vt::make_model1(text, v, level, mode, mask);
                ASSERT_TRUE(s) << "version " << v;
                const auto r = m1::read_matrix(matrix_of(*s));
                ASSERT_TRUE(r) << "version " << v << " level " << static_cast<int>(level) << " mode "
                               << static_cast<int>(mode);
                EXPECT_EQ(text_of(r->content), text);
                EXPECT_EQ(r->version, v);
                EXPECT_EQ(r->mask, mask);
                EXPECT_EQ(r->corrected, 0);
                EXPECT_FALSE(r->mirrored);
                const auto t = m1::read_matrix(matrix_of(*s).transposed());
                ASSERT_TRUE(t);
                EXPECT_EQ(text_of(t->content), text);
                EXPECT_TRUE(t->mirrored);
            }
}

TEST(Model1Matrix, MixedSegmentsRead) {
    const vt::Segment segments[] = {{vt::Mode::alphanumeric, "PART-7"}, {vt::Mode::numeric, "0042"},
                                    {vt::Mode::byte, "lot x"}};
    const auto s = vt::make_model1(segments, 0, vt::Level::M);
    ASSERT_TRUE(s);
    const auto r = m1::read_matrix(matrix_of(*s));
    ASSERT_TRUE(r);
    EXPECT_EQ(text_of(r->content), "PART-70042lot x");
}

TEST(Model1Matrix, OneWrongModuleIsCorrected) {
    std::mt19937 rng(11);
    for (int v = 1; v <= m1::max_version; ++v)
        for (vt::Level level : levels) {
            auto s = vt::make_model1("MODEL 1", v, level, vt::Mode::alphanumeric, static_cast<int>(rng() % 8));
            ASSERT_TRUE(s);
            // A module of a codeword the blocks use (not of an extension
            // pattern, nor of the unused places at the end).
            std::vector<m1::Slot> used;
            for (const m1::Slot &slot : m1::slots(v))
                if (!slot.extension)
                    used.push_back(slot);
            const vantor::BlockGroup b = m1::block_layout(v, static_cast<int>(level));
            used.resize(static_cast<std::size_t>(b.block_count * b.block_codewords));
            const m1::Slot &slot = used[rng() % used.size()];
            int col = 0, row = 0;
            m1::slot_module(slot, static_cast<int>(rng() % 8), col, row);
            ModuleMatrix m = matrix_of(*s);
            m.modules[static_cast<std::size_t>(row) * m.width + col] ^= 1;
            const auto r = m1::read_matrix(m);
            ASSERT_TRUE(r) << "version " << v << " level " << static_cast<int>(level) << " at " << col << "," << row;
            EXPECT_EQ(text_of(r->content), "MODEL 1");
            EXPECT_EQ(r->corrected, 1);
        }
}

TEST(Model1Matrix, RandomMatricesAndModel2SymbolsGiveNothing) {
    std::mt19937 rng(5);
    for (int i = 0; i < 20000; ++i) {
        const int v = 1 + static_cast<int>(rng() % m1::max_version);
        ModuleMatrix m{vantor::symbol_size(v), vantor::symbol_size(v), {}};
        m.modules.resize(static_cast<std::size_t>(m.width) * m.width);
        for (auto &cell : m.modules)
            cell = static_cast<std::uint8_t>(rng() % 2);
        EXPECT_FALSE(m1::read_matrix(m)) << "matrix " << i;
    }
    // Model 2 symbols of the same sizes, every level and mask.
    for (int v = 1; v <= m1::max_version; ++v)
        for (vt::Level level : levels)
            for (int mask = 0; mask < 8; ++mask) {
                const auto s = vt::make_symbol("12345", v, level, vt::Mode::numeric, mask);
                ASSERT_TRUE(s);
                EXPECT_FALSE(m1::read_format(matrix_of(*s))) << "version " << v << " mask " << mask;
                EXPECT_FALSE(m1::read_matrix(matrix_of(*s)));
            }
    // And Model 1 symbols are not Model 2's.
    for (int v = 1; v <= m1::max_version; ++v) {
        const auto s = vt::make_model1("12345", v, vt::Level::L, vt::Mode::numeric, v % 8);
        ASSERT_TRUE(s);
        EXPECT_FALSE(vantor::thorough::read_matrix(matrix_of(*s))) << "version " << v;
    }
}

TEST(Model1Matrix, MatricesOfNoModel1SizeGiveNothing) {
    for (int size : {0, 1, 17, 20, 22, 23, 24, 77, 177}) {
        ModuleMatrix m{size, size, std::vector<std::uint8_t>(static_cast<std::size_t>(size) * size, 1)};
        EXPECT_FALSE(m1::read_matrix(m)) << size;
        EXPECT_FALSE(m1::read_format(m)) << size;
    }
    // A size that does not match its modules.
    const auto s = vt::make_model1("12345", 2, vt::Level::L, vt::Mode::numeric, 1);
    ASSERT_TRUE(s);
    ModuleMatrix short_of{s->size, s->size, s->modules};
    short_of.modules.pop_back();
    EXPECT_FALSE(m1::read_matrix(short_of));
    ModuleMatrix larger{s->size + 4, s->size + 4, s->modules};
    EXPECT_FALSE(m1::read_matrix(larger));
    EXPECT_TRUE(m1::slots(0).empty());
    EXPECT_TRUE(m1::slots(15).empty());
    EXPECT_EQ(m1::block_layout(15, 0).block_count, 0);
}

// The first symbol's text, kind and version name; empty text when none.
struct Found {
    std::string text;
    vantor_kind kind = VANTOR_KIND_QR;
    std::string version_name;
    bool mirrored = false, inverted = false;
};

Found decode(const vt::Picture &p, unsigned kinds = VANTOR_KINDS_ALL) {
    Found f;
    vantor_options *o = vantor_options_new();
    vantor_options_set_kinds(o, kinds);
    vantor_results *r = vantor_decode_pixels(p.pixels.data(), p.width, p.height, p.width, 8, o);
    if (r && vantor_results_count(r) > 0) {
        const vantor_symbol *s = vantor_results_symbol(r, 0);
        f.text.assign(reinterpret_cast<const char *>(s->bytes), s->length);
        f.kind = vantor_symbol_kind(s);
        f.version_name = vantor_symbol_version_name(s);
        f.mirrored = s->mirrored != 0;
        f.inverted = s->inverted != 0;
    }
    vantor_results_free(r);
    vantor_options_free(o);
    return f;
}

TEST(Model1Pictures, ReadsEveryVersionAndLevelTurnedMirroredAndInverted) {
    std::mt19937 rng(23);
    constexpr vt::Mode modes[] = {vt::Mode::numeric, vt::Mode::alphanumeric, vt::Mode::byte, vt::Mode::kanji};
    int k = 0;
    for (int v = 1; v <= m1::max_version; ++v)
        for (vt::Level level : levels) {
            const vt::Mode mode = modes[k % 4];
            const std::string text = fill_text(mode, v, level, 0.5, rng);
            const auto s = vt::make_model1(text, v, level, mode, static_cast<int>(rng() % 8));
            ASSERT_TRUE(s);
            vt::RenderOptions o;
            o.module_px = 3.0 + (rng() % 30) / 10.0;
            o.rotation_deg = static_cast<double>(rng() % 360);
            o.mirror = k % 3 == 0;
            const bool inverted = k % 5 == 1;
            if (inverted)
                std::swap(o.dark, o.light);
            o.noise_sigma = 4;
            const Found f = decode(vt::render(*s, o));
            EXPECT_EQ(f.text, text) << "version " << v << " level " << static_cast<int>(level);
            EXPECT_EQ(f.kind, VANTOR_KIND_QR_MODEL1);
            EXPECT_EQ(f.version_name, std::to_string(v));
            EXPECT_EQ(f.mirrored, o.mirror) << "version " << v;
            EXPECT_EQ(f.inverted, inverted) << "version " << v;
            ++k;
        }
}

TEST(Model1Pictures, KindsOptionChoosesBetweenTheModels) {
    const auto one = vt::make_model1("OLD LABEL 1994", 3, vt::Level::M, vt::Mode::alphanumeric, 2);
    const auto two = vt::make_symbol("NEW LABEL", 3, vt::Level::M, vt::Mode::alphanumeric, 2);
    ASSERT_TRUE(one && two);
    vt::RenderOptions o;
    o.rotation_deg = 17;
    const vt::Picture p1 = vt::render(*one, o), p2 = vt::render(*two, o);
    EXPECT_EQ(decode(p1).text, "OLD LABEL 1994");
    EXPECT_EQ(decode(p1, 1u << VANTOR_KIND_QR_MODEL1).text, "OLD LABEL 1994");
    EXPECT_EQ(decode(p1, 1u << VANTOR_KIND_QR_MODEL1).kind, VANTOR_KIND_QR_MODEL1);
    EXPECT_EQ(decode(p1, 1u << VANTOR_KIND_QR).text, "");
    EXPECT_EQ(decode(p1, (1u << VANTOR_KIND_QR) | (1u << VANTOR_KIND_MICRO_QR)).text, "");
    const Found f2 = decode(p2);
    EXPECT_EQ(f2.text, "NEW LABEL");
    EXPECT_EQ(f2.kind, VANTOR_KIND_QR);
    EXPECT_EQ(decode(p2, 1u << VANTOR_KIND_QR_MODEL1).text, "");
}

} // namespace
