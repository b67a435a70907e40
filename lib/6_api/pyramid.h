// Shrunk copies of a picture: a symbol whose modules are far larger than the
// binarisations' windows (a close-up filling a phone photo) breaks up in
// every binarisation of the picture as it is, but reads in a copy shrunk so
// that its modules are of ordinary size. The plan reads the copies.
#pragma once

#include <cstdint>
#include <vector>

#include "2_image/downscale.h"
#include "api_types.h"

namespace vantor {

// A symbol shows in the two or three copies where its modules are of 2.5 to
// 15 px; the two coarsest of them read what a finer one would, at a quarter
// of its cost or less, so the copies read (those that show a symbol) stop
// at two, unless every copy is asked for.
constexpr int max_copies_read = 2;

// The factors of the copies worth reading for a picture of this size,
// coarsest first: powers of two from 4, while the copy can hold a symbol of
// modules the picture as it is does not read. Empty for a small picture.
std::vector<int> pyramid_factors(int width, int height);

// The copies of the picture (rows `width` bytes apart) at those factors,
// coarsest first, each made from the next finer one.
std::vector<thorough::Downscaled> pyramid_copies(const std::uint8_t *pixels, int width, int height,
                                                 const std::vector<int> &factors);

// Whether the copy, or its inverse, shows eye patterns that stand out from
// the grey around them as a symbol's do: three that make a triple, or two of
// like size placed as two of a symbol's.
bool copy_shows_symbol(const thorough::Downscaled &copy);

// Moves the symbols read in a copy shrunk by `factor` into `results`, their
// corners in the picture's pixels, each marked with the copy it was read in.
void take_copy_symbols(Found &in_copy, int factor, Found &results);

} // namespace vantor
