// The reentrant image interface: images owned by the caller, read from files
// by the same readers as read_image, or copied from the caller's pixels.
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "readers.h"
#include <vantor/vantor.h>

struct vantor_image {
    int width = 0;
    int height = 0;
    int depth = 8;
    unsigned char *pixels = nullptr; // from malloc
    int page_count = 1;
    const char *format = ""; // static storage
    std::string warnings;

    vantor_image() = default;
    vantor_image(const vantor_image &) = delete;
    vantor_image &operator=(const vantor_image &) = delete;
    ~vantor_image() { std::free(pixels); }
};

using namespace vantor;

namespace {

void report(vantor_read_error *error, vantor_read_status status, const char *message) {
    if (!error)
        return;
    error->status = status;
    std::snprintf(error->message, sizeof error->message, "%s", message);
}

} // namespace

extern "C" const char *vantor_read_status_text(vantor_read_status status) {
    switch (status) {
    case VANTOR_READ_OK: return "read";
    case VANTOR_READ_NO_SUCH_FILE: return "no such file";
    case VANTOR_READ_PERMISSION_DENIED: return "permission denied";
    case VANTOR_READ_IS_DIRECTORY: return "is a directory";
    case VANTOR_READ_EMPTY_FILE: return "empty file";
    case VANTOR_READ_UNKNOWN_FORMAT: return "not an image format Vantor reads";
    case VANTOR_READ_DAMAGED: return "damaged, truncated or too large";
    case VANTOR_READ_OUT_OF_MEMORY: return "out of memory";
    case VANTOR_READ_INVALID_ARGUMENT: return "invalid argument";
    }
    return "unknown status";
}

extern "C" vantor_image *vantor_image_read_page_dpi(const char *path, int page, int dpi, vantor_read_error *error) {
    if (!path || page < 0 || dpi < 0 || dpi > 4800) {
        report(error, VANTOR_READ_INVALID_ARGUMENT, "");
        return nullptr;
    }
    try {
        ReadTarget target;
        target.page = page;
        target.dpi = dpi;
        const vantor_read_status status = read_image_file(path, target);
        if (status != VANTOR_READ_OK) {
            std::free(target.image.pixels);
            report(error, status, target.message);
            return nullptr;
        }
        auto *image = new (std::nothrow) vantor_image;
        if (!image) {
            std::free(target.image.pixels);
            report(error, VANTOR_READ_OUT_OF_MEMORY, "");
            return nullptr;
        }
        image->width = target.image.width;
        image->height = target.image.height;
        image->depth = target.image.depth == 1 ? 1 : 8;
        image->pixels = target.image.pixels;
        image->page_count = target.page_count;
        image->format = target.format;
        image->warnings = std::move(target.warnings);
        report(error, VANTOR_READ_OK, "");
        return image;
    } catch (const std::bad_alloc &) {
        report(error, VANTOR_READ_OUT_OF_MEMORY, "");
        return nullptr;
    }
}

extern "C" vantor_image *vantor_image_read_page(const char *path, int page, vantor_read_error *error) {
    return vantor_image_read_page_dpi(path, page, 0, error);
}

extern "C" vantor_image *vantor_image_read(const char *path, vantor_read_error *error) {
    return vantor_image_read_page(path, 0, error);
}

extern "C" vantor_image *vantor_image_from_pixels(const unsigned char *pixels, int width, int height, int stride,
                                                   int depth) {
    if (!pixels || width <= 0 || height <= 0 || stride < width || (depth != 1 && depth != 8))
        return nullptr;
    const std::size_t w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
    if (w > SIZE_MAX / h)
        return nullptr;
    auto *image = new (std::nothrow) vantor_image;
    if (!image)
        return nullptr;
    image->pixels = static_cast<unsigned char *>(std::malloc(w * h));
    if (!image->pixels) {
        delete image;
        return nullptr;
    }
    image->width = width;
    image->height = height;
    image->depth = depth;
    for (std::size_t y = 0; y < h; ++y) {
        const unsigned char *in = pixels + y * static_cast<std::size_t>(stride);
        unsigned char *out = image->pixels + y * w;
        if (depth == 8) {
            std::memcpy(out, in, w);
            continue;
        }
        // Two-level: 0 is dark and every other value light, as the decoder
        // reads such pixels; kept as 0 and 255.
        for (std::size_t x = 0; x < w; ++x)
            out[x] = in[x] ? 255 : 0;
    }
    return image;
}

extern "C" void vantor_image_free(vantor_image *image) {
    delete image;
}

extern "C" int vantor_image_width(const vantor_image *image) {
    return image ? image->width : 0;
}

extern "C" int vantor_image_height(const vantor_image *image) {
    return image ? image->height : 0;
}

extern "C" int vantor_image_depth(const vantor_image *image) {
    return image ? image->depth : 0;
}

extern "C" const unsigned char *vantor_image_pixels(const vantor_image *image) {
    return image ? image->pixels : nullptr;
}

extern "C" int vantor_image_page_count(const vantor_image *image) {
    return image ? image->page_count : 0;
}

extern "C" const char *vantor_image_format(const vantor_image *image) {
    return image ? image->format : "";
}

extern "C" const char *vantor_image_warnings(const vantor_image *image) {
    return image ? image->warnings.c_str() : "";
}
