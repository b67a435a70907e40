// The search's grey sampling against its plain forms, bit for bit: bilinear
// grey with its shortcut for points whose four pixels lie inside, and an eye
// pattern's contrast, whose samples skip the border checks when its whole
// grid lies inside.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "reference/sampling_forms.h"
#include "2_image/alignment.h"
#include "2_image/image.h"
#include "2_image/sampling.h"

namespace th = vantor::thorough;

namespace {

struct View {
    std::vector<std::uint8_t> pixels;
    th::GreyView grey;
};

// Random greys of a random odd size, down to one pixel wide or high, rows
// a little apart, read as they are or inverted.
View random_view(std::mt19937 &rng) {
    View v;
    const int w = 1 + static_cast<int>(rng() % 40), h = 1 + static_cast<int>(rng() % 40);
    const int stride = w + static_cast<int>(rng() % 3);
    v.pixels.resize(static_cast<std::size_t>(stride) * h);
    for (auto &p : v.pixels)
        p = static_cast<std::uint8_t>(rng());
    v.grey = th::GreyView{v.pixels.data(), w, h, stride, rng() % 2 == 1};
    return v;
}

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

} // namespace

TEST(GreySampling, BilinearGivesThePlainFormsValueEverywhere) {
    // Points spread over the image and half a pixel past it, and points on
    // and a float step either side of the last row and column and of the
    // half-pixel limits, where the shortcut hands over to the held border.
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int t = 0; t < 400; ++t) {
        const View v = random_view(rng);
        const float w = static_cast<float>(v.grey.width), h = static_cast<float>(v.grey.height);
        std::vector<float> xs, ys;
        for (float edge : {-0.5f, 0.0f, w - 1.0f, w - 0.5f})
            for (float to : {-1.0f, 1.0f})
                xs.push_back(std::nextafter(edge, edge + to)), xs.push_back(edge);
        for (float edge : {-0.5f, 0.0f, h - 1.0f, h - 0.5f})
            for (float to : {-1.0f, 1.0f})
                ys.push_back(std::nextafter(edge, edge + to)), ys.push_back(edge);
        for (int k = 0; k < 40; ++k) {
            xs.push_back(-1.0f + (w + 1.0f) * unit(rng));
            ys.push_back(-1.0f + (h + 1.0f) * unit(rng));
        }
        xs.push_back(std::numeric_limits<float>::quiet_NaN());
        for (float x : xs)
            for (float y : ys)
                ASSERT_TRUE(same_bits(v.grey.bilinear(x, y), reference::sampling::bilinear(v.grey, x, y)))
                    << v.grey.width << "x" << v.grey.height << " at " << x << "," << y;
    }
}

TEST(GreySampling, EyeContrastGivesThePlainFormsValues) {
    // Grids of every size and turn, inside, straddling each edge and off the
    // image, including grids whose corners sit a pixel from the edges.
    std::mt19937 rng(19);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int inside = 0;
    for (int t = 0; t < 3000; ++t) {
        const View v = random_view(rng);
        const double w = v.grey.width, h = v.grey.height;
        const double module = 0.2 + 2.0 * unit(rng), turn = 6.3 * unit(rng);
        const vantor::Position x_step{module * std::cos(turn), module * std::sin(turn)};
        const vantor::Position y_step{-x_step.y, x_step.x};
        vantor::Position centre{-2.0 + (w + 4.0) * unit(rng), -2.0 + (h + 4.0) * unit(rng)};
        if (t % 4 == 0) {
            // Axis-aligned, corner samples on the first or last row and
            // column, or exactly a pixel in from them.
            const double m = std::floor(module * 4) / 4 + 0.25, in = (t / 4) % 2;
            centre = (t / 8) % 2 ? vantor::Position{in + 3 * m, in + 3 * m} : vantor::Position{w - 1 - in - 3 * m, h - 1 - in - 3 * m};
            const th::EyeContrast got = th::eye_contrast(v.grey, centre, {m, 0}, {0, m});
            const th::EyeContrast want = reference::sampling::eye_contrast(v.grey, centre, {m, 0}, {0, m});
            ASSERT_TRUE(same_bits(got.difference, want.difference) && same_bits(got.separation, want.separation))
                << v.grey.width << "x" << v.grey.height << " module " << m;
            inside += want.difference != 0;
            continue;
        }
        const th::EyeContrast got = th::eye_contrast(v.grey, centre, x_step, y_step);
        const th::EyeContrast want = reference::sampling::eye_contrast(v.grey, centre, x_step, y_step);
        ASSERT_TRUE(same_bits(got.difference, want.difference) && same_bits(got.separation, want.separation))
            << v.grey.width << "x" << v.grey.height << " at " << centre.x << "," << centre.y << " module " << module
            << " turn " << turn;
        inside += want.difference != 0;
    }
    EXPECT_GT(inside, 500);
}

// A few modules sampled alone are those of the whole matrix, every other
// module light, and nothing exactly when the whole matrix is nothing: grids
// of every size that lie inside, cross the border or leave the picture.
TEST(GreySampling, SomeModulesAreThoseOfTheWholeMatrix) {
    std::mt19937 rng(21);
    std::vector<std::uint8_t> pixels(400 * 300);
    for (auto &p : pixels)
        p = static_cast<std::uint8_t>(rng());
    const th::GreyView grey{pixels.data(), 400, 300, 400, false};
    const th::Binary binary(grey);
    std::uniform_real_distribution<double> at(-30, 330), module(0.8, 4);
    int inside = 0, outside = 0;
    for (int trial = 0; trial < 300; ++trial) {
        const int n = 21 + 4 * static_cast<int>(rng() % 10);
        const double x = at(rng), y = at(rng), m = module(rng), turn = (rng() % 100) / 50.0;
        const double c = m * std::cos(turn), s = m * std::sin(turn);
        const auto map = th::Projective::from_quads(
            {vantor::Position{0, 0}, vantor::Position{1.0 * n, 0}, vantor::Position{1.0 * n, 1.0 * n}, vantor::Position{0, 1.0 * n}},
            {vantor::Position{x, y}, vantor::Position{x + n * c, y + n * s}, vantor::Position{x + n * (c - s), y + n * (s + c)},
             vantor::Position{x - n * s, y + n * c}});
        ASSERT_TRUE(map);
        const th::Grid grid{n, *map, {}, {}};
        std::vector<th::ModuleAt> wanted;
        for (int k = 0; k < 30; ++k)
            wanted.push_back({static_cast<int>(rng() % n), static_cast<int>(rng() % n)});
        const auto whole = th::sample(grey, binary, grid, th::Threshold::blocks);
        const auto some = th::sample_blocks_at(grey, binary, grid, wanted);
        ASSERT_EQ(whole.has_value(), some.has_value()) << trial;
        if (!whole) {
            ++outside;
            continue;
        }
        ++inside;
        ASSERT_EQ(some->width, n);
        std::vector<bool> is_wanted(static_cast<std::size_t>(n) * n);
        for (const th::ModuleAt &w : wanted)
            is_wanted[static_cast<std::size_t>(w.row) * n + w.col] = true;
        for (int r = 0; r < n; ++r)
            for (int col = 0; col < n; ++col)
                ASSERT_EQ(some->dark(col, r), is_wanted[static_cast<std::size_t>(r) * n + col] && whole->dark(col, r))
                    << trial << " " << col << "," << r;
    }
    EXPECT_GT(inside, 50);
    EXPECT_GT(outside, 50);
}
