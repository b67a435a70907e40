// A screen's pixel grid: telling it from print, noise and texture, and the
// grey closing that fills it in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "2_image/screen_grid.h"
#include "qr_symbols.h"

namespace vt = vantor::testing;
namespace th = vantor::thorough;

namespace {

// The grey closing as its definition has it: the least, over the pixels of
// the 3 x 3 window (clipped to the picture), of the greatest over each one's
// own clipped window.
std::vector<std::uint8_t> closing(const th::GreyView &g) {
    auto over_window = [&](const std::vector<int> &v, int x, int y, bool greatest) {
        int best = greatest ? 0 : 255;
        for (int j = std::max(0, y - 1); j <= std::min(g.height - 1, y + 1); ++j)
            for (int i = std::max(0, x - 1); i <= std::min(g.width - 1, x + 1); ++i)
                best = greatest ? std::max(best, v[static_cast<std::size_t>(j * g.width + i)])
                                : std::min(best, v[static_cast<std::size_t>(j * g.width + i)]);
        return best;
    };
    std::vector<int> grey, lightest;
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            grey.push_back(g.at(x, y));
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            lightest.push_back(over_window(grey, x, y, true));
    std::vector<std::uint8_t> out;
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            out.push_back(static_cast<std::uint8_t>(over_window(lightest, x, y, false)));
    return out;
}

th::GreyView view_of(const vt::Picture &p) { return {p.pixels.data(), p.width, p.height, p.width, false}; }

} // namespace

TEST(ScreenGrid, FilledIsTheGreyClosing) {
    std::mt19937 random(5);
    for (int k = 0; k < 60; ++k) {
        const int width = 1 + static_cast<int>(random() % 40), height = 1 + static_cast<int>(random() % 30);
        const int stride = width + static_cast<int>(random() % 5);
        std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride * height));
        // Thin dark lines and specks over a random light ground.
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = static_cast<std::uint8_t>(random() % 3 == 0 ? random() % 60 : 150 + random() % 100);
        const th::GreyView grey{pixels.data(), width, height, stride, k % 2 == 1};
        ASSERT_EQ(th::grid_filled(grey), closing(grey)) << width << " x " << height << ", stride " << stride;
    }
    EXPECT_TRUE(th::grid_filled(th::GreyView{nullptr, 0, 0, 0, false}).empty());
}

TEST(ScreenGrid, SeenOnScreensAlone) {
    const auto s = vt::make_symbol("a screen's grid", 3, vt::Level::M, vt::Mode::byte);
    ASSERT_TRUE(s);
    for (const double pitch : {3.0, 4.0, 6.0}) {
        for (const double turn : {0.0, 20.0}) {
            vt::RenderOptions o;
            o.module_px = 10;
            o.rotation_deg = turn;
            o.blur_sigma = 0.5;
            o.noise_sigma = 3;
            o.canvas_width = o.canvas_height = 400;
            const vt::Picture print = vt::render(*s, o);
            EXPECT_FALSE(th::shows_fine_grid(view_of(print))) << "print, turned " << turn;
            o.screen_pixels = o.module_px / pitch;
            o.screen_gap = 0.25;
            const vt::Picture screen = vt::render(*s, o);
            EXPECT_TRUE(th::shows_fine_grid(view_of(screen))) << "pitch " << pitch << ", turned " << turn;
        }
    }
    // Dense noise dips as often as a grid, but at no pitch; scenes, stripes
    // and eye pattern look-alikes hardly dip.
    for (const char *kind : {"noise", "scene", "stripes", "blank"})
        EXPECT_FALSE(th::shows_fine_grid(view_of(vt::render_noise(500, 400, kind, 3)))) << kind;
    EXPECT_FALSE(th::shows_fine_grid(view_of(vt::render_lookalikes(600, 450, 3))));
    const std::uint8_t tiny[16] = {0, 255, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255};
    EXPECT_FALSE(th::shows_fine_grid(th::GreyView{tiny, 4, 4, 4, false}));
}
