// The order in which every square and rectangular kind places its codeword
// bits: two-module columns from the right edge leftwards, up and down in
// turn, the right module of a pair before the left. One column may be
// stepped over whole (Model 2's vertical timing pattern, rMQR's right edge).
#pragma once

namespace vantor {

// No column stepped over.
constexpr int no_skipped_column = -1;

// Visits each module of a width x height matrix in placement order, function
// modules included, until `visit(col, row)` returns false. Returns false
// when the visit stopped the walk, true when it ran through every module.
template <class Visit> bool walk_zigzag(int width, int height, int skipped_column, Visit &&visit) {
    bool upward = true;
    int right = width - 1;
    if (right == skipped_column)
        --right;
    for (; right >= 1; upward = !upward) {
        for (int step = 0; step < height; ++step) {
            const int row = upward ? height - 1 - step : step;
            if (!visit(right, row) || !visit(right - 1, row))
                return false;
        }
        right -= 2;
        if (right == skipped_column)
            --right;
    }
    return true;
}

} // namespace vantor
