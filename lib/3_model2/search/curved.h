// Grids of a symbol wrapped round a cylinder (a bottle, a can). Its modules
// crowd towards the sides the cylinder turns away, as the sine of their
// angle round it, and its rows (or columns) bow where the middle stands
// nearer the camera: no projective map follows that, so a triple whose eyes
// and format read well may still give no grid whose data reads.
#pragma once

#include <span>
#include <vector>

#include "2_image/image.h"
#include "2_image/sampling.h"
#include "grids.h"

namespace vantor::thorough {

// The versions a bent symbol measuring `across` modules between its eyes
// may be, largest first.
std::vector<int> bent_versions(double across);

// Grids bent round a cylinder whose axis runs down the symbol's columns or
// along its rows, for the versions: the bends fitted to the eyes whose
// format information reads alike in both copies (and, from version 7,
// whose version information names the version), best fitting first, each
// settled on the modules every symbol of its size shares (the timing
// patterns place the columns or rows between the eyes, the alignment
// patterns the far corner). None when no bend fits better than flat. At
// most `most`; a triple whose bends are climbed takes one from `budget`,
// and none are made when it is spent.
std::vector<Grid> curved_grids(const GreyView &grey, const Binary &binary, const Eyes &eyes,
                               std::span<const int> versions, int most, int &budget);

} // namespace vantor::thorough
