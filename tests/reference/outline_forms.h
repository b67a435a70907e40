// The plain forms of the eye pattern outline, kept as the reference the
// library's fast forms must match exactly: each ray's direction and each
// rounding worked out by the library calls, each side's points copied out.
#pragma once

#include <array>
#include <cmath>
#include <optional>
#include <span>
#include <vector>

#include "2_image/eye_outline.h"
#include "2_image/image.h"
#include "2_image/projective.h"

namespace reference::outline {

using vantor::thorough::Binary;
using vantor::thorough::centroid;
using vantor::Position;

inline constexpr int rays = 48;
inline constexpr double step = 0.25; // pixels along a ray

struct Line {
    Position at;  // a point of the line
    Position dir; // unit direction
};

// Total least squares: the line through the centroid along the points'
// main direction.
inline std::optional<Line> fit_line(const std::vector<Position> &pts) {
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

inline std::optional<Position> meet(const Line &a, const Line &b) {
    const double det = a.dir.x * b.dir.y - a.dir.y * b.dir.x;
    if (std::fabs(det) < 0.2) // nearly parallel sides: not a square
        return std::nullopt;
    const double t = ((b.at.x - a.at.x) * b.dir.y - (b.at.y - a.at.y) * b.dir.x) / det;
    return Position{a.at.x + t * a.dir.x, a.at.y + t * a.dir.y};
}

inline std::vector<Position> trace_eye(const Binary &b, Position centre, double module) {
    std::vector<Position> out;
    auto dark = [&](double x, double y) {
        const long ix = std::lround(x), iy = std::lround(y);
        return ix >= 0 && iy >= 0 && ix < b.width() && iy < b.height() && b.dark(static_cast<int>(ix), static_cast<int>(iy));
    };
    if (!(module > 0) || !dark(centre.x, centre.y))
        return out;
    const double reach = 7.5 * module; // the outline lies 3.5 to 5 modules out
    for (int k = 0; k < rays; ++k) {
        const double angle = 2 * M_PI * (k + 0.5) / rays;
        const double dx = std::cos(angle), dy = std::sin(angle);
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

inline std::optional<std::array<Position, 4>> fit_outline(std::span<const Position> traced, Position centre, Position row_dir,
                                                Position col_dir, double module) {
    const double det = row_dir.x * col_dir.y - row_dir.y * col_dir.x;
    if (!(module > 0) || !(std::fabs(det) > 0.3))
        return std::nullopt;
    // Sides: 0 top, 1 right, 2 bottom, 3 left.
    std::vector<Position> side[4];
    for (const Position &p : traced) {
        // The point in the pattern's axes: p - centre = a row_dir + c col_dir.
        const double ox = p.x - centre.x, oy = p.y - centre.y;
        const double a = (ox * col_dir.y - oy * col_dir.x) / det;
        const double c = (row_dir.x * oy - row_dir.y * ox) / det;
        // Points near a corner could belong to either side.
        if (std::fabs(a) > 1.25 * std::fabs(c))
            side[a > 0 ? 1 : 3].push_back(p);
        else if (std::fabs(c) > 1.25 * std::fabs(a))
            side[c > 0 ? 2 : 0].push_back(p);
    }
    std::optional<Line> line[4];
    for (int s = 0; s < 4; ++s)
        if (!(line[s] = fit_line(side[s])))
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

} // namespace reference::outline
