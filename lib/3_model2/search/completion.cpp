// Third eyes for pairs. Two eye patterns of a symbol are either the ends of
// a side (the third stands at a right angle from one end, on either side)
// or the ends of the diagonal (the third stands off its midpoint): six
// places. Around each, an eye pattern template turned with the pair is
// matched; a damaged pattern still matches most of its modules.
#include "completion.h"

#include <algorithm>
#include <cmath>

#include "2_image/alignment.h"

namespace vantor::thorough {
namespace {

constexpr int strongest = 10;         // candidates paired
constexpr double min_quality = 0.5;   // of a paired candidate
constexpr double max_size_ratio = 1.5;
constexpr double search_reach = 2.5;  // modules either side of a predicted place
constexpr double search_step = 0.5;   // modules
// A found pattern must stand out by this share of the pair's own contrast.
constexpr double contrast_share = 0.5;

struct Frame {
    Position row, col; // module steps along the symbol's rows and columns
};

double contrast_at(const GreyView &grey, Position at, const Frame &f) {
    return eye_contrast(grey, at, f.row, f.col).difference;
}

} // namespace

std::vector<Candidate> missing_eyes(const GreyView &grey, std::span<const Candidate> c, std::span<const double> quality,
                                    std::span<const int> used, int limit) {
    std::vector<int> strong;
    for (std::size_t i = 0; i < c.size(); ++i)
        if (!used[i] && quality[i] >= min_quality)
            strong.push_back(static_cast<int>(i));
    std::stable_sort(strong.begin(), strong.end(),
                     [&](int a, int b) { return quality[static_cast<std::size_t>(a)] > quality[static_cast<std::size_t>(b)]; });
    if (strong.size() > static_cast<std::size_t>(strongest))
        strong.resize(strongest);

    std::vector<Candidate> out;
    for (std::size_t i = 0; i < strong.size(); ++i)
        for (std::size_t j = i + 1; j < strong.size(); ++j) {
            const Candidate &a = c[static_cast<std::size_t>(strong[i])], &b = c[static_cast<std::size_t>(strong[j])];
            if (std::max(a.module, b.module) > max_size_ratio * std::min(a.module, b.module))
                continue;
            const double dx = b.x - a.x, dy = b.y - a.y, d = std::hypot(dx, dy);
            const double measured = (a.module + b.module) / 2;
            if (!(d > 0 && measured > 0))
                continue;
            for (int diagonal = 0; diagonal < 2; ++diagonal) {
                // The symbol's row direction: along the pair for a side, at
                // 45 degrees to it for the diagonal.
                const double turn = std::atan2(dy, dx) + (diagonal ? M_PI / 4 : 0);
                const double slant = std::max(std::fabs(std::cos(turn)), std::fabs(std::sin(turn)));
                const double m = measured * slant;
                const double across = d / m / (diagonal ? std::sqrt(2.0) : 1.0) + 7;
                if (across < 21 * 0.8 || across > 177 * 1.2)
                    continue;
                const Frame frame{{std::cos(turn) * m, std::sin(turn) * m}, {-std::sin(turn) * m, std::cos(turn) * m}};
                const double own = std::min(contrast_at(grey, {a.x, a.y}, frame), contrast_at(grey, {b.x, b.y}, frame));
                if (!(own > 0))
                    continue;
                std::vector<Position> places;
                const Position perp{-dy, dx};
                if (diagonal) {
                    for (int s : {1, -1})
                        places.push_back({(a.x + b.x) / 2 + s * perp.x / 2, (a.y + b.y) / 2 + s * perp.y / 2});
                } else {
                    for (const Candidate *base : {&a, &b})
                        for (int s : {1, -1})
                            places.push_back({base->x + s * perp.x, base->y + s * perp.y});
                }
                for (const Position &p : places) {
                    double best = -1e9;
                    Position at = p;
                    const int steps = static_cast<int>(search_reach / search_step);
                    for (int sy = -steps; sy <= steps; ++sy)
                        for (int sx = -steps; sx <= steps; ++sx) {
                            const Position q{p.x + (sx * frame.row.x + sy * frame.col.x) * search_step,
                                          p.y + (sx * frame.row.y + sy * frame.col.y) * search_step};
                            const double s = contrast_at(grey, q, frame);
                            if (s > best) {
                                best = s;
                                at = q;
                            }
                        }
                    if (best < contrast_share * own)
                        continue;
                    // A strong candidate there had its triples tried; a weak
                    // one may have failed the contrast test that a
                    // completed eye is spared.
                    bool known = std::any_of(out.begin(), out.end(), [&](const Candidate &o) {
                        return std::hypot(o.x - at.x, o.y - at.y) < 2 * measured;
                    });
                    for (std::size_t k = 0; k < c.size() && !known; ++k)
                        known = quality[k] >= min_quality && std::hypot(c[k].x - at.x, c[k].y - at.y) < 2 * measured;
                    if (known)
                        continue;
                    out.push_back({static_cast<float>(at.x), static_cast<float>(at.y), static_cast<float>(measured)});
                    if (static_cast<int>(out.size()) >= limit)
                        return out;
                }
            }
        }
    return out;
}

} // namespace vantor::thorough
