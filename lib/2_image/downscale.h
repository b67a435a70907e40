// Area-average downscaling: a copy of a grey picture a whole factor smaller,
// each of its pixels the mean of the factor x factor pixels it covers. Large
// modules become ordinary ones, which the binarisations and eye pattern
// scans are made for.
#pragma once

#include <cstdint>
#include <vector>

#include "image.h"

namespace vantor::thorough {

struct Downscaled {
    std::vector<std::uint8_t> pixels; // rows `width` apart
    int width = 0;
    int height = 0;
    int factor = 0; // pixels of the source per pixel of the copy, each way

    GreyView view() const { return GreyView{pixels.data(), width, height, width, false}; }
};

// A column of a block sums to at most 255 * max_factor, within 16 bits.
constexpr int max_factor = 256;

// `grey` shrunk by `factor` (1 to max_factor) each way, as it looks (an inverted
// view gives the inverted copy). The copy's pixel (i, j) covers the source
// pixels [i * factor, (i + 1) * factor) x [j * factor, (j + 1) * factor);
// the source's last rows and columns that fill no whole block are dropped.
// Empty when the copy would have no pixel.
Downscaled downscale(const GreyView &grey, int factor);

} // namespace vantor::thorough
