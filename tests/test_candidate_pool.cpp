// The candidate pool's tests of whether eye patterns could make a symbol:
// a symbol's own eye patterns pass them, turned, faint or scanned every
// second row; noise, whose candidates are everywhere, does not.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qr_symbols.h"
#include "3_model2/search/candidate_pool.h"

namespace vt = vantor::testing;
namespace th = vantor::thorough;

namespace {

struct Verdict {
    std::size_t candidates = 0;
    bool triple = false; // a gated triple whose eye patterns stand out
    bool pair = false;   // a pair of like size that stands out
};

Verdict judge(const vt::Picture &p, int row_step) {
    const th::GreyView grey{p.pixels.data(), p.width, p.height, p.width, false};
    const th::Binary binary(grey);
    th::Pool pool = th::scanned_pool(th::scan_eyes(binary, 48, row_step), row_step);
    Verdict v;
    v.candidates = pool.at.size();
    v.triple = th::for_each_standing(grey, binary, pool, false,
                                     [](const th::Triple &, th::StandingEyes &) { return true; });
    v.pair = th::pair_of_eyes(grey, pool, true);
    return v;
}

vt::Picture symbol_picture(const std::string &text, int version, const vt::RenderOptions &o) {
    auto s = vt::make_symbol(text, version, vt::Level::M, vt::Mode::byte);
    EXPECT_TRUE(s.has_value());
    return s ? vt::render(*s, o) : vt::Picture{};
}

} // namespace

TEST(CandidatePool, ASymbolsEyePatternsStandOutAtEitherRowStep) {
    vt::RenderOptions o;
    o.rotation_deg = 27;
    const vt::Picture turned = symbol_picture("turned", 4, o);
    o = {};
    o.dark = 100;
    o.light = 140;
    o.noise_sigma = 6;
    const vt::Picture faint = symbol_picture("faint", 3, o);
    o = {};
    o.module_px = 1.6;
    o.canvas_width = 200;
    o.canvas_height = 180;
    const vt::Picture small = symbol_picture("small modules", 2, o);
    for (const vt::Picture *p : {&turned, &faint, &small})
        for (int step : {1, 2}) {
            const Verdict v = judge(*p, step);
            EXPECT_GE(v.candidates, 3u) << p->width << " step " << step;
            EXPECT_TRUE(v.triple) << p->width << " step " << step;
            EXPECT_TRUE(v.pair) << p->width << " step " << step;
        }
}

TEST(CandidatePool, NoiseShowsCandidatesButNoneStandOut) {
    for (std::uint32_t seed : {3u, 4u, 5u}) {
        const vt::Picture noise = vt::render_noise(800, 600, "noise", seed);
        const Verdict v = judge(noise, 2);
        EXPECT_GT(v.candidates, 10u) << seed; // what escalated before
        EXPECT_FALSE(v.triple) << seed;
        EXPECT_FALSE(v.pair) << seed;
    }
}
