// Image files of test pictures: BMP written by hand, JPEG through libjpeg,
// GIF through giflib.
#include "qr_symbols.h"

#include <gif_lib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

namespace vantor::testing {
namespace {

bool valid(const Picture &p) {
    return p.width >= 0 && p.height >= 0 &&
           p.pixels.size() == static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height);
}

void put16(std::vector<std::uint8_t> &out, unsigned v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}
void put32(std::vector<std::uint8_t> &out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// File header and 40-byte information header of a bottom-up, uncompressed
// BMP; the pixel data follows the palette.
std::vector<std::uint8_t> bmp_headers(const Picture &p, int bits, std::size_t row_bytes,
                                      int colours) {
    const std::uint32_t offset = 14 + 40 + 4 * colours;
    const auto data = static_cast<std::uint32_t>(row_bytes * p.height);
    std::vector<std::uint8_t> out;
    out.reserve(offset + data);
    out.push_back('B');
    out.push_back('M');
    put32(out, offset + data);
    put32(out, 0);
    put32(out, offset);
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(p.width));
    put32(out, static_cast<std::uint32_t>(p.height));
    put16(out, 1);
    put16(out, bits);
    put32(out, 0); // no compression
    put32(out, data);
    put32(out, 2835); // 72 dpi
    put32(out, 2835);
    put32(out, colours);
    put32(out, 0);
    return out;
}

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void jpeg_fail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegError *>(info->err)->jump, 1);
}

