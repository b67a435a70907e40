// Grey image, input dispatch by leading bytes, and the BMP reader.
#include <cstdarg>
#include <cstdlib>
#include <cstring>

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

// PLACEHOLDER: replaced by the BMP reader.
int read_bmp(std::FILE *file) {
    std::fclose(file);
    return 0;
}

} // namespace vantor

using namespace vantor;

extern "C" int read_image(const char *path) {
    read_message[0] = '\0';
    std::FILE *file = std::fopen(path, "rb");
    if (!file) {
        set_read_message("file %s open error.\n", path);
        return 0;
    }
    unsigned char lead[4];
    if (std::fread(lead, 1, 4, file) != 4) {
        std::fclose(file);
        return 0;
    }
    if (lead[0] == 'B' && lead[1] == 'M') {
        if (std::fseek(file, 2, SEEK_SET) != 0) {
            std::fclose(file);
            return 0;
        }
        return read_bmp(file);
    }
    if (std::memcmp(lead, "GIF8", 4) == 0) {
        gray_image.depth = 8;
        return read_gif(file);
    }
    if (lead[0] == 0xFF && lead[1] == 0xD8) {
        gray_image.depth = 8;
        if (std::fseek(file, 0, SEEK_SET) != 0) {
            std::fclose(file);
            return 0;
        }
        return read_jpeg(file);
    }
    set_read_message("file %s is not BMP,JPEG.\n", path);
    std::fclose(file);
    return 0;
}

extern "C" void release_image(void) {
    std::free(gray_image.pixels);
    gray_image.pixels = nullptr;
}
