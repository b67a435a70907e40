// What every reader shares: failure texts, warnings, the pixel buffer and
// the file's length.
#include <cstdarg>
#include <cstdlib>
#include <new>

#include "readers.h"

namespace vantor {

void set_message(ReadTarget &target, const char *format, ...) {
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(target.message, sizeof target.message, format, args);
    va_end(args);
}

void add_warning(ReadTarget &target, const char *format, ...) {
    if (target.warning_count > max_warnings)
        return;
    char line[512];
    if (target.warning_count == max_warnings) {
        std::snprintf(line, sizeof line, "more warnings left out");
    } else {
        std::va_list args;
        va_start(args, format);
        std::vsnprintf(line, sizeof line, format, args);
        va_end(args);
    }
    ++target.warning_count;
    try {
        target.warnings += line;
        target.warnings += '\n';
    } catch (const std::bad_alloc &) {
        // A warning that does not fit in memory is dropped; the read goes on.
    }
}

bool refuse_size(ReadTarget &target, std::int64_t width, std::int64_t height) {
    // The classic readers say nothing of a refused size.
    if (target.library_messages_to_stderr || target.message[0] != '\0')
        return false;
    const long long w = width, h = height;
    if (w <= 0 || h <= 0)
        set_message(target, "file %s: the header gives an empty picture (%lld x %lld).\n", target.path, w, h);
    else
        set_message(target, "file %s: %lld x %lld pixels is more than Vantor reads (2^28 pixels).\n", target.path,
                    w, h);
    return false;
}

bool allocate_pixels(ReadTarget &target, std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0 || width > max_image_pixels || height > max_image_pixels ||
        width * height > max_image_pixels)
        return refuse_size(target, width, height);
    target.image.width = static_cast<std::int32_t>(width);
    target.image.height = static_cast<std::int32_t>(height);
    target.image.pixels = static_cast<unsigned char *>(std::malloc(static_cast<std::size_t>(width * height)));
    if (!target.image.pixels) {
        target.failure = VANTOR_READ_OUT_OF_MEMORY;
        return false;
    }
    return true;
}

std::int64_t file_length(std::FILE *file) {
    const off_t here = ftello(file);
    if (here < 0 || fseeko(file, 0, SEEK_END) != 0)
        return -1;
    const off_t end = ftello(file);
    if (fseeko(file, here, SEEK_SET) != 0)
        return -1;
    return end;
}

} // namespace vantor
