// Binarisation passes: the grey image to the work bitmap (dark 64, light 0)
// by one global threshold (passes 0..2) or by thresholds on the grey
// normalised against its neighbourhood (passes 3..6).
#include "binarise.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "bitmap.h"
#include "state.h"
#include "1_base/vectors.h"

namespace vantor {
namespace {

// Global passes 0..2: the threshold sits this fraction of the grey range up.
constexpr double global_divisors[3] = {3.0, 2.5, 2.0};
// Local passes 3..6: threshold on the normalised 0..255 scale.
constexpr int local_thresholds[4] = {85, 127, 170, 102};

constexpr int window = 17;     // side of the local neighbourhood
constexpr int flat_range = 24; // a grey range this small carries no edge

// Written as selections so that the compiler finds its byte minimum and
// maximum instructions.
Bytes16 min16(Bytes16 a, Bytes16 b) { return a < b ? a : b; }
Bytes16 max16(Bytes16 a, Bytes16 b) { return a > b ? a : b; }

// (grey - lo) * 255 / range for range 25..255 without a division:
// (d * reciprocal[range]) >> 16 with reciprocal = ceil(255 * 2^16 / range).
// Exact because d * (rounding excess) / 2^16 stays below 1 / range for every
// grey difference d <= 255 (255 * 255 < 2^16).
constexpr int reciprocal_shift = 16;
constexpr auto contrast_reciprocals = [] {
    std::array<std::uint32_t, 256> r{};
    for (int range = flat_range + 1; range < 256; ++range)
        r[range] = static_cast<std::uint32_t>(((255u << reciprocal_shift) + range - 1) / range);
    return r;
}();

constexpr bool reciprocals_exact() {
    for (int range = flat_range + 1; range < 256; ++range)
        for (int d = 0; d <= range; ++d)
            if (((d * contrast_reciprocals[range]) >> reciprocal_shift) != static_cast<std::uint32_t>(d * 255 / range))
                return false;
    return true;
}
static_assert(reciprocals_exact(), "the reciprocal table must give the exact quotient");

std::int16_t normalised(int grey, int lo, int hi) {
    const int range = hi - lo;
    if (range <= flat_range)
        return -1;
    return static_cast<std::int16_t>((static_cast<std::uint32_t>(grey - lo) * contrast_reciprocals[range]) >>
                                     reciprocal_shift);
}

// First row of the 17-row window of row y: nine rows above and seven below,
// pinned inside the image.
int window_top(int y, int height) { return y < 9 ? 0 : (y > height - 9 ? height - window : y - 9); }

// Fills contrast_map: each grey rescaled against the darkest and brightest
// grey of its 17x17 neighbourhood. The window's columns are 0..16 near the
// left edge, x-8..x+8 in the middle and the last 17 near the right edge.
// The column extremes of a whole window row are taken at once (recomputed
// only when the window moves down), then the extremes of 17 neighbouring
// columns, sixteen pixels at a time. False when memory runs out.
bool fill_contrast_map(PassBuffers &s, const std::uint8_t *pixels, int width, int height) {
    HeapArray<std::uint8_t> scratch;
    if (!scratch.allocate(static_cast<std::size_t>(width) * 4))
        return false;
    std::uint8_t *col_min = scratch.get();
    std::uint8_t *col_max = col_min + width;
    std::uint8_t *lo_row = col_max + width;
    std::uint8_t *hi_row = lo_row + width;
    constexpr int lanes = 16;
    constexpr int half = window / 2; // 8 columns either side

    int loaded_top = -1;
    for (int y = 0; y < height; ++y) {
        const int top = window_top(y, height);
        if (top != loaded_top) {
            loaded_top = top;
            const std::uint8_t *first = pixels + static_cast<std::size_t>(top) * width;
            int x = 0;
            for (; x + lanes <= width; x += lanes) {
                Bytes16 lo = load16(first + x), hi = lo;
                for (int r = 1; r < window; ++r) {
                    const Bytes16 g = load16(first + static_cast<std::size_t>(r) * width + x);
                    lo = min16(lo, g);
                    hi = max16(hi, g);
                }
                store16(col_min + x, lo);
                store16(col_max + x, hi);
            }
            for (; x < width; ++x) {
                std::uint8_t lo = first[x], hi = first[x];
                for (int r = 1; r < window; ++r) {
                    const std::uint8_t g = first[static_cast<std::size_t>(r) * width + x];
                    lo = std::min(lo, g);
                    hi = std::max(hi, g);
                }
                col_min[x] = lo;
                col_max[x] = hi;
            }
        }

        // Edge windows are fixed; the middle slides with x.
        const std::uint8_t left_lo = *std::min_element(col_min, col_min + window);
        const std::uint8_t left_hi = *std::max_element(col_max, col_max + window);
        const std::uint8_t right_lo = *std::min_element(col_min + width - window, col_min + width);
        const std::uint8_t right_hi = *std::max_element(col_max + width - window, col_max + width);
        const int middle_end = width - half; // first column of the right edge
        int x = 0;
        for (; x <= half && x < width; ++x) {
            lo_row[x] = left_lo;
            hi_row[x] = left_hi;
        }
        for (; x + lanes <= middle_end; x += lanes) {
            Bytes16 lo = load16(col_min + x - half), hi = load16(col_max + x - half);
            for (int k = 1; k < window; ++k) {
                lo = min16(lo, load16(col_min + x - half + k));
                hi = max16(hi, load16(col_max + x - half + k));
            }
            store16(lo_row + x, lo);
            store16(hi_row + x, hi);
        }
        for (; x < middle_end; ++x) {
            lo_row[x] = *std::min_element(col_min + x - half, col_min + x + half + 1);
            hi_row[x] = *std::max_element(col_max + x - half, col_max + x + half + 1);
        }
        for (; x < width; ++x) {
            lo_row[x] = right_lo;
            hi_row[x] = right_hi;
        }

        const std::uint8_t *row = pixels + static_cast<std::size_t>(y) * width;
        std::int16_t *out = s.contrast_map.get() + static_cast<std::size_t>(y) * width;
        for (int i = 0; i < width; ++i)
            out[i] = normalised(row[i], lo_row[i], hi_row[i]);
    }
    return true;
}

} // namespace

int global_threshold(int lo, int hi, int index) {
    // Between the darkest and the brightest grey, so 0..255.
    return static_cast<int>(lo + (hi - lo) / global_divisors[index < 0 || index > 2 ? 2 : index]);
}

int local_threshold(int index) { return local_thresholds[index < 0 || index > 3 ? 0 : index]; }

void grey_histogram(const std::uint8_t *pixels, std::size_t n, std::uint32_t (&counts)[256]) {
    // Four tables, one for each of four neighbouring pixels: in a flat
    // region a single table's count waits on its own last increment.
    std::uint32_t part[4][256] = {};
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        ++part[0][pixels[i]];
        ++part[1][pixels[i + 1]];
        ++part[2][pixels[i + 2]];
        ++part[3][pixels[i + 3]];
    }
    for (; i < n; ++i)
        ++part[0][pixels[i]];
    for (int v = 0; v < 256; ++v)
        counts[v] = part[0][v] + part[1][v] + part[2][v] + part[3][v];
}

