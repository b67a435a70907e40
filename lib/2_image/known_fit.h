// How well a module grid fits the modules whose colours a symbol's size
// fixes, and the climb both lone-eye locators make on that score when
// they fit a frame.
#pragma once

#include <span>

#include "1_base/function_ref.h"
#include "image.h"
#include "projective.h"

namespace vantor::lone_eyes {

// A module whose colour every symbol of a size shares, at its centre in
// module space.
struct KnownModule {
    double col;
    double row;
    bool dark;
};

// The grey below (dark) or above (light) the binarisation's threshold,
// summed over four points of each known module near its edges, with `map`
// taking module space into the picture: only a map that centres the
// modules fits best (at the centres alone, any map within a sharp module's
// width would fit as well). Points off the picture (a quiet zone cut off by
// its edge) count nothing.
double known_fit(const thorough::GreyView &grey, const thorough::Binary &binary, std::span<const KnownModule> known,
                 FunctionRef<Position(double, double)> map);

// The frame's points moved, a coordinate at a time, by each move in turn
// (a move shifts the points its bits name), while `score` of the points
// rises: in steps from half a module down to a sixteenth, each step for at
// most `rounds` passes. The eye's outline alone measures the far edges
// too coarsely; this settles them on the known modules.
void climb(std::span<Position> points, std::span<const unsigned> moves, double module, int rounds,
           FunctionRef<double()> score);

} // namespace vantor::lone_eyes
