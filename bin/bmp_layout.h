// BMP header fields as the reader collects them, shared by the plain reader
// (bmp_read.cpp) and the other layouts (bmp_variants.cpp).
#pragma once

#include <cstdint>
#include <cstdio>

#include "readers.h"

namespace vantor {

// Compression field values.
enum BmpCompression : std::uint32_t {
    bmp_rgb = 0,
    bmp_rle8 = 1,
    bmp_rle4 = 2,
    bmp_bitfields = 3,
    bmp_alpha_bitfields = 6,
};

struct BmpHeader {
    std::uint32_t data_offset = 0; // absolute file position of the pixel rows
    std::uint32_t header_size = 0; // of the information header
    std::int64_t width = 0;
    std::int64_t height = 0; // negative: rows stored top row first
    std::uint32_t planes = 0;
    std::uint32_t bits = 0;
    std::uint32_t compression = bmp_rgb;
    std::uint32_t colours_used = 0;
    std::uint32_t masks[4] = {}; // red, green, blue, alpha
    bool masks_in_header = false;
    bool alpha_in_header = false;
    int colour_bytes = 4; // per colour table entry: blue, green, red (, reserved)
};

// Information header sizes: the core header (12), the short and long second
// OS/2 headers (16, 64), the Windows header (40), the Windows header with
// its colour masks (52, 56), and the version 4 and 5 headers (108, 124).
inline bool bmp_header_known(std::uint32_t size) {
    switch (size) {
    case 12: case 16: case 40: case 52: case 56: case 64: case 108: case 124:
        return true;
    default:
        return false;
    }
}

// Bytes a stored row occupies: rows are padded to a multiple of 4 bytes.
inline std::int64_t bmp_row_bytes(std::int64_t width, int bits) {
    return (width * bits + 31) / 32 * 4;
}

// A two-colour table drawn in black and white: the brighter entry (entry 0
// on a tie) is white. Brightness is blue + green + red.
struct TwoLevel {
    unsigned char value[2];
};
inline TwoLevel two_level(int brightness0, int brightness1) {
    return brightness0 >= brightness1 ? TwoLevel{{255, 0}} : TwoLevel{{0, 255}};
}

// Every layout but the 40-byte header with 1 or 24 bits uncompressed: other
// header sizes, colour tables of 2 to 256 entries, run-length coding, 16-
// and 32-bit pixels with colour masks. The stream is just behind the
// information header. Does not close the stream.
int read_bmp_variant(std::FILE *file, const BmpHeader &header, ReadTarget &target);

} // namespace vantor
