// Projective maps, the quadrilateral test on symbol corners, and the one
// conversion between the library's positions and the public records'.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

#include "2_image/projective.h"
#include "6_api/api_types.h"

namespace {

using vantor::Position;
using vantor::thorough::Projective;

TEST(Projective, QuadsMapCornersOntoCornersAndLinesOntoLines) {
    const std::array<Position, 4> square{{{0, 0}, {21, 0}, {21, 21}, {0, 21}}};
    const std::array<Position, 4> seen{{{10.5, 12}, {90, 20.25}, {84, 101}, {6, 88}}};
    const auto map = Projective::from_quads(square, seen);
    ASSERT_TRUE(map);
    for (std::size_t k = 0; k < 4; ++k) {
        const Position p = map->map(square[k]);
        EXPECT_NEAR(p.x, seen[k].x, 1e-9) << k;
        EXPECT_NEAR(p.y, seen[k].y, 1e-9) << k;
    }
    // The middle of a side lies on the line between its corners' images.
    const Position a = map->map(0, 0), b = map->map(21, 0), m = map->map(10.5, 0);
    EXPECT_NEAR((b.x - a.x) * (m.y - a.y) - (b.y - a.y) * (m.x - a.x), 0, 1e-6);
    EXPECT_TRUE(map->proper_over(21));
    // Three source corners on a line give no map.
    EXPECT_FALSE(Projective::from_quads({{{0, 0}, {1, 1}, {2, 2}, {0, 5}}}, seen));
}

TEST(Projective, InsideHoldsForEitherWindingAndNotBeyondAnEdge) {
    std::array<Position, 4> quad{{{10, 10}, {50, 12}, {48, 52}, {8, 49}}};
    for (int turn = 0; turn < 2; ++turn) {
        EXPECT_TRUE(vantor::thorough::inside(quad, 30, 30));
        EXPECT_TRUE(vantor::thorough::inside(quad, 10, 10)); // a corner counts
        EXPECT_TRUE(vantor::thorough::inside(quad, 30, 11));  // on the top edge
        EXPECT_FALSE(vantor::thorough::inside(quad, 30, 10.5));
        EXPECT_FALSE(vantor::thorough::inside(quad, 60, 30));
        EXPECT_FALSE(vantor::thorough::inside(quad, 30, 60));
        std::swap(quad[1], quad[3]); // the mirrored symbol's order
    }
    // A dart: the notch is outside.
    const std::array<Position, 4> dart{{{0, 0}, {40, 20}, {0, 40}, {15, 20}}};
    EXPECT_FALSE(vantor::thorough::inside(dart, 5, 20));
}

TEST(Projective, PublicPositionsAreHalfAPixelOnAndComeBackExactly) {
    const vantor_point p = vantor::public_point(Position{0, 0});
    EXPECT_EQ(p.x, 0.5f);
    EXPECT_EQ(p.y, 0.5f);
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> any(-100.0f, 5000.0f);
    for (int i = 0; i < 1000; ++i) {
        const vantor_point q{any(rng), any(rng)};
        const vantor_point back = vantor::public_point(vantor::library_point(q));
        EXPECT_NEAR(back.x, q.x, std::abs(q.x) * 1e-6f + 1e-6f);
        EXPECT_NEAR(back.y, q.y, std::abs(q.y) * 1e-6f + 1e-6f);
    }
}

} // namespace
