// Grey image, input dispatch by leading bytes, and the BMP reader.
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "c_file.h"
#include "readers.h"
#include <vantor/image.h>

GrayImage gray_image = {0, 0, nullptr, 8};
char read_message[1024] = "";

namespace vantor {

void set_read_message(const char *format, ...) {
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(read_message, sizeof read_message, format, args);
    va_end(args);
}

namespace {

// Largest bitmap accepted, in pixels; keeps width * height far from
// overflow and refuses headers that ask for gigabytes.
constexpr std::int64_t max_bmp_pixels = std::int64_t{1} << 28;

// Absolute file position of the pixel rows, from the header.
std::uint32_t pixel_data_offset;

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

bool skip_u32(std::FILE *file, int count) {
    std::uint32_t ignored;
    for (int i = 0; i < count; ++i)
        if (!read_u32(file, ignored))
            return false;
    return true;
}

// Bytes a stored row occupies: rows are padded to a multiple of 4 bytes.
std::int64_t bmp_row_bytes(std::int64_t width, int bits) {
    return bits == 1 ? (width + 31) / 32 * 4 : (3 * width + 3) / 4 * 4;
}

// Length of the file, or -1 when it cannot be told; the position is kept.
std::int64_t file_length(std::FILE *file) {
    long here = std::ftell(file);
    if (here < 0 || std::fseek(file, 0, SEEK_END) != 0)
        return -1;
    long end = std::ftell(file);
    if (std::fseek(file, here, SEEK_SET) != 0)
        return -1;
    return end;
}

// Row of pixels that the i-th stored row fills: stored rows run bottom-up,
// unless the header's negative height marked the bitmap top-down.
struct RowOrder {
    bool top_down;
    std::size_t row(int i) const {
        return static_cast<std::size_t>(top_down ? i : gray_image.height - 1 - i);
    }
};

int read_bmp_24bit(std::FILE *file, RowOrder order) {
    if (std::fseek(file, pixel_data_offset, SEEK_SET) != 0)
        return 0;
    const std::size_t width = static_cast<std::size_t>(gray_image.width);
    const int pad = (4 - (3 * gray_image.width) % 4) % 4;
    for (int i = 0; i < gray_image.height; ++i) {
        unsigned char *row = gray_image.pixels + order.row(i) * width;
        for (std::size_t x = 0; x < width; ++x) {
            int blue = std::getc(file);
            int green = std::getc(file);
            int red = std::getc(file);
            if (blue == EOF || green == EOF || red == EOF)
                return 0;
            row[x] = static_cast<unsigned char>((blue + green + red) / 3);
        }
        for (int p = 0; p < pad; ++p)
            if (std::getc(file) == EOF)
                return 0;
    }
    gray_image.depth = 8; // the pixels now hold grey levels
    return 1;
}

int read_bmp_1bit(std::FILE *file, RowOrder order) {
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
    const bool zero_is_light = brightness[0] >= brightness[1];
    const unsigned char bit0 = zero_is_light ? 255 : 0;
    const unsigned char bit1 = zero_is_light ? 0 : 255;

    if (std::fseek(file, pixel_data_offset, SEEK_SET) != 0)
        return 0;
    const std::size_t width = static_cast<std::size_t>(gray_image.width);
    for (int i = 0; i < gray_image.height; ++i) {
        unsigned char *row = gray_image.pixels + order.row(i) * width;
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
            row[x] = (word >> bits_in_hand & 1) ? bit1 : bit0;
        }
    }
    return 1; // depth stays 1: the image is bilevel
}

} // namespace

int read_bmp(std::FILE *stream) {
    CFile file(stream);
    std::FILE *f = file.get();
    std::uint32_t value, header_size, bits, compression;

    // File size and the two reserved words are not used.
    if (!read_u32(f, value) || !read_u16(f, value) || !read_u16(f, value))
        return 0;
    if (!read_u32(f, pixel_data_offset))
        return 0;
    if (!read_u32(f, header_size) || header_size != 40)
        return 0;
    if (!read_u32(f, value))
        return 0;
    gray_image.width = static_cast<std::int32_t>(value);
    if (!read_u32(f, value))
        return 0;
    gray_image.height = static_cast<std::int32_t>(value);
    if (!read_u16(f, value) || value != 1) // planes
        return 0;
    if (!read_u16(f, bits))
        return 0;
    gray_image.depth = static_cast<std::uint16_t>(bits);
    if (bits != 1 && bits != 24)
        return 0;
    if (!read_u32(f, compression) || compression != 0)
        return 0;
    // Image size, resolutions, colours used, important colours.
    if (!skip_u32(f, 5))
        return 0;

    // Geometry the header may declare but no real bitmap has: zero or
    // negative widths, zero heights, sizes beyond any sensible photo. A
    // negative height is a bitmap stored top row first.
    std::int64_t width = gray_image.width;
    std::int64_t height = gray_image.height;
    const RowOrder order{height < 0};
    if (height < 0)
        height = -height;
    if (width <= 0 || height == 0 || width * height > max_bmp_pixels)
        return 0;
    gray_image.height = static_cast<std::int32_t>(height);

    // Pixel rows that cannot all be in the file: refuse before allocating.
    const std::int64_t length = file_length(f);
    const std::int64_t table_end = 54 + (bits == 1 ? 8 : 0);
    const std::int64_t data_bytes = bmp_row_bytes(width, static_cast<int>(bits)) * height;
    if (length < table_end || std::int64_t{pixel_data_offset} + data_bytes > length)
        return 0;

    gray_image.pixels = static_cast<unsigned char *>(std::malloc(static_cast<std::size_t>(width * height)));
    if (!gray_image.pixels)
        return 0;
    return bits == 1 ? read_bmp_1bit(f, order) : read_bmp_24bit(f, order);
}

} // namespace vantor

using namespace vantor;

extern "C" int read_image(const char *path) {
    read_message[0] = '\0';
    // A caller that did not release the previous image would otherwise lose it.
    release_image();
    CFile file(std::fopen(path, "rb"));
    if (!file) {
        set_read_message("file %s open error.\n", path);
        return 0;
    }
    unsigned char lead[4];
    if (std::fread(lead, 1, 4, file.get()) != 4)
        return 0;
    if (lead[0] == 'B' && lead[1] == 'M') {
        if (std::fseek(file.get(), 2, SEEK_SET) != 0)
            return 0;
        return read_bmp(file.release());
    }
    if (std::memcmp(lead, "GIF8", 4) == 0) {
        gray_image.depth = 8;
        return read_gif(file.release());
    }
    if (lead[0] == 0xFF && lead[1] == 0xD8) {
        gray_image.depth = 8;
        if (std::fseek(file.get(), 0, SEEK_SET) != 0)
            return 0;
        return read_jpeg(file.release());
    }
    set_read_message("file %s is not BMP,JPEG.\n", path);
    return 0;
}

extern "C" void release_image(void) {
    std::free(gray_image.pixels);
    gray_image.pixels = nullptr;
}
