// Large modules: the area-average downscale, the copies the pyramid makes,
// and close-ups whose modules break up at full size read through them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <vantor/vantor.hpp>

#include "2_image/downscale.h"
#include "6_api/pyramid.h"
#include "qr_symbols.h"

namespace vt = vantor::testing;
namespace th = vantor::thorough;

namespace {

// The mean of each block, rounded, as the definition has it.
std::vector<std::uint8_t> block_means(const std::vector<std::uint8_t> &g, int width, int height, int stride,
                                      int factor, bool inverted) {
    std::vector<std::uint8_t> out;
    for (int j = 0; j < height / factor; ++j)
        for (int i = 0; i < width / factor; ++i) {
            int sum = 0;
            for (int y = j * factor; y < (j + 1) * factor; ++y)
                for (int x = i * factor; x < (i + 1) * factor; ++x) {
                    const int v = g[static_cast<std::size_t>(y) * stride + x];
                    sum += inverted ? 255 - v : v;
                }
            out.push_back(static_cast<std::uint8_t>((sum + factor * factor / 2) / (factor * factor)));
        }
    return out;
}

// A close-up: `symbol` with modules of `module_px`, turned a little, in a
// square picture of `side` px, drawn at a quarter of the size and enlarged
// bilinearly (edges of a few pixels, as a lens gives), with noise of +-20
// grey levels inside every module.
vt::Picture close_up(const vt::Symbol &symbol, double module_px, int side) {
    constexpr int up = 4;
    vt::RenderOptions o;
    o.module_px = module_px / up;
    o.canvas_width = o.canvas_height = side / up;
    o.rotation_deg = 5;
    o.perspective = 2e-4;
    o.light_gradient = 0.2;
    o.blur_sigma = 0.7;
    const vt::Picture small = vt::render(symbol, o);
    vt::Picture p;
    if (small.pixels.empty())
        return p;
    p.width = small.width * up;
    p.height = small.height * up;
    p.pixels.resize(static_cast<std::size_t>(p.width) * p.height);
    std::mt19937 noise(7);
    std::uniform_real_distribution<float> grain(-20, 20);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const float sx = std::clamp((x + 0.5f) / up - 0.5f, 0.0f, small.width - 1.001f);
            const float sy = std::clamp((y + 0.5f) / up - 0.5f, 0.0f, small.height - 1.001f);
            const int x0 = static_cast<int>(sx), y0 = static_cast<int>(sy);
            const float fx = sx - x0, fy = sy - y0;
            const float top = small.at(x0, y0) * (1 - fx) + small.at(x0 + 1, y0) * fx;
            const float bottom = small.at(x0, y0 + 1) * (1 - fx) + small.at(x0 + 1, y0 + 1) * fx;
            const float g = top * (1 - fy) + bottom * fy + grain(noise);
            p.pixels[static_cast<std::size_t>(y) * p.width + x] =
                static_cast<std::uint8_t>(std::clamp(g, 0.0f, 255.0f));
        }
    return p;
}

} // namespace

// Every block's rounded mean, for factors that are powers of two (shifted)
// and others (divided), widths that use the sixteen-column steps and leave
// a tail, rows wider than the picture, the remainder dropped, and inverted
// views.
TEST(Downscale, BlockMeansOfEveryFactor) {
    const int width = 203, height = 57, stride = 211;
    std::vector<std::uint8_t> g(static_cast<std::size_t>(stride) * height);
    std::mt19937 random(3);
    for (std::uint8_t &v : g)
        v = static_cast<std::uint8_t>(random() & 255);
    for (int factor : {1, 2, 3, 4, 5, 8, 16, 57})
        for (bool inverted : {false, true}) {
            const th::Downscaled d = th::downscale(th::GreyView{g.data(), width, height, stride, inverted}, factor);
            ASSERT_EQ(d.factor, factor);
            ASSERT_EQ(d.width, width / factor);
            ASSERT_EQ(d.height, height / factor);
            EXPECT_EQ(d.pixels, block_means(g, width, height, stride, factor, inverted))
                << "factor " << factor << (inverted ? ", inverted" : "");
        }
    // Extremes do not overflow the column sums at the largest factor.
    std::vector<std::uint8_t> white(256 * 256, 255);
    const th::Downscaled w = th::downscale(th::GreyView{white.data(), 256, 256, 256, false}, th::max_factor);
    ASSERT_EQ(w.pixels.size(), 1u);
    EXPECT_EQ(w.pixels[0], 255);
}

TEST(Downscale, NoCopyWithoutAWholeBlock) {
    std::vector<std::uint8_t> g(40 * 30, 100);
    const th::GreyView view{g.data(), 40, 30, 40, false};
    EXPECT_TRUE(th::downscale(view, 0).pixels.empty());
    EXPECT_TRUE(th::downscale(view, -2).pixels.empty());
    EXPECT_TRUE(th::downscale(view, 31).pixels.empty());
    EXPECT_TRUE(th::downscale(view, th::max_factor + 1).pixels.empty());
    EXPECT_TRUE(th::downscale(th::GreyView{nullptr, 40, 30, 40, false}, 2).pixels.empty());
    EXPECT_TRUE(th::downscale(th::GreyView{g.data(), 40, 30, 39, false}, 2).pixels.empty());
    EXPECT_EQ(th::downscale(view, 30).pixels.size(), 1u);
}

