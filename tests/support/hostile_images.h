// Hostile inputs for the bounds tests, the fuzz seed corpus and the
// benchmark: pictures full of eye pattern look-alikes, photo-like pictures
// without any, and JPEG files that ask the library for too much.
#pragma once

#include <cstdint>
#include <vector>

#include "qr_symbols.h"

namespace vantor::testing {

// Eye pattern look-alikes (7 x 7 modules, 1:1:3:1:1 across every line
// through the centre) tiled over a light background, `gap` light modules
// between neighbours. With `size_jitter`, each pattern's module size is
// module_px plus a random 0..size_jitter pixels, so the candidates differ.
Picture eye_field(int width, int height, int module_px, int gap = 3, int size_jitter = 0,
                     std::uint32_t seed = 1);

// A photo-like picture without symbol structure: smooth shading, blotches of
// other greys with soft edges, and sensor noise.
Picture photo_like(int width, int height, std::uint32_t seed = 1);

// A progressive greyscale JPEG of the picture whose first scan is repeated
// `extra_scans` more times before the end of the image (each repeat is a
// warning to the library, not an error).
std::vector<std::uint8_t> progressive_jpeg_bytes(const Picture &picture, int extra_scans = 0);

// A small progressive JPEG whose frame header declares width x height
// pixels with `components` components (1 or 3), so that decoding it needs a
// coefficient buffer of about width * height * components * 2 bytes while
// the file itself holds only a few hundred bytes.
std::vector<std::uint8_t> jpeg_memory_bomb_bytes(int width, int height, int components);

} // namespace vantor::testing
