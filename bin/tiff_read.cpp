// TIFF reader through libtiff: any page, stored in strips or tiles, in any
// layout and compression the library turns into RGBA. The library reads the
// stream through our own procedures, and its errors and warnings go to
// handlers of this one handle, so nothing is printed and reads may run at
// once. A one-bit grey page stays two-level, as a 1-bit BMP does.
#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>

#include <tiffio.h>

#include "1_base/c_file.h"
#include "1_base/heap_array.h"
#include "readers.h"

namespace vantor {

namespace {

// Most memory libtiff may take in one allocation (a decoded strip or tile,
// a tag array): a small file cannot make it allocate gigabytes.
constexpr tmsize_t max_tiff_allocation = tmsize_t{256} << 20;

// Largest file also held in memory, where the library reads it as if
// mapped. libtiff 4.5.0 refuses uncompressed tiles when it reads them
// through the read procedure into a buffer larger than a tile (as its RGBA
// interface does); read from a mapping, they are fine.
constexpr std::int64_t max_tiff_in_memory = std::int64_t{256} << 20;

struct TiffRead {
    std::FILE *file;
    ReadTarget *target;
    HeapArray<std::uint8_t> contents; // the whole file, when it is small enough
    char error[512] = "";             // the library's first error
};

tsize_t tiff_read(thandle_t handle, tdata_t buffer, tsize_t size) {
    auto *r = static_cast<TiffRead *>(handle);
    return static_cast<tsize_t>(std::fread(buffer, 1, static_cast<std::size_t>(size), r->file));
}

tsize_t tiff_write(thandle_t, tdata_t, tsize_t) {
    return -1; // opened for reading only
}

toff_t tiff_seek(thandle_t handle, toff_t offset, int whence) {
    auto *r = static_cast<TiffRead *>(handle);
    if (offset > static_cast<toff_t>(INT64_MAX) || fseeko(r->file, static_cast<off_t>(offset), whence) != 0)
        return static_cast<toff_t>(-1);
    return static_cast<toff_t>(ftello(r->file));
}

int tiff_close(thandle_t) {
    return 0; // the stream is closed by its owner, once
}

toff_t tiff_size(thandle_t handle) {
    const std::int64_t length = file_length(static_cast<TiffRead *>(handle)->file);
    return length < 0 ? 0 : static_cast<toff_t>(length);
}

int tiff_map(thandle_t handle, tdata_t *base, toff_t *size) {
    auto *r = static_cast<TiffRead *>(handle);
    if (!r->contents)
        return 0;
    *base = r->contents.get();
    *size = r->contents.size();
    return 1;
}

void tiff_unmap(thandle_t, tdata_t, toff_t) {}

int on_tiff_error(TIFF *, void *user, const char *module, const char *format, va_list args) {
    auto *r = static_cast<TiffRead *>(user);
    if (r->error[0] == '\0') {
        char text[400];
        std::vsnprintf(text, sizeof text, format, args);
        std::snprintf(r->error, sizeof r->error, "%s%s%s", module ? module : "", module ? ": " : "", text);
    }
    return 1; // handled: the library's process-wide handler is not called
}

int on_tiff_warning(TIFF *, void *user, const char *module, const char *format, va_list args) {
    auto *r = static_cast<TiffRead *>(user);
    char text[400];
    std::vsnprintf(text, sizeof text, format, args);
    add_warning(*r->target, "TIFF: %s%s%s", module ? module : "", module ? ": " : "", text);
    return 1;
}

struct TiffClose {
    void operator()(TIFF *tif) const { TIFFClose(tif); }
};

// Grey of one RGBA raster pixel. The library gives colour premultiplied by
// alpha, so the pixel over white adds the background's share.
unsigned char raster_grey(std::uint32_t abgr) {
    const unsigned a = TIFFGetA(abgr);
    auto over = [a](unsigned c) { return std::min(255u, c + 255 - a); };
    return mean_grey(over(TIFFGetR(abgr)), over(TIFFGetG(abgr)), over(TIFFGetB(abgr)));
}

// Copies a block of the raster (the library's rows run bottom-up: the
// block's top row is its last) to the image at (left, top).
void put_block(const std::uint32_t *raster, std::uint32_t raster_width, std::uint32_t raster_rows,
               std::uint32_t left, std::uint32_t top, std::uint32_t cols, std::uint32_t rows, GrayImage &image) {
    for (std::uint32_t i = 0; i < rows; ++i) {
        const std::uint32_t *in = raster + std::size_t{raster_rows - 1 - i} * raster_width;
        unsigned char *out = image.pixels + std::size_t{top + i} * static_cast<std::size_t>(image.width) + left;
        for (std::uint32_t j = 0; j < cols; ++j)
            out[j] = raster_grey(in[j]);
    }
}

// Whether the page's stored strips or tiles can decode to its size: each
// coding can inflate a byte only so far (deflate 1032 times, LZW with codes
// of 9 bits or more for strings of at most 4096 bytes about 3641 times,
// PackBits 64 times, no coding once). A small file that declares a large
// page is refused before anything is allocated. Other codings are not
// bounded here.
bool data_can_fill_page(TIFF *tif, std::uint32_t height) {
    std::uint16_t compression = COMPRESSION_NONE, samples = 1, planar = PLANARCONFIG_CONTIG;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    std::uint64_t ratio;
    switch (compression) {
    case COMPRESSION_NONE: ratio = 1; break;
    case COMPRESSION_PACKBITS: ratio = 64; break;
    case COMPRESSION_LZW: ratio = 3641; break;
    case COMPRESSION_DEFLATE:
    case COMPRESSION_ADOBE_DEFLATE: ratio = 1032; break;
    default: return true;
    }
    const std::uint32_t blocks = TIFFNumberOfStrips(tif); // tiles too
    std::uint64_t stored = 0;
    for (std::uint32_t i = 0; i < blocks; ++i)
        stored += TIFFGetStrileByteCount(tif, i);
    const std::uint64_t planes = planar == PLANARCONFIG_SEPARATE ? samples : 1;
    const std::uint64_t decoded = TIFFIsTiled(tif) ? static_cast<std::uint64_t>(TIFFTileSize64(tif)) * blocks
                                                   : TIFFScanlineSize64(tif) * height * planes;
    return decoded <= stored * ratio + 4096;
}

// A 16-bit grey page, read here rather than through the RGBA interface,
// whose 16-bit grey tiles lose their rows in libtiff 4.5 when a tile reaches
// past the image. Like that interface, the grey is each sample's high byte.
bool read_grey16(TIFF *tif, TiffRead &r, bool min_is_white) {
    GrayImage &image = r.target->image;
    const auto width = static_cast<std::uint32_t>(image.width), height = static_cast<std::uint32_t>(image.height);
    const bool tiled = TIFFIsTiled(tif);
    std::uint32_t block_width = width, block_height = height;
    if (tiled) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &block_width);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &block_height);
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &block_height);
        block_height = std::clamp<std::uint32_t>(block_height, 1, height);
    }
    const tmsize_t size = tiled ? TIFFTileSize(tif) : TIFFStripSize(tif);
    if (block_width == 0 || block_height == 0 || size <= 0 ||
        static_cast<std::uint64_t>(size) < std::uint64_t{block_width} * block_height * 2) {
        std::snprintf(r.error, sizeof r.error, "blocks of %u x %u pixels", block_width, block_height);
        return false;
    }
    HeapArray<std::uint16_t> block;
    if (!block.allocate(static_cast<std::size_t>(size) / 2 + 1)) {
        r.target->failure = VANTOR_READ_OUT_OF_MEMORY;
        return false;
    }
    for (std::uint32_t top = 0; top < height; top += block_height)
        for (std::uint32_t left = 0; left < width; left += block_width) {
            const tmsize_t got = tiled ? TIFFReadEncodedTile(tif, TIFFComputeTile(tif, left, top, 0, 0), block.get(), size)
                                       : TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, top, 0), block.get(), size);
            if (got < 0)
                return false;
            const std::uint32_t rows = std::min(block_height, height - top), cols = std::min(block_width, width - left);
            for (std::uint32_t i = 0; i < rows; ++i) {
                const std::uint16_t *in = block.get() + std::size_t{i} * block_width;
                unsigned char *out = image.pixels + std::size_t{top + i} * width + left;
                for (std::uint32_t j = 0; j < cols; ++j) {
                    const auto grey = static_cast<unsigned char>(in[j] >> 8);
                    out[j] = min_is_white ? static_cast<unsigned char>(255 - grey) : grey;
                }
            }
        }
    return true;
}