// The copies: none for a picture that cannot hold modules too large to
// read; otherwise powers of two from 4, coarsest first, down to the copy
// where the largest symbol the picture holds still has modules of 3.5 px.
TEST(Pyramid, CopiesCoarsestFirstWhileTheLargestSymbolShows) {
    EXPECT_TRUE(vantor::pyramid_factors(640, 480).empty());
    EXPECT_TRUE(vantor::pyramid_factors(10000, 21 * 24).empty());
    EXPECT_EQ(vantor::pyramid_factors(800, 600), (std::vector<int>{8, 4}));
    EXPECT_EQ(vantor::pyramid_factors(3024, 4032), (std::vector<int>{32, 16, 8, 4}));
    for (int side : {505, 700, 1500, 2999, 4000, 9000, 16384}) {
        const std::vector<int> f = vantor::pyramid_factors(side, side + 7);
        ASSERT_FALSE(f.empty()) << side;
        EXPECT_EQ(f.back(), 4);
        for (std::size_t i = 1; i < f.size(); ++i)
            EXPECT_EQ(f[i - 1], 2 * f[i]);
        EXPECT_GE(side / 21.0 / f.front(), 3.5) << side;
        EXPECT_LT(side / 21.0 / (2 * f.front()), 3.5) << side;
    }
}

// A version 1 symbol of 64 px modules in a 2.6 MP picture reads at the
// default effort, through a shrunk copy, with its corners in the picture's
// own pixels.
TEST(Pyramid, CloseUpReadsAtDefaultEffort) {
    const auto symbol = vt::make_symbol("CLOSE UP", 1, vt::Level::M, vt::Mode::byte);
    ASSERT_TRUE(symbol);
    const double module = 64;
    const vt::Picture p = close_up(*symbol, module, 1600);
    ASSERT_EQ(p.width, 1600);
    const vantor::Results r = vantor::decode(p.pixels, p.width, p.height, p.width, 8, vantor::Options{});
    ASSERT_EQ(r.symbols.size(), 1u) << vantor_reason_text(r.reason);
    const vantor::Symbol &s = r.symbols[0];
    EXPECT_EQ(s.bytes, "CLOSE UP");
    EXPECT_GE(s.copy_factor, 4) << "read as it is: the picture no longer needs the copies";
    // The copies come before the other passes, which cannot read modules
    // this large and cost several times as much as the copies.
    for (const vantor_reading &g : r.readings)
        EXPECT_EQ(g.pass, 0) << "reading " << g.reading;
    const auto &c = s.corners;
    const double cx = (c[0].x + c[1].x + c[2].x + c[3].x) / 4, cy = (c[0].y + c[1].y + c[2].y + c[3].y) / 4;
    EXPECT_NEAR(cx, 800, module);
    EXPECT_NEAR(cy, 800, module);
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(std::hypot(c[(k + 1) % 4].x - c[k].x, c[(k + 1) % 4].y - c[k].y), 21 * module, 2.5 * module)
            << "side " << k;
}

// Every symbol of a picture that holds a small symbol beside a close-up:
// the picture as it is reads the small one only, and the default effort
// stops there. The exhaustive effort reads the copies beside it, and gives
// the close-up once, in the picture's pixels.
TEST(Pyramid, ExhaustiveReadsACloseUpBesideASmallSymbol) {
    const auto big = vt::make_symbol("CLOSE UP", 1, vt::Level::M, vt::Mode::byte);
    const auto small = vt::make_symbol("SMALL", 1, vt::Level::M, vt::Mode::byte);
    ASSERT_TRUE(big && small);
    vt::Picture p = close_up(*big, 64, 2400);
    ASSERT_EQ(p.width, 2400);
    vt::RenderOptions o;
    o.module_px = 4;
    const vt::Picture s = vt::render(*small, o);
    ASSERT_LT(s.width, 300);
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            p.pixels[static_cast<std::size_t>(y + 40) * p.width + x + 40] = s.at(x, y);
    auto texts = [&](vantor_effort effort) {
        vantor::Options options;
        options.effort(effort);
        options.all_symbols(true);
        std::vector<std::string> out;
        for (const vantor::Symbol &sym : vantor::decode(p.pixels, p.width, p.height, p.width, 8, options).symbols)
            out.push_back(sym.bytes);
        std::sort(out.begin(), out.end());
        return out;
    };
    EXPECT_EQ(texts(VANTOR_EFFORT_EXHAUSTIVE), (std::vector<std::string>{"CLOSE UP", "SMALL"}));
    const std::vector<std::string> by_default = texts(VANTOR_EFFORT_DEFAULT);
    EXPECT_TRUE(std::count(by_default.begin(), by_default.end(), "SMALL") == 1) << by_default.size();
}

// A scene without a symbol, of a size the pyramid makes copies of, gives
// nothing through them.
TEST(Pyramid, SceneGivesNoSymbol) {
    const vt::Picture scene = vt::render_noise(1600, 1200, "scene", 5);
    ASSERT_FALSE(vantor::pyramid_factors(scene.width, scene.height).empty());
    for (vantor_effort effort : {VANTOR_EFFORT_FAST, VANTOR_EFFORT_DEFAULT, VANTOR_EFFORT_EXHAUSTIVE}) {
        vantor::Options options;
        options.effort(effort);
        const vantor::Results r = vantor::decode(scene.pixels, scene.width, scene.height, scene.width, 8, options);
        EXPECT_TRUE(r.symbols.empty()) << "effort " << effort;
    }
}
