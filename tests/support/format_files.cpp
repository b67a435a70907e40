// PNG, TIFF, WebP and CMYK JPEG files of test pictures, written with the
// formats' own libraries.
#include "format_files.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>
#include <webp/encode.h>

namespace vantor::testing {

Picture two_level(const Picture &picture) {
    Picture p = picture;
    for (std::uint8_t &v : p.pixels)
        v = v < 128 ? 0 : 255;
    return p;
}

namespace {

bool valid(const Picture &p) {
    return p.width > 0 && p.height > 0 &&
           p.pixels.size() == static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height);
}

// --- PNG ---------------------------------------------------------------------------

struct PngImage {
    int width, height, colour_type, bit_depth, interlace;
    std::vector<Bytes> rows = {}; // packed as the file stores them
    std::vector<png_color> palette = {};
    std::vector<png_byte> trans_entries = {}; // palette tRNS
    png_color_16 trans_colour{};         // grey/RGB tRNS
    bool trans = false;
};

void png_append(png_structp png, png_bytep data, png_size_t size) {
    auto *out = static_cast<Bytes *>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

void png_nothing(png_structp) {}

// libpng's errors come back here; no C++ object lives in this frame.
bool png_encode(const PngImage *image, Bytes *out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, png_append, png_nothing);
    png_set_IHDR(png, info, image->width, image->height, image->bit_depth, image->colour_type, image->interlace,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!image->palette.empty())
        png_set_PLTE(png, info, image->palette.data(), static_cast<int>(image->palette.size()));
    if (image->trans)
        png_set_tRNS(png, info, image->trans_entries.empty() ? nullptr : image->trans_entries.data(),
                     static_cast<int>(image->trans_entries.size()), &image->trans_colour);
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass)
        for (const Bytes &row : image->rows)
            png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Packs samples of `bits` bits, most significant first.
void put_sample(std::uint8_t *row, int index, int bits, unsigned value) {
    if (bits == 16) {
        row[2 * index] = static_cast<std::uint8_t>(value >> 8);
        row[2 * index + 1] = static_cast<std::uint8_t>(value);
    } else if (bits == 8) {
        row[index] = static_cast<std::uint8_t>(value);
    } else {
        const int bit = index * bits;
        row[bit / 8] |= static_cast<std::uint8_t>(value << (8 - bits - bit % 8));
    }
}

// --- TIFF ------------------------------------------------------------------------------

std::string temp_file(const char *suffix) {
    char name[] = "/tmp/vantor-fixture-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0)
        return {};
    close(fd);
    const std::string path = std::string(name) + suffix;
    std::rename(name, path.c_str());
    return path;
}

Bytes file_bytes(const std::string &path) {
    Bytes bytes;
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    for (int c; (c = std::getc(f)) != EOF;)
        bytes.push_back(static_cast<std::uint8_t>(c));
    std::fclose(f);
    return bytes;
}

bool tiff_page(TIFF *tif, const Picture &p, const TiffOptions &o) {
    const int samples = (o.rgb ? 3 : 1) + (o.alpha ? 1 : 0);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(p.width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(p.height));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(o.bits));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(samples));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                 o.rgb ? PHOTOMETRIC_RGB : o.min_is_white ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, o.separate_planes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, static_cast<std::uint16_t>(o.compression));
    if (o.alpha) {
        const std::uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (o.tiled) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, static_cast<std::uint32_t>(o.tile_size));
        TIFFSetField(tif, TIFFTAG_TILELENGTH, static_cast<std::uint32_t>(o.tile_size));
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(o.rows_per_strip));
    }
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);

    // The whole image as separate planes of rows (one plane when contiguous).
    const int planes = o.separate_planes ? samples : 1;
    const int per_pixel = o.separate_planes ? 1 : samples;
    const std::size_t row_bytes = (static_cast<std::size_t>(p.width) * per_pixel * o.bits + 7) / 8;
    std::vector<Bytes> plane(planes, Bytes(row_bytes * p.height, 0));
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const std::uint8_t v = p.at(x, y);
            for (int s = 0; s < samples; ++s) {
                const bool is_alpha = o.alpha && s == samples - 1;
                const bool clear = o.alpha && v == 255;
                unsigned value;
                if (o.bits == 1) {
                    value = (v >= 128) != o.min_is_white;
                } else {
                    unsigned g = is_alpha ? (clear ? 0 : 255) : clear ? 0 : v;
                    if (o.min_is_white && !is_alpha)
                        g = 255 - g;
                    value = o.bits == 16 ? g * 257 : g;
                }
                std::uint8_t *row = plane[o.separate_planes ? s : 0].data() + y * row_bytes;
                put_sample(row, o.separate_planes ? x : x * samples + s, o.bits, value);
            }
        }
    if (o.tiled) {
        const std::size_t tile_row = (static_cast<std::size_t>(o.tile_size) * per_pixel * o.bits + 7) / 8;
        Bytes tile(tile_row * o.tile_size);
        for (int s = 0; s < planes; ++s)
            for (int ty = 0; ty < p.height; ty += o.tile_size)
                for (int tx = 0; tx < p.width; tx += o.tile_size) {
                    std::fill(tile.begin(), tile.end(), 0);
                    for (int y = 0; y < o.tile_size && ty + y < p.height; ++y)
                        for (int x = 0; x < o.tile_size && tx + x < p.width; ++x)
                            for (int k = 0; k < per_pixel; ++k) {
                                // 8- and 16-bit samples only in tiles: whole bytes
                                const int bytes = o.bits / 8;
                                for (int b = 0; b < bytes; ++b)
                                    tile[y * tile_row + (x * per_pixel + k) * bytes + b] =
                                        plane[s][(ty + y) * row_bytes + ((tx + x) * per_pixel + k) * bytes + b];
                            }
                    if (TIFFWriteTile(tif, tile.data(), static_cast<std::uint32_t>(tx), static_cast<std::uint32_t>(ty), 0,
                                      static_cast<std::uint16_t>(s)) < 0)
                        return false;
                }
    } else {
        for (int s = 0; s < planes; ++s)
            for (int y = 0; y < p.height; ++y)
                if (TIFFWriteScanline(tif, plane[s].data() + y * row_bytes, static_cast<std::uint32_t>(y),
                                      static_cast<std::uint16_t>(s)) < 0)
                    return false;
    }
    return TIFFWriteDirectory(tif) != 0;
}

