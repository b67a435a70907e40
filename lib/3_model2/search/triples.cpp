// Triple forming: every three candidates are judged as a corner pattern and
// its two neighbours; the gates are loose enough for strong perspective, and
// decoding is the final judge.
#include "triples.h"

#include <algorithm>
#include <cmath>

namespace vantor::thorough {
namespace {

constexpr double max_size_ratio = 3.0; // largest over smallest module size
constexpr double max_leg_ratio = 2.2;  // longer over shorter leg
constexpr double max_cosine = 0.6;     // |cos| of the corner angle: 53..127 degrees
constexpr double min_modules = 21 * 0.7, max_modules = 177 * 1.3;

double distance(const Candidate &a, const Candidate &b) { return std::hypot(a.x - b.x, a.y - b.y); }

// modules_across with the distances from the corner to the others given.
double modules_across(const Candidate &corner, const Candidate &along, const Candidate &down, double to_along,
                      double to_down) {
    // Module sizes are measured along image rows and columns, which cross a
    // turned eye pattern on a longer path: 1 / max(|cos|, |sin|) of the turn.
    const double turn = std::atan2(along.y - corner.y, along.x - corner.x);
    const double slant = std::max(std::fabs(std::cos(turn)), std::fabs(std::sin(turn)));
    const double across_tr = to_along / ((corner.module + along.module) / 2.0 * slant);
    const double across_bl = to_down / ((corner.module + down.module) / 2.0 * slant);
    return (across_tr + across_bl) / 2.0 + 7.0;
}

} // namespace

double modules_across(const Candidate &corner, const Candidate &along, const Candidate &down) {
    return modules_across(corner, along, down, distance(corner, along), distance(corner, down));
}

std::vector<Triple> form_triples(std::span<const Candidate> c, std::span<const double> quality,
                                 std::span<const int> used, int limit) {
    std::vector<Triple> out;
    const int n = static_cast<int>(c.size());
    // Every pair's distance, once: in single precision as the gates compare
    // them, and in double as the legs are measured.
    const std::size_t un = c.size();
    std::vector<double> near(un * un), leg(un * un);
    // hypot ignores the signs of its arguments, and a difference turned
    // round only changes its sign: each pair is measured once.
    for (std::size_t i = 0; i < un; ++i)
        for (std::size_t j = i; j < un; ++j) {
            near[i * un + j] = near[j * un + i] = distance(c[i], c[j]);
            leg[i * un + j] = leg[j * un + i] =
                std::hypot(static_cast<double>(c[j].x - c[i].x), static_cast<double>(c[j].y - c[i].y));
        }
    for (int i = 0; i < n; ++i) {
        if (used[static_cast<std::size_t>(i)] || !(c[static_cast<std::size_t>(i)].module > 0))
            continue;
        for (int j = i + 1; j < n; ++j) {
            if (used[static_cast<std::size_t>(j)])
                continue;
            for (int k = j + 1; k < n; ++k) {
                if (used[static_cast<std::size_t>(k)])
                    continue;
                const Candidate *p[3] = {&c[static_cast<std::size_t>(i)], &c[static_cast<std::size_t>(j)],
                                         &c[static_cast<std::size_t>(k)]};
                const double lo = std::min({p[0]->module, p[1]->module, p[2]->module});
                const double hi = std::max({p[0]->module, p[1]->module, p[2]->module});
                if (!(lo > 0) || hi > max_size_ratio * lo)
                    continue;
                // The corner faces the longest side.
                const std::size_t q[3] = {static_cast<std::size_t>(i), static_cast<std::size_t>(j),
                                          static_cast<std::size_t>(k)};
                const double d01 = near[q[0] * un + q[1]], d12 = near[q[1] * un + q[2]], d02 = near[q[0] * un + q[2]];
                int corner = 2, a = 0, b = 1;
                if (d12 >= d01 && d12 >= d02)
                    corner = 0, a = 1, b = 2;
                else if (d02 >= d01 && d02 >= d12)
                    corner = 1, a = 0, b = 2;
                const Candidate &t = *p[corner];
                const double ax = p[a]->x - t.x, ay = p[a]->y - t.y, bx = p[b]->x - t.x, by = p[b]->y - t.y;
                const double la = leg[q[corner] * un + q[a]], lb = leg[q[corner] * un + q[b]];
                if (!(la > 0 && lb > 0) || std::max(la, lb) > max_leg_ratio * std::min(la, lb))
                    continue;
                const double cosine = (ax * bx + ay * by) / (la * lb);
                if (std::fabs(cosine) > max_cosine)
                    continue;
                // Along the rows first: with y down, the row leg turns
                // clockwise onto the column leg.
                const bool a_first = ax * by - ay * bx > 0;
                const int idx[3] = {i, j, k};
                Triple tri{idx[corner], idx[a_first ? a : b], idx[a_first ? b : a], 0};
                const std::size_t tc = static_cast<std::size_t>(tri.corner), ta = static_cast<std::size_t>(tri.along),
                                  td = static_cast<std::size_t>(tri.down);
                const double across = modules_across(c[tc], c[ta], c[td], near[tc * un + ta], near[tc * un + td]);
                if (across < min_modules || across > max_modules)
                    continue;
                // Smaller leg sum plus leg difference is better; unequal
                // sizes, a skewed corner and a candidate seen by few scan
                // lines count against a triple.
                const double weakest = std::min({quality[static_cast<std::size_t>(i)], quality[static_cast<std::size_t>(j)],
                                                 quality[static_cast<std::size_t>(k)]});
                tri.score = (la + lb + std::fabs(la - lb)) * (1.0 + std::fabs(cosine)) * (hi / lo) *
                            (1.0 + 1.0 / std::max(0.05, weakest));
                out.push_back(tri);
            }
        }
    }
    std::sort(out.begin(), out.end(), [](const Triple &x, const Triple &y) { return x.score < y.score; });
    if (static_cast<int>(out.size()) > limit)
        out.resize(static_cast<std::size_t>(std::max(0, limit)));
    return out;
}

} // namespace vantor::thorough
