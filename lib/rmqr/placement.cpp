// rMQR codeword placement: as Model 2's, without a timing column to step
// over, since the left and right edge columns are function patterns whole.
#include "placement.h"

#include "../unmask.h"

namespace vantor::rmqr {
namespace {

// The rMQR mask is Model 2's condition 4.
constexpr int model2_condition = 4;

bool in_box(int col, int row, int col0, int row0, int cols, int rows) {
    return col >= col0 && col < col0 + cols && row >= row0 && row < row0 + rows;
}

} // namespace

bool function_module(int h, int w, int col, int row) {
    if (row == 0 || row == h - 1 || col == 0 || col == w - 1)
        return true; // timing patterns, corner finders, finder and sub-finder edges
    if (in_box(col, row, 0, 0, 8, 8))
        return true; // finder and separator
    if (in_box(col, row, 8, 1, 3, 5) || in_box(col, row, 11, 1, 1, 3))
        return true; // format information beside the finder
    if (in_box(col, row, w - 5, h - 5, 5, 5))
        return true; // sub-finder
    if (in_box(col, row, w - 8, h - 6, 3, 5) || in_box(col, row, w - 5, h - 6, 3, 1))
        return true; // format information beside the sub-finder
    if ((col == w - 2 && row == 1) || (col == 1 && row == h - 2))
        return true; // corner finder patterns' inner modules
    for (const int x : alignment_columns(w))
        if (col == x || (col >= x - 1 && col <= x + 1 && (row <= 2 || row >= h - 3)))
            return true; // alignment patterns and the timing column between them
    return false;
}

bool mask_inverts(int col, int row) { return mask_holds(model2_condition, row, col); }

std::vector<std::uint8_t> read_codewords(const Matrix &m, const SizeSpec &spec) {
    const int w = spec.width, h = spec.height;
    if (!m.valid() || m.width != w || m.height != h)
        return {};
    std::vector<std::uint8_t> words(static_cast<std::size_t>(spec.codewords), 0);
    std::size_t word = 0;
    int bit = 0;
    bool upward = true;
    for (int right = w - 2; right >= 1 && word < words.size(); right -= 2, upward = !upward)
        for (int step = 0; step < h && word < words.size(); ++step) {
            const int row = upward ? h - 1 - step : step;
            for (int col = right; col > right - 2 && word < words.size(); --col) {
                if (function_module(h, w, col, row))
                    continue;
                const bool value = m.dark(col, row) != mask_inverts(col, row);
                words[word] = static_cast<std::uint8_t>(words[word] | (value << (7 - bit)));
                if (++bit == 8) {
                    bit = 0;
                    ++word;
                }
            }
        }
    if (word != words.size())
        return {};
    return words;
}

} // namespace vantor::rmqr
