// Eye patterns a scratch or a stain has spoiled: where two strong candidates
// say the third of a symbol must be, a template of the pattern is matched.
#pragma once

#include <span>
#include <vector>

#include "2_image/image.h"
#include "2_image/eye_scan.h"

namespace vantor::thorough {

// Candidates for the third eye pattern of pairs of the strongest unused
// candidates (quality at least 0.5), each found by template within a few
// modules of a place the pair predicts and not near a strong candidate;
// at most `limit`.
std::vector<Candidate> missing_eyes(const GreyView &grey, std::span<const Candidate> candidates,
                                    std::span<const double> quality, std::span<const int> used, int limit);

} // namespace vantor::thorough
