// Run-length tables of the work bitmap, eight pixels at a time.
#include "runs.h"

#include <algorithm>

#include "bitmap.h"

namespace vantor {

namespace {

// Encodes `count` pixels, `step` bytes apart, as runs: entry 0 dark, then
// alternating, -1 after the last run. `out` has count + 2 entries.
void encode_line(const std::uint8_t *pixels, std::size_t step, int count, std::int16_t *out,
                 std::uint8_t ignored = 0) {
    std::fill(out, out + count + 2, std::int16_t{0});
    bool current_dark = true;
    int k = 0;
    for (int i = 0; i < count; ++i) {
        const bool d = (pixels[static_cast<std::size_t>(i) * step] & ~ignored) == dark;
        if (d != current_dark) {
            current_dark = d;
            ++k;
        }
        ++out[k];
    }
    out[k + 1] = -1;
}

// encode_line for one image row, eight pixels at a time while they go on
// with the current run; the `ignored` bits of each byte do not count.
// Without `pad` the entries after the -1 are left as they were.
void encode_row(const std::uint8_t *pixels, int count, std::int16_t *out, std::uint8_t ignored = 0,
                bool pad = true) {
    bool current_dark = true;
    int k = 0;
    int run_start = 0;
    int i = 0;
    while (i < count) {
        if (i + 8 <= count) {
            const std::uint64_t change = dark_bytes(pixels + i, ignored) ^ (current_dark ? all_dark_bytes : 0);
            if (change == 0) {
                i += 8;
                continue;
            }
            i += std::countr_zero(change) / 8;
        } else if (((pixels[i] & ~ignored) == dark) == current_dark) {
            ++i;
            continue;
        }
        // Pixel i begins the next run.
        out[k++] = static_cast<std::int16_t>(i - run_start);
        run_start = i;
        current_dark = !current_dark;
    }
    out[k] = static_cast<std::int16_t>(count - run_start);
    out[k + 1] = -1;
    if (pad)
        std::fill(out + k + 2, out + count + 2, std::int16_t{0});
}

// The run lines of columns first .. first + count - 1 into `table`, one
// line of image_height + 2 entries each; the `ignored` bits of each byte do
// not count. Columns eight at a time, row by row, so the bitmap is read in
// memory order: a row's eight bytes are compared with the colours of the
// eight runs in progress, and only the columns whose colour changes are
// visited. Sixty-four columns (a cache line of the bitmap) per sweep.
// Without `pad` the entries after each line's -1 are left as they were.
void encode_columns(const DecoderState &s, int first, int count, std::int16_t *table, std::uint8_t ignored,
                    bool pad = true) {
    const int w = s.image_width;
    const int h = s.image_height;
    const std::size_t entries = static_cast<std::size_t>(h) + 2;
    const std::uint8_t *bitmap = s.work_bitmap.get();
    constexpr int group = 8;
    constexpr int groups_per_sweep = 8;
    const int groups = count / group;
    int run_index[group * groups_per_sweep];
    int run_start[group * groups_per_sweep];
    std::uint64_t colour[groups_per_sweep]; // bit 7 of byte b: column b's run is dark
    for (int g0 = 0; g0 < groups; g0 += groups_per_sweep) {
        const int ng = std::min(groups_per_sweep, groups - g0);
        const int x0 = g0 * group;
        for (int c = 0; c < ng * group; ++c) {
            run_index[c] = 0;
            run_start[c] = 0;
        }
        std::fill(colour, colour + ng, all_dark_bytes);
        for (int y = 0; y < h; ++y) {
            const std::uint8_t *row = bitmap + static_cast<std::size_t>(y) * w + first + x0;
            for (int g = 0; g < ng; ++g) {
                std::uint64_t change = dark_bytes(row + g * group, ignored) ^ colour[g];
                colour[g] ^= change;
                for (; change != 0; change &= change - 1) {
                    const int c = g * group + std::countr_zero(change) / 8;
                    std::int16_t *out = table + static_cast<std::size_t>(x0 + c) * entries;
                    out[run_index[c]++] = static_cast<std::int16_t>(y - run_start[c]);
                    run_start[c] = y;
                }
            }
        }
        for (int c = 0; c < ng * group; ++c) {
            std::int16_t *out = table + static_cast<std::size_t>(x0 + c) * entries;
            out[run_index[c]] = static_cast<std::int16_t>(h - run_start[c]);
            out[run_index[c] + 1] = -1;
            if (pad)
                std::fill(out + run_index[c] + 2, out + entries, std::int16_t{0});
        }
    }
    // The last few columns one at a time.
    for (int x = groups * group; x < count; ++x)
        encode_line(bitmap + first + x, static_cast<std::size_t>(w), h, table + static_cast<std::size_t>(x) * entries,
                    ignored);
}

// Drops the old table and allocates `lines` lines of `entries` each (a line's
// runs, its terminator and one spare); false when there is no bitmap for the
// image or no memory.
bool prepare_run_table(const DecoderState &s, HeapArray<std::int16_t> &table, std::size_t entries, int lines) {
    table.reset();
    if (!bitmap_covers_image(s))
        return false;
    if (!table.allocate(entries * lines)) {
        trace_malloc_failed(s);
        return false;
    }
    return true;
}

} // namespace

void encode_row_runs(const DecoderState &s, int y, std::int16_t *out) {
    const int w = s.image_width;
    encode_row(s.work_bitmap.get() + static_cast<std::size_t>(y) * w, w, out, 0, false);
}

void encode_column_runs(const DecoderState &s, int first, int count, std::int16_t *table) {
    encode_columns(s, first, count, table, 0, false);
}

bool table_covers(const HeapArray<std::int16_t> &table, int line_length, int lines) {
    return table && table.size() >= (static_cast<std::size_t>(line_length) + 2) * static_cast<std::size_t>(lines);
}

int build_row_runs(DecoderState &s) {
    const int w = s.image_width;
    const int h = s.image_height;
    const std::size_t entries = static_cast<std::size_t>(w) + 2;
    if (!prepare_run_table(s, s.row_runs, entries, h))
        return 0;
    for (int y = 0; y < h; ++y)
        encode_row(s.work_bitmap.get() + static_cast<std::size_t>(y) * w, w,
                   s.row_runs.get() + y * entries);
    return -1;
}

int build_col_runs(DecoderState &s) {
    const int w = s.image_width;
    const int h = s.image_height;
    const std::size_t entries = static_cast<std::size_t>(h) + 2;
    if (!prepare_run_table(s, s.col_runs, entries, w))
        return 0;
    encode_columns(s, 0, w, s.col_runs.get(), 0);
    return -1;
}

} // namespace vantor