void contrast_histogram(const PassBuffers &s, std::uint32_t (&counts)[256]) {
    std::fill(std::begin(counts), std::end(counts), 0u);
    const std::size_t n = static_cast<std::size_t>(s.image_width) * s.image_height;
    const std::int16_t *map = s.contrast_map.get();
    for (std::size_t i = 0; i < n; ++i)
        if (map[i] >= 0)
            ++counts[map[i]];
}

void threshold_global(PassBuffers &s, int index, const std::uint8_t *pixels, std::uint16_t depth) {
    const std::size_t n = static_cast<std::size_t>(s.image_width) * s.image_height;
    std::uint8_t *out = s.work_bitmap.get();
    if (n == 0)
        return;
    constexpr std::size_t lanes = 16;
    const Bytes16 dark16 = Bytes16{} + dark;
    std::size_t i = 0;
    if (depth == 1) {
        for (; i + lanes <= n; i += lanes)
            store16(out + i, reinterpret_cast<Bytes16>(load16(pixels + i) == 0) & dark16);
        for (; i < n; ++i)
            out[i] = pixels[i] == 0 ? dark : light;
        return;
    }
    if (index < 0 || index > 2)
        index = 2;
    Bytes16 lo16 = Bytes16{} + 255, hi16 = Bytes16{};
    for (; i + lanes <= n; i += lanes) {
        const Bytes16 g = load16(pixels + i);
        lo16 = min16(lo16, g);
        hi16 = max16(hi16, g);
    }
    int lo = 255, hi = 0;
    for (std::size_t k = 0; k < lanes; ++k) {
        lo = std::min<int>(lo, lo16[k]);
        hi = std::max<int>(hi, hi16[k]);
    }
    for (; i < n; ++i) {
        lo = std::min<int>(lo, pixels[i]);
        hi = std::max<int>(hi, pixels[i]);
    }
    const int threshold = global_threshold(lo, hi, index);
    const Bytes16 threshold16 = Bytes16{} + static_cast<std::uint8_t>(threshold);
    for (i = 0; i + lanes <= n; i += lanes)
        store16(out + i, reinterpret_cast<Bytes16>(load16(pixels + i) < threshold16) & dark16);
    for (; i < n; ++i)
        out[i] = pixels[i] < threshold ? dark : light;
}

