// Eye pattern triples that could be the three corners of one symbol.
#pragma once

#include <span>
#include <vector>

#include "2_image/eye_scan.h"

namespace vantor::thorough {

// Indices into the candidates, oriented as the symbol appears: the corner
// eye, the eye along its rows and the eye down its columns (for a mirrored
// symbol, along and down are its own down and along).
struct Triple {
    int corner = 0;
    int along = 0;
    int down = 0;
    double score = 0; // smaller is better
};

// The triples that pass the geometric gates, best first, at most `limit`:
// similar module sizes, legs of similar length at near a right angle, and a
// module count between the smallest and the largest symbol. `quality`
// (0..1] weighs each candidate: the share of the scan lines through its
// centre that found it. Candidates marked in `used` take no part.
std::vector<Triple> form_triples(std::span<const Candidate> candidates, std::span<const double> quality,
                                 std::span<const int> used, int limit);

// The same candidates' triples with either of the other two as the corner,
// best first, at most `limit`, the corner angle down to 41 degrees: a
// symbol sheared or seen at a steep slant may face its corner eye pattern
// to a side shorter than another, so that the corner facing the longest
// side is the wrong one.
std::vector<Triple> form_other_corner_triples(std::span<const Candidate> candidates, std::span<const double> quality,
                                              std::span<const int> used, int limit);

// The triples of form_triples formed locally, at most `limit`: each candidate with
// two of its nearest of like module size, two kept in each of eight
// directions, so that a picture of many symbols costs in proportion to its
// candidates, and the eye patterns of one symbol, which lie near each
// other, are not crowded out by its neighbours' or by decoys in its data.
std::vector<Triple> form_local_triples(std::span<const Candidate> candidates, std::span<const double> quality,
                                       std::span<const int> used, int limit);

// The modules across a symbol that a triple's legs may measure: version 1
// seen 30% smaller to version 40 seen 30% larger.
constexpr double min_modules_across = 21 * 0.7, max_modules_across = 177 * 1.3;

// Modules across the symbol that the legs of the triple measure, from its
// eye pattern centres and module sizes.
double modules_across(const Candidate &corner, const Candidate &along, const Candidate &down);

} // namespace vantor::thorough
