// Eye pattern candidates of a binarised image: 1:1:3:1:1 runs along rows,
// confirmed across the column and the row through their centre.
#pragma once

#include <span>
#include <vector>

#include "image.h"

namespace vantor::thorough {

// An eye pattern centre and its module size, in pixels. Positions
// are in pixel-index coordinates: the centre of pixel (i, j) is (i, j).
struct Candidate {
    float x = 0;
    float y = 0;
    float module = 0;
    bool operator==(const Candidate &) const = default;
};

struct ScoredCandidate {
    Candidate at;
    int hits = 0; // row matches merged into it
};

// A confirmed 1:1:3:1:1 match on one scanned row: the pattern's centre and
// module size, and the row that found it.
struct RowMatch {
    float x = 0;
    float y = 0;
    float module = 0;
    int row = 0;
};

// The matches of every `row_step`th row, in scan order.
std::vector<RowMatch> row_matches(const Binary &binary, int row_step = 1);

// The matches of every row where the even rows' matches `even` (as
// row_matches(binary, 2) gives them) show something: odd rows are scanned
// only near those, far enough that every match of a candidate an even row
// found is found. An eye pattern's 3-module centre spans an even row; odd
// rows alone hold only candidates too small to read.
std::vector<RowMatch> row_matches_near(const Binary &binary, std::span<const RowMatch> even);

// The matches of every row, the even rows' `even` completed with the odd
// rows' scanned whole: exactly row_matches(binary).
std::vector<RowMatch> row_matches_completed(const Binary &binary, std::span<const RowMatch> even);

// The candidates that the matches of every `row_step`th row (of an image
// `width` x `height`) merge into, most hits first, at most `limit`: merging
// the matches of a scan of every row with a larger step gives exactly what a
// scan with that step gives.
std::vector<ScoredCandidate> merge_matches(std::span<const RowMatch> matches, int width, int height, int limit,
                                           int row_step = 1);

// The candidates of the image, most hits first, at most `limit`, from every
// `row_step`th row.
std::vector<ScoredCandidate> scan_eyes(const Binary &binary, int limit, int row_step = 1);

// The 1:1:3:1:1 test on five run lengths: each run, and each outer dark run
// with its light neighbour, within its bounds as multiples of a module of
// (total / 7) pixels.
bool eye_ratios(const int (&runs)[5]);

} // namespace vantor::thorough
