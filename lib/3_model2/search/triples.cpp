// Triple forming: every three candidates are judged as a corner pattern and
// its two neighbours; the gates are loose enough for strong perspective, and
// decoding is the final judge.
#include "triples.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <optional>

namespace vantor::thorough {
namespace {

constexpr double max_size_ratio = 3.0; // largest over smallest module size
constexpr double max_leg_ratio = 2.2;  // longer over shorter leg
constexpr double max_cosine = 0.7;     // |cos| of the corner angle: 46..134 degrees
// A corner taken other than the one facing the longest side: a symbol
// sheared or seen at a steep slant brings its corner angle down towards 45
// degrees, and the side it faces below a leg. Where that side is much
// shorter than the longest, the angle is too sharp to read.
constexpr double max_other_cosine = 0.75;
constexpr double min_other_facing = 0.75; // the side the corner faces over the longest side
// Triples formed locally: each candidate's nearest in each of eight
// directions (a symbol's two other eye patterns lie in two of them, its
// neighbours' and decoys in its data in the others), out to a symbol's
// reach in modules.
constexpr int sectors = 8;
constexpr std::size_t nearest_per_sector = 2;
constexpr double local_reach_modules = max_modules_across;
constexpr double min_rank_quality = 0.05;
constexpr double gate_slack = 0.01;
// Far more than the rounding of a few operations in double.
constexpr double rounding_slack = 1e-9;

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

// The gates and the score of the three candidates i < j < k, with every
// pair's distance in `near` (single precision, as the gates compare them)
// and `leg` (double, as the legs are measured), indexed by
// distances(a, b). The corner is the candidate facing the longest side, or
// with `other` 0 or 1 the first or second of the two others.
template <class Distances>
std::optional<Triple> judge(std::span<const Candidate> c, std::span<const double> quality, int i, int j, int k,
                            Distances &&distances, int other = -1) {
    const Candidate *p[3] = {&c[static_cast<std::size_t>(i)], &c[static_cast<std::size_t>(j)],
                             &c[static_cast<std::size_t>(k)]};
    const double lo = std::min({p[0]->module, p[1]->module, p[2]->module});
    const double hi = std::max({p[0]->module, p[1]->module, p[2]->module});
    if (!(lo > 0) || hi > max_size_ratio * lo)
        return std::nullopt;
    // The corner faces the longest side.
    const int q[3] = {i, j, k};
    const auto d01 = distances(q[0], q[1]), d12 = distances(q[1], q[2]), d02 = distances(q[0], q[2]);
    int corner = 2, a = 0, b = 1;
    if (d12.near >= d01.near && d12.near >= d02.near)
        corner = 0, a = 1, b = 2;
    else if (d02.near >= d01.near && d02.near >= d12.near)
        corner = 1, a = 0, b = 2;
    if (other >= 0) {
        corner = other == 0 ? a : b;
        a = corner == 0 ? 1 : 0;
        b = corner == 2 ? 1 : 2;
        const double facing = corner == 0 ? d12.near : corner == 1 ? d02.near : d01.near;
        if (facing < min_other_facing * std::max({d01.near, d12.near, d02.near}))
            return std::nullopt;
    }
    const Candidate &t = *p[corner];
    const double ax = p[a]->x - t.x, ay = p[a]->y - t.y, bx = p[b]->x - t.x, by = p[b]->y - t.y;
    const double la = distances(q[corner], q[a]).leg, lb = distances(q[corner], q[b]).leg;
    if (!(la > 0 && lb > 0) || std::max(la, lb) > max_leg_ratio * std::min(la, lb))
        return std::nullopt;
    const double cosine = (ax * bx + ay * by) / (la * lb);
    if (std::fabs(cosine) > (other < 0 ? max_cosine : max_other_cosine))
        return std::nullopt;
    // Along the rows first: with y down, the row leg turns clockwise onto
    // the column leg.
    const bool a_first = ax * by - ay * bx > 0;
    Triple tri{q[corner], q[a_first ? a : b], q[a_first ? b : a], 0};
    const std::size_t tc = static_cast<std::size_t>(tri.corner), ta = static_cast<std::size_t>(tri.along),
                      td = static_cast<std::size_t>(tri.down);
    // The turn lengthens the modules by a factor of 1 to sqrt(2) (see
    // modules_across): where that whole range lies on one side of a bound,
    // the bound's verdict is known without the angle's trigonometry, which
    // most triples of a textured picture would otherwise pay for.
    const double to_along = distances(tri.corner, tri.along).near, to_down = distances(tri.corner, tri.down).near;
    const double flat =
        (to_along / ((c[tc].module + c[ta].module) / 2.0) + to_down / ((c[tc].module + c[td].module) / 2.0)) / 2.0;
    const double least = (flat + 7.0) * (1 - rounding_slack);
    const double most = (flat * std::numbers::sqrt2 + 7.0) * (1 + rounding_slack);
    if (most < min_modules_across || least > max_modules_across)
        return std::nullopt;
    if (!(least >= min_modules_across && most <= max_modules_across)) {
        const double across = modules_across(c[tc], c[ta], c[td], to_along, to_down);
        if (across < min_modules_across || across > max_modules_across)
            return std::nullopt;
    }
    // Smaller leg sum plus leg difference is better; unequal sizes, a
    // skewed corner and a candidate seen by few scan lines count against a
    // triple.
    const double weakest = std::min({quality[static_cast<std::size_t>(i)], quality[static_cast<std::size_t>(j)],
                                     quality[static_cast<std::size_t>(k)]});
    tri.score = (la + lb + std::fabs(la - lb)) * (1.0 + std::fabs(cosine)) * (hi / lo) *
                (1.0 + 1.0 / std::max(0.05, weakest));
    return tri;
}

struct PairDistance {
    double near = 0;
    double leg = 0;
};

PairDistance pair_distance(const Candidate &a, const Candidate &b) {
    return {distance(a, b), std::hypot(static_cast<double>(b.x - a.x), static_cast<double>(b.y - a.y))};
}

void best_first(std::vector<Triple> &out, int limit) {
    std::sort(out.begin(), out.end(), [](const Triple &x, const Triple &y) { return x.score < y.score; });
    if (static_cast<int>(out.size()) > limit)
        out.resize(static_cast<std::size_t>(std::max(0, limit)));
}

// The same for many triples: those past the limit are not sorted.
void best_first_of_many(std::vector<Triple> &out, int limit) {
    auto better = [](const Triple &x, const Triple &y) { return x.score < y.score; };
    const std::size_t keep = static_cast<std::size_t>(std::max(0, limit));
    if (out.size() > keep) {
        std::nth_element(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(keep), out.end(), better);
        out.resize(keep);
    }
    std::sort(out.begin(), out.end(), better);
}

// Every three candidates judged with the corner facing the longest side, or
// (`other_corners`) with each of the two others.
std::vector<Triple> triples_of_every_three(std::span<const Candidate> c, std::span<const double> quality,
                                           std::span<const int> used, int limit, bool other_corners) {
    std::vector<Triple> out;
    const int n = static_cast<int>(c.size());
    // Every pair's distance, once. hypot ignores the signs of its
    // arguments, and a difference turned round only changes its sign: each
    // pair is measured once.
    const std::size_t un = c.size();
    std::vector<PairDistance> d(un * un);
    for (std::size_t i = 0; i < un; ++i)
        for (std::size_t j = i; j < un; ++j)
            d[i * un + j] = d[j * un + i] = pair_distance(c[i], c[j]);
    auto distances = [&](int a, int b) { return d[static_cast<std::size_t>(a) * un + static_cast<std::size_t>(b)]; };
    for (int i = 0; i < n; ++i) {
        if (used[static_cast<std::size_t>(i)] || !(c[static_cast<std::size_t>(i)].module > 0))
            continue;
        for (int j = i + 1; j < n; ++j) {
            if (used[static_cast<std::size_t>(j)])
                continue;
            for (int k = j + 1; k < n; ++k) {
                if (used[static_cast<std::size_t>(k)])
                    continue;
                for (int other = other_corners ? 0 : -1; other < (other_corners ? 2 : 0); ++other)
                    if (auto t = judge(c, quality, i, j, k, distances, other))
                        out.push_back(*t);
            }
        }
    }
    best_first(out, limit);
    return out;
}

} // namespace

double modules_across(const Candidate &corner, const Candidate &along, const Candidate &down) {
    return modules_across(corner, along, down, distance(corner, along), distance(corner, down));
}

std::vector<Triple> form_triples(std::span<const Candidate> c, std::span<const double> quality,
                                 std::span<const int> used, int limit) {
    return triples_of_every_three(c, quality, used, limit, false);
}

std::vector<Triple> form_other_corner_triples(std::span<const Candidate> c, std::span<const double> quality,
                                              std::span<const int> used, int limit) {
    return triples_of_every_three(c, quality, used, limit, true);
}

std::vector<Triple> form_local_triples(std::span<const Candidate> c, std::span<const double> quality,
                                       std::span<const int> used, int limit) {
    std::vector<Triple> out;
    const std::size_t n = c.size();
    // The candidates that take part, by x, for the sweep that finds each
    // one's nearest.
    std::vector<int> by_x;
    for (std::size_t i = 0; i < n; ++i)
        if (!used[i] && c[i].module > 0 && std::isfinite(c[i].x) && std::isfinite(c[i].y))
            by_x.push_back(static_cast<int>(i));
    std::sort(by_x.begin(), by_x.end(), [&](int a, int b) {
        return c[static_cast<std::size_t>(a)].x < c[static_cast<std::size_t>(b)].x;
    });
    struct Near {
        double rank = 0;
        int index = -1;
        double dx = 0, dy = 0, dist = 0;
    };
    std::array<std::array<Near, nearest_per_sector>, sectors> best;
    for (std::size_t s = 0; s < by_x.size(); ++s) {
        const Candidate &a = c[static_cast<std::size_t>(by_x[s])];
        for (auto &sector : best)
            sector.fill(Near{});
        // Beyond a symbol's reach nothing is kept, nor past the farthest kept
        // once every direction on that side (right: octants 6, 7, 0, 1;
        // left: 2 to 5) holds its nearest.
        const double reach = local_reach_modules * a.module;
        auto side_bound = [&](bool right) {
            double bound = 0;
            for (int o : {right ? 6 : 2, right ? 7 : 3, right ? 0 : 4, right ? 1 : 5}) {
                const Near &last = best[static_cast<std::size_t>(o)].back();
                bound = std::max(bound, last.index >= 0 ? last.rank : reach);
            }
            return bound;
        };
        auto consider = [&](std::size_t t) {
            const int jb = by_x[t];
            const Candidate &b = c[static_cast<std::size_t>(jb)];
            const double dx = b.x - a.x, dy = b.y - a.y;
            if (std::fabs(dy) > side_bound(dx >= 0))
                return;
            const double ratio = std::max(a.module, b.module) / std::min(a.module, b.module);
            const double dist = std::sqrt(dx * dx + dy * dy);
            // Closer than seven modules is the same eye pattern again, or a
            // piece of it.
            if (!(ratio <= max_size_ratio) || dist < 7 * std::min(a.module, b.module) || dist > reach)
                return;
            // The nearest of like size, seen by many scan lines: the distance
            // stretched by the square of the size ratio (a symbol's eye
            // patterns are of one size) and by the share of scan lines that
            // missed (decoys in a symbol's data are found by few).
            const double seen = std::max(min_rank_quality, quality[static_cast<std::size_t>(jb)]);
            const double rank = dist * ratio * ratio / seen;
            const bool wide = std::fabs(dx) >= std::fabs(dy);
            const int octant = dy >= 0 ? (dx >= 0 ? (wide ? 0 : 1) : (wide ? 3 : 2))
                                       : (dx < 0 ? (wide ? 4 : 5) : (wide ? 7 : 6));
            auto &sector = best[static_cast<std::size_t>(octant)];
            if (sector.back().index >= 0 && rank >= sector.back().rank)
                return;
            std::size_t at = sector.size() - 1;
            while (at > 0 && (sector[at - 1].index < 0 || rank < sector[at - 1].rank)) {
                sector[at] = sector[at - 1];
                --at;
            }
            sector[at] = Near{rank, jb, dx, dy, dist};
        };
        for (std::size_t t = s + 1; t < by_x.size() && c[static_cast<std::size_t>(by_x[t])].x - a.x <= side_bound(true);
             ++t)
            consider(t);
        for (std::size_t t = s; t-- > 0 && a.x - c[static_cast<std::size_t>(by_x[t])].x <= side_bound(false);)
            consider(t);
        auto distances = [&](int p, int q) {
            return pair_distance(c[static_cast<std::size_t>(p)], c[static_cast<std::size_t>(q)]);
        };
        // Each triple is formed from its corner, whose other two lie in
        // different directions, not opposite ones (the corner's angle is 53
        // to 127 degrees). The legs' angle and ratio, measured here with a
        // little slack, pass by most pairs before the gates.
        for (int u = 0; u < sectors; ++u)
            for (int v = u + 1; v < sectors; ++v) {
                if (v - u == sectors / 2)
                    continue;
                for (const Near &p : best[static_cast<std::size_t>(u)])
                    for (const Near &q : best[static_cast<std::size_t>(v)]) {
                        if (p.index < 0 || q.index < 0)
                            continue;
                        const double cosine = (p.dx * q.dx + p.dy * q.dy) / (p.dist * q.dist);
                        if (std::fabs(cosine) > max_cosine + gate_slack ||
                            std::max(p.dist, q.dist) > (max_leg_ratio + gate_slack) * std::min(p.dist, q.dist))
                            continue;
                        std::array<int, 3> key{by_x[s], p.index, q.index};
                        std::sort(key.begin(), key.end());
                        const auto t = judge(c, quality, key[0], key[1], key[2], distances);
                        if (t && t->corner == by_x[s])
                            out.push_back(*t);
                    }
            }
    }
    best_first_of_many(out, limit);
    return out;
}

} // namespace vantor::thorough
