// Symbol reading from end to end on module matrices of symbols made by the
// test-support library: format information, unmasking, codeword extraction,
// correction and data decoding must give back exactly the symbol's bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "1_base/data_segments.h"
#include "3_model2/classic/format.h"
#include "qr_symbols.h"
#include "reading_support.h"
#include "3_model2/classic/codewords.h"
#include "3_model2/classic/state.h"
#include "3_model2/classic/unmask.h"

namespace vt = vantor::testing;
namespace {
// The state the stages of these tests work on.
vantor::DecoderState state;
} // namespace

namespace {

struct Reading {
    std::optional<std::string> text;
    std::vector<std::uint8_t> raw;          // codewords as read, in placement order
    std::vector<std::uint8_t> function_map; // of the symbol's version
};

// Runs the reading stages over the symbol's modules, as the decode entry
// does after sampling.
Reading read_symbol(const vt::Symbol &symbol) {
    const std::size_t count = static_cast<std::size_t>(symbol.size) * symbol.size;
    state.version = symbol.version;
    state.matrix_width = symbol.size;
    state.matrix_height = symbol.size;
    Reading r;
    if (!state.module_matrix.allocate(count) || !state.function_map.allocate_zeroed((count + 7) / 8))
        return r;
    for (std::size_t i = 0; i < count; ++i)
        state.module_matrix[i] = symbol.modules[i] ? 64 : 0;

    vantor::read_format_info(state, state);
    vantor::unmask(state);
    vantor::reorder_codewords(state, state, &state);
    if (const char *text = vantor::decode_data(state, state.version, state))
        r.text = std::string(text);
    if (state.raw_codewords)
        r.raw.assign(state.raw_codewords.get(), state.raw_codewords.get() + state.codeword_count);
    r.function_map.assign(state.function_map.get(), state.function_map.get() + state.function_map.size());
    vantor::release_codewords(state);
    state.module_matrix.reset();
    state.function_map.reset();
    return r;
}

constexpr vt::Level all_levels[] = {vt::Level::L, vt::Level::M, vt::Level::Q, vt::Level::H};
constexpr vt::Mode all_modes[] = {vt::Mode::numeric, vt::Mode::alphanumeric, vt::Mode::byte,
                                  vt::Mode::kanji};

// A text of `units` characters valid for the mode (kanji: Shift JIS pairs).
std::string text_for(vt::Mode mode, int units, std::mt19937 &rng) {
    static const char alnum[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
    static const int kanji[] = {0x93FA, 0x967B, 0x8CEA, 0xE4AA, 0x8140, 0x9FFC, 0xE040, 0xEAA4};
    std::string s;
    for (int i = 0; i < units; ++i) {
        switch (mode) {
        case vt::Mode::numeric: s += static_cast<char>('0' + rng() % 10); break;
        case vt::Mode::alphanumeric: s += alnum[rng() % 45]; break;
        case vt::Mode::byte: s += static_cast<char>(1 + rng() % 255); break;
        case vt::Mode::kanji: {
            const int k = kanji[rng() % 8];
            s += static_cast<char>(k >> 8);
            s += static_cast<char>(k & 0xFF);
            break;
        }
        }
    }
    return s;
}

// Bits that n characters of the mode take in a segment, header included.
int segment_bits(vt::Mode mode, int version, int n) {
    static const int count_bits[4][3] = {{10, 12, 14}, {9, 11, 13}, {8, 16, 16}, {8, 10, 12}};
    const int header = 4 + count_bits[static_cast<int>(mode)][version <= 9 ? 0 : version <= 26 ? 1 : 2];
    switch (mode) {
    case vt::Mode::numeric: return header + 10 * (n / 3) + (n % 3 == 1 ? 4 : n % 3 == 2 ? 7 : 0);
    case vt::Mode::alphanumeric: return header + 11 * (n / 2) + 6 * (n % 2);
    case vt::Mode::byte: return header + 8 * n;
    case vt::Mode::kanji: return header + 13 * n;
    }
    return 0;
}

// A symbol of the version and level whose text of the mode fills about
// `fill` of its data codewords.
std::optional<vt::Symbol> filled_symbol(int version, vt::Level level, vt::Mode mode, double fill,
                                        std::mt19937 &rng, int mask = -1) {
    // The data codewords, from a one-character symbol's reading.
    auto probe = vt::make_symbol(text_for(mode, 1, rng), version, level, mode, mask);
    if (!probe)
        return std::nullopt;
    (void)read_symbol(*probe);
    const int bits = 8 * (state.block_groups[0].block_count * state.block_groups[0].data_codewords +
                          state.block_groups[1].block_count * state.block_groups[1].data_codewords);
    int units = bits / 3;
    while (units > 1 && segment_bits(mode, version, units) > bits)
        --units;
    units = std::max(1, static_cast<int>(units * fill));
    return vt::make_symbol(text_for(mode, units, rng), version, level, mode, mask);
}

} // namespace

TEST(SymbolReading, EveryVersionLevelAndModeReadsBackWithoutCorrection) {
    std::mt19937 rng(5);
    int read = 0;
    for (int v = 1; v <= 40; ++v) {
        for (vt::Level level : all_levels) {
            for (vt::Mode mode : all_modes) {
                auto symbol = filled_symbol(v, level, mode, 1.0, rng);
                ASSERT_TRUE(symbol) << v;
                reading_test::LogCapture log(state);
                const Reading r = read_symbol(*symbol);
                ASSERT_TRUE(r.text) << "version " << v << " level " << static_cast<int>(level)
                                    << " mode " << static_cast<int>(mode);
                EXPECT_EQ(*r.text, symbol->text) << v;
                EXPECT_EQ(log.text().find("error at"), std::string::npos) << v;
                ++read;
            }
        }
    }
    EXPECT_EQ(read, 640);
}

TEST(SymbolReading, EveryMaskAndMixedSegments) {
    std::mt19937 rng(8);
    for (int v : {1, 6, 7, 21}) {
        for (int mask = 0; mask < 8; ++mask) {
            auto symbol = filled_symbol(v, vt::Level::M, vt::Mode::byte, 0.7, rng, mask);
            ASSERT_TRUE(symbol);
            ASSERT_EQ(symbol->mask, mask);
            reading_test::LogCapture log(state);
            const Reading r = read_symbol(*symbol);
            ASSERT_TRUE(r.text) << v << " mask " << mask;
            EXPECT_EQ(*r.text, symbol->text);
            EXPECT_EQ(state.mask_pattern, mask);
            EXPECT_EQ(log.text().find("error at"), std::string::npos);
        }
    }
    const vt::Segment segments[] = {{vt::Mode::numeric, "0123456789"},
                                    {vt::Mode::byte, "bytes \xA9\xFE"},
                                    {vt::Mode::kanji, "\x93\xFA\x96\x7B"},
                                    {vt::Mode::alphanumeric, "AC-42"}};
    for (int v : {5, 10, 27}) {
        auto symbol = vt::make_symbol(segments, v, vt::Level::H);
        ASSERT_TRUE(symbol);
        const Reading r = read_symbol(*symbol);
        ASSERT_TRUE(r.text) << v;
        EXPECT_EQ(*r.text, std::string("0123456789bytes \xA9\xFE\x93\xFA\x96\x7B" "AC-42"));
    }
}

// Flipped data modules: within every block's capacity the text comes back
// exactly; beyond it the reading gives the right text or none.
TEST(SymbolReading, DamagedModulesDecodeWithinCapacityAndNeverGiveWrongText) {
    struct Kind {
        vt::Symbol symbol;
        Reading clean;
        std::vector<int> data_modules;
    };
    std::mt19937 rng(1234);
    std::vector<Kind> kinds;
    for (int v : {1, 2, 3, 5, 7, 10, 14}) {
        for (vt::Level level : all_levels) {
            auto symbol = filled_symbol(v, level, all_modes[kinds.size() % 4], 0.8, rng);
            ASSERT_TRUE(symbol);
            Kind k{*symbol, read_symbol(*symbol), {}};
            ASSERT_TRUE(k.clean.text);
            for (int i = 0; i < symbol->size * symbol->size; ++i)
                if (!(k.clean.function_map[static_cast<std::size_t>(i) / 8] >> (i % 8) & 1))
                    k.data_modules.push_back(i);
            kinds.push_back(std::move(k));
        }
    }

    int within = 0, beyond_right = 0, beyond_none = 0;
    for (int trial = 0; trial < 1200; ++trial) {
        Kind &k = kinds[rng() % kinds.size()];
        // Block layout of this symbol, as read from the clean reading.
        (void)read_symbol(k.symbol);
        const vantor::BlockGroup g1 = state.block_groups[0], g2 = state.block_groups[1];
        const int blocks = g1.block_count + g2.block_count;
        const int capacity = g1.block_count * g1.correctable + g2.block_count * g2.correctable;
        const int flips = 1 + static_cast<int>(rng() % static_cast<unsigned>(2 * capacity + 2));

        vt::Symbol damaged = k.symbol;
        std::vector<int> pool = k.data_modules;
        std::shuffle(pool.begin(), pool.end(), rng);
        for (int f = 0; f < flips && f < static_cast<int>(pool.size()); ++f)
            damaged.modules[static_cast<std::size_t>(pool[static_cast<std::size_t>(f)])] ^= 1;

        const Reading r = read_symbol(damaged);
        ASSERT_EQ(r.raw.size(), k.clean.raw.size());
        // Damaged codewords per block: data codewords go round the blocks,
        // the longer blocks alone in the last round; then the check codewords.
        const int data_total = g1.block_count * g1.data_codewords + g2.block_count * g2.data_codewords;
        const int round_end = g1.data_codewords * blocks;
        std::vector<int> errors(static_cast<std::size_t>(blocks), 0);
        for (int i = 0; i < static_cast<int>(r.raw.size()); ++i) {
            if (r.raw[static_cast<std::size_t>(i)] == k.clean.raw[static_cast<std::size_t>(i)])
                continue;
            int b;
            if (i < round_end)
                b = i % blocks;
            else if (i < data_total)
                b = g1.block_count + (i - round_end) % g2.block_count;
            else
                b = (i - data_total) % blocks;
            ++errors[static_cast<std::size_t>(b)];
        }
        bool fits = true;
        for (int b = 0; b < blocks; ++b)
            fits = fits && errors[static_cast<std::size_t>(b)] <= (b < g1.block_count ? g1 : g2).correctable;

        if (fits) {
            ++within;
            ASSERT_TRUE(r.text) << "trial " << trial << " version " << k.symbol.version;
            EXPECT_EQ(*r.text, k.symbol.text) << "trial " << trial;
        } else if (r.text) {
            ++beyond_right;
            EXPECT_EQ(*r.text, k.symbol.text) << "wrong text, trial " << trial << " version "
                                              << k.symbol.version << " level "
                                              << static_cast<int>(k.symbol.level);
        } else {
            ++beyond_none;
        }
    }
    EXPECT_GT(within, 300);
    EXPECT_GT(beyond_none, 300);
    std::printf("within capacity %d, beyond with right text %d, beyond with no text %d\n", within,
                beyond_right, beyond_none);
}
