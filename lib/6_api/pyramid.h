// The pyramid step: a symbol whose modules are far larger than the
// binarisations' windows (a close-up filling a phone photo) breaks up in
// every binarisation of the picture as it is, but reads in a copy shrunk so
// that its modules are of ordinary size.
#pragma once

#include <cstdint>
#include <vector>

#include "api_types.h"

namespace vantor {

// The factors of the copies worth reading for a picture of this size,
// coarsest first: powers of two from 4, while the copy can hold a symbol of
// modules the picture as it is does not read. Empty for a small picture.
std::vector<int> pyramid_factors(int width, int height);

// When the readings of the picture as it is gave no symbol (and did not
// fail), reads its shrunk copies where a quick look sees eye patterns that
// stand out (at most two, but every one for an exhaustive or traced call),
// coarsest first, as options.effort asks, until one gives a symbol. Those symbols join results with their corners in the picture's
// pixels, and results then say so in their reason and stage. The copies'
// readings are not listed in results and never traced.
void pyramid_readings(const std::uint8_t *pixels, int width, int height, const vantor_options &options,
                      vantor_results &results);

} // namespace vantor
