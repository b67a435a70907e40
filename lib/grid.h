// Sampling grid: module centres from eye and alignment pattern centres.
#pragma once

#include <span>

namespace vantor {

struct DecoderState;
struct Vec2f;

int grid_build(DecoderState &s);
int grid_sample(DecoderState &s);
int grid_module_value(DecoderState &s, int col, int row);
void grid_free(DecoderState &s);
// The image position of module (col, row) through the grid just built, the
// way the sampler places it (fractions allowed: (-0.5, -0.5) is the
// symbol's outer top-left corner). NaN when there is no grid.
Vec2f grid_module_centre(const DecoderState &s, float col, float row);
// The version's alignment pattern centre coordinates, padded with 0.
std::span<const int, 7> alignment_coords(int version);

} // namespace vantor
