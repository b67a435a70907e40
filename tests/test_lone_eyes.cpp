// Outlines of lone eye patterns: a clean eye, turned any way, is
// outlined square to its own sides, seven modules a side, whichever rows
// the scan happened to find it on.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <optional>

#include "family_symbols.h"
#include "2_image/lone_eyes.h"

namespace vt = vantor::testing;
namespace sf = vantor::lone_eyes;
namespace th = vantor::thorough;

namespace {

// The turn of a side from the picture's rows, folded into [0, 90) degrees.
double folded_degrees(vantor::Position from, vantor::Position to) {
    const double deg = std::atan2(to.y - from.y, to.x - from.x) * 180 / std::numbers::pi;
    return std::fmod(std::fmod(deg, 90) + 90, 90);
}

// Degrees between two folded turns, across the fold.
double turn_apart(double a, double b) {
    const double d = std::fabs(a - b);
    return std::min(d, 90 - d);
}

} // namespace

TEST(LoneEyes, OutlinesATurnedEyeSquareToItsSides) {
    const auto symbol = vt::make_micro_zint("TURN", 2, vt::Level::L);
    ASSERT_TRUE(symbol.has_value());
    for (double module : {4.0, 8.0})
        for (int turn = 0; turn < 180; turn += 6) {
            vt::RenderOptions o;
            o.module_px = module;
            o.rotation_deg = turn;
            const vt::Picture p = vt::render(*symbol, o);
            std::optional<std::array<vantor::Position, 4>> first;
            sf::for_each_outline(p.pixels.data(), p.width, p.height, p.width, [&](const sf::Outline &outline) {
                first = outline.corners;
                return false;
            });
            ASSERT_TRUE(first.has_value()) << module << " px, " << turn << " deg";
            const auto &c = *first;
            for (int k = 0; k < 4; ++k) {
                const vantor::Position a = c[static_cast<std::size_t>(k)], b = c[static_cast<std::size_t>((k + 1) % 4)];
                EXPECT_LT(turn_apart(folded_degrees(a, b), std::fmod(turn, 90.0)), 3.0)
                    << module << " px, " << turn << " deg, side " << k;
                EXPECT_NEAR(std::hypot(b.x - a.x, b.y - a.y), 7 * module, 0.1 * 7 * module)
                    << module << " px, " << turn << " deg, side " << k;
            }
        }
}

// Pixel noise shows eye-like patterns whose rings barely stand out from
// their own spread; none may be outlined, since each would cost a frame fit
// per kind. An eye blurred and noisy at 2 pixels a module still is.
TEST(LoneEyes, NoiseOutlinesNothingWhileANoisySmallEyeIsOutlined) {
    for (std::uint32_t seed : {31u, 32u, 33u}) {
        const vt::Picture noise = vt::render_noise(1280, 960, "noise", seed);
        int outlined = 0;
        sf::for_each_outline(noise.pixels.data(), noise.width, noise.height, noise.width, [&](const sf::Outline &) {
            ++outlined;
            return true;
        });
        EXPECT_EQ(outlined, 0) << "seed " << seed;
    }
    const auto symbol = vt::make_micro_zint("SMALL", 3, vt::Level::L);
    ASSERT_TRUE(symbol.has_value());
    for (std::uint32_t seed = 0; seed < 8; ++seed) {
        vt::RenderOptions o;
        o.module_px = 2;
        o.rotation_deg = 20.0 * seed;
        o.blur_sigma = 0.3;
        o.noise_sigma = 12;
        o.seed = seed;
        const vt::Picture p = vt::render(*symbol, o);
        int outlined = 0;
        sf::for_each_outline(p.pixels.data(), p.width, p.height, p.width, [&](const sf::Outline &) {
            ++outlined;
            return true;
        });
        EXPECT_GE(outlined, 1) << "seed " << seed;
    }
}
