// Symbols wrapped round a cylinder: the bent grids read what no projective
// grid of the same eyes reads, a flat symbol reads as before, and eyes
// whose format does not read get no bend.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include <vantor/vantor.h>

#include "2_image/eye_outline.h"
#include "2_image/image.h"
#include "2_image/sampling.h"
#include "3_model2/search/curved.h"
#include "3_model2/search/grids.h"
#include "3_model2/search/reader.h"
#include "3_model2/search/settle.h"
#include "qr_symbols.h"

namespace th = vantor::thorough;
using namespace vantor::testing;

namespace {

constexpr double module_px = 7;

// A symbol wrapped round a cylinder covering `wrap` of its circumference,
// its axis down the symbol's columns, then turned by `turn` degrees, and
// where a module-space point lands (the camera the renderer places: three
// symbol widths in front of the cylinder, a pixel's centre at its index).
struct Wrapped {
    Picture picture;
    int n = 0;
    double wrap = 0, turn = 0;

    vantor::Position at(double col, double row) const {
        double x = (col - n / 2.0) * module_px, y = (row - n / 2.0) * module_px;
        if (wrap > 0) {
            const double width = n * module_px, radius = width / (2 * std::numbers::pi * wrap);
            const double distance = radius + 3 * width, focal = distance - radius, a = x / radius;
            const double depth = distance - radius * std::cos(a);
            x = focal * radius * std::sin(a) / depth;
            y = focal * y / depth;
        }
        const double c = std::cos(turn * std::numbers::pi / 180), s = std::sin(turn * std::numbers::pi / 180);
        return {picture.width / 2.0 + c * x - s * y - 0.5, picture.height / 2.0 + s * x + c * y - 0.5};
    }
    th::GreyView grey() const { return {picture.pixels.data(), picture.width, picture.height, picture.width, false}; }
};

Wrapped wrapped(const Symbol &symbol, double wrap, double turn) {
    Wrapped w{{}, symbol.size, wrap, turn};
    RenderOptions o;
    o.module_px = module_px;
    o.wrap = wrap;
    o.rotation_deg = turn;
    o.blur_sigma = 0.7;
    o.noise_sigma = 4;
    o.dark = 30;
    o.light = 220;
    o.canvas_width = o.canvas_height = static_cast<int>((symbol.size + 8) * module_px * 1.4);
    w.picture = render(symbol, o);
    return w;
}

// The triple at the eyes' true centres, outlined as the search outlines it.
th::Eyes eyes_of(const Wrapped &w, const th::Binary &binary) {
    auto candidate = [&](double col, double row) {
        const vantor::Position p = w.at(col, row);
        return th::Candidate{static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(module_px)};
    };
    const double far = w.n - 3.5;
    auto eyes = th::orient_eyes(candidate(3.5, 3.5), candidate(far, 3.5), candidate(3.5, far));
    EXPECT_TRUE(eyes);
    const th::Candidate *c[3] = {&eyes->corner, &eyes->along, &eyes->down};
    for (int k = 0; k < 3; ++k)
        th::outline_eye(th::trace_eye(binary, {c[k]->x, c[k]->y}, c[k]->module), *eyes, k);
    return *eyes;
}

// The text a grid reads under any threshold, empty for none.
std::string read_text(const Wrapped &w, const th::Binary &binary, const th::Grid &grid) {
    for (th::Threshold t : {th::Threshold::blocks, th::Threshold::module_window, th::Threshold::sharpened})
        if (const auto m = th::sample(w.grey(), binary, grid, t))
            if (const auto r = th::read_matrix(*m))
                return std::string(r->content.bytes.begin(), r->content.bytes.end());
    return {};
}

// Every projective grid the search makes of the triple at the true version,
// and their settled grids: the texts they read.
std::vector<std::string> flat_texts(const Wrapped &w, const th::Binary &binary, const th::Eyes &eyes, int version) {
    std::vector<std::string> out;
    const auto guess = th::first_guess(w.grey(), binary, eyes, version);
    if (!guess)
        return out;
    for (const th::Grid &grid : th::grids_for(w.grey(), eyes, *guess, 100)) {
        out.push_back(read_text(w, binary, grid));
        if (const auto settled = th::settled_grid(w.grey(), binary, grid))
            out.push_back(read_text(w, binary, *settled));
    }
    return out;
}

std::string api_text(const Picture &p) {
    vantor_image *image = vantor_image_from_pixels(p.pixels.data(), p.width, p.height, p.width, 8);
    vantor_options *options = vantor_options_new();
    vantor_results *results = vantor_decode(image, options);
    std::string text;
    if (results && vantor_results_count(results) > 0) {
        const vantor_symbol *s = vantor_results_symbol(results, 0);
        text.assign(reinterpret_cast<const char *>(s->bytes), s->length);
    }
    vantor_results_free(results);
    vantor_options_free(options);
    vantor_image_free(image);
    return text;
}

} // namespace

