// The known-module score of a module grid.
#include "known_fit.h"

namespace vantor::single_finder {
namespace {

constexpr double edge_point = 0.35; // modules from a module's centre that the score samples

} // namespace

double known_fit(const thorough::GreyView &grey, const thorough::Binary &binary, std::span<const KnownModule> known,
                 FunctionRef<thorough::Point(double, double)> map) {
    constexpr double offsets[4][2] = {{-edge_point, 0}, {edge_point, 0}, {0, -edge_point}, {0, edge_point}};
    double score = 0;
    for (const KnownModule &k : known) {
        const thorough::Point centre = map(k.col, k.row);
        const float threshold = static_cast<float>(binary.threshold(static_cast<float>(centre.x), static_cast<float>(centre.y)));
        for (const auto &o : offsets) {
            const thorough::Point p = map(k.col + o[0], k.row + o[1]);
            const float g = grey.bilinear(static_cast<float>(p.x), static_cast<float>(p.y));
            if (g < 0)
                continue;
            score += k.dark ? threshold - g : g - threshold;
        }
    }
    return score;
}

} // namespace vantor::single_finder
