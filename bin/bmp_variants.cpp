// BMP layouts beyond the plain 24-bit and 1-bit ones: any information
// header size, colour tables of 2 to 256 entries, run-length coded 8- and
// 4-bit bitmaps, and 16- and 32-bit pixels with colour masks. Colours become
// the truncated mean of red, green and blue, as in the plain reader; a
// 1-bit bitmap stays two-level. An alpha channel is not applied.
#include <algorithm>
#include <bit>
#include <cstdint>

#include "bmp_layout.h"
#include "1_base/heap_array.h"
#include "readers.h"

namespace vantor {

namespace {

// One colour channel of a 16- or 32-bit pixel, from its mask: the value
// is (pixel & mask) >> shift, scaled from 0..max to 0..255.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t max = 0;

    unsigned value(std::uint32_t pixel) const {
        if (max == 0)
            return 0;
        const std::uint64_t v = (pixel & mask) >> shift;
        return static_cast<unsigned>((v * 255 + max / 2) / max);
    }
};

// False for a mask whose bits are not one contiguous run.
bool make_channel(std::uint32_t mask, Channel &channel) {
    channel = {};
    if (mask == 0)
        return true;
    channel.mask = mask;
    channel.shift = std::countr_zero(mask);
    channel.max = mask >> channel.shift;
    return (channel.max & (channel.max + 1)) == 0;
}

// Masks of 16- and 32-bit pixels without explicit ones: 5-5-5 and 8-8-8.
constexpr std::uint32_t default_masks16[3] = {0x7C00, 0x03E0, 0x001F};
constexpr std::uint32_t default_masks32[3] = {0xFF0000, 0x00FF00, 0x0000FF};

bool supported(const BmpHeader &h) {
    switch (h.compression) {
    case bmp_rgb:
        return h.bits == 1 || h.bits == 2 || h.bits == 4 || h.bits == 8 || h.bits == 16 || h.bits == 24 ||
               h.bits == 32;
    case bmp_rle8:
        return h.bits == 8 && h.header_size != 64;
    case bmp_rle4:
        return h.bits == 4 && h.header_size != 64;
    case bmp_bitfields:
    case bmp_alpha_bitfields:
        // In the 64-byte OS/2 header these values mean other codings.
        return (h.bits == 16 || h.bits == 32) && h.header_size != 64;
    default:
        return false;
    }
}

struct Pixels {
    const BmpHeader &header;
    GrayImage &image;
    unsigned char palette[256] = {}; // grey of each colour table entry; black beyond the table
    Channel channels[3];             // red, green, blue

    std::size_t row_start(std::int64_t stored_row) const {
        const std::int64_t y = header.height < 0 ? stored_row : image.height - 1 - stored_row;
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width);
    }

    // One stored row of an uncompressed bitmap into image row `y`.
    void convert_row(const unsigned char *in, unsigned char *out) const {
        const int bits = static_cast<int>(header.bits);
        const int width = image.width;
        if (bits <= 8) {
            const unsigned mask = (1u << bits) - 1;
            for (int x = 0; x < width; ++x) {
                const std::int64_t bit = std::int64_t{x} * bits;
                const unsigned byte = in[bit / 8];
                out[x] = palette[byte >> (8 - bits - bit % 8) & mask];
            }
        } else if (bits == 24) {
            for (int x = 0; x < width; ++x, in += 3)
                out[x] = mean_grey(in[2], in[1], in[0]);
        } else {
            const int bytes = bits / 8;
            for (int x = 0; x < width; ++x, in += bytes) {
                std::uint32_t pixel = 0;
                for (int k = bytes - 1; k >= 0; --k)
                    pixel = pixel << 8 | in[k];
                out[x] = mean_grey(channels[0].value(pixel), channels[1].value(pixel), channels[2].value(pixel));
            }
        }
    }
};

int read_rows(std::FILE *file, const Pixels &p) {
    const std::int64_t row_bytes = bmp_row_bytes(p.image.width, static_cast<int>(p.header.bits));
    HeapArray<unsigned char> row;
    if (std::fseek(file, p.header.data_offset, SEEK_SET) != 0 || !row.allocate(static_cast<std::size_t>(row_bytes)))
        return 0;
    for (std::int64_t i = 0; i < p.image.height; ++i) {
        if (std::fread(row.get(), 1, row.size(), file) != row.size())
            return 0;
        p.convert_row(row.get(), p.image.pixels + p.row_start(i));
    }
    return 1;
}

