// Arbitrary file contents through read_image (the leading bytes pick the
// reader), then whatever image it read through decode_image.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include <vantor/image.h>
#include <vantor/vantor.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const std::string path = "/tmp/vantor-fuzz-" + std::to_string(getpid()) + ".img";
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    if (read_image(path.c_str()) && gray_image.pixels) {
        // Large canvases are legal but make each run slow; the decoder's own
        // bounds are exercised by the grey-image target.
        if (static_cast<std::int64_t>(gray_image.width) * gray_image.height <= (1 << 20))
            decode_image(gray_image.pixels, gray_image.width, gray_image.height, gray_image.depth,
                         nullptr);
    }
    release_image();
    return 0;
}
