// Module grids (module space onto the image) and sampling a module matrix
// through one.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "1_base/module_matrix.h"
#include "1_base/symbol_read.h"
#include "image.h"
#include "projective.h"

namespace vantor::thorough {

// One projective map for the whole symbol, or one per cell between
// neighbouring alignment pattern centres (`cuts` in module coordinates,
// ascending; cells (cuts.size() - 1)^2, row-major; modules beyond the first
// and last cut belong to the outer cells).
struct Grid {
    int size = 0;
    Projective whole;
    std::vector<double> cuts;
    std::vector<Projective> cells;

    Position map(double col, double row) const;
};

// A symbol read through a grid, at the grid's outer corners: a mirrored
// symbol's own upper-right corner is the one seen at the lower left.
Located located_on(SymbolRead &&read, SymbolKind kind, const Grid &grid, bool inverted);

enum class Threshold {
    blocks,        // the binarisation's threshold under the module
    module_window, // the mean grey of the 7x7 modules around it
    sharpened,     // as module_window, each grey first pushed away from
                   // the mean of its four neighbours (undoes some blur)
};

// Each module's grey (several points for modules of 3 px and more, one
// bilinear point below), judged against the threshold. Nothing when a
// module centre lies outside the image.
std::optional<ModuleMatrix> sample(const GreyView &grey, const Binary &binary, const Grid &grid, Threshold threshold);
// sample in two steps, for a grid judged against several thresholds: the
// module greys (row after row; nothing when a module centre lies outside),
// then the modules they give against a threshold.
std::optional<std::vector<float>> module_greys(const GreyView &grey, const Grid &grid);
ModuleMatrix judge_modules(const std::vector<float> &greys, const Binary &binary, const Grid &grid,
                           Threshold threshold);

// A module's column and row.
struct ModuleAt {
    int col, row;
};

// The modules `wanted` as sample judges them with Threshold::blocks, every
// other module light; nothing exactly when sample gives nothing. A few
// modules of a large grid cost a fraction of the whole.
std::optional<ModuleMatrix> sample_blocks_at(const GreyView &grey, const Binary &binary, const Grid &grid,
                                             std::span<const ModuleAt> wanted);

// Share of timing pattern modules (row and column 6 between the eye
// patterns) that alternate as they should, sampled through the grid; with a
// reach, only the modules within that many of an eye pattern.
double timing_agreement(const GreyView &grey, const Binary &binary, const Grid &grid, int reach = 0);

} // namespace vantor::thorough