bool threshold_local(PassBuffers &s, int index, const std::uint8_t *pixels, int width, int height) {
    if (index < 0 || index > 3)
        return false;
    // The neighbourhood must fit inside the image; smaller images get only
    // the global passes.
    if (width < window || height < window)
        return false;
    const int threshold = local_thresholds[index];
    if (!s.contrast_map) {
        if (!s.contrast_map.allocate(static_cast<std::size_t>(width) * height) ||
            !fill_contrast_map(s, pixels, width, height)) {
            s.contrast_map.reset();
            std::fputs("malloc() failed.\n", stderr);
            return false;
        }
    }
    // Low-contrast pixels (-1) take the result of their left neighbour, so
    // eight values at a time only while none of them is -1.
    constexpr int lanes = 8;
    const Shorts8 threshold8 = Shorts8{} + static_cast<std::int16_t>(threshold);
    for (int y = 0; y < height; ++y) {
        const std::size_t base = static_cast<std::size_t>(y) * width;
        const std::int16_t *map = s.contrast_map.get() + base;
        std::uint8_t *out = s.work_bitmap.get() + base;
        std::uint8_t carried = light;
        int x = 0;
        while (x < width) {
            if (x + lanes <= width) {
                Shorts8 v;
                std::memcpy(&v, map + x, sizeof v);
                std::uint64_t negative[2];
                std::memcpy(negative, &v, sizeof negative);
                if (((negative[0] | negative[1]) & 0x8000800080008000u) == 0) {
                    const Bytes8 is_dark = __builtin_convertvector(v <= threshold8, Bytes8) & dark;
                    std::memcpy(out + x, &is_dark, sizeof is_dark);
                    carried = is_dark[lanes - 1];
                    x += lanes;
                    continue;
                }
                // Eight low-contrast pixels, as most of a flat scene's.
                if ((negative[0] & negative[1] & 0x8000800080008000u) == 0x8000800080008000u) {
                    std::memset(out + x, carried, lanes);
                    x += lanes;
                    continue;
                }
            }
            const int stop = std::min(width, x + lanes);
            for (; x < stop; ++x) {
                const int v = map[x];
                if (v >= 0)
                    carried = v <= threshold ? dark : light;
                out[x] = carried;
            }
        }
    }
    return true;
}

// Clears the sampled mark in every byte, sixteen at a time.
void clear_sampled_marks(std::uint8_t *bytes, std::size_t n) {
    const Bytes16 keep = Bytes16{} + static_cast<std::uint8_t>(~sampled_mark);
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16)
        store16(bytes + i, load16(bytes + i) & keep);
    for (; i < n; ++i)
        bytes[i] &= static_cast<std::uint8_t>(~sampled_mark);
}

} // namespace vantor