// Run-length coded 8-bit (two bytes: count, index) or 4-bit (count, two
// indices taking turns) rows, bottom-up, with the escapes for end of row,
// end of bitmap, a jump ahead and a run of literal indices. Pixels the
// coding skips keep the colour of entry 0; pixels beyond the bitmap are
// dropped. A file that ends once every row is there reads.
int read_rle(std::FILE *file, const Pixels &p) {
    const bool four = p.header.compression == bmp_rle4;
    const std::int64_t width = p.image.width, height = p.image.height;
    std::fill_n(p.image.pixels, static_cast<std::size_t>(width * height), p.palette[0]);
    if (std::fseek(file, p.header.data_offset, SEEK_SET) != 0)
        return 0;
    std::int64_t x = 0, y = 0;
    auto put = [&](unsigned index) {
        if (x < width && y < height)
            p.image.pixels[p.row_start(y) + static_cast<std::size_t>(x)] = p.palette[index];
        ++x;
    };
    for (;;) {
        const int count = std::getc(file);
        const int code = std::getc(file);
        if (count == EOF || code == EOF)
            return y >= height || (y == height - 1 && x >= width);
        if (count > 0) {
            for (int k = 0; k < count; ++k)
                put(four ? (k % 2 == 0 ? code >> 4 : code & 15) : static_cast<unsigned>(code));
            continue;
        }
        switch (code) {
        case 0: // end of row
            x = 0;
            ++y;
            break;
        case 1: // end of bitmap
            return 1;
        case 2: { // jump right and up
            const int dx = std::getc(file);
            const int dy = std::getc(file);
            if (dx == EOF || dy == EOF)
                return 0;
            x += dx;
            y += dy;
            break;
        }
        default: { // `code` literal indices, padded to an even byte count
            const int bytes = four ? (code + 1) / 2 : code;
            for (int b = 0; b < bytes; ++b) {
                const int c = std::getc(file);
                if (c == EOF)
                    return 0;
                if (!four) {
                    put(static_cast<unsigned>(c));
                    continue;
                }
                put(static_cast<unsigned>(c) >> 4);
                if (2 * b + 1 < code)
                    put(static_cast<unsigned>(c) & 15);
            }
            if (bytes % 2 == 1 && std::getc(file) == EOF)
                return 0;
        }
        }
    }
}

} // namespace

int read_bmp_variant(std::FILE *file, const BmpHeader &h, ReadTarget &target) {
    if (!supported(h))
        return 0;
    const bool rle = h.compression == bmp_rle8 || h.compression == bmp_rle4;
    const std::int64_t width = h.width;
    const std::int64_t height = h.height < 0 ? -h.height : h.height;
    // Run-length coded rows are always stored bottom-up.
    if (width <= 0 || height == 0 || width * height > max_image_pixels)
        return refuse_size(target, width, height);
    if (rle && h.height < 0)
        return 0;
    const std::int64_t length = file_length(file);
    std::int64_t table_at = 14 + std::int64_t{h.header_size};
    if (length < table_at)
        return 0; // the header itself is cut short

    Pixels p{h, target.image, {}, {}};
    if (h.bits == 16 || h.bits == 32) {
        std::uint32_t masks[3];
        const bool explicit_masks = h.compression == bmp_bitfields || h.compression == bmp_alpha_bitfields;
        if (explicit_masks && h.masks_in_header) {
            std::copy_n(h.masks, 3, masks);
        } else if (explicit_masks) { // behind the 40-byte header
            unsigned char bytes[12];
            if (std::fseek(file, table_at, SEEK_SET) != 0 || std::fread(bytes, 1, 12, file) != 12)
                return 0;
            for (int i = 0; i < 3; ++i)
                masks[i] = bytes[4 * i] | bytes[4 * i + 1] << 8 | bytes[4 * i + 2] << 16 |
                           static_cast<std::uint32_t>(bytes[4 * i + 3]) << 24;
        } else {
            std::copy_n(h.bits == 16 ? default_masks16 : default_masks32, 3, masks);
        }
        for (int i = 0; i < 3; ++i)
            if (!make_channel(masks[i], p.channels[i]))
                return 0;
    }
    if (h.bits <= 8) {
        // A 1-bit table has two entries whatever the header says; others
        // have as many as the header uses, at most one per index.
        std::int64_t entries = std::int64_t{1} << h.bits;
        if (h.bits > 1 && h.colours_used != 0 && h.colours_used < entries)
            entries = h.colours_used;
        unsigned char bytes[256 * 4];
        const std::size_t size = static_cast<std::size_t>(entries * h.colour_bytes);
        if (std::fseek(file, table_at, SEEK_SET) != 0 || std::fread(bytes, 1, size, file) != size)
            return 0;
        int brightness[256];
        for (int i = 0; i < entries; ++i) {
            const unsigned char *c = bytes + i * h.colour_bytes;
            brightness[i] = c[0] + c[1] + c[2];
            p.palette[i] = mean_grey(c[2], c[1], c[0]);
        }
        if (h.bits == 1) {
            const TwoLevel levels = two_level(brightness[0], brightness[1]);
            p.palette[0] = levels.value[0];
            p.palette[1] = levels.value[1];
        }
    }
    // Uncompressed rows that cannot all be in the file: refuse before
    // allocating. Coded rows take at least the end-of-bitmap code.
    const std::int64_t data_bytes = rle ? 2 : bmp_row_bytes(width, static_cast<int>(h.bits)) * height;
    if (length < 0 || std::int64_t{h.data_offset} + data_bytes > length)
        return 0;
    if (!allocate_pixels(target, width, height))
        return 0;
    target.image.depth = h.bits == 1 ? 1 : 8;
    return rle ? read_rle(file, p) : read_rows(file, p);
}

} // namespace vantor
