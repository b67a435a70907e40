// Decode entry: up to seven binarisations of the image, each searched for a
// symbol with two module-size estimates. A reading is returned at once when
// the Reed-Solomon stage left rs_below_capacity set; otherwise the last text
// that decoded is returned after all passes.
#include "top.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "bmp_write.h"
#include "decode.h"
#include "eyepattern.h"
#include "format.h"
#include "grid.h"
#include "reorder.h"
#include "state.h"
#include "unmask.h"
#include "version.h"
#include <vantor/vantor.h>

namespace vantor {

DecoderState state;

namespace {

constexpr std::uint8_t dark = 64;
constexpr std::uint8_t light = 0;
constexpr std::uint8_t sampled_mark = 0x10;

// Global passes 0..2: the threshold sits this fraction of the grey range up.
constexpr double global_divisors[3] = {3.0, 2.5, 2.0};
// Local passes 3..6: threshold on the normalised 0..255 scale.
constexpr int local_thresholds[4] = {85, 127, 170, 102};

constexpr int window = 17;     // side of the local neighbourhood
constexpr int flat_range = 24; // a grey range this small carries no edge

// Run lengths are 16-bit, so a line longer than this is out of range.
constexpr int max_side = 32767;

void log_line(const char *text) {
    if (state.log_stream)
        std::fputs(text, state.log_stream);
}

// Fills contrast_map: each grey rescaled against the darkest and brightest
// grey of its 17x17 neighbourhood, kept as per-column extremes in a ring.
void fill_contrast_map(const std::uint8_t *pixels, int width, int height) {
    std::uint8_t col_min[window];
    std::uint8_t col_max[window];
    auto load_column = [&](int x, int top) {
        std::uint8_t lo = 255, hi = 0;
        for (int r = top; r < top + window; ++r) {
            std::uint8_t g = pixels[static_cast<std::size_t>(r) * width + x];
            lo = std::min(lo, g);
            hi = std::max(hi, g);
        }
        col_min[x % window] = lo;
        col_max[x % window] = hi;
    };
    for (int y = 0; y < height; ++y) {
        // Nine rows above y and seven below, pinned inside the image.
        int top = y < 9 ? 0 : (y > height - 9 ? height - window : y - 9);
        const std::uint8_t *row = pixels + static_cast<std::size_t>(y) * width;
        std::int16_t *out = state.contrast_map.get() + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            if (x == 0) {
                for (int c = 0; c < window; ++c)
                    load_column(c, top);
            } else if (x > 8 && x < width - 8) {
                load_column(x + 8, top);
            }
            int lo = *std::min_element(col_min, col_min + window);
            int hi = *std::max_element(col_max, col_max + window);
            int range = hi - lo;
            out[x] = range <= flat_range ? std::int16_t{-1}
                                             : static_cast<std::int16_t>((row[x] - lo) * 255 / range);
        }
    }
}

void free_pass_buffers() {
    state.contrast_map.reset();
    state.work_bitmap.reset();
}

void write_debug_image(const char *format, int pass, int try_index, const std::uint8_t *pixels,
                       int width, int height) {
    char name[64];
    std::snprintf(name, sizeof name, format, pass, try_index);
    write_bmp(name, pixels, width, height);
}

} // namespace

void threshold_global(int index, const std::uint8_t *pixels, std::uint16_t depth) {
    const std::size_t n = static_cast<std::size_t>(state.image_width) * state.image_height;
    std::uint8_t *out = state.work_bitmap.get();
    if (depth == 1) {
        for (std::size_t i = 0; i < n; ++i)
            out[i] = pixels[i] == 0 ? dark : light;
        return;
    }
    if (index < 0 || index > 2)
        index = 2;
    auto [lo, hi] = std::minmax_element(pixels, pixels + n);
    const int threshold = static_cast<int>(*lo + (*hi - *lo) / global_divisors[index]);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = pixels[i] < threshold ? dark : light;
}

int threshold_local(int index, const std::uint8_t *pixels, int width, int height) {
    if (index < 0 || index > 3)
        return 0;
    // The neighbourhood must fit inside the image; smaller images get only
    // the global passes.
    if (width < window || height < window)
        return 0;
    const int threshold = local_thresholds[index];
    if (!state.contrast_map) {
        if (!state.contrast_map.allocate(static_cast<std::size_t>(width) * height)) {
            std::fputs("malloc() failed.\n", stderr);
            return 0;
        }
        fill_contrast_map(pixels, width, height);
    }
    for (int y = 0; y < height; ++y) {
        const std::size_t base = static_cast<std::size_t>(y) * width;
        std::uint8_t carried = light;
        for (int x = 0; x < width; ++x) {
            int v = state.contrast_map[base + x];
            if (v >= 0)
                carried = v <= threshold ? dark : light;
            state.work_bitmap[base + x] = carried;
        }
    }
    return -1;
}

} // namespace vantor

using namespace vantor;

extern "C" const char *decode_image(const unsigned char *pixels, int width, int height,
                                    unsigned short depth, FILE *log_stream) {
    state.log_stream = log_stream;
    if (!pixels || width <= 0 || height <= 0 || width > max_side || height > max_side)
        return nullptr;
    state.image_width = width;
    state.image_height = height;
    const std::size_t n = static_cast<std::size_t>(width) * height;
    if (!state.work_bitmap.allocate(n)) {
        log_line("malloc() failed.\n");
        return nullptr;
    }

    bool have_saved = false;
    for (int pass = 0; pass < 7; ++pass) {
        if (pass <= 2)
            threshold_global(pass, pixels, depth);
        else
            threshold_local(pass - 3, pixels, width, height);
        if (log_stream)
            write_debug_image("sample1-%d.bmp", pass, 0, state.work_bitmap.get(), width, height);

        if (find_eye_patterns()) {
            for (int j = 0; j < 2; ++j) {
                state.version = determine_version(j);
                if (state.version < 1)
                    continue;
                if (!grid_build() || !grid_sample()) {
                    grid_free();
                    continue;
                }
                if (log_stream) {
                    write_debug_image("sample2-%d-%d.bmp", pass, j, state.module_matrix.get(),
                                      state.matrix_width, state.matrix_height);
                    write_debug_image("sample3-%d-%d.bmp", pass, j, state.work_bitmap.get(), width,
                                      height);
                }
                for (std::size_t i = 0; i < n; ++i)
                    state.work_bitmap[i] &= static_cast<std::uint8_t>(~sampled_mark);

                read_format_info();
                unmask();
                reorder_codewords();
                char *text = decode_data();
                grid_free();
                release_codewords();
                if (!text)
                    continue;
                if (state.rs_below_capacity) {
                    free_eye_patterns();
                    free_pass_buffers();
                    return text;
                }
                std::memcpy(state.saved_text, state.result_text, sizeof state.saved_text);
                have_saved = true;
            }
        }
        free_eye_patterns();
        if (depth == 1)
            break;
    }
    free_pass_buffers();
    return have_saved ? state.saved_text : nullptr;
}

extern "C" const char *decoder_version(void) { return "1.2"; }
