// Run-length tables of the work bitmap, sixty-four pixels at a time.
#include "runs.h"

#include <algorithm>

#include "bitmap.h"

namespace vantor {
namespace {

// Encodes the `count` pixels of one image row as runs: entry 0 dark, then
// alternating, -1 after the last run (`out` has count + 2 entries).
// A run ends where a pixel's colour differs from the one before it (before
// pixel 0, dark, since the first run is dark). Without `pad` the entries
// after the -1 are left as they were.
void encode_row(const std::uint8_t *pixels, int count, std::int16_t *out, bool pad = true) {
    int k = 0;
    int run_start = 0;
    for_each_change(pixels, count, dark, true, true, [&](int at) {
        out[k++] = static_cast<std::int16_t>(at - run_start);
        run_start = at;
    });
    out[k] = static_cast<std::int16_t>(count - run_start);
    out[k + 1] = -1;
    if (pad)
        std::fill(out + k + 2, out + count + 2, std::int16_t{0});
}

// The run lines of columns first .. first + count - 1 into `table`, one
// line of image_height + 2 entries each. Sixty-four columns (a cache line of
// the bitmap) at a time, row by row, so the bitmap is read in memory order: a
// row's mask is compared with the colours of the runs in progress, and only
// the columns whose colour changes are visited. Without `pad` the entries
// after each line's -1 are left as they were.
void encode_columns(const PassBuffers &s, int first, int count, std::int16_t *table, bool pad = true) {
    const int w = s.image_width;
    const int h = s.image_height;
    const std::size_t entries = static_cast<std::size_t>(h) + 2;
    const std::uint8_t *bitmap = s.work_bitmap.get();
    constexpr int sweep = 64;
    int run_index[sweep];
    int run_start[sweep];
    for (int x0 = 0; x0 < count; x0 += sweep) {
        const int columns = std::min(sweep, count - x0);
        auto mask_of = [&](const std::uint8_t *row) {
            if (columns == sweep)
                return dark_mask64(row);
            std::uint64_t mask = 0;
            for (int c = 0; c < columns; ++c)
                mask |= static_cast<std::uint64_t>(row[c] == dark) << c;
            return mask;
        };
        std::fill(run_index, run_index + columns, 0);
        std::fill(run_start, run_start + columns, 0);
        std::uint64_t colour = columns == sweep ? ~std::uint64_t{0} : (std::uint64_t{1} << columns) - 1;
        for (int y = 0; y < h; ++y) {
            const std::uint64_t mask = mask_of(bitmap + static_cast<std::size_t>(y) * w + first + x0);
            for (std::uint64_t change = mask ^ colour; change != 0; change &= change - 1) {
                const int c = std::countr_zero(change);
                std::int16_t *out = table + static_cast<std::size_t>(x0 + c) * entries;
                out[run_index[c]++] = static_cast<std::int16_t>(y - run_start[c]);
                run_start[c] = y;
            }
            colour = mask;
        }
        for (int c = 0; c < columns; ++c) {
            std::int16_t *out = table + static_cast<std::size_t>(x0 + c) * entries;
            out[run_index[c]] = static_cast<std::int16_t>(h - run_start[c]);
            out[run_index[c] + 1] = -1;
            if (pad)
                std::fill(out + run_index[c] + 2, out + entries, std::int16_t{0});
        }
    }
}

// Drops the old table and allocates `lines` lines of `entries` each (a line's
// runs, its terminator and one spare); false when there is no bitmap for the
// image or no memory.
bool prepare_run_table(const PassBuffers &s, HeapArray<std::int16_t> &table, std::size_t entries, int lines,
                       const TraceSink &sink) {
    table.reset();
    if (!bitmap_covers_image(s))
        return false;
    if (!table.allocate(entries * lines)) {
        trace_malloc_failed(sink);
        return false;
    }
    return true;
}

} // namespace

void encode_row_runs(const PassBuffers &s, int y, std::int16_t *out) {
    const int w = s.image_width;
    encode_row(s.work_bitmap.get() + static_cast<std::size_t>(y) * w, w, out, false);
}

void encode_column_runs(const PassBuffers &s, int first, int count, std::int16_t *table) {
    encode_columns(s, first, count, table, false);
}

bool table_covers(const HeapArray<std::int16_t> &table, int line_length, int lines) {
    return table && table.size() >= (static_cast<std::size_t>(line_length) + 2) * static_cast<std::size_t>(lines);
}

bool build_row_runs(PassBuffers &s, const TraceSink &sink) {
    const int w = s.image_width;
    const int h = s.image_height;
    const std::size_t entries = static_cast<std::size_t>(w) + 2;
    if (!prepare_run_table(s, s.row_runs, entries, h, sink))
        return false;
    for (int y = 0; y < h; ++y)
        encode_row(s.work_bitmap.get() + static_cast<std::size_t>(y) * w, w,
                   s.row_runs.get() + y * entries);
    return true;
}

bool build_col_runs(PassBuffers &s, const TraceSink &sink) {
    const int w = s.image_width;
    const int h = s.image_height;
    const std::size_t entries = static_cast<std::size_t>(h) + 2;
    if (!prepare_run_table(s, s.col_runs, entries, w, sink))
        return false;
    encode_columns(s, 0, w, s.col_runs.get());
    return true;
}

} // namespace vantor
