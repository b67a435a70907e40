// A module grid settled on a symbol's known modules, and eye patterns seen at
// a slant: generated symbols whose true grid is known.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>

#include "2_image/alignment.h"
#include "2_image/eye_scan.h"
#include "2_image/image.h"
#include "2_image/sampling.h"
#include "3_model2/search/grids.h"
#include "3_model2/search/reader.h"
#include "3_model2/search/settle.h"
#include "qr_symbols.h"

namespace th = vantor::thorough;
using namespace vantor::testing;

namespace {

// A symbol rendered turned and sheared (-shear along both axes) on a canvas
// of its own, and where its module space lands, in the search's coordinates
// (a pixel's centre at its index).
struct Scene {
    Picture picture;
    int n = 0;
    double module = 0, turn = 0, shear = 0;

    vantor::Position at(double col, double row) const {
        const double x = (col - n / 2.0) * module, y = (row - n / 2.0) * module;
        const double c = std::cos(turn * std::numbers::pi / 180), s = std::sin(turn * std::numbers::pi / 180);
        const double rx = c * x - s * y, ry = s * x + c * y;
        return {picture.width / 2.0 + rx - shear * ry - 0.5, picture.height / 2.0 + ry - shear * rx - 0.5};
    }
    th::GreyView grey() const { return {picture.pixels.data(), picture.width, picture.height, picture.width, false}; }
};

Scene scene(const Symbol &symbol, double module, double turn, double shear, double blur, std::uint32_t seed) {
    Scene s;
    s.n = symbol.size;
    s.module = module;
    s.turn = turn;
    s.shear = shear;
    RenderOptions o;
    o.module_px = module;
    o.rotation_deg = turn;
    o.skew_x = o.skew_y = -shear;
    o.blur_sigma = blur;
    o.noise_sigma = 4;
    o.dark = 30;
    o.light = 220;
    o.canvas_width = o.canvas_height = static_cast<int>((symbol.size + 12) * module * 1.6);
    o.seed = seed;
    s.picture = render(symbol, o);
    return s;
}

// The grid through the scene's true corners with corner k (0 at module
// (0, 0), then (n, 0), (n, n), (0, n)) moved by `off` modules.
th::Grid grid_with(const Scene &s, int k, vantor::Position off) {
    const double n = s.n;
    const std::array<vantor::Position, 4> square{vantor::Position{0, 0}, vantor::Position{n, 0}, vantor::Position{n, n}, vantor::Position{0, n}};
    std::array<vantor::Position, 4> to;
    for (std::size_t i = 0; i < 4; ++i)
        to[i] = s.at(square[i].x, square[i].y);
    to[static_cast<std::size_t>(k)].x += off.x * s.module;
    to[static_cast<std::size_t>(k)].y += off.y * s.module;
    return th::Grid{s.n, *th::Projective::from_quads(square, to), {}, {}};
}

bool reads(const Scene &s, const th::Binary &binary, const th::Grid &grid, const std::string &text) {
    const auto m = th::sample(s.grey(), binary, grid, th::Threshold::blocks);
    if (!m)
        return false;
    const auto r = th::read_matrix(*m);
    return r && std::string(r->content.bytes.begin(), r->content.bytes.end()) == text;
}

} // namespace

TEST(SettledGrid, BringsAMisplacedCornerBackOntoTheSymbol) {
    // Versions with and without alignment patterns, turned, blurred; a
    // corner a module or more out in each direction reads nothing until
    // the grid is settled, and then every corner lies on the symbol's.
    int misplaced = 0;
    for (int version : {1, 2, 4, 7, 10}) {
        const std::string text = "SETTLE " + std::to_string(version);
        const auto symbol = make_symbol(text, version, Level::M, Mode::byte);
        ASSERT_TRUE(symbol);
        for (int k = 0; k < 4; ++k) {
            const double turn = 17.0 + 71.0 * k + version;
            const Scene s = scene(*symbol, 6.0 + version % 3, turn, 0, 0.8, static_cast<std::uint32_t>(version * 7 + k));
            ASSERT_FALSE(s.picture.pixels.empty());
            const th::Binary binary(s.grey());
            ASSERT_TRUE(reads(s, binary, grid_with(s, 0, {0, 0}), text)) << "version " << version;
            const vantor::Position off{k % 2 ? 1.3 : -1.2, k / 2 ? 1.1 : -1.4};
            const th::Grid wrong = grid_with(s, 2, off);
            misplaced += !reads(s, binary, wrong, text);
            const auto settled = th::settled_grid(s.grey(), binary, wrong);
            ASSERT_TRUE(settled) << "version " << version << ", corner off " << off.x << "," << off.y;
            EXPECT_TRUE(reads(s, binary, *settled, text)) << "version " << version << ", turn " << turn;
            for (const auto &[col, row] : {std::array<double, 2>{0, 0}, {1.0 * s.n, 0}, {1.0 * s.n, 1.0 * s.n}}) {
                const vantor::Position got = settled->map(col, row), want = s.at(col, row);
                EXPECT_LT(std::hypot(got.x - want.x, got.y - want.y), 0.4 * s.module)
                    << "version " << version << ", module corner " << col << "," << row;
            }
        }
    }
    // The corner was far enough out to matter.
    EXPECT_GE(misplaced, 15);
}

