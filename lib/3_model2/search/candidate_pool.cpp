// Candidate pools and the contrast test, shared by the search and by the
// quick look that decides whether the search is worth running.
#include "candidate_pool.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "2_image/alignment.h"
#include "2_image/eye_outline.h"

namespace vantor::thorough {
namespace {

// Quality of a pooled candidate (the share of scan lines through its centre
// that found it, which the classic passes do not tell).
constexpr double pooled_quality = 0.5;
// A pair of eye patterns: largest over smallest module, and modules apart
// (of versions 1 to 40, under strong perspective); and the quality of a
// strong candidate.
constexpr double strong_quality = 0.5;
constexpr double pair_size_ratio = 1.5;
constexpr double pair_min_modules = 10;
constexpr double pair_max_modules = 177 * 1.3 * 1.5;
// A single scan line is what noise gives; every scan line through the
// 3-module centre finds a true eye.
constexpr int min_hits = 2;

} // namespace

void Pool::add(const Candidate &c, double q, bool made) {
    at.push_back(c);
    quality.push_back(q);
    used.push_back(0);
    synthetic.push_back(made);
    traced.emplace_back();
}

Pool scanned_pool(std::span<const ScoredCandidate> scanned, int row_step) {
    Pool pool;
    for (const ScoredCandidate &c : scanned) {
        const int lines = c.hits * row_step;
        if (lines >= min_hits)
            pool.add(c.at, std::min(1.0, lines / (3.0 * c.at.module)), false);
    }
    return pool;
}

void add_pooled(Pool &pool, std::span<const Candidate> more, int limit) {
    int added = 0;
    for (const Candidate &c : more) {
        if (added >= limit)
            break;
        if (!(c.module > 0) || !std::isfinite(c.x) || !std::isfinite(c.y))
            continue;
        const bool seen = std::any_of(pool.at.begin(), pool.at.end(), [&](const Candidate &o) {
            const float m = std::max(o.module, c.module);
            return std::hypot(o.x - c.x, o.y - c.y) <= 1.5f * m && m <= 1.5f * std::min(o.module, c.module);
        });
        if (!seen) {
            pool.add(c, pooled_quality, false);
            ++added;
        }
    }
}

bool pair_of_eyes(const GreyView &grey, const Pool &pool, bool measured) {
    return pair_of_eyes(grey, pool, measured, [](const Candidate &, const Candidate &) { return true; });
}

bool pair_of_eyes(const GreyView &grey, const Pool &pool, bool measured,
                  FunctionRef<bool(const Candidate &, const Candidate &)> also) {
    const std::size_t n = pool.at.size();
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            if (pool.synthetic[i] || pool.synthetic[j])
                continue;
            if (!measured && (pool.quality[i] < strong_quality || pool.quality[j] < strong_quality))
                continue;
            const Candidate &a = pool.at[i], &b = pool.at[j];
            const double big = std::max(a.module, b.module), small = std::min(a.module, b.module);
            if (!(big <= pair_size_ratio * small))
                continue;
            const double dx = b.x - a.x, dy = b.y - a.y;
            const double modules = std::hypot(dx, dy) / ((big + small) / 2);
            if (!(modules >= pair_min_modules && modules <= pair_max_modules))
                continue;
            if (!measured) {
                if (also(a, b))
                    return true;
                continue;
            }
            // A third eye where a symbol would have it, for the directions
            // of its rows and columns only: at a right angle from one end of
            // a side, or off the middle of the diagonal.
            const float m = static_cast<float>((big + small) / 2);
            const Candidate off_side{static_cast<float>(a.x - dy), static_cast<float>(a.y + dx), m};
            const Candidate off_diagonal{static_cast<float>((a.x + b.x - dy) / 2), static_cast<float>((a.y + b.y + dx) / 2), m};
            const std::optional<Eyes> as_side = orient_eyes(a, b, off_side);
            const std::optional<Eyes> as_diagonal = orient_eyes(off_diagonal, a, b);
            // The second eye is measured only when the first stands out.
            const double least = pool.min_contrast;
            const bool stands = (as_side && eye_pattern_contrast(grey, *as_side, 0) >= least &&
                                 eye_pattern_contrast(grey, *as_side, 1) >= least) ||
                                (as_diagonal && eye_pattern_contrast(grey, *as_diagonal, 1) >= least &&
                                 eye_pattern_contrast(grey, *as_diagonal, 2) >= least);
            if (stands && also(a, b))
                return true;
        }
    }
    return false;
}

bool for_each_standing(const GreyView &grey, const Binary &binary, Pool &pool, bool completing,
                       FunctionRef<bool(const Triple &, StandingEyes &)> on, Formation formation) {
    const std::vector<Triple> triples =
        formation == Formation::every ? form_triples(pool.at, pool.quality, pool.used, max_gated)
        : formation == Formation::other_corners
            ? form_other_corner_triples(pool.at, pool.quality, pool.used, max_other_corners)
            : form_local_triples(pool.at, pool.quality, pool.used, max_gated);
    for (const Triple &t : triples) {
        const std::size_t k[3] = {static_cast<std::size_t>(t.corner), static_cast<std::size_t>(t.along),
                                  static_cast<std::size_t>(t.down)};
        if (pool.used[k[0]] || pool.used[k[1]] || pool.used[k[2]])
            continue;
        // Formed again once symbols are read, a triple judged is passed by;
        // with another corner it is another triple.
        std::array<std::uint64_t, 3> sorted{k[0], k[1], k[2]};
        std::sort(sorted.begin(), sorted.end());
        // 0 for the corner facing the longest side, else 1 + the corner's
        // place among the three.
        std::uint64_t corner_at = 0;
        if (formation == Formation::other_corners)
            corner_at = 1 + static_cast<std::uint64_t>(std::find(sorted.begin(), sorted.end(), k[0]) - sorted.begin());
        if (!pool.judged.insert((corner_at << 60) | (sorted[0] << 40) | (sorted[1] << 20) | sorted[2]).second)
            continue;
        const int made = pool.synthetic[k[0]] + pool.synthetic[k[1]] + pool.synthetic[k[2]];
        if (made != (completing ? 1 : 0))
            continue;
        auto eyes = orient_eyes(pool.at[k[0]], pool.at[k[1]], pool.at[k[2]]);
        if (!eyes)
            continue;
        // The triple's contrast is that of its weakest eye pattern. Each eye
        // is outlined and judged in turn, and the first too weak settles it:
        // the others' work cannot matter.
        StandingEyes standing{std::move(*eyes), 1e9};
        for (int n = 0; n < 3 && !(standing.contrast < pool.min_contrast); ++n) {
            const std::size_t i = k[n];
            if (!pool.traced[i])
                pool.traced[i] = trace_eye(binary, {pool.at[i].x, pool.at[i].y}, pool.at[i].module);
            outline_eye(*pool.traced[i], standing.eyes, n);
            if (!pool.synthetic[i])
                standing.contrast = std::min(standing.contrast, eye_pattern_contrast(grey, standing.eyes, n));
        }
        if (standing.contrast < pool.min_contrast)
            continue;
        if (on(t, standing))
            return true;
    }
    return false;
}

} // namespace vantor::thorough
