// BMP reader: the headers, and the 24-bit and 1-bit bitmaps with the
// 40-byte information header (24-bit rows read whole, 1-bit ones byte by
// byte). Every other layout the reader knows goes on to bmp_variants.cpp.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

#include "bmp_layout.h"
#include "1_base/c_file.h"
#include "readers.h"

namespace vantor {

namespace {

// Row of pixels that the i-th stored row fills: stored rows run bottom-up,
// unless the header's negative height marked the bitmap top-down.
struct RowOrder {
    bool top_down;
    std::int32_t height;
    std::size_t row(int i) const { return static_cast<std::size_t>(top_down ? i : height - 1 - i); }
};

int read_bmp_24bit(std::FILE *file, const BmpHeader &header, RowOrder order, GrayImage &image) {
    if (std::fseek(file, header.data_offset, SEEK_SET) != 0)
        return 0;
    const std::size_t width = static_cast<std::size_t>(image.width);
    const std::size_t pad = static_cast<std::size_t>((4 - (3 * image.width) % 4) % 4);
    // A stored row at a time: the same pixels as reading it byte by byte,
    // and on a short read the same ones (each whole pixel read) before
    // giving up.
    const std::size_t row_bytes = 3 * width + pad;
    const std::unique_ptr<unsigned char[]> stored(new (std::nothrow) unsigned char[row_bytes]);
    if (!stored)
        return 0;
    for (int i = 0; i < image.height; ++i) {
        unsigned char *row = image.pixels + order.row(i) * width;
        const std::size_t got = std::fread(stored.get(), 1, row_bytes, file);
        const std::size_t whole = std::min(width, got / 3);
        for (std::size_t x = 0; x < whole; ++x) {
            const unsigned char *bgr = &stored[3 * x];
            row[x] = mean_grey(bgr[2], bgr[1], bgr[0]);
        }
        if (got != row_bytes)
            return 0;
    }
    image.depth = 8; // the pixels now hold grey levels
    return 1;
}

int read_bmp_1bit(std::FILE *file, const BmpHeader &header, RowOrder order, GrayImage &image) {
    // The two colour table entries behind the 40-byte header: blue, green,
    // red, reserved. The brighter one (entry 0 on a tie) is drawn white.
    int brightness[2];
    for (int &b : brightness) {
        int blue = std::getc(file);
        int green = std::getc(file);
        int red = std::getc(file);
        int reserved = std::getc(file);
        if (blue == EOF || green == EOF || red == EOF || reserved == EOF)
            return 0;
        b = blue + green + red;
    }
    const TwoLevel levels = two_level(brightness[0], brightness[1]);

    if (std::fseek(file, header.data_offset, SEEK_SET) != 0)
        return 0;
    const std::size_t width = static_cast<std::size_t>(image.width);
    for (int i = 0; i < image.height; ++i) {
        unsigned char *row = image.pixels + order.row(i) * width;
        std::uint32_t word = 0;
        int bits_in_hand = 0; // each row starts with a fresh word
        for (std::size_t x = 0; x < width; ++x) {
            if (bits_in_hand == 0) {
                for (int k = 0; k < 4; ++k) { // big-endian: first byte is the leftmost
                    int c = std::getc(file);
                    if (c == EOF)
                        return 0;
                    word = word << 8 | static_cast<std::uint32_t>(c);
                }
                bits_in_hand = 32;
            }
            --bits_in_hand;
            row[x] = levels.value[word >> bits_in_hand & 1];
        }
    }
    return 1; // depth stays 1: the image is bilevel
}

// The 40-byte header with 1 or 24 bits and no compression.
int read_bmp_plain(std::FILE *file, const BmpHeader &header, ReadTarget &target) {
    GrayImage &image = target.image;
    // Geometry the header may declare but no real bitmap has: zero or
    // negative widths, zero heights, sizes beyond any sensible photo. A
    // negative height is a bitmap stored top row first.
    const std::int64_t width = header.width;
    std::int64_t height = header.height;
    const bool top_down = height < 0;
    if (height < 0)
        height = -height;
    if (width <= 0 || height == 0 || width * height > max_image_pixels)
        return refuse_size(target, width, height);
    image.height = static_cast<std::int32_t>(height);

    // Pixel rows that cannot all be in the file: refuse before allocating.
    const std::int64_t length = file_length(file);
    const std::int64_t table_end = 54 + (header.bits == 1 ? 8 : 0);
    const std::int64_t data_bytes = bmp_row_bytes(width, static_cast<int>(header.bits)) * height;
    if (length < table_end || std::int64_t{header.data_offset} + data_bytes > length)
        return 0;

    if (!allocate_pixels(target, width, height))
        return 0;
    const RowOrder order{top_down, image.height};
    return header.bits == 1 ? read_bmp_1bit(file, header, order, image) : read_bmp_24bit(file, header, order, image);
}

// Little-endian header fields, assembled byte by byte; false at end of file.
bool read_u16(std::FILE *file, std::uint32_t &value) {
    int b0 = std::getc(file);
    int b1 = std::getc(file);
    if (b0 == EOF || b1 == EOF)
        return false;
    value = static_cast<std::uint32_t>(b0) | static_cast<std::uint32_t>(b1) << 8;
    return true;
}

bool read_u32(std::FILE *file, std::uint32_t &value) {
    std::uint32_t low, high;
    if (!read_u16(file, low) || !read_u16(file, high))
        return false;
    value = low | high << 16;
    return true;
}

// Reads the information header behind the file header, in file order; the
// image's width, height and depth are set as their fields go by. False when
// the file ends inside it or its size is none of the known layouts.
bool read_info_header(std::FILE *f, BmpHeader &h, GrayImage &image) {
    std::uint32_t value;
    if (!read_u32(f, h.header_size) || !bmp_header_known(h.header_size))
        return false;
    if (h.header_size == 12) { // the core header: 16-bit sizes, 3-byte colours
        std::uint32_t width, height;
        if (!read_u16(f, width) || !read_u16(f, height) || !read_u16(f, h.planes) || !read_u16(f, h.bits))
            return false;
        h.width = width;
        h.height = height;
        image.width = static_cast<std::int32_t>(width);
        image.height = static_cast<std::int32_t>(height);
        image.depth = static_cast<std::uint16_t>(h.bits);
        h.colour_bytes = 3;
        return true;
    }
    if (!read_u32(f, value))
        return false;
    image.width = static_cast<std::int32_t>(value);
    h.width = image.width;
    if (!read_u32(f, value))
        return false;
    image.height = static_cast<std::int32_t>(value);
    h.height = image.height;
    if (!read_u16(f, h.planes) || !read_u16(f, h.bits))
        return false;
    image.depth = static_cast<std::uint16_t>(h.bits);
    // The fields past the planes and bits, as far as the header reaches:
    // compression, image size, resolutions, colours used, important colours,
    // then the red, green, blue and alpha masks.
    std::uint32_t fields[10] = {};
    const int count = std::min<int>(10, static_cast<int>(h.header_size - 16) / 4);
    for (int i = 0; i < count; ++i)
        if (!read_u32(f, fields[i]))
            return false;
    h.compression = fields[0];
    h.colours_used = fields[4];
    for (int i = 0; i < 4; ++i)
        h.masks[i] = fields[6 + i];
    h.masks_in_header = count >= 9;
    h.alpha_in_header = count >= 10;
    return true;
}

} // namespace

int read_bmp(std::FILE *stream, ReadTarget &target) {
    CFile file(stream);
    std::FILE *f = file.get();
    BmpHeader header;
    std::uint32_t value;

    // File size and the two reserved words are not used.
    if (!read_u32(f, value) || !read_u16(f, value) || !read_u16(f, value))
        return 0;
    if (!read_u32(f, header.data_offset))
        return 0;
    if (!read_info_header(f, header, target.image) || header.planes != 1)
        return 0;
    if (header.header_size == 40 && (header.bits == 1 || header.bits == 24) && header.compression == 0)
        return read_bmp_plain(f, header, target);
    return read_bmp_variant(f, header, target);
}

} // namespace vantor
