// Eye pattern candidates of a binarised image: 1:1:3:1:1 runs along rows,
// confirmed across the column and the row through their centre.
#pragma once

#include <vector>

#include "image.h"

namespace vantor::thorough {

// An eye (finder) pattern centre and its module size, in pixels. Positions
// are in pixel-index coordinates: the centre of pixel (i, j) is (i, j).
struct Candidate {
    float x = 0;
    float y = 0;
    float module = 0;
};

struct ScoredCandidate {
    Candidate at;
    int hits = 0; // row matches merged into it
};

// The candidates of the image, most hits first, at most `limit`, from every
// `row_step`th row.
std::vector<ScoredCandidate> scan_eyes(const Binary &binary, int limit, int row_step = 1);

// The 1:1:3:1:1 test on five run lengths: each run, and each outer dark run
// with its light neighbour, within its bounds as multiples of a module of
// (total / 7) pixels.
bool eye_ratios(const int (&runs)[5]);

} // namespace vantor::thorough
