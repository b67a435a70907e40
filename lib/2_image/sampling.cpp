// Sampling through a module grid.
#include "sampling.h"

#include <algorithm>
#include <cmath>

namespace vantor::thorough {
namespace {

// Modules at least this wide (pixels) are read at several points.
constexpr double several_points_from = 3.0;
// The points, as offsets from the module centre in modules.
constexpr double spread = 0.22;
constexpr double offsets[5][2] = {{0, 0}, {-spread, 0}, {spread, 0}, {0, -spread}, {0, spread}};
constexpr int window_reach = 3; // module_window: modules either side
constexpr float sharpening = 0.8f; // share of the difference from the neighbours added

int cell_of(const std::vector<double> &cuts, double v) {
    int i = 0;
    const int last = static_cast<int>(cuts.size()) - 2;
    while (i < last && v >= cuts[static_cast<std::size_t>(i) + 1])
        ++i;
    return i;
}

// Module width in pixels at the symbol's centre.
double module_width(const Grid &g) {
    const double c = g.size / 2.0;
    const Position a = g.map(c, c), b = g.map(c + 1, c), d = g.map(c, c + 1);
    return std::sqrt(std::hypot(b.x - a.x, b.y - a.y) * std::hypot(d.x - a.x, d.y - a.y));
}

// Mean grey of the module at (col, row) over its centre, or its five points
// when `several`; -1 outside the image.
float module_grey(const GreyView &grey, const Grid &g, int col, int row, bool several) {
    const int points = several ? 5 : 1;
    float sum = 0;
    for (int k = 0; k < points; ++k) {
        const Position p = g.map(col + 0.5 + offsets[k][0], row + 0.5 + offsets[k][1]);
        const float v = grey.bilinear(static_cast<float>(p.x), static_cast<float>(p.y));
        if (v < 0)
            return -1;
        sum += v;
    }
    return sum / points;
}

// Whether every point module_grey takes of the module lies where bilinear
// gives a grey.
bool module_inside(const GreyView &grey, const Grid &g, int col, int row, bool several) {
    for (int k = 0; k < (several ? 5 : 1); ++k) {
        const Position p = g.map(col + 0.5 + offsets[k][0], row + 0.5 + offsets[k][1]);
        const float x = static_cast<float>(p.x), y = static_cast<float>(p.y);
        if (!(x > -0.5f && y > -0.5f && x < grey.width - 0.5f && y < grey.height - 0.5f))
            return false;
    }
    return true;
}

// Whether every point module_grey takes of every module lies inside. One
// map that keeps w positive over the symbol maps the square around all
// those points onto a convex quadrilateral: when its corners lie inside
// with a margin far above rounding, so does every point. Otherwise each
// module is checked.
bool grid_inside(const GreyView &grey, const Grid &g, bool several) {
    const int n = g.size;
    if (g.cells.empty() && g.whole.proper_over(n)) {
        constexpr double margin = 1e-2;
        const double lo = 0.5 - spread, hi = n - 0.5 + spread;
        bool clear = true;
        for (const auto &[x, y] : {std::pair{lo, lo}, std::pair{hi, lo}, std::pair{hi, hi}, std::pair{lo, hi}}) {
            const Position p = g.whole.map(x, y);
            clear = clear && p.x > -0.5 + margin && p.y > -0.5 + margin && p.x < grey.width - 0.5 - margin &&
                    p.y < grey.height - 0.5 - margin;
        }
        if (clear)
            return true;
    }
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            if (!module_inside(grey, g, c, r, several))
                return false;
    return true;
}

} // namespace

Position Grid::map(double col, double row) const {
    if (cells.empty() || cuts.size() < 2)
        return whole.map(col, row);
    const int span = static_cast<int>(cuts.size()) - 1;
    return cells[static_cast<std::size_t>(cell_of(cuts, row) * span + cell_of(cuts, col))].map(col, row);
}

Located located_on(SymbolRead &&read, SymbolKind kind, const Grid &grid, bool inverted) {
    Located s{std::move(read), kind, {}, inverted};
    const int n = grid.size;
    const Position c[4] = {grid.map(0, 0), grid.map(n, 0), grid.map(n, n), grid.map(0, n)};
    const bool mirrored = s.symbol.mirrored;
    const int order[4] = {0, mirrored ? 3 : 1, 2, mirrored ? 1 : 3};
    for (int i = 0; i < 4; ++i)
        s.corners[static_cast<std::size_t>(i)] = c[order[i]];
    return s;
}

std::optional<std::vector<float>> module_greys(const GreyView &grey, const Grid &grid) {
    const int n = grid.size;
    if (n < 1)
        return std::nullopt;
    const bool several = module_width(grid) >= several_points_from;
    std::vector<float> greys(static_cast<std::size_t>(n) * n);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) {
            const float v = module_grey(grey, grid, c, r, several);
            if (v < 0)
                return std::nullopt;
            greys[static_cast<std::size_t>(r) * n + c] = v;
        }
    return greys;
}

