// Image files in the formats beyond the classic three, written from test
// pictures: PNG through libpng, TIFF through libtiff, WebP through libwebp,
// CMYK and YCCK JPEG through libjpeg; BMP layouts and Netpbm files by hand.
// Each returns the file's bytes, empty when it cannot be made.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "qr_symbols.h"

namespace vantor::testing {

using Bytes = std::vector<std::uint8_t>;

enum class PngColour { grey, grey_alpha, rgb, rgba, palette };

struct PngOptions {
    PngColour colour = PngColour::grey;
    int bit_depth = 8; // 1, 2, 4, 8 or 16 as the colour type allows; below 8 the greys are quantised
    bool interlaced = false;
    // White pixels become transparent: fully transparent black where the
    // type has an alpha channel, else a tRNS entry for white.
    bool cut_out = false;
    bool zero_is_black = true; // 1-bit palettes: entry 0 black, else white
};
Bytes png_bytes(const Picture &picture, const PngOptions &options = {});

struct TiffOptions {
    int compression = 1; // a libtiff COMPRESSION_ value
    bool tiled = false;
    int tile_size = 16;     // multiple of 16
    int rows_per_strip = 8; // strips
    int bits = 8;           // 1 (thresholded at 128), 8 or 16
    bool rgb = false;
    bool separate_planes = false; // RGB as three planes
    bool alpha = false;           // an unassociated alpha sample, 0 where the picture is white (black there)
    bool min_is_white = false;
    int pages_before = 0;         // noise pages ahead of the picture
    int pages_after = 0;
};
Bytes tiff_bytes(const Picture &picture, const TiffOptions &options = {});

// Lossless (exact) or lossy at the given quality; cut_out as for PNG.
Bytes webp_bytes(const Picture &picture, bool lossless, bool cut_out = false, int quality = 90);

// A CMYK JPEG of the picture (K carries the grey), with Adobe's marker and
// inverted inks, or plain; or stored as YCCK (always with the marker).
Bytes cmyk_jpeg_bytes(const Picture &picture, bool adobe_inverted, bool ycck = false, int quality = 95);

struct BmpOptions {
    int header_size = 40; // 12, 16, 40, 52, 56, 64, 108 or 124
    int bits = 8;         // 1, 4, 8 (grey colour tables), 16, 24, 32
    int compression = 0;  // 0, 1 (RLE8), 2 (RLE4) or 3 (colour masks)
    std::array<std::uint32_t, 3> masks = {0, 0, 0}; // red, green, blue for compression 3
    bool top_down = false;
    bool zero_is_black = true; // 1 bit
};
Bytes bmp_bytes(const Picture &picture, const BmpOptions &options = {});

// Netpbm P1 to P6; greys scaled to max_value (PBM: thresholded at 128, 1
// black). Comments are put between the header fields.
Bytes pnm_bytes(const Picture &picture, int kind, int max_value = 255);

// The picture thresholded at 128 into 0 and 255, as two-level files hold it.
Picture two_level(const Picture &picture);

} // namespace vantor::testing
