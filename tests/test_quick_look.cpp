// The quick look's verdicts on scenes of sharp eye pattern look-alikes:
// their many triples stand out by contrast yet show no timing patterns, a
// clutter that ends the call; a real symbol in the same scene still makes
// it go on and is read.
#include <gtest/gtest.h>

#include <string>

#include "2_image/eye_scan.h"
#include "2_image/image.h"
#include "6_api/quick_look.h"
#include "qr_symbols.h"
#include "video_files.h"
#include <vantor/vantor.hpp>

namespace th = vantor::thorough;
namespace vt = vantor::testing;

namespace {

vantor::Look look_at(const vt::Picture &p) {
    const th::GreyView grey{p.pixels.data(), p.width, p.height, p.width, false};
    const th::Binary binary(grey);
    return vantor::could_make_symbol(grey, binary, th::row_matches(binary, vantor::look_row_step), {}, true);
}

} // namespace

TEST(QuickLook, LookAlikesAreClutterAndASymbolAmongThemIsRead) {
    int clutter = 0;
    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        vt::Picture scene = vt::render_lookalikes(1024, 768, seed);
        const vantor::Look alone = look_at(scene);
        EXPECT_NE(alone, vantor::Look::symbol) << "seed " << seed;
        clutter += alone == vantor::Look::clutter;

        auto s = vt::make_symbol("among look-alikes " + std::to_string(seed), 3, vt::Level::M, vt::Mode::byte);
        ASSERT_TRUE(s);
        vt::RenderOptions o;
        o.module_px = 4;
        vt::paste(scene, vt::render(*s, o), 300 + 40 * static_cast<int>(seed), 250);
        EXPECT_EQ(look_at(scene), vantor::Look::symbol) << "seed " << seed;
        const vantor::Results r = vantor::decode(scene.pixels, scene.width, scene.height, scene.width, 8);
        ASSERT_FALSE(r.symbols.empty()) << "seed " << seed;
        EXPECT_EQ(r.symbols[0].bytes, s->text) << "seed " << seed;
    }
    // Most such scenes are clutter: the sharpened look is spared there.
    EXPECT_GE(clutter, 3);
}

// Among look-alikes the look judges triples only until a clutter of them
// stands out, but still judges pairs: a small blurred symbol whose third
// eye does not stand out is sent on by its other two and read.
TEST(QuickLook, BlurredSymbolsAmongLookAlikesAreSentOnByTheirPairs) {
    struct Case {
        int version;
        double module_px, rotation_deg, blur, perspective;
        int x, y;
        std::uint32_t scene;
        bool mirror;
    };
    int read = 0;
    const Case cases[] = {{2, 2.285, 79, 1.352, -5.36e-4, 664, 222, 226, false},
                          {6, 2.48, 163, 1.144, 6.88e-4, 251, 159, 152, false},
                          {5, 2.195, 58, 0.904, -2.88e-4, 569, 71, 165, false},
                          {3, 2.555, 161, 1.16, 0, 837, 632, 171, false}};
    for (const Case &c : cases) {
        auto s = vt::make_symbol("blurred among look-alikes", c.version, vt::Level::M, vt::Mode::byte);
        ASSERT_TRUE(s);
        vt::RenderOptions o;
        o.module_px = c.module_px;
        o.rotation_deg = c.rotation_deg;
        o.blur_sigma = c.blur;
        o.perspective = c.perspective;
        o.mirror = c.mirror;
        vt::Picture scene = vt::render_lookalikes(1024, 768, c.scene);
        vt::paste(scene, vt::render(*s, o), c.x, c.y);
        const vantor::Results r = vantor::decode(scene.pixels, scene.width, scene.height, scene.width, 8);
        read += r.symbols.size() == 1 && r.symbols[0].bytes == s->text;
    }
    EXPECT_EQ(read, 4);
}

// Dense noise fills the look's pool with chance matches of an eye
// pattern's runs on single rows, at the smallest sizes; the look then
// passes those by. A symbol of the smallest readable modules, upright or
// turned, still makes the look go on and is read: its eyes show on two
// rows and more, and where blur leaves one row only, the pool is not full.
TEST(QuickLook, ChanceMatchesOfOneRowAreSkippedAndSmallModulesStillCount) {
    for (std::uint32_t seed = 1; seed <= 3; ++seed) {
        const vt::Picture noise = vt::render_noise(640, 480, "noise", seed);
        const th::GreyView grey{noise.pixels.data(), noise.width, noise.height, noise.width, false};
        const th::Binary binary(grey);
        const auto scanned = th::merge_matches(th::row_matches(binary, vantor::look_row_step), noise.width,
                                               noise.height, 48, vantor::look_row_step);
        ASSERT_GE(scanned.size(), 30u) << "seed " << seed;
        EXPECT_LE(vantor::seen_twice_when_small(scanned, 48).size() * 3, scanned.size()) << "seed " << seed;
        EXPECT_NE(look_at(noise), vantor::Look::symbol) << "seed " << seed;
    }
    auto s = vt::make_symbol("small modules", 2, vt::Level::M, vt::Mode::byte);
    ASSERT_TRUE(s);
    int read = 0, cases = 0;
    for (double module : {1.8, 2.0, 2.2})
        for (double turn : {0.0, 20.0, 45.0}) {
            vt::RenderOptions o;
            o.module_px = module;
            o.rotation_deg = turn;
            o.blur_sigma = 0.5;
            o.canvas_width = 320;
            o.canvas_height = 240;
            const vt::Picture p = vt::render(*s, o);
            ++cases;
            EXPECT_EQ(look_at(p), vantor::Look::symbol) << module << " px, " << turn << " degrees";
            const vantor::Results r = vantor::decode(p.pixels, p.width, p.height, p.width, 8);
            read += !r.symbols.empty() && r.symbols[0].bytes == s->text;
        }
    EXPECT_EQ(read, cases);
    // Blurred modules of 1.5 to 1.7 pixels, turned, some noisy or unevenly
    // lit, whose eyes the look's scan sees on one row only.
    struct Blurred {
        int version;
        double module, turn, blur, noise, light;
        std::uint32_t seed;
    };
    for (const Blurred &b : {Blurred{6, 1.5, 7, 0.6, 12, 0.2, 137}, Blurred{8, 1.5, 84, 0.6, 0, 0, 578},
                             Blurred{3, 1.6, 16, 0.6, 6, 0.4, 751}, Blurred{9, 1.7, 42, 0.6, 6, 0.4, 811},
                             Blurred{10, 1.6, 30, 0.4, 0, 0.4, 1027}}) {
        const std::string text = "small " + std::to_string(b.seed - 1);
        auto small = vt::make_symbol(text, b.version, vt::Level::M, vt::Mode::byte);
        ASSERT_TRUE(small);
        vt::RenderOptions o;
        o.module_px = b.module;
        o.rotation_deg = b.turn;
        o.blur_sigma = b.blur;
        o.noise_sigma = b.noise;
        o.light_gradient = b.light;
        o.seed = b.seed;
        const vt::Picture p = vt::render(*small, o);
        const vantor::Results r = vantor::decode(p.pixels, p.width, p.height, p.width, 8);
        ASSERT_FALSE(r.symbols.empty()) << "version " << b.version << ", " << b.module << " px";
        EXPECT_EQ(r.symbols[0].bytes, text);
    }
}
