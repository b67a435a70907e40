// Alignment pattern search: light, dark, light runs of about one module
// along rows and along columns in a window around the position the corner
// eye pattern and the step vectors predict, crossing matches grouped, and
// the mean centre of the first group. The run tables of the pass serve when
// they are still there; otherwise the window's lines are encoded alone.
#include "alignment.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "bitmap.h"
#include "hit_groups.h"
#include "runs.h"

namespace vantor {
namespace {

// The scan window of an alignment search along one direction: `lines`
// lines from `first` across it, `span` pixels from `start` along it.
struct AlignmentWindow {
    int first;
    int lines;
    int start;
    int span;
};

// False when the window leaves the image on any side or is not a number.
bool alignment_window(double across, double across_step, double along, double along_step,
                      int across_limit, int along_limit, AlignmentWindow &out) {
    const double first = std::ceil(across - 1.5 * across_step);
    const double lines = std::ceil(3 * across_step);
    const double start = std::ceil(along - 2.5 * along_step);
    const double span = std::ceil(5 * along_step);
    // Negated tests so that NaN fails too.
    if (!(first >= 0 && start >= 0 && lines >= 0 && span >= 0))
        return false;
    if (!(first + lines <= across_limit && start + span <= along_limit))
        return false;
    out = {static_cast<int>(first), static_cast<int>(lines), static_cast<int>(start),
           static_cast<int>(span)};
    return true;
}

// One line of an alignment window, from the work bitmap with the sampled
// mark ignored (the line as it was when the pass had just written it, before
// a failed sampling grid of the same pass marked pixels), written so that
// scan_alignment_runs reads from it what it would read from the whole line.
// That scan walks from the line start to the first run that begins at or
// after `start`, then reads only runs that begin before the window's end,
// and a run longer than `accepted` pixels is refused whatever its length.
// So the line is written as a stand-in prefix that brings the walk to that
// run at the same position and with the same colour, then the runs from
// there up to `stop` (at least `accepted` + 1 pixels past the window's end,
// the last one cut there), then the terminator. `pixels` is the line's first
// pixel, `step` the distance between its pixels.
void encode_window_line(const std::uint8_t *pixels, std::size_t step, int start, int stop,
                        std::int16_t *out) {
    auto dark_at = [&](int i) { return (pixels[static_cast<std::size_t>(i) * step] & ~sampled_mark) == dark; };
    int k = 0;
    int run_start = 0;
    bool current_dark = true; // entry 0 is dark
    if (start > 0) {
        int first = start;
        while (first < stop && dark_at(first) == dark_at(first - 1))
            ++first;
        if (first >= stop) {
            // No run begins in reach: the scan takes nothing from this line.
            out[0] = 0;
            out[1] = -1;
            return;
        }
        current_dark = dark_at(first);
        if (current_dark)
            out[k++] = 0; // a dark run is an even entry
        out[k++] = static_cast<std::int16_t>(first);
        run_start = first;
    }
    for (int i = run_start; i < stop; ++i) {
        if (dark_at(i) != current_dark) {
            out[k++] = static_cast<std::int16_t>(i - run_start);
            run_start = i;
            current_dark = !current_dark;
        }
    }
    out[k++] = static_cast<std::int16_t>(stop - run_start);
    out[k] = -1;
}

// scan_alignment_runs over the window's lines of the row (or column) table.
// Without the full tables, those lines are made by encode_window_line.
bool scan_window(const PassBuffers &s, bool along_rows, bool full_tables, const AlignmentWindow &win, double unit,
                 MemChunk<RunHit> &hits, const TraceSink &sink) {
    const int w = s.image_width;
    const int h = s.image_height;
    const int line_length = along_rows ? w : h;
    if (full_tables)
        return scan_alignment_runs(win.first, (along_rows ? s.row_runs : s.col_runs).get(), line_length, hits,
                                   win.start, win.lines, win.span, unit, sink);
    if (win.lines <= 0)
        return false;
    const std::size_t entries = static_cast<std::size_t>(line_length) + 2;
    HeapArray<std::int16_t> lines;
    if (!lines.allocate(entries * static_cast<std::size_t>(win.lines))) {
        trace_malloc_failed(sink);
        return false;
    }
    // Runs longer than this are refused by the scan (the same bound as its own).
    const double accepted = std::ceil(unit * 1.5);
    int stop = line_length;
    if (accepted >= 0 && accepted < line_length)
        stop = static_cast<int>(std::min<std::int64_t>(
            line_length, std::int64_t{win.start} + win.span + static_cast<std::int64_t>(accepted) + 1));
    const std::uint8_t *bitmap = s.work_bitmap.get();
    for (int i = 0; i < win.lines; ++i) {
        const int line = win.first + i;
        if (along_rows)
            encode_window_line(bitmap + static_cast<std::size_t>(line) * w, 1, win.start, stop,
                               lines.get() + i * entries);
        else
            encode_window_line(bitmap + line, static_cast<std::size_t>(w), win.start, stop,
                               lines.get() + i * entries);
    }
    const int before = hits.count;
    if (!scan_alignment_runs(0, lines.get(), line_length, hits, win.start, win.lines, win.span, unit, sink))
        return false;
    for (int i = before; i < hits.count; ++i)
        hits.items[i].line += win.first;
    return true;
}

} // namespace

bool find_alignment(PassBuffers &s, const PickedEyes &eyes, StepUnits units, AlignmentProbe &probe,
                    const TraceSink &sink) {
    memchunk_clear(s.row_hits);
    memchunk_clear(s.col_hits);
    const int w = s.image_width;
    const int h = s.image_height;
    const bool full_tables = table_covers(s.row_runs, w, h) && table_covers(s.col_runs, h, w);
    if (!full_tables && !bitmap_covers_image(s))
        return false;

    const EyePattern &corner = eyes.corner;
    const EyePattern &along = eyes.along;
    const EyePattern &down = eyes.down;
    const Vec2f xu = units.x;
    const Vec2f yu = units.y;
    // The corner pattern's centre is module (3, 3).
    const double dc = static_cast<double>(probe.col) - 3;
    const double dr = static_cast<double>(probe.row) - 3;
    const double px = corner.x + dc * xu.x + dr * yu.x;
    const double py = corner.y + dc * xu.y + dr * yu.y;
    if (!(px >= 0 && py >= 0))
        return false;
    // Pixel extent of one module step, horizontally and vertically.
    const double hx = std::fabs(static_cast<double>(xu.x)) + std::fabs(static_cast<double>(yu.x));
    const double hy = std::fabs(static_cast<double>(xu.y)) + std::fabs(static_cast<double>(yu.y));

    // Rows: three modules high, five wide, around the predicted centre.
    AlignmentWindow rows;
    if (!alignment_window(py, hy, px, hx, h, w, rows))
        return false;
    const double row_unit = (static_cast<double>(corner.width) + along.width + down.width) / 21;
    if (!scan_window(s, true, full_tables, rows, row_unit, s.row_hits, sink))
        return false;

    AlignmentWindow cols;
    if (!alignment_window(px, hx, py, hy, w, h, cols))
        return false;
    const double col_unit = (static_cast<double>(corner.height) + along.height + down.height) / 21;
    if (!scan_window(s, false, full_tables, cols, col_unit, s.col_hits, sink))
        return false;

    label_alignment_hits(s.row_hits, s.col_hits);

    // Only the group of the first crossing found counts.
    double sum_x = 0;
    int n_x = 0;
    for (int i = 0; i < s.row_hits.count; ++i) {
        const RunHit &hit = s.row_hits.items[i];
        if (hit.label == 1) {
            sum_x += hit.start + hit.length * 0.5;
            ++n_x;
        }
    }
    double sum_y = 0;
    int n_y = 0;
    for (int i = 0; i < s.col_hits.count; ++i) {
        const RunHit &hit = s.col_hits.items[i];
        if (hit.label == 1) {
            sum_y += hit.start + hit.length * 0.5;
            ++n_y;
        }
    }
    if (n_x == 0 || n_y == 0)
        return false;
    probe.x = static_cast<float>(sum_x / n_x);
    probe.y = static_cast<float>(sum_y / n_y);
    return true;
}

bool scan_alignment_runs(int first_line, const std::int16_t *runs, int line_length, MemChunk<RunHit> &hits,
                         int start, int lines, int span, double unit, const TraceSink &sink) {
    if (!runs || line_length <= 0 || first_line < 0 || lines <= 0 || lines > INT32_MAX - first_line)
        return false;
    // Accepted run lengths, about one module: floor(unit / 2) .. ceil(unit * 3 / 2).
    const double lo = std::floor(unit * 0.5);
    const double hi = std::ceil(unit * 1.5);
    auto fits = [&](int run) { return run >= 0 && run >= lo && run <= hi; };
    const std::int64_t end = static_cast<std::int64_t>(start) + span;
    bool found = false;
    for (int line = first_line; line < first_line + lines; ++line) {
        const RunLine r(runs, line_length, line);
        // The first run that begins at or after the start position.
        std::size_t i = 0;
        std::int64_t pos = 0;
        while (r[i] >= 0 && pos < start)
            pos += r[i++];
        if (r[i] < 0)
            continue;
        if (i % 2 == 0) // dark: begin on the light run after it
            pos += r[i++];
        // Light, dark, light, each about one module: the centre of an
        // alignment pattern and the light ring on both sides of it.
        while (pos < end) {
            const int a = r[i];
            const int b = r[i + 1];
            if (a < 0 || b < 0 || pos + a + b > end)
                break;
            const int c = r[i + 2];
            if (fits(a) && fits(b) && fits(c)) {
                if (!memchunk_append(hits, RunHit{line, static_cast<int>(pos + a), b, -1})) {
                    trace_malloc_failed(sink);
                    return false;
                }
                found = true;
            }
            pos += a + b;
            if (c < 0 || r[i + 3] < 0)
                break;
            i += 2;
        }
    }
    return found;
}

} // namespace vantor
