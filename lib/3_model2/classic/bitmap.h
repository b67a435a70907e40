// The work bitmap: one byte per pixel of the image being decoded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "state.h"
#include <vantor/vantor.h>

namespace vantor {

// Pixel values: a dark pixel is exactly `dark`; the sampling grid toggles
// `sampled_mark` in every pixel it reads.
inline constexpr std::uint8_t dark = 64;
inline constexpr std::uint8_t light = 0;
inline constexpr std::uint8_t sampled_mark = 0x10;

// Run lengths are 16-bit, so no image side may be longer than this.
inline constexpr int max_side = VANTOR_CLASSIC_MAX_SIDE;

// True when the image size is within the run tables' range and the work
// bitmap holds every pixel of it.
inline bool bitmap_covers_image(const PassBuffers &s) {
    const int w = s.image_width;
    const int h = s.image_height;
    if (w <= 0 || h <= 0 || w > max_side || h > max_side || !s.work_bitmap)
        return false;
    return s.work_bitmap.size() >= static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
}

// Pixel (x, y) is dark and unmarked; (x, y) must lie inside the bitmap.
inline bool is_dark(const PassBuffers &s, int x, int y) {
    return s.work_bitmap[static_cast<std::size_t>(y) * s.image_width + x] == dark;
}

} // namespace vantor
