// PNG reader through libpng: every colour type and bit depth is expanded to
// 8-bit rows (RGBA composited over white where there is transparency) and
// turned into grey by the mean of red, green and blue. Interlaced images
// are read pass by pass, each pixel straight into its place, so no more
// than one row is held. A 1-bit
// grey or two-colour image stays two-level, as a 1-bit BMP does.
#include <csetjmp>
#include <cstdint>
#include <cstdlib>

#include <png.h>

#include "bmp_layout.h"
#include "1_base/c_file.h"
#include "readers.h"

namespace vantor {

namespace {

// Largest side libpng accepts; the pixel count is checked on its own.
constexpr png_uint_32 max_png_side = 1u << 24;
// Most ancillary chunks kept, and most memory one of them (a compressed
// text or profile) may take once inflated.
constexpr png_uint_32 max_png_chunks = 256;
constexpr png_alloc_size_t max_png_chunk_bytes = 8u << 20;
// The most that deflate can inflate one byte to: image data needing more
// than this many bytes per byte of the whole file cannot be in it.
constexpr std::int64_t max_deflate_ratio = 1032;

struct PngRead {
    ReadTarget *target;
    png_structp png = nullptr;
    png_infop info = nullptr;
    unsigned char *row = nullptr;
    char error[256] = "";
    bool too_large = false;
    png_uint_32 width = 0, height = 0;
};

// libpng's errors end the read through its jump buffer, with the text kept.
[[noreturn]] void on_png_error(png_structp png, png_const_charp text) {
    auto *read = static_cast<PngRead *>(png_get_error_ptr(png));
    std::snprintf(read->error, sizeof read->error, "%s", text);
    png_longjmp(png, 1);
}

void on_png_warning(png_structp png, png_const_charp text) {
    auto *read = static_cast<PngRead *>(png_get_error_ptr(png));
    add_warning(*read->target, "PNG: %s", text);
}

// The image through libpng, between setjmp and the last library call: no
// object with a destructor lives in this frame.
int decode_png(std::FILE *file, std::int64_t length, PngRead *r) {
    if (setjmp(png_jmpbuf(r->png)))
        return 0;
    png_init_io(r->png, file);
    png_set_user_limits(r->png, max_png_side, max_png_side);
    png_set_chunk_cache_max(r->png, max_png_chunks);
    png_set_chunk_malloc_max(r->png, max_png_chunk_bytes);
    png_read_info(r->png, r->info);

    png_uint_32 width, height;
    int bit_depth, colour_type, interlace;
    png_get_IHDR(r->png, r->info, &width, &height, &bit_depth, &colour_type, &interlace, nullptr, nullptr);
    const int channels = png_get_channels(r->png, r->info);
    const std::int64_t stored_row = (std::int64_t{width} * channels * bit_depth + 7) / 8 + 1;
    r->width = width;
    r->height = height;
    if (std::int64_t{width} * height > max_image_pixels ||
        (length >= 0 && stored_row * height > max_deflate_ratio * length + 1024)) {
        r->too_large = true;
        return 0;
    }
    const bool transparent = png_get_valid(r->png, r->info, PNG_INFO_tRNS) != 0;
    // Two-level sources: 1-bit grey, and 1-bit colour tables of two
    // entries, drawn like a 1-bit BMP's table.
    png_colorp palette = nullptr;
    int entries = 0;
    if (colour_type == PNG_COLOR_TYPE_PALETTE)
        png_get_PLTE(r->png, r->info, &palette, &entries);
    const bool two_colours = colour_type == PNG_COLOR_TYPE_PALETTE && bit_depth == 1 && entries == 2 && !transparent;
    const bool bilevel = two_colours || (colour_type == PNG_COLOR_TYPE_GRAY && bit_depth == 1 && !transparent);
    const bool alpha = transparent || (colour_type & PNG_COLOR_MASK_ALPHA);
    // Bytes a pixel once expanded: RGBA where there is transparency, else
    // grey or RGB.
    const int expanded = two_colours ? 1 : alpha ? 4 : (colour_type & PNG_COLOR_MASK_COLOR) ? 3 : 1;
    TwoLevel levels{};
    if (two_colours) {
        levels = two_level(palette[0].red + palette[0].green + palette[0].blue,
                           palette[1].red + palette[1].green + palette[1].blue);
        png_set_packing(r->png); // one index per byte
    } else {
        png_set_expand(r->png); // colour tables to RGB, grey to 8 bits, tRNS to alpha
        png_set_scale_16(r->png);
        // Only an image with transparency is composited: without it, grey
        // rows are the grey levels and colour rows need no alpha.
        if (alpha) {
            png_set_gray_to_rgb(r->png);
            png_set_add_alpha(r->png, 0xFF, PNG_FILLER_AFTER);
        }
    }
    png_read_update_info(r->png, r->info);
    if (png_get_rowbytes(r->png, r->info) != std::size_t{width} * expanded)
        png_error(r->png, "unexpected row size");

    r->row = static_cast<unsigned char *>(std::malloc(std::size_t{width} * 4));
    if (!r->row || !allocate_pixels(*r->target, width, height)) {
        r->target->failure = VANTOR_READ_OUT_OF_MEMORY;
        return 0;
    }
    GrayImage &image = r->target->image;
    image.depth = bilevel ? 1 : 8;
    // Without interlacing one pass holds every row; with it each of the
    // seven passes holds a sub-image, and passes without pixels are skipped.
    const int passes = interlace == PNG_INTERLACE_ADAM7 ? PNG_INTERLACE_ADAM7_PASSES : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const png_uint_32 rows = passes == 1 ? height : PNG_PASS_ROWS(height, pass);
        const png_uint_32 cols = passes == 1 ? width : PNG_PASS_COLS(width, pass);
        if (rows == 0 || cols == 0)
            continue;
        for (png_uint_32 i = 0; i < rows; ++i) {
            png_read_row(r->png, r->row, nullptr);
            const png_uint_32 y = passes == 1 ? i : PNG_ROW_FROM_PASS_ROW(i, pass);
            unsigned char *out = image.pixels + std::size_t{y} * width;
            const unsigned char *in = r->row;
            auto place = [&](png_uint_32 j) { return passes == 1 ? j : PNG_COL_FROM_PASS_COL(j, pass); };
            if (two_colours)
                for (png_uint_32 j = 0; j < cols; ++j)
                    out[place(j)] = levels.value[in[j] & 1];
            else if (expanded == 1)
                for (png_uint_32 j = 0; j < cols; ++j)
                    out[place(j)] = in[j];
            else if (expanded == 3)
                for (png_uint_32 j = 0; j < cols; ++j, in += 3)
                    out[place(j)] = mean_grey(in[0], in[1], in[2]);
            else
                for (png_uint_32 j = 0; j < cols; ++j, in += 4)
                    out[place(j)] = mean_grey(over_white(in[0], in[3]), over_white(in[1], in[3]),
                                              over_white(in[2], in[3]));
        }
    }
    // Chunks after the image data are not needed: the image is complete.
    return 1;
}

} // namespace

