// Debug images: a byte image written as a two-colour BMP file.
#pragma once

#include <cstdint>

namespace vantor {

struct TraceSink;

// Values 1, 2, 3, 16 and 64 become black, all others white. True when the
// file was created and its header written.
bool write_bmp(const char *file_name, const std::uint8_t *pixels, int width, int height);
// write_bmp into the state's debug folder (the current directory when it
// names none).
bool write_debug_image(const TraceSink &s, const char *name, const std::uint8_t *pixels, int width,
                       int height);

} // namespace vantor
