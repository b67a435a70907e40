// Outlining lone eye patterns. The scan's candidates come from one
// block binarisation of the picture and one of its inverse, scanned on every
// row (every second row loses reads of small, noisy eyes, whose centres
// it places less well); each outline is traced from the candidate's centre
// and fitted twice.
#include "lone_eyes.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <optional>
#include <vector>

#include "alignment.h"
#include "eye_outline.h"
#include "eye_scan.h"

namespace vantor::lone_eyes {
namespace {

namespace th = vantor::thorough;

constexpr int max_side = 32767;
constexpr int max_candidates = 32; // eye candidates tried per binarisation
// How many times the spread of its modules' greys within each kind a
// eye's light modules must lie above its dark ones. Noise outlines
// eye-like patterns by the dozen, each worth a frame fit, but its rings
// stand out less than that; the eyes of symbols that read, blurred and
// noisy at 1.5 pixels a module, stand out at least a third more.
constexpr double min_separation = 1.2;

// The direction of the pattern's rows: its traced outline lies furthest from
// the centre at the corners, so the fourth harmonic of the points' angles,
// weighted by distance beyond the mean, points at a corner, 45 degrees off a
// side. Weighted by the distance itself, each ray left out (a point dropped
// as off the edge) would pull the direction towards its own by as much as
// the corners do.
std::optional<Position> row_direction(const std::vector<Position> &traced, Position centre) {
    if (traced.empty())
        return std::nullopt;
    double mean = 0;
    for (const Position &p : traced)
        mean += std::hypot(p.x - centre.x, p.y - centre.y);
    mean /= static_cast<double>(traced.size());
    std::complex<double> sum = 0;
    for (const Position &p : traced) {
        const double dx = p.x - centre.x, dy = p.y - centre.y;
        sum += (std::hypot(dx, dy) - mean) * std::exp(std::complex<double>(0, 4 * std::atan2(dy, dx)));
    }
    if (std::abs(sum) == 0)
        return std::nullopt;
    const double side = std::arg(sum) / 4 - M_PI / 4;
    return Position{std::cos(side), std::sin(side)};
}

// The traced points that can lie on the eye's outer edge: between 3.5
// modules (a side's middle) and 5 (a corner) from its centre, so within
// about a quarter of the points' median distance. A ray that stopped early
// at a gap in the ring, or ran on through a light module, would pull a
// side's line away.
std::vector<Position> outline_points(std::vector<Position> traced, Position centre) {
    if (traced.empty())
        return traced;
    std::vector<double> d;
    for (const Position &p : traced)
        d.push_back(std::hypot(p.x - centre.x, p.y - centre.y));
    std::vector<double> sorted = d;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
    const double median = sorted[sorted.size() / 2];
    std::vector<Position> kept;
    for (std::size_t i = 0; i < traced.size(); ++i)
        if (d[i] >= 0.75 * median && d[i] <= 1.45 * median)
            kept.push_back(traced[i]);
    return kept;
}

// The eye's outline fitted twice: points more than a third of a module
// off the first outline's sides (rays that ended at a notch of the ring or
// in a neighbouring dark module) are left out of the second.
std::optional<std::array<Position, 4>> refitted_outline(const std::vector<Position> &traced, Position centre,
                                                         Position row_dir, Position col_dir, double module) {
    const auto first = th::fit_outline(traced, centre, row_dir, col_dir, module);
    if (!first)
        return first;
    const auto &c = *first;
    const Position row{c[1].x - c[0].x, c[1].y - c[0].y}, col{c[3].x - c[0].x, c[3].y - c[0].y};
    const double row_length = std::hypot(row.x, row.y), col_length = std::hypot(col.x, col.y);
    const double tolerance = (row_length + col_length) / 2 / 7 / 3;
    std::vector<Position> near;
    for (const Position &p : traced) {
        double nearest = 1e9;
        for (std::size_t k = 0; k < 4; ++k) {
            const Position a = c[k], b = c[(k + 1) % 4];
            const double length = std::hypot(b.x - a.x, b.y - a.y);
            if (length > 0)
                nearest = std::min(nearest, std::fabs((b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x)) / length);
        }
        if (nearest <= tolerance)
            near.push_back(p);
    }
    const auto second = th::fit_outline(near, centre, {row.x / row_length, row.y / row_length},
                                        {col.x / col_length, col.y / col_length}, module);
    return second ? second : first;
}

// Whether the outlined pattern's light ring stands out from its dark
// centre and outer ring as much as the search asks of an eye pattern, and
// by more than the spread of its own modules' greys (`min_separation`); the
// corners go round the pattern, seven modules a side.
bool stands_out(const th::GreyView &grey, Position centre, const std::array<Position, 4> &corners) {
    const Position x_step{(corners[1].x - corners[0].x) / 7, (corners[1].y - corners[0].y) / 7};
    const Position y_step{(corners[3].x - corners[0].x) / 7, (corners[3].y - corners[0].y) / 7};
    const th::EyeContrast contrast = th::eye_contrast(grey, centre, x_step, y_step);
    return contrast.difference >= th::min_eye_contrast && contrast.separation >= min_separation;
}

} // namespace

bool fits(int width, int height) { return width >= 11 && height >= 11 && width <= max_side && height <= max_side; }

bool for_each_outline(const th::GreyView &grey, const th::Binary &binary, std::span<const th::RowMatch> matches,
                      FunctionRef<bool(const Outline &)> visit) {
    for (const th::ScoredCandidate &c : th::merge_matches(matches, binary.width(), binary.height(), max_candidates)) {
        // A single scan line is what noise gives.
        if (c.hits < 2)
            continue;
        const Position centre{c.at.x, c.at.y};
        const std::vector<Position> traced = outline_points(th::trace_eye(binary, centre, c.at.module), centre);
        const auto row_dir = row_direction(traced, centre);
        if (!row_dir)
            continue;
        const Position col_dir{-row_dir->y, row_dir->x};
        const auto corners = refitted_outline(traced, centre, *row_dir, col_dir, c.at.module);
        if (!corners || !stands_out(grey, centre, *corners))
            continue;
        if (!visit(Outline{grey, binary, centre, *corners, c.at.module}))
            return false;
    }
    return true;
}

void for_each_outline(const std::uint8_t *pixels, int width, int height, int stride,
                      FunctionRef<bool(const Outline &)> visit) {
    if (!fits(width, height) || !pixels || stride < width)
        return;
    const th::BlockGreys blocks = th::block_greys({pixels, width, height, stride, false});
    for (bool inverted : {false, true}) {
        const th::GreyView grey{pixels, width, height, stride, inverted};
        const th::Binary binary(grey, blocks);
        if (!for_each_outline(grey, binary, th::row_matches(binary), visit))
            return;
    }
}

} // namespace vantor::lone_eyes
