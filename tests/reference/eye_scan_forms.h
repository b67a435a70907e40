// The plain forms of the eye pattern scan, kept as the reference the
// library's fast form must match exactly: the ratio test worked in floats
// for each five runs, walks that check every pixel against the picture's
// edges, and a row's runs found pixel by pixel.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "2_image/eye_scan.h"
#include "2_image/image.h"

namespace reference::eyes {

using vantor::thorough::Binary;
using vantor::thorough::RowMatch;
using vantor::thorough::ScoredCandidate;

// Five runs centred on (x, y) along the direction (dx, dy): the centre dark
// run, then light and dark runs out to each side, none longer than `limit`.
// False when a run is missing or too long.
inline bool runs_through(const Binary &b, int x, int y, int dx, int dy, int limit, int (&runs)[5], float &centre) {
    auto inside = [&](int px, int py) { return px >= 0 && py >= 0 && px < b.width() && py < b.height(); };
    if (!inside(x, y) || !b.dark(x, y))
        return false;
    int back[3] = {0, 0, 0}, fore[3] = {0, 0, 0};
    for (int side = 0; side < 2; ++side) {
        int(&count)[3] = side == 0 ? back : fore;
        const int sx = side == 0 ? -dx : dx, sy = side == 0 ? -dy : dy;
        int px = x + (side == 0 ? 0 : sx), py = y + (side == 0 ? 0 : sy);
        for (int k = 0; k < 3; ++k) {
            const bool want_dark = k != 1;
            while (inside(px, py) && b.dark(px, py) == want_dark && count[k] <= limit) {
                ++count[k];
                px += sx;
                py += sy;
            }
            // The centre run may end at the centre pixel on the far side.
            if ((count[k] == 0 && !(side == 1 && k == 0)) || count[k] > limit)
                return false;
        }
    }
    runs[0] = back[2];
    runs[1] = back[1];
    runs[2] = back[0] + fore[0];
    runs[3] = fore[1];
    runs[4] = fore[2];
    // The centre run spans from (pos - back[0] + 1) to (pos + fore[0]).
    const int pos = dx ? x : y;
    centre = static_cast<float>(pos - back[0] + 1 + pos + fore[0]) / 2.0f;
    return true;
}

// The run starts of row y from its first dark pixel, and its width after
// them, pixel by pixel.
inline void row_starts(const Binary &b, int y, std::vector<int> &starts) {
    starts.clear();
    bool before = false;
    for (int x = 0; x < b.width(); ++x) {
        if (b.dark(x, y) != before)
            starts.push_back(x);
        before = b.dark(x, y);
    }
    starts.push_back(b.width());
}

inline int total(const int (&runs)[5]) { return runs[0] + runs[1] + runs[2] + runs[3] + runs[4]; }

inline bool eye_ratios(const int (&runs)[5]) {
    const int sum = total(runs);
    if (sum < 7)
        return false;
    const float m = sum / 7.0f;
    // Blur and thresholds thicken one colour at the other's cost, so single
    // runs may stray far; a dark run and its light neighbour stay near two
    // modules together.
    // The centre run, which in texture is seldom long enough, is tested
    // first and ends most tests; the other bounds are tested without a
    // branch: in texture none of them is predictable.
    auto within = [&](float v, float lo, float hi) { return (v >= lo * m) & (v <= hi * m); };
    if (!within(runs[2], 1.8f, 4.2f))
        return false;
    return within(runs[0], 0.4f, 1.8f) & within(runs[4], 0.4f, 1.8f) & within(runs[1], 0.3f, 1.6f) &
           within(runs[3], 0.3f, 1.6f) & within(runs[0] + runs[1], 1.3f, 2.7f) &
           within(runs[3] + runs[4], 1.3f, 2.7f);
}

// The row matches of every `row_step`th row, in scan order.
inline std::vector<RowMatch> row_matches(const Binary &b, int row_step) {
    std::vector<RowMatch> matches;
    std::vector<int> starts;
    for (int y = 0; y < b.height(); y += std::max(1, row_step)) {
        // Runs of the row from its first dark pixel, alternately dark and
        // light; run k covers starts[k] .. starts[k + 1] - 1.
        row_starts(b, y, starts);
        // starts[0] begins a dark run; dark runs are at even indices.
        for (std::size_t i = 0; i + 5 < starts.size(); i += 2) {
            int row_runs[5];
            for (int k = 0; k < 5; ++k)
                row_runs[k] = starts[i + k + 1] - starts[i + k];
            if (!eye_ratios(row_runs))
                continue;
            const int row_total = total(row_runs);
            const int cx = (starts[i + 2] + starts[i + 3] - 1) / 2;
            // Lines through the centre in any direction cross the rings in
            // the same ratios; structures in data rarely pass two more. A
            // scratch across the pattern may spoil one of them.
            int col_runs[5];
            float cy = static_cast<float>(y);
            const bool vertical = runs_through(b, cx, y, 0, 1, row_total, col_runs, cy) && eye_ratios(col_runs) &&
                                  2 * total(col_runs) >= row_total && 2 * row_total >= total(col_runs);
            const int iy = static_cast<int>(cy);
            int cross_runs[5];
            float fx = static_cast<float>(cx);
            int across = row_total;
            if (vertical && runs_through(b, cx, iy, 1, 0, 2 * row_total, cross_runs, fx) && eye_ratios(cross_runs))
                across = total(cross_runs);
            else
                fx = static_cast<float>(cx);
            const int fxi = static_cast<int>(fx);
            int diagonal_runs[5];
            float unused = 0;
            // Two of the column and the diagonals must pass: the second
            // diagonal is looked at only when it decides.
            int passed = vertical;
            for (int dy : {1, -1})
                if (passed == 1 || (passed == 0 && dy == 1))
                    passed += runs_through(b, fxi, iy, 1, dy, 2 * row_total, diagonal_runs, unused) &&
                              eye_ratios(diagonal_runs);
            if (passed < 2)
                continue;
            const float module = (across + (vertical ? total(col_runs) : across)) / 14.0f;
            matches.push_back({fx, cy, module, y});
        }
    }
    return matches;
}

// The plain scan: its row matches through the library's merge, which the
// fast forms leave as it is.
inline std::vector<ScoredCandidate> scan_eyes(const Binary &b, int limit, int row_step) {
    return vantor::thorough::merge_matches(reference::eyes::row_matches(b, row_step), b.width(), b.height(), limit,
                                           row_step);
}

} // namespace reference::eyes
