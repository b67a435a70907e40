// vantor_decode: the arguments checked, the pixels packed row after row, and
// the picture decoded as the effort's plan orders; the caller gets the
// results whole.
#include <cstdint>
#include <cstring>
#include <new>

#include "1_base/heap_array.h"
#include "api_types.h"
#include "plan.h"

using namespace vantor;

extern "C" vantor_results *vantor_decode_pixels(const unsigned char *pixels, int width, int height, int stride,
                                                int depth, const vantor_options *options) {
    auto *results = new (std::nothrow) vantor_results;
    if (!results)
        return nullptr;
    try {
        if (!pixels || width <= 0 || height <= 0 || std::int64_t{width} * height > VANTOR_MAX_PIXELS ||
            stride < width || (depth != 1 && depth != 8)) {
            results->reason = VANTOR_INVALID_ARGUMENT;
            return results;
        }
        const vantor_options defaults;
        const vantor_options &o = options ? *options : defaults;
        // The stages index rows width bytes apart: a view into a wider
        // buffer is copied out first.
        HeapArray<std::uint8_t> packed;
        const std::uint8_t *rows = pixels;
        if (stride != width) {
            if (!packed.allocate(static_cast<std::size_t>(width) * height)) {
                results->reason = VANTOR_OUT_OF_MEMORY;
                return results;
            }
            for (int y = 0; y < height; ++y)
                std::memcpy(packed.get() + static_cast<std::size_t>(y) * width,
                            pixels + static_cast<std::size_t>(y) * stride, static_cast<std::size_t>(width));
            rows = packed.get();
        }
        static_cast<Found &>(*results) = decode_as_planned(rows, width, height, depth, o, plan_for(o, width, height));
    } catch (const std::bad_alloc &) {
        results->symbols.clear();
        results->reason = VANTOR_OUT_OF_MEMORY;
    }
    return results;
}

extern "C" vantor_results *vantor_decode(const vantor_image *image, const vantor_options *options) {
    if (!image)
        return vantor_decode_pixels(nullptr, 0, 0, 0, 8, options);
    const int width = vantor_image_width(image);
    return vantor_decode_pixels(vantor_image_pixels(image), width, vantor_image_height(image), width,
                                vantor_image_depth(image), options);
}