std::optional<ModuleMatrix> sample(const GreyView &grey, const Binary &binary, const Grid &grid, Threshold threshold) {
    const auto greys = module_greys(grey, grid);
    if (!greys)
        return std::nullopt;
    return judge_modules(*greys, binary, grid, threshold);
}

ModuleMatrix judge_modules(const std::vector<float> &greys, const Binary &binary, const Grid &grid,
                           Threshold threshold) {
    const int n = grid.size;
    ModuleMatrix m{n, n, std::vector<std::uint8_t>(greys.size())};
    if (threshold == Threshold::blocks) {
        for (int r = 0; r < n; ++r)
            for (int c = 0; c < n; ++c) {
                const Position p = grid.map(c + 0.5, r + 0.5);
                m.modules[static_cast<std::size_t>(r) * n + c] =
                    greys[static_cast<std::size_t>(r) * n + c] <= binary.threshold(static_cast<float>(p.x), static_cast<float>(p.y));
            }
        return m;
    }
    // Summed greys for the window means.
    const int w = n + 1;
    std::vector<double> sums(static_cast<std::size_t>(w) * w, 0.0);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            sums[static_cast<std::size_t>(r + 1) * w + c + 1] = greys[static_cast<std::size_t>(r) * n + c] +
                                                                 sums[static_cast<std::size_t>(r) * w + c + 1] +
                                                                 sums[static_cast<std::size_t>(r + 1) * w + c] -
                                                                 sums[static_cast<std::size_t>(r) * w + c];
    std::vector<float> judged = greys;
    if (threshold == Threshold::sharpened)
        for (int r = 0; r < n; ++r)
            for (int c = 0; c < n; ++c) {
                float around = 0;
                int count = 0;
                for (const auto &[dc, dr] : {std::pair{-1, 0}, std::pair{1, 0}, std::pair{0, -1}, std::pair{0, 1}})
                    if (c + dc >= 0 && c + dc < n && r + dr >= 0 && r + dr < n) {
                        around += greys[static_cast<std::size_t>(r + dr) * n + c + dc];
                        ++count;
                    }
                const std::size_t i = static_cast<std::size_t>(r) * n + c;
                judged[i] = greys[i] + sharpening * (greys[i] - around / count);
            }
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) {
            const int r0 = std::max(0, r - window_reach), r1 = std::min(n, r + window_reach + 1);
            const int c0 = std::max(0, c - window_reach), c1 = std::min(n, c + window_reach + 1);
            const double total = sums[static_cast<std::size_t>(r1) * w + c1] - sums[static_cast<std::size_t>(r0) * w + c1] -
                                 sums[static_cast<std::size_t>(r1) * w + c0] + sums[static_cast<std::size_t>(r0) * w + c0];
            const double mean = total / ((r1 - r0) * (c1 - c0));
            m.modules[static_cast<std::size_t>(r) * n + c] = judged[static_cast<std::size_t>(r) * n + c] < mean;
        }
    return m;
}

double timing_agreement(const GreyView &grey, const Binary &binary, const Grid &grid, int reach) {
    const int n = grid.size;
    int agree = 0, total = 0;
    for (int i = 8; i <= n - 9; ++i) {
        if (reach > 0 && i - 8 >= reach && n - 9 - i >= reach)
            continue;
        for (int axis = 0; axis < 2; ++axis) {
            const double c = axis == 0 ? i + 0.5 : 6.5, r = axis == 0 ? 6.5 : i + 0.5;
            const Position p = grid.map(c, r);
            const float v = grey.bilinear(static_cast<float>(p.x), static_cast<float>(p.y));
            if (v < 0)
                return 0;
            const bool dark = v <= binary.threshold(static_cast<float>(p.x), static_cast<float>(p.y));
            agree += dark == (i % 2 == 0);
            ++total;
        }
    }
    return total ? static_cast<double>(agree) / total : 0;
}

std::optional<ModuleMatrix> sample_blocks_at(const GreyView &grey, const Binary &binary, const Grid &grid,
                                             std::span<const ModuleAt> wanted) {
    const int n = grid.size;
    if (n < 1)
        return std::nullopt;
    const bool several = module_width(grid) >= several_points_from;
    if (!grid_inside(grey, grid, several))
        return std::nullopt;
    ModuleMatrix m{n, n, std::vector<std::uint8_t>(static_cast<std::size_t>(n) * n)};
    for (const ModuleAt &at : wanted) {
        if (at.col < 0 || at.row < 0 || at.col >= n || at.row >= n)
            continue;
        const Position p = grid.map(at.col + 0.5, at.row + 0.5);
        m.modules[static_cast<std::size_t>(at.row) * n + at.col] =
            module_grey(grey, grid, at.col, at.row, several) <=
            binary.threshold(static_cast<float>(p.x), static_cast<float>(p.y));
    }
    return m;
}

} // namespace vantor::thorough
