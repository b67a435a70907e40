// Template matching in module space: a coarse scan of the search square in
// half-module steps, then a fine one around the best.
#include "alignment.h"

#include <array>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <vector>

namespace vantor::thorough {
namespace {

// Light minus dark of the concentric pattern with `reach` rings (2: the
// alignment pattern; 3: an eye pattern, whose dark centre is 3x3) whose
// modules' greys are `values`, row by row; NaN when one is off the image
// (negative). `spread` gets the pooled standard deviation of the two kinds
// of module.
template <int reach>
double ring_of(const float *values, double *spread) {
    static_assert(reach == 2 || reach == 3);
    double sum[2] = {0, 0}, squares[2] = {0, 0};
    int count[2] = {0, 0};
    // Unrolled, each module's ring is known where it is summed.
#pragma GCC unroll 7
    for (int j = -reach; j <= reach; ++j)
#pragma GCC unroll 7
        for (int i = -reach; i <= reach; ++i) {
            const float value = *values++;
            if (value < 0)
                return NAN;
            const int ring = std::max(std::abs(i), std::abs(j));
            // Alignment: rings 0 and 2 dark. Eye: rings 0, 1 and 3 dark.
            const int light = reach == 2 ? ring == 1 : ring == 2;
            sum[light] += value;
            squares[light] += static_cast<double>(value) * value;
            ++count[light];
        }
    if (spread) {
        double variance = 0;
        for (int k = 0; k < 2; ++k)
            variance += squares[k] / count[k] - (sum[k] / count[k]) * (sum[k] / count[k]);
        *spread = std::sqrt(std::max(0.0, variance / 2));
    }
    return sum[1] / count[1] - sum[0] / count[0];
}

// ring_of the modules whose (i, j) lies at place(i, j), grey sample(x, y).
template <int reach, class Sample, class Place>
double ring_score(Sample sample, Place place, double *spread = nullptr) {
    float values[(2 * reach + 1) * (2 * reach + 1)];
    int n = 0;
    for (int j = -reach; j <= reach; ++j)
        for (int i = -reach; i <= reach; ++i) {
            const Position p = place(i, j);
            values[n++] = sample(static_cast<float>(p.x), static_cast<float>(p.y));
        }
    return ring_of<reach>(values, spread);
}

template <int reach>
double ring_score(const GreyView &grey, const Projective &g, double u, double v) {
    return ring_score<reach>([&](float x, float y) { return grey.bilinear(x, y); },
                             [&](int i, int j) { return g.map(u + i, v + j); });
}

} // namespace

std::optional<AlignmentHit> find_alignment(const GreyView &grey, const Projective &guess, Position expected,
                                           double radius, double min_score) {
    double best = -1e9;
    Position at = expected;
    const int steps = static_cast<int>(std::ceil(radius / 0.5));
    // The coarse places lie half a module apart and each samples the whole
    // modules around it: every sample lies on one lattice of half modules
    // round `expected`, taken once. With `expected` a module centre the
    // lattice's points are exactly the places' samples.
    constexpr int reach = 2;
    const int margin = steps + 2 * reach, side = 2 * margin + 1;
    std::vector<float> lattice(static_cast<std::size_t>(side) * static_cast<std::size_t>(side));
    for (int ly = 0; ly < side; ++ly)
        for (int lx = 0; lx < side; ++lx) {
            const Position p = guess.map(expected.x + (lx - margin) * 0.5, expected.y + (ly - margin) * 0.5);
            lattice[static_cast<std::size_t>(ly) * static_cast<std::size_t>(side) + static_cast<std::size_t>(lx)] =
                grey.bilinear(static_cast<float>(p.x), static_cast<float>(p.y));
        }
    for (int sy = -steps; sy <= steps; ++sy)
        for (int sx = -steps; sx <= steps; ++sx) {
            const double u = expected.x + sx * 0.5, v = expected.y + sy * 0.5;
            // Module (i, j) of the place is lattice point (sx + 2i, sy + 2j).
            const double s = ring_score<reach>(
                [&](float lx, float ly) {
                    return lattice[static_cast<std::size_t>(ly) * static_cast<std::size_t>(side) +
                                   static_cast<std::size_t>(lx)];
                },
                [&](int i, int j) { return Position{static_cast<double>(sx + 2 * i + margin), static_cast<double>(sy + 2 * j + margin)}; });
            // Nearer the prediction wins a tie.
            if (s > best + 1e-9 || (std::fabs(s - best) <= 1e-9 && std::hypot(u - expected.x, v - expected.y) <
                                                                     std::hypot(at.x - expected.x, at.y - expected.y))) {
                best = s;
                at = {u, v};
            }
        }
    if (!(best >= min_score * 0.6))
        return std::nullopt;
    const Position coarse = at;
    for (int sy = -4; sy <= 4; ++sy)
        for (int sx = -4; sx <= 4; ++sx) {
            const double u = coarse.x + sx * 0.125, v = coarse.y + sy * 0.125;
            const double s = ring_score<2>(grey, guess, u, v);
            if (s > best) {
                best = s;
                at = {u, v};
            }
        }
    if (!(best >= min_score))
        return std::nullopt;
    return AlignmentHit{at, guess.map(at), best};
}

EyeContrast eye_contrast(const GreyView &grey, Position centre, Position x_step, Position y_step) {
    constexpr int reach = 3;
    auto place = [&](int i, int j) {
        return Position{centre.x + i * x_step.x + j * y_step.x, centre.y + i * x_step.y + j * y_step.y};
    };
    // The grid's corners bound its samples; with them a pixel inside the
    // image (far beyond any rounding), no sample needs holding at the border.
    bool inside = true;
    for (int j : {-reach, reach})
        for (int i : {-reach, reach}) {
            const Position p = place(i, j);
            inside = inside && p.x >= 1 && p.y >= 1 && p.x <= grey.width - 2 && p.y <= grey.height - 2;
        }
    double spread = 0;
    double s;
    if (inside) {
        // Four samples at a time, placed as `place` places them; the last
        // group repeats the last place.
        constexpr int n = (2 * reach + 1) * (2 * reach + 1), padded = (n + 3) / 4 * 4;
        static constexpr auto offsets = [] {
            std::array<std::array<double, padded>, 2> ij{};
            for (int k = 0; k < padded; ++k) {
                ij[0][k] = std::min(k, n - 1) % (2 * reach + 1) - reach;
                ij[1][k] = std::min(k, n - 1) / (2 * reach + 1) - reach;
            }
            return ij;
        }();
        float values[padded];
        for (int k = 0; k < padded; k += 4) {
            Doubles4 i, j;
            std::memcpy(&i, offsets[0].data() + k, sizeof i);
            std::memcpy(&j, offsets[1].data() + k, sizeof j);
            const Floats4 v = grey.bilinear_inside4(centre.x + i * x_step.x + j * y_step.x,
                                                    centre.y + i * x_step.y + j * y_step.y);
            std::memcpy(values + k, &v, sizeof v);
        }
        s = ring_of<reach>(values, &spread);
    } else
        s = ring_score<reach>([&](float x, float y) { return grey.bilinear(x, y); }, place, &spread);
    if (std::isnan(s))
        return {};
    return {s, spread > 0 ? s / spread : (s > 0 ? 1e9 : 0)};
}

} // namespace vantor::thorough
