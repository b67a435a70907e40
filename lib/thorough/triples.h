// Eye pattern triples that could be the three corners of one symbol.
#pragma once

#include <span>
#include <vector>

#include "finder_scan.h"

namespace vantor::thorough {

// Indices into the candidates, oriented as the symbol appears: tl the
// corner pattern, tr along its rows, bl down its columns (for a mirrored
// symbol tr and bl are its own bl and tr).
struct Triple {
    int tl = 0;
    int tr = 0;
    int bl = 0;
    double score = 0; // smaller is better
};

// The triples that pass the geometric gates, best first, at most `limit`:
// similar module sizes, legs of similar length at near a right angle, and a
// module count between the smallest and the largest symbol. `quality`
// (0..1] weighs each candidate: the share of the scan lines through its
// centre that found it. Candidates marked in `used` take no part.
std::vector<Triple> form_triples(std::span<const Candidate> candidates, std::span<const double> quality,
                                 std::span<const int> used, int limit);

// Modules across the symbol that the legs of the triple measure, from its
// eye pattern centres and module sizes.
double modules_across(const Candidate &tl, const Candidate &tr, const Candidate &bl);

} // namespace vantor::thorough
