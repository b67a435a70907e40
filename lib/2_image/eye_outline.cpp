// Eye pattern outlines: each ray from the centre crosses dark (the centre),
// light, dark (the outer ring), then light; the last change is a point of the
// outline. The points are sorted to the four sides by their direction in the
// pattern's own axes, each side gets a least-squares line, and neighbouring
// lines meet at the corners.
#include "eye_outline.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <vector>

namespace vantor::thorough {
namespace {

constexpr int rays = 48;
constexpr double step = 0.25; // pixels along a ray

struct Line {
    Position at;  // a point of the line
    Position dir; // unit direction
};

// The rays' directions, (cos, sin) of their angles, worked out once.
struct Direction {
    double dx, dy;
};
const std::array<Direction, rays> ray_directions = [] {
    std::array<Direction, rays> d;
    for (int k = 0; k < rays; ++k) {
        const double angle = 2 * M_PI * (k + 0.5) / rays;
        d[static_cast<std::size_t>(k)] = {std::cos(angle), std::sin(angle)};
    }
    return d;
}();

// std::lround without the call: below 2^52 a double less its whole part is
// exact, so the halves go away from zero as there.
long nearest(double v) {
    if (!(std::fabs(v) < 0x1p52))
        return std::lround(v);
    const long whole = static_cast<long>(v);
    const double part = v - static_cast<double>(whole);
    return whole + (part >= 0.5) - (part <= -0.5);
}

// Total least squares: the line through the centroid along the points'
// main direction.
std::optional<Line> fit_line(std::span<const Position> pts) {
    if (pts.size() < 3)
        return std::nullopt;
    const auto [mx, my] = centroid(pts);
    double sxx = 0, sxy = 0, syy = 0;
    for (const Position &p : pts) {
        sxx += (p.x - mx) * (p.x - mx);
        sxy += (p.x - mx) * (p.y - my);
        syy += (p.y - my) * (p.y - my);
    }
    const double angle = 0.5 * std::atan2(2 * sxy, sxx - syy);
    return Line{{mx, my}, {std::cos(angle), std::sin(angle)}};
}

std::optional<Position> meet(const Line &a, const Line &b) {
    const double det = a.dir.x * b.dir.y - a.dir.y * b.dir.x;
    if (std::fabs(det) < 0.2) // nearly parallel sides: not a square
        return std::nullopt;
    const double t = ((b.at.x - a.at.x) * b.dir.y - (b.at.y - a.at.y) * b.dir.x) / det;
    return Position{a.at.x + t * a.dir.x, a.at.y + t * a.dir.y};
}

} // namespace

std::vector<Position> trace_eye(const Binary &b, Position centre, double module) {
    std::vector<Position> out;
    auto dark = [&](double x, double y) {
        const long ix = nearest(x), iy = nearest(y);
        return ix >= 0 && iy >= 0 && ix < b.width() && iy < b.height() && b.dark(static_cast<int>(ix), static_cast<int>(iy));
    };
    if (!(module > 0) || !dark(centre.x, centre.y))
        return out;
    const double reach = 7.5 * module; // the outline lies 3.5 to 5 modules out
    out.reserve(rays);
    for (const auto [dx, dy] : ray_directions) {
        int changes = 0;
        bool was_dark = true;
        for (double t = step; t <= reach; t += step) {
            const bool d = dark(centre.x + t * dx, centre.y + t * dy);
            if (d == was_dark)
                continue;
            was_dark = d;
            if (++changes == 3) {
                out.push_back({centre.x + (t - step / 2) * dx, centre.y + (t - step / 2) * dy});
                break;
            }
        }
    }
    return out;
}

std::optional<std::array<Position, 4>> fit_outline(std::span<const Position> traced, Position centre, Position row_dir,
                                                Position col_dir, double module) {
    const double det = row_dir.x * col_dir.y - row_dir.y * col_dir.x;
    if (!(module > 0) || !(std::fabs(det) > 0.3))
        return std::nullopt;
    // Sides: 0 top, 1 right, 2 bottom, 3 left; -1 none.
    auto side_of = [&](const Position &p) {
        // The point in the pattern's axes: p - centre = a row_dir + c col_dir.
        const double ox = p.x - centre.x, oy = p.y - centre.y;
        const double a = (ox * col_dir.y - oy * col_dir.x) / det;
        const double c = (row_dir.x * oy - row_dir.y * ox) / det;
        // Points near a corner could belong to either side.
        if (std::fabs(a) > 1.25 * std::fabs(c))
            return a > 0 ? 1 : 3;
        if (std::fabs(c) > 1.25 * std::fabs(a))
            return c > 0 ? 2 : 0;
        return -1;
    };
    // The points grouped by side, each side's in their traced order.
    std::vector<signed char> sides(traced.size());
    std::size_t count[4] = {0, 0, 0, 0};
    for (std::size_t i = 0; i < traced.size(); ++i)
        if ((sides[i] = static_cast<signed char>(side_of(traced[i]))) >= 0)
            ++count[sides[i]];
    if (std::min({count[0], count[1], count[2], count[3]}) < 3) // fit_line would refuse the side
        return std::nullopt;
    const std::size_t start[4] = {0, count[0], count[0] + count[1], count[0] + count[1] + count[2]};
    std::vector<Position> grouped(start[3] + count[3]);
    std::size_t fill[4] = {start[0], start[1], start[2], start[3]};
    for (std::size_t i = 0; i < traced.size(); ++i)
        if (sides[i] >= 0)
            grouped[fill[sides[i]]++] = traced[i];
    std::optional<Line> line[4];
    for (int s = 0; s < 4; ++s)
        if (!(line[s] = fit_line(std::span<const Position>(grouped).subspan(start[s], count[s]))))
            return std::nullopt;
    std::array<Position, 4> corners;
    const int pairs[4][2] = {{0, 3}, {0, 1}, {2, 1}, {2, 3}};
    for (int i = 0; i < 4; ++i) {
        const auto p = meet(*line[pairs[i][0]], *line[pairs[i][1]]);
        if (!p)
            return std::nullopt;
        // A corner lies 3.5 modules out along each axis: about 4.9 modules.
        const double d = std::hypot(p->x - centre.x, p->y - centre.y) / module;
        if (d < 2.5 || d > 8)
            return std::nullopt;
        corners[static_cast<std::size_t>(i)] = *p;
    }
    return corners;
}

} // namespace vantor::thorough
