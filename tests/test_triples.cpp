// The geometric gates of triple forming at their edges: the module count
// across (whose turned measure is skipped where it cannot matter) and the
// corner angle.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "3_model2/search/triples.h"

namespace th = vantor::thorough;

namespace {

// An upright right-angled triple of like eye patterns `across` modules of
// `module` pixels apart (centre to centre, plus the 7 modules of the eyes),
// turned by `turn` about its corner.
std::vector<th::Candidate> right_triple(double across, float module, double turn) {
    const double leg = (across - 7) * module;
    const double c = std::cos(turn), s = std::sin(turn);
    const float x = 1000, y = 1000;
    return {{x, y, module},
            {static_cast<float>(x + leg * c), static_cast<float>(y + leg * s), module},
            {static_cast<float>(x - leg * s), static_cast<float>(y + leg * c), module}};
}

bool formed(const std::vector<th::Candidate> &c) {
    const std::vector<double> quality(c.size(), 1.0);
    const std::vector<int> used(c.size(), 0);
    return !th::form_triples(c, quality, used, 10).empty();
}

} // namespace

TEST(Triples, ModulesAcrossGateFollowsTheTurnedMeasure) {
    // Near each bound, at every turn: a triple is formed exactly when the
    // module count its turn gives lies within the bounds, including counts
    // a hair either side of them.
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int inside = 0, outside = 0;
    for (int t = 0; t < 4000; ++t) {
        const double bound = t % 2 ? th::min_modules_across : th::max_modules_across;
        const double turn = 6.283185307179586 * unit(rng);
        const float module = static_cast<float>(1.5 + 6 * unit(rng));
        // The turn lengthens modules measured along image rows by up to
        // sqrt(2): spread the counts over that range round the bound.
        const double across = bound * (0.65 + 0.8 * unit(rng));
        const std::vector<th::Candidate> c = right_triple(across, module, turn);
        const double measured = th::modules_across(c[0], c[1], c[2]);
        const bool within = measured >= th::min_modules_across && measured <= th::max_modules_across;
        ASSERT_EQ(formed(c), within) << "across " << across << " measured " << measured << " turn " << turn;
        (within ? inside : outside) += 1;
    }
    EXPECT_GT(inside, 1000);
    EXPECT_GT(outside, 1000);
}

TEST(Triples, CornerAngleUpTo134Degrees) {
    // The down eye moved round the corner, the corner facing the longest
    // side: sheared symbols up to about 134 degrees form a triple, flatter
    // ones do not.
    for (const double degrees : {95.0, 120.0, 133.0, 135.0, 150.0}) {
        const double a = degrees * 3.141592653589793 / 180, leg = 30 * 4.0;
        const std::vector<th::Candidate> c{{1000, 1000, 4}, {1000 + static_cast<float>(leg), 1000, 4},
                                           {static_cast<float>(1000 + leg * std::cos(a)),
                                            static_cast<float>(1000 + leg * std::sin(a)), 4}};
        EXPECT_EQ(formed(c), degrees < 134.4) << degrees << " degrees";
    }
}

TEST(Triples, OtherCornersOnlyWhereTheCornerMayFaceAShorterSide) {
    // Eye patterns at (0, 0), (24, 0) and (24 s, 24) modules of a symbol
    // sheared by s: at s = 0.6 the column leg (28 modules) is longer than the
    // side the corner faces (25.9), so the corner facing the longest side is
    // the along eye; the other corners give the true one, along the rows
    // first. An upright symbol (s = 0) faces its corner to a side far longer
    // than either other, and gets no other corner.
    const std::vector<double> quality(3, 1.0);
    const std::vector<int> used(3, 0);
    for (const double s : {0.0, 0.6}) {
        const float m = 4, leg = 24 * m;
        const std::vector<th::Candidate> c{{1000, 1000, m},
                                           {1000 + leg, 1000, m},
                                           {1000 + static_cast<float>(s) * leg, 1000 + leg, m}};
        const auto usual = th::form_triples(c, quality, used, 10);
        const auto others = th::form_other_corner_triples(c, quality, used, 10);
        ASSERT_EQ(usual.size(), 1u);
        if (s == 0) {
            EXPECT_EQ(usual[0].corner, 0);
            EXPECT_TRUE(others.empty());
            continue;
        }
        EXPECT_EQ(usual[0].corner, 1);
        const bool true_corner = std::any_of(others.begin(), others.end(), [](const th::Triple &t) {
            return t.corner == 0 && t.along == 1 && t.down == 2;
        });
        EXPECT_TRUE(true_corner);
    }
}
