// The rMQR function patterns.
#include "patterns.h"

#include <algorithm>

#include "symbols.h"

namespace vantor::rmqr {
namespace {

bool in_box(int col, int row, int col0, int row0, int cols, int rows) {
    return col >= col0 && col < col0 + cols && row >= row0 && row < row0 + rows;
}

// Dark on the outer ring and the centre of a square pattern whose rings are
// counted from its edge.
bool ring_dark(int ring) { return ring != 1; }

} // namespace

bool format_module(int h, int w, int col, int row) {
    return in_box(col, row, 8, 1, 3, 5) || in_box(col, row, 11, 1, 1, 3) || in_box(col, row, w - 8, h - 6, 3, 5) ||
           in_box(col, row, w - 5, h - 6, 3, 1);
}

bool function_module(int h, int w, int col, int row) {
    if (row == 0 || row == h - 1 || col == 0 || col == w - 1)
        return true; // timing patterns, corner eyes, eye and sub-eye edges
    if (in_box(col, row, 0, 0, 8, 8) || in_box(col, row, w - 5, h - 5, 5, 5) || format_module(h, w, col, row))
        return true; // eye with separator, sub-eye, format information
    if ((col == w - 2 && row == 1) || (col == 1 && row == h - 2))
        return true; // the corner eye patterns' inner modules
    for (const int x : alignment_columns(w))
        if (col == x || (col >= x - 1 && col <= x + 1 && (row <= 2 || row >= h - 3)))
            return true; // alignment patterns and the timing column between them
    return false;
}

bool function_dark(int h, int w, int col, int row) {
    if (col <= 6 && row <= 6)
        return ring_dark(std::min(std::min(col, row), std::min(6 - col, 6 - row)));
    if (col <= 7 && row <= 7)
        return false; // separator
    if (col >= w - 5 && row >= h - 5)
        return ring_dark(std::min(std::min(col - (w - 5), row - (h - 5)), std::min(w - 1 - col, h - 1 - row)));
    // Corner eye patterns: at the top right and bottom left, the timing
    // patterns turn the corner with one extra dark module each way.
    if ((col == w - 2 && row == 0) || (col == w - 1 && row == 1) || (col == 1 && row == h - 1) ||
        (col == 0 && row == h - 2))
        return true;
    if ((col == w - 2 && row == 1) || (col == 1 && row == h - 2))
        return false;
    for (const int x : alignment_columns(w))
        if (col >= x - 1 && col <= x + 1 && (row <= 2 || row >= h - 3)) {
            const int centre_row = row <= 2 ? 1 : h - 2;
            return col != x || row != centre_row;
        }
    if (row == 0 || row == h - 1)
        return col % 2 == 0;
    return row % 2 == 0; // edge columns and alignment columns
}

} // namespace vantor::rmqr