// --- JPEG ------------------------------------------------------------------------------

struct JpegFail {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void jpeg_fail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegFail *>(info->err)->jump, 1);
}

bool cmyk_compress(std::FILE *out, int width, int height, const std::uint8_t *samples, bool adobe, bool ycck,
                   int quality) {
    jpeg_compress_struct info;
    JpegFail error;
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
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, ycck ? JCS_YCCK : JCS_CMYK);
    info.write_Adobe_marker = adobe;
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        auto *row = const_cast<JSAMPLE *>(samples) + static_cast<std::size_t>(info.next_scanline) * width * 4;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

} // namespace

Bytes png_bytes(const Picture &p, const PngOptions &o) {
    if (!valid(p))
        return {};
    PngImage image{p.width, p.height, 0, o.bit_depth, o.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE};
    int channels = 1;
    switch (o.colour) {
    case PngColour::grey: image.colour_type = PNG_COLOR_TYPE_GRAY; break;
    case PngColour::grey_alpha: image.colour_type = PNG_COLOR_TYPE_GRAY_ALPHA; channels = 2; break;
    case PngColour::rgb: image.colour_type = PNG_COLOR_TYPE_RGB; channels = 3; break;
    case PngColour::rgba: image.colour_type = PNG_COLOR_TYPE_RGB_ALPHA; channels = 4; break;
    case PngColour::palette: image.colour_type = PNG_COLOR_TYPE_PALETTE; break;
    }
    const int levels = 1 << std::min(o.bit_depth, 8);
    const bool palette = o.colour == PngColour::palette;
    const bool alpha = o.colour == PngColour::grey_alpha || o.colour == PngColour::rgba;
    // The level a grey is stored as (a table index with colour tables).
    auto level = [&](std::uint8_t v) -> unsigned {
        if (o.bit_depth == 1)
            return (v >= 128) == (!palette || o.zero_is_black);
        if (o.bit_depth == 16)
            return v * 257u;
        return (v * (levels - 1) + 127) / 255;
    };
    if (palette) {
        for (int i = 0; i < levels; ++i) {
            auto g = static_cast<png_byte>(i * 255 / (levels - 1));
            if (o.bit_depth == 1 && !o.zero_is_black)
                g = static_cast<png_byte>(255 - g);
            image.palette.push_back({g, g, g});
        }
    }
    if (o.cut_out && !alpha) {
        image.trans = true;
        if (palette) {
            image.trans_entries.assign(static_cast<std::size_t>(levels), 255);
            image.trans_entries[level(255)] = 0;
        } else {
            const png_uint_16 white = static_cast<png_uint_16>(level(255));
            image.trans_colour = {0, white, white, white, white};
        }
    }
    const std::size_t row_bytes = (static_cast<std::size_t>(p.width) * channels * o.bit_depth + 7) / 8;
    for (int y = 0; y < p.height; ++y) {
        Bytes row(row_bytes, 0);
        for (int x = 0; x < p.width; ++x) {
            const std::uint8_t v = p.at(x, y);
            const bool clear = alpha && o.cut_out && v == 255;
            const unsigned stored = clear ? 0 : level(v);
            for (int c = 0; c < channels; ++c) {
                const bool is_alpha = alpha && c == channels - 1;
                const unsigned a = clear ? 0 : o.bit_depth == 16 ? 65535 : 255;
                put_sample(row.data(), x * channels + c, o.bit_depth, is_alpha ? a : stored);
            }
        }
        image.rows.push_back(std::move(row));
    }
    Bytes out;
    return png_encode(&image, &out) ? out : Bytes{};
}

