// Sampling grid: module centres from eye and alignment pattern centres.
#pragma once

namespace vantor {

struct DecoderState;
struct Vec2f;

// Puts the picked eye patterns and every alignment pattern found into
// s.grid_points. False when a pattern is missing.
bool grid_build(DecoderState &s);
// Samples every module into s.module_matrix (and clears s.function_map).
// False when a module falls outside the image or memory runs out.
bool grid_sample(DecoderState &s);
// The work bitmap value under module (col, row), the pixel marked as
// sampled; -1 outside the image or without a grid.
int grid_module_value(DecoderState &s, int col, int row);
void grid_free(DecoderState &s);
// The image position of module (col, row) through the grid just built, the
// way the sampler places it (fractions allowed: (-0.5, -0.5) is the
// symbol's outer top-left corner). NaN when there is no grid.
Vec2f grid_module_centre(const DecoderState &s, float col, float row);

} // namespace vantor
