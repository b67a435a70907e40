// Binarisation passes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "state.h"

namespace vantor {

// Passes 0..2 (index; depth 1: 0 and 255 only, one threshold): one threshold
// between the darkest and brightest grey, into s.work_bitmap.
void threshold_global(PassBuffers &s, int index, const std::uint8_t *pixels, std::uint16_t depth);
// Passes 3..6 (index 0..3): threshold on the grey normalised against its
// 17x17 neighbourhood (s.contrast_map, made by the first such pass). False
// for a bad index, an image smaller than the neighbourhood, or no memory for
// the map ("malloc() failed." on the standard error).
bool threshold_local(PassBuffers &s, int index, const std::uint8_t *pixels, int width, int height);
// The threshold of global pass `index` for greys lo..hi (a grey below it is
// dark), and that of local pass `index` (a normalised grey at or below it is
// dark).
int global_threshold(int lo, int hi, int index);
int local_threshold(int index);
// Pixels of each grey; normalised greys of s.contrast_map (0..255, the
// low-contrast -1 left out), which must cover the image.
void grey_histogram(const std::uint8_t *pixels, std::size_t n, std::uint32_t (&counts)[256]);
void contrast_histogram(const PassBuffers &s, std::uint32_t (&counts)[256]);
// Clears the sampled mark in every byte.
void clear_sampled_marks(std::uint8_t *bytes, std::size_t n);

} // namespace vantor
