// WebP reader through libwebp: lossy and lossless still images, decoded to
// RGBA, composited over white and turned into grey by the mean of red, green
// and blue. The whole file is read into memory first, so its size is
// bounded; the picture's size is checked before anything is decoded.
#include <cstdint>
#include <cstdlib>

#include <webp/decode.h>

#include "1_base/c_file.h"
#include "1_base/heap_array.h"
#include "readers.h"

namespace vantor {

namespace {

// Largest file read into memory.
constexpr std::int64_t max_webp_file = std::int64_t{256} << 20;

const char *status_text(VP8StatusCode status) {
    switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY: return "out of memory";
    case VP8_STATUS_INVALID_PARAM: return "invalid parameter";
    case VP8_STATUS_BITSTREAM_ERROR: return "bit stream error";
    case VP8_STATUS_UNSUPPORTED_FEATURE: return "unsupported feature";
    case VP8_STATUS_SUSPENDED: return "decoding suspended";
    case VP8_STATUS_USER_ABORT: return "decoding aborted";
    case VP8_STATUS_NOT_ENOUGH_DATA: return "file cut short";
    default: return "unknown error";
    }
}

// The file into pixels; a failure's text (with target.failure set for a
// lack of memory), or nullptr.
const char *decode_webp(std::FILE *file, ReadTarget &target) {
    const std::int64_t length = file_length(file);
    if (length < 0 || std::fseek(file, 0, SEEK_SET) != 0)
        return "file cannot be read";
    if (length > max_webp_file)
        return "file larger than 256 MiB";
    HeapArray<std::uint8_t> data;
    if (!data.allocate(static_cast<std::size_t>(length))) {
        target.failure = VANTOR_READ_OUT_OF_MEMORY;
        return "out of memory";
    }
    if (std::fread(data.get(), 1, data.size(), file) != data.size())
        return "file cannot be read";

    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return "library version mismatch";
    const VP8StatusCode info = WebPGetFeatures(data.get(), data.size(), &config.input);
    if (info != VP8_STATUS_OK)
        return status_text(info);
    if (config.input.has_animation)
        return "animated images are not read";
    const std::int64_t width = config.input.width, height = config.input.height;
    if (width * height > max_image_pixels)
        return "picture too large";
    HeapArray<std::uint8_t> rgba;
    if (!rgba.allocate(static_cast<std::size_t>(width * height * 4)) || !allocate_pixels(target, width, height)) {
        target.failure = VANTOR_READ_OUT_OF_MEMORY;
        return "out of memory";
    }
    config.output.colorspace = MODE_RGBA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = rgba.get();
    config.output.u.RGBA.stride = static_cast<int>(width * 4);
    config.output.u.RGBA.size = rgba.size();
    const VP8StatusCode decoded = WebPDecode(data.get(), data.size(), &config);
    WebPFreeDecBuffer(&config.output);
    if (decoded == VP8_STATUS_OUT_OF_MEMORY)
        target.failure = VANTOR_READ_OUT_OF_MEMORY;
    if (decoded != VP8_STATUS_OK)
        return status_text(decoded);
    const std::uint8_t *c = rgba.get();
    for (std::size_t i = 0; i < static_cast<std::size_t>(width * height); ++i, c += 4)
        target.image.pixels[i] = mean_grey(over_white(c[0], c[3]), over_white(c[1], c[3]), over_white(c[2], c[3]));
    return nullptr;
}

} // namespace

int read_webp(std::FILE *stream, ReadTarget &target) {
    CFile file(stream);
    const char *failure = decode_webp(file.get(), target);
    if (!failure)
        return 1;
    std::free(target.image.pixels);
    target.image.pixels = nullptr;
    set_message(target, "file %s: damaged or unsupported WebP image (%s).\n", target.path, failure);
    return 0;
}

} // namespace vantor
