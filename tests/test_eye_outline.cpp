// Eye pattern outlines against their plain forms, bit for bit: rays whose
// directions are worked out once and whose points are rounded without the
// library call, and sides fitted from points grouped in place.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "reference/outline_forms.h"
#include "2_image/eye_outline.h"
#include "2_image/image.h"

namespace th = vantor::thorough;

namespace {

bool same(const vantor::Position &a, const vantor::Position &b) {
    return std::memcmp(&a.x, &b.x, sizeof a.x) == 0 && std::memcmp(&a.y, &b.y, sizeof a.y) == 0;
}

bool same(const std::vector<vantor::Position> &a, const std::vector<vantor::Position> &b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!same(a[i], b[i]))
            return false;
    return true;
}

bool same(const std::optional<std::array<vantor::Position, 4>> &a, const std::optional<std::array<vantor::Position, 4>> &b) {
    if (a.has_value() != b.has_value())
        return false;
    for (std::size_t i = 0; a && i < 4; ++i)
        if (!same((*a)[i], (*b)[i]))
            return false;
    return true;
}

} // namespace

TEST(EyeOutline, TraceAndFitGiveThePlainFormsPoints) {
    // Turned eye patterns of several sizes over noise, cut by the edges;
    // centres on them, beside them, on half pixels (where rounding goes
    // away from zero) and off the picture; each traced outline fitted along
    // the pattern's axes and along wrong ones, whole and with points lost.
    std::mt19937 rng(23);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int fitted = 0;
    for (int t = 0; t < 150; ++t) {
        const int w = 20 + static_cast<int>(rng() % 90), h = 20 + static_cast<int>(rng() % 90);
        const double module = 1.0 + 3.0 * unit(rng), turn = 1.6 * unit(rng);
        const vantor::Position centre{w * (1.2 * unit(rng) - 0.1), h * (1.2 * unit(rng) - 0.1)};
        const vantor::Position row{std::cos(turn), std::sin(turn)}, col{-row.y, row.x};
        std::vector<std::uint8_t> px(static_cast<std::size_t>(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const double ox = x - centre.x, oy = y - centre.y;
                const double a = std::fabs(ox * row.x + oy * row.y) / module, c = std::fabs(ox * col.x + oy * col.y) / module;
                const double ring = std::max(a, c);
                const bool dark = ring < 3.5 ? (ring < 1.5 || ring >= 2.5) : rng() % 3 == 0;
                px[static_cast<std::size_t>(y) * w + x] = dark ? 25 : 230;
            }
        const th::Binary binary(th::GreyView{px.data(), w, h, w, false});
        for (int k = 0; k < 4; ++k) {
            vantor::Position at = centre;
            if (k == 1)
                at = {std::floor(centre.x) + 0.5, std::floor(centre.y) + 0.5};
            else if (k == 2)
                at = {centre.x + module * (unit(rng) - 0.5), centre.y + module * (unit(rng) - 0.5)};
            else if (k == 3)
                at = {-0.5, h - 0.5};
            const std::vector<vantor::Position> traced = th::trace_eye(binary, at, module);
            ASSERT_TRUE(same(traced, reference::outline::trace_eye(binary, at, module)))
                << w << "x" << h << " at " << at.x << "," << at.y << " module " << module;
            std::vector<vantor::Position> thinned;
            for (std::size_t i = 0; i < traced.size(); ++i)
                if (rng() % 4 != 0)
                    thinned.push_back(traced[i]);
            for (const auto &points : {traced, thinned})
                for (const vantor::Position &axis : {row, vantor::Position{1, 0}, vantor::Position{0.6, 0.8}}) {
                    const vantor::Position down{-axis.y, axis.x};
                    const auto got = th::fit_outline(points, at, axis, down, module);
                    ASSERT_TRUE(same(got, reference::outline::fit_outline(points, at, axis, down, module)))
                        << w << "x" << h << " at " << at.x << "," << at.y << " module " << module;
                    fitted += got.has_value();
                }
        }
    }
    EXPECT_GT(fitted, 50);
}