TEST(CurvedGrids, ReadWrappedSymbolsNoProjectiveGridReads) {
    // A quarter of the circumference and more: the modules at the sides
    // are a third narrower than those in the middle. Axes down the columns
    // (turn 0) and along the rows (turn 90), and a mirror-free turn beyond.
    struct Case {
        int version;
        double wrap, turn;
    };
    for (const Case c : {Case{2, 0.32, 0}, Case{4, 0.26, 90}, Case{7, 0.25, 0}, Case{9, 0.26, 270}}) {
        const std::string text = "WRAP-" + std::to_string(c.version);
        const auto symbol = make_symbol(text, c.version, Level::M, Mode::byte);
        ASSERT_TRUE(symbol);
        const Wrapped w = wrapped(*symbol, c.wrap, c.turn);
        ASSERT_FALSE(w.picture.pixels.empty());
        const th::Binary binary(w.grey());
        const th::Eyes eyes = eyes_of(w, binary);
        for (const std::string &flat : flat_texts(w, binary, eyes, c.version))
            EXPECT_EQ(flat, "") << "version " << c.version << ": a projective grid read it";
        int budget = 1;
        const auto grids = th::curved_grids(w.grey(), binary, eyes, th::bent_versions(th::eyes_modules_across(eyes)), 2, budget);
        EXPECT_EQ(budget, 0);
        std::string bent;
        for (const th::Grid &grid : grids) {
            const std::string t = read_text(w, binary, grid);
            EXPECT_TRUE(t.empty() || t == text) << t;
            if (bent.empty())
                bent = t;
        }
        EXPECT_EQ(bent, text) << "version " << c.version;
        EXPECT_EQ(api_text(w.picture), text) << "version " << c.version;
    }
}

TEST(CurvedGrids, LeaveFlatSymbolsAsTheyRead) {
    // A flat symbol: the bend settles flat and reads the same text; the
    // search reads it before any bend is tried.
    for (int version : {1, 5, 8}) {
        const std::string text = "FLAT-" + std::to_string(version);
        const auto symbol = make_symbol(text, version, Level::M, Mode::byte);
        ASSERT_TRUE(symbol);
        const Wrapped w = wrapped(*symbol, 0, 10);
        const th::Binary binary(w.grey());
        const th::Eyes eyes = eyes_of(w, binary);
        int budget = 1;
        for (const th::Grid &grid : th::curved_grids(w.grey(), binary, eyes, std::vector<int>{version}, 2, budget)) {
            const std::string t = read_text(w, binary, grid);
            EXPECT_TRUE(t.empty() || t == text) << t;
        }
        EXPECT_EQ(api_text(w.picture), text);
    }
}

TEST(CurvedGrids, NeedFormatInformationAndBudget) {
    const auto symbol = make_symbol("BUDGET", 4, Level::M, Mode::byte);
    ASSERT_TRUE(symbol);
    const Wrapped w = wrapped(*symbol, 0.26, 0);
    const th::Binary binary(w.grey());
    const th::Eyes eyes = eyes_of(w, binary);
    // A spent budget makes no grid and stays spent.
    int budget = 0;
    EXPECT_TRUE(th::curved_grids(w.grey(), binary, eyes, th::bent_versions(th::eyes_modules_across(eyes)), 2, budget).empty());
    EXPECT_EQ(budget, 0);
    // The same places on a picture without a symbol: no format reads, no
    // bend is made and the budget is left.
    const Picture noise = render_noise(w.picture.width, w.picture.height, "scene", 3);
    const th::GreyView grey{noise.pixels.data(), noise.width, noise.height, noise.width, false};
    const th::Binary noise_binary(grey);
    budget = 1;
    EXPECT_TRUE(th::curved_grids(grey, noise_binary, eyes, th::bent_versions(th::eyes_modules_across(eyes)), 2, budget).empty());
    EXPECT_EQ(budget, 1);
    EXPECT_EQ(api_text(noise), "");
}
