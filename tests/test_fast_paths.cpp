// The fast forms of the hot stages against plain forms written from their
// rules, pixel by pixel, on many generated pictures: sizes around the vector
// widths and the window's edges, noise, smooth shading, stripes and symbols.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "eyepattern.h"
#include "qr_symbols.h"
#include "state.h"
#include "top.h"

namespace vt = vantor::testing;
using vantor::state;

namespace {

struct Grey {
    int width;
    int height;
    std::vector<std::uint8_t> pixels;
};

// Pictures of every kind the passes meet, at awkward sizes.
std::vector<Grey> pictures() {
    std::vector<Grey> out;
    std::mt19937 rng(20);
    const int sizes[][2] = {{17, 17}, {18, 17}, {17, 40}, {31, 19}, {32, 33}, {33, 18},
                            {47, 50}, {64, 23}, {100, 71}, {129, 40}};
    for (const auto &[w, h] : sizes) {
        for (int kind = 0; kind < 4; ++kind) {
            Grey g{w, h, std::vector<std::uint8_t>(static_cast<std::size_t>(w) * h)};
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    int v = 0;
                    switch (kind) {
                    case 0: v = static_cast<int>(rng() % 256); break;               // noise
                    case 1: v = 90 + (x * 7 + y * 3) % 40 + static_cast<int>(rng() % 5); // shading near the flat limit
                    break;
                    case 2: v = (x / 3 + y / 5) % 2 ? 230 : 20; break;             // blocks
                    case 3: v = rng() % 9 == 0 ? static_cast<int>(rng() % 256) : 128; // sparse specks
                    break;
                    }
                    g.pixels[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(v);
                }
            }
            out.push_back(std::move(g));
        }
    }
    // A symbol, turned and shaded.
    vt::RenderOptions o;
    o.module_px = 2.7;
    o.rotation_deg = 23;
    o.light_gradient = 0.5;
    o.noise_sigma = 6;
    const vt::Picture p = vt::render(*vt::make_symbol("fast paths", 2, vt::Level::M, vt::Mode::byte), o);
    out.push_back({p.width, p.height, p.pixels});
    return out;
}

void prepare(const Grey &g) {
    state.image_width = g.width;
    state.image_height = g.height;
    state.contrast_map.reset();
    ASSERT_TRUE(state.work_bitmap.allocate(g.pixels.size()));
}

// The normalised grey of one pixel from its 17 x 17 window, read directly.
int reference_contrast(const Grey &g, int x, int y) {
    const int top = y < 9 ? 0 : (y > g.height - 9 ? g.height - 17 : y - 9);
    const int left = std::clamp(x - 8, 0, g.width - 17);
    int lo = 255, hi = 0;
    for (int r = top; r < top + 17; ++r) {
        for (int c = left; c < left + 17; ++c) {
            lo = std::min<int>(lo, g.pixels[static_cast<std::size_t>(r) * g.width + c]);
            hi = std::max<int>(hi, g.pixels[static_cast<std::size_t>(r) * g.width + c]);
        }
    }
    const int range = hi - lo;
    return range <= 24 ? -1 : (g.pixels[static_cast<std::size_t>(y) * g.width + x] - lo) * 255 / range;
}

} // namespace

TEST(FastPaths, ContrastMapAndLocalPassesMatchTheWindowRule) {
    constexpr int thresholds[4] = {85, 127, 170, 102};
    for (const Grey &g : pictures()) {
        SCOPED_TRACE(std::to_string(g.width) + "x" + std::to_string(g.height));
        prepare(g);
        for (int pass = 0; pass < 4; ++pass) {
            ASSERT_NE(vantor::threshold_local(pass, g.pixels.data(), g.width, g.height), 0);
            for (int y = 0; y < g.height; ++y) {
                int carried = 0;
                for (int x = 0; x < g.width; ++x) {
                    const std::size_t i = static_cast<std::size_t>(y) * g.width + x;
                    const int want = reference_contrast(g, x, y);
                    ASSERT_EQ(state.contrast_map[i], want) << x << "," << y;
                    if (want >= 0)
                        carried = want <= thresholds[pass] ? 64 : 0;
                    ASSERT_EQ(state.work_bitmap[i], carried) << "pass " << pass << " at " << x << "," << y;
                }
            }
        }
    }
    state.contrast_map.reset();
}

TEST(FastPaths, GlobalPassesMatchTheThresholdRule) {
    constexpr double divisors[3] = {3.0, 2.5, 2.0};
    for (const Grey &g : pictures()) {
        prepare(g);
        const auto [lo, hi] = std::minmax_element(g.pixels.begin(), g.pixels.end());
        for (int pass = 0; pass < 3; ++pass) {
            vantor::threshold_global(pass, g.pixels.data(), 8);
            const int t = static_cast<int>(*lo + (*hi - *lo) / divisors[pass]);
            for (std::size_t i = 0; i < g.pixels.size(); ++i)
                ASSERT_EQ(state.work_bitmap[i], g.pixels[i] < t ? 64 : 0) << "pass " << pass << " pixel " << i;
        }
        vantor::threshold_global(0, g.pixels.data(), 1);
        for (std::size_t i = 0; i < g.pixels.size(); ++i)
            ASSERT_EQ(state.work_bitmap[i], g.pixels[i] == 0 ? 64 : 0) << "depth 1, pixel " << i;
    }
}
