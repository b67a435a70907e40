// The outer square of an eye pattern: where its outer dark ring meets the
// light around it, traced along rays from its centre and fitted with four
// lines.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <vector>

#include "image.h"
#include "projective.h"

namespace vantor::thorough {

// The points where rays from the centre of an eye pattern with modules of
// about `module` pixels leave its outer dark ring (the third change of
// colour); rays that find no such point give none.
std::vector<Position> trace_eye(const Binary &binary, Position centre, double module);

// The outline fitted to traced points: its corners in the order top-left,
// top-right, bottom-right, bottom-left of the pattern, "right" along row_dir
// and "down" along col_dir (unit vectors of the symbol's rows and columns
// near the pattern). Nothing when the points do not make a square of about
// the right size.
std::optional<std::array<Position, 4>> fit_outline(std::span<const Position> traced, Position centre, Position row_dir,
                                                Position col_dir, double module);

} // namespace vantor::thorough
