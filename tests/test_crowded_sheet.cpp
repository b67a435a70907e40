// Pictures of many symbols, every symbol asked for: a sheet of labels read
// whole, the local triples that find a symbol's eye patterns among its
// neighbours', and a symbol of another kind among them.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "family_symbols.h"
#include "symbol_sheet.h"
#include "3_model2/search/triples.h"
#include <vantor/vantor.h>

namespace th = vantor::thorough;
namespace vt = vantor::testing;

namespace {

struct Decoded {
    std::vector<vt::ReadSymbol> read;
    std::vector<int> kinds;
};

Decoded decode_all(const vt::Picture &p) {
    vantor_options *o = vantor_options_new();
    vantor_options_set_all_symbols(o, 1);
    vantor_results *r = vantor_decode_pixels(p.pixels.data(), p.width, p.height, p.width, 8, o);
    Decoded d;
    for (int i = 0; i < vantor_results_count(r); ++i) {
        const vantor_symbol *s = vantor_results_symbol(r, i);
        double x = 0, y = 0;
        for (const vantor_point &c : s->corners)
            x += c.x / 4, y += c.y / 4;
        d.read.push_back({x, y, std::string(reinterpret_cast<const char *>(s->bytes), s->length)});
        d.kinds.push_back(vantor_symbol_kind(s));
    }
    vantor_results_free(r);
    vantor_options_free(o);
    return d;
}

std::map<std::string, int> text_counts(const std::vector<std::string> &texts) {
    std::map<std::string, int> n;
    for (const std::string &t : texts)
        ++n[t];
    return n;
}

TEST(CrowdedSheet, EverySymbolIsReadOnceWithItsOwnTextRepeatsIncluded) {
    // Far more symbols than the search keeps strongest candidates for, of
    // mixed versions, close together, turned and in keystone, blurred.
    vt::SheetOptions o;
    o.width = 1400;
    o.height = 1050;
    o.count = 48;
    o.min_version = 1;
    o.max_version = 5;
    o.module_px = 3;
    o.module_spread = 1.2;
    o.min_gap = 2;
    o.max_gap = 6;
    o.rotation_deg = 9;
    o.perspective = 0.00008;
    o.blur_sigma = 0.6;
    o.noise_sigma = 3;
    o.repeats = 10;
    o.seed = 11;
    const vt::Sheet sheet = vt::make_sheet(o);
    ASSERT_EQ(sheet.symbols.size(), 48u);
    std::vector<std::string> placed;
    for (const vt::SheetSymbol &s : sheet.symbols)
        placed.push_back(s.text);
    const auto placed_counts = text_counts(placed);
    ASSERT_LT(placed_counts.size(), placed.size()) << "the sheet repeats no payload";

    const Decoded d = decode_all(sheet.picture);
    const vt::SheetScore score = vt::score_sheet(sheet, d.read);
    EXPECT_EQ(score.read, score.placed);
    EXPECT_EQ(score.wrong, 0);
    EXPECT_EQ(score.repeat, 0);
    EXPECT_EQ(score.outside, 0);
    // Symbols with the same bytes at different places are each a symbol.
    std::vector<std::string> read;
    for (const vt::ReadSymbol &r : d.read)
        read.push_back(r.bytes);
    EXPECT_EQ(text_counts(read), placed_counts);
}

TEST(CrowdedSheet, AMicroQrSymbolAmongManyIsRead) {
    // The eye patterns of the sheet outnumber the lone-eye candidates the
    // lone-eye kinds keep; those of symbols read make way.
    vt::SheetOptions o;
    o.width = 1000;
    o.height = 760;
    o.count = 40;
    o.max_version = 2;
    o.module_px = 3;
    o.seed = 5;
    vt::Sheet sheet = vt::make_sheet(o);
    ASSERT_EQ(sheet.symbols.size(), 40u);
    const auto micro = vt::make_micro_qrencode("MICRO 7", 3, vt::Level::M, vt::Mode::byte);
    ASSERT_TRUE(micro);
    vt::RenderOptions r;
    r.module_px = 3;
    const vt::Picture m = vt::render(*micro, r);
    // In the bottom right corner, clear of the sheet, last in scan order.
    const int x0 = o.width - m.width - 4, y0 = o.height - m.height - 4;
    for (int y = 0; y < m.height; ++y)
        for (int x = 0; x < m.width; ++x)
            sheet.picture.pixels[static_cast<std::size_t>(y0 + y) * o.width + x0 + x] = m.at(x, y);
    for (const vt::SheetSymbol &s : sheet.symbols)
        for (const auto &c : s.corners)
            ASSERT_FALSE(c[0] >= x0 && c[1] >= y0) << "the sheet reaches the corner";

    const Decoded d = decode_all(sheet.picture);
    EXPECT_EQ(vt::score_sheet(sheet, d.read).read, 40);
    const auto at = std::find(d.kinds.begin(), d.kinds.end(), VANTOR_KIND_MICRO_QR);
    ASSERT_NE(at, d.kinds.end());
    EXPECT_EQ(d.read[static_cast<std::size_t>(at - d.kinds.begin())].bytes, "MICRO 7");
}

// The eye pattern centres of a grid of symbols of `n` modules, `gap`
// modules apart, with decoys of like size in their data, which few scan
// lines find (quality 0.3, as the scan measures them in photos); the true
// triples as corner, along, down indices.
struct Crowd {
    std::vector<th::Candidate> at;
    std::vector<double> quality;
    std::vector<std::array<int, 3>> truth;
};

Crowd crowd(int cols, int rows, int n, int gap, double module, int decoys, std::mt19937 &random) {
    Crowd c;
    std::uniform_real_distribution<double> unit(0, 1);
    for (int r = 0; r < rows; ++r)
        for (int q = 0; q < cols; ++q) {
            const double x0 = 40 + q * (n + gap) * module, y0 = 40 + r * (n + gap) * module;
            auto add = [&](double mx, double my, double m, double q) {
                c.at.push_back({static_cast<float>(x0 + mx * module), static_cast<float>(y0 + my * module),
                                static_cast<float>(m)});
                c.quality.push_back(q);
                return static_cast<int>(c.at.size()) - 1;
            };
            const int corner = add(3.5, 3.5, module, 1), along = add(n - 3.5, 3.5, module * 1.05, 0.9);
            const int down = add(3.5, n - 3.5, module * 0.95, 1);
            c.truth.push_back({corner, along, down});
            for (int k = 0; k < decoys; ++k)
                add(8 + unit(random) * (n - 12), 8 + unit(random) * (n - 12), module * (0.8 + 0.4 * unit(random)), 0.3);
        }
    return c;
}

TEST(CrowdedSheet, LocalTriplesHoldEverySymbolsOwnAndAreGatedAsAllTriples) {
    std::mt19937 random(3);
    // Versions 1 and 6 a few modules apart, with decoys: each symbol's own
    // triple is formed from its eye patterns' nearest.
    for (const int n : {21, 41}) {
        const Crowd c = crowd(9, 7, n, 3, 3.0, 2, random);
        const std::vector<int> used(c.at.size(), 0);
        const auto local = th::form_local_triples(c.at, c.quality, used, 1 << 20);
        for (const auto &t : c.truth) {
            const bool formed = std::any_of(local.begin(), local.end(), [&](const th::Triple &x) {
                return x.corner == t[0] && x.along == t[1] && x.down == t[2];
            });
            EXPECT_TRUE(formed) << n << " modules: corner " << t[0];
        }
        EXPECT_TRUE(std::is_sorted(local.begin(), local.end(),
                                   [](const th::Triple &a, const th::Triple &b) { return a.score < b.score; }));
    }
    // On a pool small enough for every triple, the local ones are among
    // them, oriented and scored alike, each once; used candidates take no
    // part.
    const Crowd c = crowd(3, 2, 25, 4, 4.0, 3, random);
    std::vector<int> used(c.at.size(), 0);
    used[1] = 1;
    const auto every = th::form_triples(c.at, c.quality, used, 1 << 20);
    const auto local = th::form_local_triples(c.at, c.quality, used, 1 << 20);
    ASSERT_FALSE(local.empty());
    for (std::size_t i = 0; i < local.size(); ++i) {
        const th::Triple &t = local[i];
        EXPECT_TRUE(t.corner != 1 && t.along != 1 && t.down != 1);
        const bool there = std::any_of(every.begin(), every.end(), [&](const th::Triple &x) {
            return x.corner == t.corner && x.along == t.along && x.down == t.down && x.score == t.score;
        });
        EXPECT_TRUE(there) << i;
        for (std::size_t j = i + 1; j < local.size(); ++j)
            EXPECT_FALSE(local[j].corner == t.corner && local[j].along == t.along && local[j].down == t.down);
    }
    // A limit keeps the best.
    const auto two = th::form_local_triples(c.at, c.quality, used, 2);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].score, local[0].score);
    EXPECT_TRUE(th::form_local_triples({}, {}, {}, 10).empty());
}

} // namespace