// The current page into the image; false with a text in r.error, or with
// target.failure set, when it cannot be read.
bool read_page(TIFF *tif, TiffRead &r) {
    ReadTarget &target = *r.target;
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    if (width == 0 || height == 0 || std::int64_t{width} * height > max_image_pixels) {
        std::snprintf(r.error, sizeof r.error, "a page of %u x %u pixels", width, height);
        return false;
    }
    if (!data_can_fill_page(tif, height)) {
        std::snprintf(r.error, sizeof r.error, "a page of %u x %u pixels in too little data", width, height);
        return false;
    }
    char why[1024] = "";
    if (!TIFFRGBAImageOK(tif, why)) {
        std::snprintf(r.error, sizeof r.error, "%.400s", why);
        return false;
    }
    if (!allocate_pixels(target, width, height))
        return false;
    std::uint16_t bits = 1, samples = 1, photometric = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    const bool grey = samples == 1 && (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE);
    target.image.depth = grey && bits == 1 ? 1 : 8;
    if (grey && bits == 16)
        return read_grey16(tif, r, photometric == PHOTOMETRIC_MINISWHITE);

    HeapArray<std::uint32_t> raster;
    if (TIFFIsTiled(tif)) {
        std::uint32_t tile_width = 0, tile_height = 0;
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tile_width);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &tile_height);
        if (tile_width == 0 || tile_height == 0 || std::int64_t{tile_width} * tile_height > max_image_pixels) {
            std::snprintf(r.error, sizeof r.error, "tiles of %u x %u pixels", tile_width, tile_height);
            return false;
        }
        if (!raster.allocate(std::size_t{tile_width} * tile_height)) {
            target.failure = VANTOR_READ_OUT_OF_MEMORY;
            return false;
        }
        for (std::uint32_t top = 0; top < height; top += tile_height)
            for (std::uint32_t left = 0; left < width; left += tile_width) {
                if (!TIFFReadRGBATileExt(tif, left, top, raster.get(), 1))
                    return false;
                put_block(raster.get(), tile_width, tile_height, left, top, std::min(tile_width, width - left),
                          std::min(tile_height, height - top), target.image);
            }
        return true;
    }
    std::uint32_t strip_rows = height;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &strip_rows);
    strip_rows = std::clamp<std::uint32_t>(strip_rows, 1, height);
    if (!raster.allocate(std::size_t{width} * strip_rows)) {
        target.failure = VANTOR_READ_OUT_OF_MEMORY;
        return false;
    }
    for (std::uint32_t top = 0; top < height; top += strip_rows) {
        if (!TIFFReadRGBAStripExt(tif, top, raster.get(), 1))
            return false;
        const std::uint32_t rows = std::min(strip_rows, height - top);
        put_block(raster.get(), width, rows, 0, top, width, rows, target.image);
    }
    return true;
}