Bytes tiff_bytes(const Picture &p, const TiffOptions &o) {
    if (!valid(p) || (o.tiled && o.bits == 1))
        return {};
    const std::string path = temp_file(".tif");
    if (path.empty())
        return {};
    TIFF *tif = TIFFOpen(path.c_str(), "w");
    bool ok = tif != nullptr;
    for (int i = 0; ok && i < o.pages_before; ++i)
        ok = tiff_page(tif, render_noise(p.width, p.height, "noise", 77 + i), o);
    ok = ok && tiff_page(tif, p, o);
    for (int i = 0; ok && i < o.pages_after; ++i)
        ok = tiff_page(tif, render_noise(p.width / 2 + 1, p.height / 2 + 1, "stripes", 99 + i), o);
    if (tif)
        TIFFClose(tif);
    Bytes bytes = ok ? file_bytes(path) : Bytes{};
    std::remove(path.c_str());
    return bytes;
}

Bytes webp_bytes(const Picture &p, bool lossless, bool cut_out, int quality) {
    if (!valid(p))
        return {};
    Bytes rgba;
    rgba.reserve(p.pixels.size() * 4);
    for (std::uint8_t v : p.pixels) {
        const bool clear = cut_out && v == 255;
        const std::uint8_t c = clear ? 0 : v;
        rgba.insert(rgba.end(), {c, c, c, static_cast<std::uint8_t>(clear ? 0 : 255)});
    }
    std::uint8_t *out = nullptr;
    const std::size_t size =
        lossless ? WebPEncodeLosslessRGBA(rgba.data(), p.width, p.height, p.width * 4, &out)
                 : WebPEncodeRGBA(rgba.data(), p.width, p.height, p.width * 4, static_cast<float>(quality), &out);
    Bytes bytes(out, out + size);
    WebPFree(out);
    return bytes;
}

Bytes cmyk_jpeg_bytes(const Picture &p, bool adobe_inverted, bool ycck, int quality) {
    if (!valid(p))
        return {};
    // Grey v as black ink 255 - v, no colour inks; Adobe's files store the
    // inks inverted.
    Bytes samples;
    for (std::uint8_t v : p.pixels) {
        const std::uint8_t k = static_cast<std::uint8_t>(255 - v);
        if (adobe_inverted || ycck)
            samples.insert(samples.end(), {255, 255, 255, static_cast<std::uint8_t>(255 - k)});
        else
            samples.insert(samples.end(), {0, 0, 0, k});
    }
    char *buffer = nullptr;
    std::size_t size = 0;
    std::FILE *out = open_memstream(&buffer, &size);
    if (!out)
        return {};
    const bool ok = cmyk_compress(out, p.width, p.height, samples.data(), adobe_inverted || ycck, ycck, quality);
    Bytes bytes;
    if (std::fclose(out) == 0 && ok)
        bytes.assign(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

} // namespace vantor::testing