int read_png(std::FILE *stream, ReadTarget &target) {
    CFile file(stream);
    PngRead read{&target};
    read.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &read, on_png_error, on_png_warning);
    if (read.png)
        read.info = png_create_info_struct(read.png);
    if (!read.png || !read.info) {
        png_destroy_read_struct(&read.png, nullptr, nullptr);
        target.failure = VANTOR_READ_OUT_OF_MEMORY;
        set_message(target, "file %s: out of memory for PNG decoding.\n", target.path);
        return 0;
    }
    const std::int64_t length = file_length(file.get());
    const int ok = decode_png(file.get(), length, &read);
    png_destroy_read_struct(&read.png, &read.info, nullptr);
    std::free(read.row);
    if (ok)
        return 1;
    std::free(target.image.pixels);
    target.image.pixels = nullptr;
    // read_image keeps the text it always gave; elsewhere the text says
    // which of the two it is.
    if (read.too_large && target.library_messages_to_stderr)
        set_message(target, "file %s: PNG image of %u x %u pixels is too large or cut short.\n", target.path,
                    static_cast<unsigned>(read.width), static_cast<unsigned>(read.height));
    else if (read.too_large && std::int64_t{read.width} * read.height > max_image_pixels)
        refuse_size(target, read.width, read.height);
    else if (read.too_large)
        set_message(target, "file %s: cut short: a PNG image of %u x %u pixels cannot fit in %lld bytes.\n",
                    target.path, static_cast<unsigned>(read.width), static_cast<unsigned>(read.height),
                    static_cast<long long>(length));
    else if (target.failure == VANTOR_READ_OUT_OF_MEMORY)
        set_message(target, "file %s: out of memory for PNG decoding.\n", target.path);
    else
        set_message(target, "file %s: damaged PNG image (%s).\n", target.path, read.error);
    return 0;
}

} // namespace vantor