// Opens the file with this read's own handlers and reads the wanted page.
// On failure the reason is in r.error, unless target.failure tells it.
bool decode_tiff(TiffRead &r) {
    ReadTarget &target = *r.target;
    const std::int64_t length = file_length(r.file);
    if (length > 0 && length <= max_tiff_in_memory && r.contents.allocate(static_cast<std::size_t>(length))) {
        if (std::fseek(r.file, 0, SEEK_SET) != 0 ||
            std::fread(r.contents.get(), 1, r.contents.size(), r.file) != r.contents.size() ||
            std::fseek(r.file, 0, SEEK_SET) != 0)
            r.contents.reset();
    }
    TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
    if (!options) {
        target.failure = VANTOR_READ_OUT_OF_MEMORY;
        return false;
    }
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, max_tiff_allocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options, on_tiff_error, &r);
    TIFFOpenOptionsSetWarningHandlerExtR(options, on_tiff_warning, &r);
    std::unique_ptr<TIFF, TiffClose> tif(TIFFClientOpenExt(target.path, "r", &r, tiff_read, tiff_write, tiff_seek,
                                                           tiff_close, tiff_size, tiff_map, tiff_unmap, options));
    TIFFOpenOptionsFree(options);
    if (!tif)
        return false;
    target.page_count = static_cast<int>(std::min<tdir_t>(TIFFNumberOfDirectories(tif.get()), INT32_MAX));
    if (target.page >= target.page_count) {
        target.failure = VANTOR_READ_INVALID_ARGUMENT;
        std::snprintf(r.error, sizeof r.error, "no page %d (it holds %d, counted from 1)", target.page + 1,
                      target.page_count);
        return false;
    }
    if (target.page > 0 && !TIFFSetDirectory(tif.get(), static_cast<tdir_t>(target.page)))
        return false;
    return read_page(tif.get(), r);
}

} // namespace

int read_tiff(std::FILE *stream, ReadTarget &target) {
    CFile file(stream);
    TiffRead read{file.get(), &target, {}};
    if (decode_tiff(read))
        return 1;
    std::free(target.image.pixels);
    target.image.pixels = nullptr;
    if (target.failure == VANTOR_READ_OUT_OF_MEMORY)
        set_message(target, "file %s: out of memory for TIFF decoding.\n", target.path);
    else if (target.failure == VANTOR_READ_INVALID_ARGUMENT)
        set_message(target, "file %s: TIFF has %s.\n", target.path, read.error);
    else
        set_message(target, "file %s: damaged or unsupported TIFF image (%s).\n", target.path,
                    read.error[0] ? read.error : "no reason given");
    return 0;
}

} // namespace vantor
