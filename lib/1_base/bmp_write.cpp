// Debug images: byte images written as two-colour BMP files.
#include "bmp_write.h"

#include <cstdint>
#include <new>
#include <string>

#include "c_file.h"
#include "trace.h"

namespace vantor {
namespace {

bool put16(std::FILE *f, std::uint32_t v) {
    return std::fputc(v & 0xFF, f) != EOF && std::fputc((v >> 8) & 0xFF, f) != EOF;
}

bool put32(std::FILE *f, std::uint32_t v) { return put16(f, v & 0xFFFF) && put16(f, v >> 16); }

// The pixel rows go out as 32-bit groups, most significant byte first.
void put_group(std::FILE *f, std::uint32_t bits) {
    for (int shift = 24; shift >= 0; shift -= 8)
        std::fputc((bits >> shift) & 0xFF, f);
}

bool is_black(std::uint8_t v) { return v == 1 || v == 2 || v == 3 || v == 16 || v == 64; }

} // namespace

bool write_bmp(const char *file_name, const std::uint8_t *pixels, int width, int height) {
    if (width < 0 || height < 0)
        return false;
    CFile file(std::fopen(file_name, "wb"));
    if (!file)
        return false;
    std::FILE *f = file.get();

    const std::uint32_t header_size = 62;
    const std::uint32_t row_bytes = (static_cast<std::uint32_t>(width) + 31) / 32 * 4;
    const std::uint32_t file_size = header_size + static_cast<std::uint32_t>(height) * row_bytes;

    bool ok = std::fputc('B', f) != EOF && std::fputc('M', f) != EOF && put32(f, file_size) &&
              put16(f, 0) && put16(f, 0) && put32(f, header_size) && put32(f, 40) &&
              put32(f, static_cast<std::uint32_t>(width)) &&
              put32(f, static_cast<std::uint32_t>(height)) && put16(f, 1) && put16(f, 1) &&
              put32(f, 0) && put32(f, 0) && put32(f, 0) && put32(f, 0) && put32(f, 2) &&
              put32(f, 0) && put32(f, 0x00FFFFFF) && put32(f, 0);
    if (!ok)
        return false;

    for (int y = height - 1; y >= 0; --y) {
        const std::uint8_t *row = pixels + static_cast<std::size_t>(y) * width;
        std::uint32_t bits = 0;
        int count = 0;
        for (int x = 0; x < width; ++x) {
            bits = (bits << 1) | (is_black(row[x]) ? 1u : 0u);
            if (++count == 32) {
                put_group(f, bits);
                bits = 0;
                count = 0;
            }
        }
        if (count > 0)
            put_group(f, bits << (32 - count));
    }
    return true;
}

bool write_debug_image(const TraceSink &s, const char *name, const std::uint8_t *pixels, int width,
                       int height) {
    if (s.debug_dir.empty())
        return write_bmp(name, pixels, width, height);
    try {
        const std::string path = s.debug_dir + "/" + name;
        return write_bmp(path.c_str(), pixels, width, height);
    } catch (const std::bad_alloc &) {
        return false;
    }
}

} // namespace vantor
