// The known-module score of a module grid, and the climb on it.
#include "known_fit.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace vantor::lone_eyes {
namespace {

constexpr double edge_point = 0.35; // modules from a module's centre that the score samples

} // namespace

double known_fit(const thorough::GreyView &grey, const thorough::Binary &binary, std::span<const KnownModule> known,
                 FunctionRef<Position(double, double)> map) {
    constexpr double offsets[4][2] = {{-edge_point, 0}, {edge_point, 0}, {0, -edge_point}, {0, edge_point}};
    double score = 0;
    for (const KnownModule &k : known) {
        const Position centre = map(k.col, k.row);
        const float threshold = static_cast<float>(binary.threshold(static_cast<float>(centre.x), static_cast<float>(centre.y)));
        for (const auto &o : offsets) {
            const Position p = map(k.col + o[0], k.row + o[1]);
            const float g = grey.bilinear(static_cast<float>(p.x), static_cast<float>(p.y));
            if (g < 0)
                continue;
            score += k.dark ? threshold - g : g - threshold;
        }
    }
    return score;
}

void climb(std::span<Position> points, std::span<const unsigned> moves, double module, int rounds,
           FunctionRef<double()> score) {
    // A move names its points by the bits of an unsigned.
    constexpr std::size_t most_points = 32;
    if (points.size() > most_points)
        return;
    std::array<Position, most_points> before;
    double best = score();
    for (double step = 0.5 * module; step >= 0.06 * module; step /= 2)
        for (int round = 0; round < rounds; ++round) {
            bool moved = false;
            for (const unsigned move : moves)
                for (int axis = 0; axis < 2; ++axis)
                    for (const double d : {step, -step}) {
                        std::copy(points.begin(), points.end(), before.begin());
                        for (std::size_t k = 0; k < points.size(); ++k)
                            if (move >> k & 1u)
                                (axis == 0 ? points[k].x : points[k].y) += d;
                        const double s = score();
                        if (s > best) {
                            best = s;
                            moved = true;
                        } else {
                            std::copy(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(points.size()),
                                      points.begin());
                        }
                    }
            if (!moved)
                break;
        }
}

} // namespace vantor::lone_eyes
