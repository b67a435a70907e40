// Refinement of the eye pattern candidates.
#pragma once

#include "state.h"

namespace vantor {

// Moves every candidate to the centroid of the dark region around its centre
// pixel and sets its size from the region's extent; drops the candidates
// whose centre pixel is light or outside the image (all of them, with a
// "malloc() failed." trace line, when memory runs out).
void refine_eyes(PassBuffers &s, const TraceSink &sink);
// Keeps, in order, the candidates with hits in both directions.
void drop_marked_eyes(PassBuffers &s);

} // namespace vantor
