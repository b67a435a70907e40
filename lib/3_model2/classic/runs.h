// Run-length tables of the work bitmap: per row (or column) the lengths of
// its alternating runs, dark first, -1 after the last.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bitmap.h"
#include "state.h"
#include "1_base/vectors.h"

namespace vantor {

// One line of a run table: its runs end at the first negative entry or at the
// end of the line's entries, whichever comes first.
class RunLine {
public:
    RunLine(const std::int16_t *runs, int line_length, int line)
        : entries_(static_cast<std::size_t>(line_length) + 2),
          runs_(runs + static_cast<std::size_t>(line) * entries_) {}

    // The run's length, or -1 past the last run.
    int operator[](std::size_t i) const { return i < entries_ && runs_[i] >= 0 ? runs_[i] : -1; }

private:
    std::size_t entries_;
    const std::int16_t *runs_;
};

// Sixty-four bitmap bytes at once: bit i set when pixel i is dark (exactly
// `dark`: a marked pixel counts as light).
inline std::uint64_t dark_mask64(const std::uint8_t *pixels) { return equal_bytes_mask64(pixels, dark); }

// Fills s.row_runs (s.col_runs): one line of width + 2 (height + 2) entries
// per row (column). False when there is no bitmap for the image or no
// memory.
bool build_row_runs(PassBuffers &s, const TraceSink &sink);
bool build_col_runs(PassBuffers &s, const TraceSink &sink);

// The runs of row y alone, as one line of build_row_runs's table (width + 2
// entries) up to its -1; the bitmap must cover the image.
void encode_row_runs(const PassBuffers &s, int y, std::int16_t *out);
// The runs of columns first .. first + count - 1 alone, as lines of
// build_col_runs's table (height + 2 entries each) from `table` on, each up
// to its -1.
void encode_column_runs(const PassBuffers &s, int first, int count, std::int16_t *table);

// The table holds `lines` lines of line_length + 2 entries.
bool table_covers(const HeapArray<std::int16_t> &table, int line_length, int lines);

} // namespace vantor
