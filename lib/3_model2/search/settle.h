// A module grid settled on the modules every symbol of its size shares: eye
// patterns with their separators, timing patterns, alignment patterns and
// the dark module. The eyes fix a symbol's grid well near them; a far corner
// that the lower-right alignment pattern placed a module or so off (a
// look-alike found nearby, a slant the eyes measure coarsely) leaves the
// timing patterns reading right and the data wrong.
#pragma once

#include <optional>
#include <vector>

#include "2_image/image.h"
#include "2_image/known_fit.h"
#include "2_image/sampling.h"

namespace vantor::thorough {

// The known modules of a Model 2 symbol of the version.
std::vector<lone_eyes::KnownModule> model2_known_modules(int version);

// The grid's four outer corners moved, one at a time, while the known
// modules fit better; one projective map over the whole symbol. Nothing
// when the grid is not one of a Model 2 size or the settled map folds.
std::optional<Grid> settled_grid(const GreyView &grey, const Binary &binary, const Grid &grid);

} // namespace vantor::thorough
