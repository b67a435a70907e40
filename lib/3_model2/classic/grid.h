// Sampling grid: module centres from eye and alignment pattern centres.
#pragma once

#include "state.h"

namespace vantor {

// For r.version, with the step vectors r.units: sets the matrix
// size and puts the picked eye patterns and every alignment pattern found
// in the pass's bitmap into r.grid_points. False when a pattern is missing.
bool grid_build(PassBuffers &s, const PickedEyes &eyes, ReadingResult &r, const TraceSink &sink);
// Samples every module of r's grid from the bitmap (marking each pixel
// read) into r.module_matrix (and clears r.function_map). False when a
// module falls outside the image or memory runs out.
bool grid_sample(PassBuffers &s, ReadingResult &r);
// The bitmap value under module (col, row) of r's grid, the pixel marked as
// sampled; -1 outside the image or without a grid.
int grid_module_value(PassBuffers &s, ReadingResult &r, int col, int row);
void grid_free(ReadingResult &r);
// The image position of module (col, row) through the grid just built, the
// way the sampler places it (fractions allowed: (-0.5, -0.5) is the
// symbol's outer top-left corner). NaN when there is no grid.
Vec2f grid_module_centre(const ReadingResult &r, float col, float row);

} // namespace vantor