TEST(SettledGrid, RefusesGridsOfNoSymbolSize) {
    const auto symbol = make_symbol("SIZE", 1, Level::M, Mode::byte);
    ASSERT_TRUE(symbol);
    const Scene s = scene(*symbol, 5, 0, 0, 0, 1);
    const th::Binary binary(s.grey());
    for (int size : {0, 20, 22, 181}) {
        th::Grid g = grid_with(s, 0, {0, 0});
        g.size = size;
        EXPECT_FALSE(th::settled_grid(s.grey(), binary, g)) << size;
    }
}

TEST(EyeContrast, ShowsTheRingsOfEyesSqueezedAlongOneSide) {
    // Turned by 45 degrees and sheared, a symbol is squeezed along its rows
    // to under half its height; without outlines, each eye's rings still
    // stand out when measured along the legs' module lengths.
    for (int version : {1, 3, 6}) {
        const auto symbol = make_symbol("SLANT", version, Level::M, Mode::byte);
        ASSERT_TRUE(symbol);
        for (double turn : {45.0, 225.0})
          for (double shear : {0.2, 0.3, 0.4}) {
            const Scene s = scene(*symbol, 8, turn, shear, 0.6, static_cast<std::uint32_t>(version));
            ASSERT_FALSE(s.picture.pixels.empty());
            const double n = s.n;
            // The candidate the scan finds at each eye, its module size as
            // the scan across image rows measures it.
            const th::Binary binary(s.grey());
            const auto scanned = th::scan_eyes(binary, 64);
            auto candidate = [&](double col, double row) {
                const vantor::Position p = s.at(col, row);
                th::Candidate best{};
                double nearest = 1e9;
                for (const th::ScoredCandidate &c : scanned) {
                    const double d = std::hypot(c.at.x - p.x, c.at.y - p.y);
                    if (d < nearest)
                        nearest = d, best = c.at;
                }
                EXPECT_LT(nearest, s.module) << "no candidate at the eye";
                return best;
            };
            const auto eyes = th::orient_eyes(candidate(3.5, 3.5), candidate(n - 3.5, 3.5), candidate(3.5, n - 3.5));
            ASSERT_TRUE(eyes);
            for (int k = 0; k < 3; ++k)
                EXPECT_GE(th::eye_pattern_contrast(s.grey(), *eyes, k), vantor::thorough::min_eye_contrast)
                    << "version " << version << ", turn " << turn << ", shear " << shear << ", eye " << k;
        }
    }
}

// A triple's guesses are first_guess's, each version made once, and one
// given earlier stays where it was as more versions are asked for.
TEST(FirstGuesses, AreMadeOnceAndStayValid) {
    const auto symbol = make_symbol("guessed once", 8, Level::M, Mode::byte);
    ASSERT_TRUE(symbol);
    const Scene s = scene(*symbol, 4, 12, 0.02, 0.5, 5);
    const th::GreyView grey = s.grey();
    const th::Binary binary(grey);
    auto eye = [&](double col, double row) {
        const vantor::Position p = s.at(col, row);
        return th::Candidate{static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(s.module)};
    };
    const auto eyes = th::orient_eyes(eye(3.5, 3.5), eye(s.n - 3.5, 3.5), eye(3.5, s.n - 3.5));
    ASSERT_TRUE(eyes);
    th::Guesses guesses(grey, binary, *eyes);
    const std::optional<th::Guess> &first = guesses.of(8);
    ASSERT_TRUE(first);
    const th::Guess kept = *first;
    EXPECT_GT(kept.timing, 0.9);
    for (int v : {7, 9, 8, 10, 1, 40}) {
        const auto fresh = th::first_guess(grey, binary, *eyes, v);
        const std::optional<th::Guess> &made = guesses.of(v);
        ASSERT_EQ(made.has_value(), fresh.has_value()) << v;
        if (fresh) {
            EXPECT_EQ(made->grid.size, fresh->grid.size) << v;
            EXPECT_EQ(made->timing, fresh->timing) << v;
            EXPECT_TRUE(made->grid.whole == fresh->grid.whole) << v;
        }
    }
    EXPECT_EQ(&guesses.of(8), &first);
    EXPECT_EQ(first->timing, kept.timing);
    EXPECT_TRUE(first->grid.whole == kept.grid.whole);
}
