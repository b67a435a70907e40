// The plain forms of the search's grey sampling, kept as the reference the
// library's fast forms must match exactly: bilinear grey with every
// coordinate held at the border, and an eye pattern's contrast from 7 x 7
// such samples.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "2_image/alignment.h"
#include "2_image/image.h"

namespace reference::sampling {

using vantor::thorough::EyeContrast;
using vantor::thorough::GreyView;
using vantor::Position;

inline float bilinear(const GreyView &g, float x, float y) {
    if (!(x > -0.5f && y > -0.5f && x < g.width - 0.5f && y < g.height - 0.5f))
        return -1;
    const float cx = std::clamp(x, 0.0f, static_cast<float>(g.width - 1));
    const float cy = std::clamp(y, 0.0f, static_cast<float>(g.height - 1));
    const int x0 = std::min(static_cast<int>(cx), g.width - 1), y0 = std::min(static_cast<int>(cy), g.height - 1);
    const int x1 = std::min(x0 + 1, g.width - 1), y1 = std::min(y0 + 1, g.height - 1);
    const float fx = cx - x0, fy = cy - y0;
    const float top = g.at(x0, y0) + (g.at(x1, y0) - g.at(x0, y0)) * fx;
    const float bottom = g.at(x0, y1) + (g.at(x1, y1) - g.at(x0, y1)) * fx;
    return top + (bottom - top) * fy;
}

// Light ring (ring 2) minus the dark modules (rings 0, 1 and 3), and that
// over the pooled standard deviation of the two kinds; zero off the image.
inline EyeContrast eye_contrast(const GreyView &g, Position centre, Position x_step, Position y_step) {
    double sum[2] = {0, 0}, squares[2] = {0, 0};
    int count[2] = {0, 0};
    for (int j = -3; j <= 3; ++j)
        for (int i = -3; i <= 3; ++i) {
            const Position p{centre.x + i * x_step.x + j * y_step.x, centre.y + i * x_step.y + j * y_step.y};
            const float value = bilinear(g, static_cast<float>(p.x), static_cast<float>(p.y));
            if (value < 0)
                return {};
            const int light = std::max(std::abs(i), std::abs(j)) == 2;
            sum[light] += value;
            squares[light] += static_cast<double>(value) * value;
            ++count[light];
        }
    double variance = 0;
    for (int k = 0; k < 2; ++k)
        variance += squares[k] / count[k] - (sum[k] / count[k]) * (sum[k] / count[k]);
    const double spread = std::sqrt(std::max(0.0, variance / 2));
    const double s = sum[1] / count[1] - sum[0] / count[0];
    return {s, spread > 0 ? s / spread : (s > 0 ? 1e9 : 0)};
}

} // namespace reference::sampling
