// Netpbm reader: PBM, PGM and PPM, in their plain (ASCII, P1 to P3) and raw
// (binary, P4 to P6) forms, with maximum values up to 65535 (two bytes per
// raw sample, most significant first, past 255) and comments in the header.
// Samples are scaled to 0..255, colours become the mean of red, green and
// blue; a PBM image is two-level (1 is black), as a 1-bit BMP is.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "1_base/c_file.h"
#include "1_base/heap_array.h"
#include "readers.h"

namespace vantor {

namespace {

bool is_space(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

struct PnmRead {
    std::FILE *file;
    const char *failure = nullptr;
    bool clipped = false; // a sample above the maximum value was met

    // Skips white space and comments (from '#' to the end of the line);
    // the next character, or EOF.
    int next_visible() {
        for (;;) {
            int c = std::getc(file);
            if (c == '#') {
                while (c != '\n' && c != '\r' && c != EOF)
                    c = std::getc(file);
                continue;
            }
            if (!is_space(c))
                return c;
        }
    }

    // A decimal number of at most `max`, after white space and comments;
    // false (with the reason) otherwise. `single_digit` reads one digit
    // only (plain PBM pixels need no separators).
    bool number(std::uint32_t max, std::uint32_t &value, bool single_digit = false) {
        int c = next_visible();
        if (c < '0' || c > '9') {
            failure = c == EOF ? "file cut short" : "a number was expected";
            return false;
        }
        std::uint64_t v = 0;
        for (; c >= '0' && c <= '9'; c = std::getc(file)) {
            v = v * 10 + static_cast<unsigned>(c - '0');
            if (v > max) {
                failure = "number out of range";
                return false;
            }
            if (single_digit) {
                c = std::getc(file);
                break;
            }
        }
        if (c != EOF)
            std::ungetc(c, file);
        value = static_cast<std::uint32_t>(v);
        return true;
    }
};

// A sample of 0..max_value as 0..255, rounded.
unsigned char scale(std::uint32_t sample, std::uint32_t max_value) {
    return static_cast<unsigned char>((std::uint64_t{sample} * 255 + max_value / 2) / max_value);
}

const char *decode_pnm(std::FILE *file, ReadTarget &target) {
    PnmRead in{file};
    char magic[2];
    if (std::fread(magic, 1, 2, file) != 2)
        return "file cut short";
    const int kind = magic[1] - '0'; // 1 to 6
    const bool bitmap = kind == 1 || kind == 4;
    const bool raw = kind >= 4;
    const int channels = kind == 3 || kind == 6 ? 3 : 1;
    std::uint32_t width, height, max_value = 1;
    if (!in.number(INT32_MAX, width) || !in.number(INT32_MAX, height) ||
        (!bitmap && !in.number(65535, max_value)))
        return in.failure;
    if (max_value == 0)
        return "maximum value 0";
    if (width == 0 || height == 0 || std::int64_t{width} * height > max_image_pixels)
        return "image size out of range";
    // The raw samples start behind one white space character.
    if (raw) {
        const int c = std::getc(file);
        if (c == EOF)
            return "file cut short";
        if (!is_space(c))
            return "no white space after the header";
    }
    const std::int64_t here = ftello(file), length = file_length(file);
    if (here < 0 || length < 0)
        return "file cannot be read";
    const int sample_bytes = max_value > 255 ? 2 : 1;
    const std::int64_t row_bytes =
        bitmap ? (std::int64_t{width} + 7) / 8 : std::int64_t{width} * channels * sample_bytes;
    // Raw rows, or a character per plain sample, that cannot be in the rest
    // of the file: refuse before allocating.
    const std::int64_t least = raw ? row_bytes * height : std::int64_t{width} * height * channels;
    if (length - here < least)
        return "file cut short";
    if (!allocate_pixels(target, width, height))
        return "out of memory";
    target.image.depth = bitmap ? 1 : 8;

    HeapArray<unsigned char> row;
    if (raw && !row.allocate(static_cast<std::size_t>(row_bytes))) {
        target.failure = VANTOR_READ_OUT_OF_MEMORY;
        return "out of memory";
    }
    for (std::uint32_t y = 0; y < height; ++y) {
        unsigned char *out = target.image.pixels + std::size_t{y} * width;
        if (raw && std::fread(row.get(), 1, row.size(), file) != row.size())
            return "file cut short";
        for (std::uint32_t x = 0; x < width; ++x) {
            if (bitmap) {
                std::uint32_t bit;
                if (raw)
                    bit = row[x / 8] >> (7 - x % 8) & 1;
                else if (!in.number(1, bit, true))
                    return in.failure;
                out[x] = bit ? 0 : 255;
                continue;
            }
            unsigned char level[3];
            for (int k = 0; k < channels; ++k) {
                std::uint32_t sample;
                if (raw) {
                    const unsigned char *s = row.get() + (std::size_t{x} * channels + k) * sample_bytes;
                    sample = sample_bytes == 2 ? std::uint32_t{s[0]} << 8 | s[1] : s[0];
                } else if (!in.number(65535, sample)) {
                    return in.failure;
                }
                if (sample > max_value) {
                    in.clipped = true;
                    sample = max_value;
                }
                level[k] = scale(sample, max_value);
            }
            out[x] = channels == 3 ? mean_grey(level[0], level[1], level[2]) : level[0];
        }
    }
    if (in.clipped)
        add_warning(target, "PNM: samples above the maximum value %u were clipped", max_value);
    return nullptr;
}

} // namespace

int read_pnm(std::FILE *stream, ReadTarget &target) {
    CFile file(stream);
    const char *failure = decode_pnm(file.get(), target);
    if (!failure)
        return 1;
    std::free(target.image.pixels);
    target.image.pixels = nullptr;
    set_message(target, "file %s: damaged PNM image (%s).\n", target.path, failure);
    return 0;
}

} // namespace vantor