// Compresses into a memory stream; kept free of C++ objects because of the
// longjmp. False when libjpeg reports an error.
bool compress(std::FILE *out, int width, int height, int components, const std::uint8_t *samples,
              int quality, bool progressive) {
    jpeg_compress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpeg_fail;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    if (progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        auto *row = const_cast<JSAMPLE *>(samples) +
                    static_cast<std::size_t>(info.next_scanline) * width * components;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

int gif_output(GifFileType *gif, const GifByteType *bytes, int length) {
    auto *out = static_cast<std::vector<std::uint8_t> *>(gif->UserData);
    out->insert(out->end(), bytes, bytes + length);
    return length;
}

// One image of the file: rows in file order, which for interlaced images
// is the four passes (every 8th row from 0, from 4, every 4th from 2,
// every 2nd from 1).
bool put_gif_image(GifFileType *gif, const Picture &p, int left, int top, bool interlaced) {
    if (EGifPutImageDesc(gif, left, top, p.width, p.height, interlaced, nullptr) != GIF_OK)
        return false;
    std::vector<int> rows;
    constexpr int passes[4][2] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
    for (const auto &[start, step] : passes) {
        if (!interlaced && start > 0) break;
        for (int y = start; y < p.height; y += interlaced ? step : 1) rows.push_back(y);
    }
    std::vector<GifPixelType> line(p.width);
    for (int y : rows) {
        std::copy_n(p.pixels.begin() + static_cast<std::ptrdiff_t>(y) * p.width, p.width,
                    line.begin());
        if (EGifPutLine(gif, line.data(), p.width) != GIF_OK) return false;
    }
    return true;
}

} // namespace

std::vector<std::uint8_t> jpeg_bytes(int width, int height, int components,
                                     std::span<const std::uint8_t> samples, int quality,
                                     bool progressive) {
    if (width < 1 || height < 1 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION ||
        (components != 1 && components != 3 && components != 4) ||
        samples.size() != static_cast<std::size_t>(width) * height * components)
        return {};
    char *buffer = nullptr;
    std::size_t size = 0;
    std::FILE *out = open_memstream(&buffer, &size);
    if (!out) return {};
    const bool ok = compress(out, width, height, components, samples.data(), quality, progressive);
    std::vector<std::uint8_t> bytes;
    if (std::fclose(out) == 0 && ok) bytes.assign(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

std::vector<std::uint8_t> jpeg_bytes(const Picture &p, int quality, bool colour) {
    if (!valid(p)) return {};
    if (!colour) return jpeg_bytes(p.width, p.height, 1, p.pixels, quality);
    std::vector<std::uint8_t> rgb;
    rgb.reserve(p.pixels.size() * 3);
    for (std::uint8_t v : p.pixels) rgb.insert(rgb.end(), 3, v);
    return jpeg_bytes(p.width, p.height, 3, rgb, quality);
}

bool write_jpeg(const std::string &path, const Picture &picture, int quality, bool colour) {
    const auto bytes = jpeg_bytes(picture, quality, colour);
    return !bytes.empty() && write_bytes(path, bytes);
}

std::vector<std::uint8_t> gif_bytes(const Picture &p, const GifOptions &o) {
    if (!valid(p) || p.width < 1 || p.height < 1 || o.offset_x < 0 || o.offset_y < 0 ||
        o.frames < 1 || o.frames > 100 || p.width + o.offset_x > 0xFFFF ||
        p.height + o.offset_y > 0xFFFF)
        return {};
    std::vector<std::uint8_t> out;
    int error = 0;
    GifFileType *gif = EGifOpen(&out, gif_output, &error);
    if (!gif) return {};
    // Colour index i is grey i, and the background (index 255) is white.
    GifColorType greys[256];
    for (int i = 0; i < 256; ++i) greys[i] = {GifByteType(i), GifByteType(i), GifByteType(i)};
    ColorMapObject *map = GifMakeMapObject(256, greys);
    EGifSetGifVersion(gif, o.extensions || o.frames > 1);
    bool ok = map && EGifPutScreenDesc(gif, p.width + o.offset_x, p.height + o.offset_y, 8, 255,
                                       map) == GIF_OK;
    GifFreeMapObject(map);
    if (ok && o.extensions) {
        static const GifByteType app_id[] = "NETSCAPE2.0", loop[] = {1, 0, 0};
        ok = EGifPutComment(gif, "Vantor test picture") == GIF_OK &&
             EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
             EGifPutExtensionBlock(gif, 11, app_id) == GIF_OK &&
             EGifPutExtensionBlock(gif, 3, loop) == GIF_OK && EGifPutExtensionTrailer(gif) == GIF_OK;
    }
    // Earlier frames cover the same area with noise; the last one wins.
    for (int f = 1; ok && f < o.frames; ++f)
        ok = put_gif_image(gif, render_noise(p.width, p.height, "noise", 1000 + f), o.offset_x,
                           o.offset_y, o.interlaced);
    ok = ok && put_gif_image(gif, p, o.offset_x, o.offset_y, o.interlaced);
    if (ok && o.extensions) ok = EGifPutComment(gif, "after the image") == GIF_OK;
    if (EGifCloseFile(gif, &error) != GIF_OK) ok = false;
    if (!ok) out.clear();
    return out;
}

bool write_gif(const std::string &path, const Picture &picture, const GifOptions &options) {
    const auto bytes = gif_bytes(picture, options);
    return !bytes.empty() && write_bytes(path, bytes);
}

std::vector<std::uint8_t> bmp24_bytes(const Picture &p) {
    if (!valid(p)) return {};
    const std::size_t row_bytes = (static_cast<std::size_t>(p.width) * 3 + 3) / 4 * 4;
    auto out = bmp_headers(p, 24, row_bytes, 0);
    for (int y = p.height - 1; y >= 0; --y) {
        for (int x = 0; x < p.width; ++x) out.insert(out.end(), 3, p.at(x, y));
        out.insert(out.end(), row_bytes - static_cast<std::size_t>(p.width) * 3, 0);
    }
    return out;
}

std::vector<std::uint8_t> bmp1_bytes(const Picture &p, bool zero_is_black, int threshold) {
    if (!valid(p)) return {};
    const std::size_t row_bytes = (static_cast<std::size_t>(p.width) + 31) / 32 * 4;
    auto out = bmp_headers(p, 1, row_bytes, 2);
    const std::uint8_t first = zero_is_black ? 0 : 255;
    for (std::uint8_t entry : {first, static_cast<std::uint8_t>(255 - first)}) {
        out.insert(out.end(), 3, entry);
        out.push_back(0);
    }
    const unsigned black_bit = zero_is_black ? 0 : 1;
    for (int y = p.height - 1; y >= 0; --y) {
        const std::size_t row = out.size();
        out.insert(out.end(), row_bytes, 0);
        for (int x = 0; x < p.width; ++x) {
            const unsigned bit = p.at(x, y) < threshold ? black_bit : 1 - black_bit;
            out[row + x / 8] |= static_cast<std::uint8_t>(bit << (7 - x % 8));
        }
    }
    return out;
}

bool write_bmp24(const std::string &path, const Picture &picture) {
    return valid(picture) && write_bytes(path, bmp24_bytes(picture));
}

bool write_bmp1(const std::string &path, const Picture &picture, bool zero_is_black,
                int threshold) {
    return valid(picture) && write_bytes(path, bmp1_bytes(picture, zero_is_black, threshold));
}

} // namespace vantor::testing
