// A screen's pixel grid. A symbol photographed off a screen shows the dark
// gaps between the screen's pixels as thin lines across every light module;
// where they are a pixel or two wide and a few apart, the binarisations
// break the light rings of the eye patterns into stripes and no scan sees
// their 1:1:3:1:1 runs. A copy with the thin lines filled in reads as print.
#pragma once

#include <cstdint>
#include <vector>

#include "image.h"

namespace vantor::thorough {

// Whether the picture is crossed by a fine grid of thin dark lines: on every
// `grid_line_step`-th row, at least `min_grid_share` of the pixels lie in a
// dip at most two pixels wide and `grid_dip` levels below the lighter
// pixels on either side, along the row or across it, and along those lines
// the dips recur at some pitch of 3 to 16 pixels `min_grid_lift` times as
// often as at random. Print, scenes and texture show a few per cent of such
// dips; a screen's grid at a pitch of a few pixels a tenth to a third, and
// dense noise as many, but strewn.
constexpr int grid_line_step = 8;
constexpr int grid_dip = 32;
constexpr double min_grid_share = 0.1;
constexpr double min_grid_lift = 1.4;
bool shows_fine_grid(const GreyView &grey);

// The picture (as it looks) with every dark feature at most two pixels wide
// filled in: each pixel the least, over the 3 x 3 pixels around it, of the
// greatest over the 3 x 3 around each of those (a grey closing), held at the
// border; rows `width` apart. Dark modules wider than that keep their edges.
std::vector<std::uint8_t> grid_filled(const GreyView &grey);

} // namespace vantor::thorough
