// Eye pattern stage: 1:1:3:1:1 window matches along the rows and columns of
// the run tables, their grouping into candidates, and the choice and
// orientation of three of them.
#include "eyepattern.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bitmap.h"

#include "hit_groups.h"
#include "refine.h"
#include "runs.h"
#include "1_base/vectors.h"

namespace vantor {
namespace {

// Five-run window proportions (ideal 1:1:3:1:1), bounds inclusive, as
// fractions num / den so that run / total is compared without dividing:
// run / total >= num / den exactly when run * den >= num * total. (A
// quotient of run lengths that differs from a bound differs by at least
// 1 / (den * total), far more than a rounding, so this is the comparison of
// the floating-point quotients too.)
struct Fraction {
    int num;
    int den;
};
constexpr Fraction outer_min{1, 15};
constexpr Fraction outer_max{3, 13};
constexpr Fraction centre_min{1, 3};
constexpr Fraction centre_max{7, 13};

// Shape and similarity limits of the candidate filter.
constexpr double aspect_max = 1.2;
constexpr double aspect_min = 0.8;
constexpr float aspect_slack = 2.0f; // pixels
constexpr double similar_min = 0.71;
constexpr double similar_max = 1.4;
constexpr double similar_slack = 2.0; // pixels

constexpr double far_away = 10000000; // start of the nearest-to-centroid search

// Runs r[0..4] (each at most 32767 pixels) against the proportions.
bool window_matches(const std::int16_t *r, int total) {
    // Every bound is tested, without a branch: in texture each test fails
    // about as often as it holds, which no branch predictor can follow.
    auto within = [total](int run, Fraction lo, Fraction hi) {
        return (run * lo.den >= lo.num * total) & (run * hi.den <= hi.num * total);
    };
    return (total > 0) & within(r[2], centre_min, centre_max) & within(r[0], outer_min, outer_max) &
           within(r[1], outer_min, outer_max) & within(r[3], outer_min, outer_max) &
           within(r[4], outer_min, outer_max);
}

// Per-label extremes of hit lines, for the consistency score.
struct LineSpan {
    int lo = INT32_MAX;
    int hi = INT32_MIN;
    void add(int line) {
        lo = std::min(lo, line);
        hi = std::max(hi, line);
    }
};

// 0 <= (line - start) / length <= 1.
bool inside_hit(int line, const RunHit &h) {
    if (h.length == 0)
        return false;
    const double q = (static_cast<double>(line) - h.start) / h.length;
    return q >= 0 && q <= 1;
}

// Every partner line lies inside the hit; since the test is an interval of
// lines, the extremes decide it.
bool span_inside_hit(const LineSpan &partners, const RunHit &h) {
    if (partners.lo > partners.hi)
        return true; // no partners
    return inside_hit(partners.lo, h) && inside_hit(partners.hi, h);
}

// Scores every record that is still in: the hits of its group whose window
// holds every crossing line of the other direction.
void score_eyes(PassBuffers &s, const TraceSink &sink) {
    const int n = s.eye_count;
    int labels = 0;
    for (int i = 0; i < s.row_hits.count; ++i)
        labels = std::max(labels, s.row_hits.items[i].label + 1);
    for (int i = 0; i < s.col_hits.count; ++i)
        labels = std::max(labels, s.col_hits.items[i].label + 1);

    if (labels == 0)
        return;
    HeapArray<LineSpan> row_lines;
    HeapArray<LineSpan> col_lines;
    HeapArray<int> consistent;
    if (!row_lines.allocate(labels) || !col_lines.allocate(labels) || !consistent.allocate_zeroed(labels)) {
        // Without the tables no candidate can be judged.
        trace_malloc_failed(sink);
        for (int e = 0; e < n; ++e)
            s.eyes.items[e].score = -1;
        return;
    }
    // One pass over each list for all records at once.
    std::fill(row_lines.get(), row_lines.get() + labels, LineSpan{});
    std::fill(col_lines.get(), col_lines.get() + labels, LineSpan{});
    for (int i = 0; i < s.row_hits.count; ++i)
        if (const RunHit &h = s.row_hits.items[i]; h.label >= 0)
            row_lines[h.label].add(h.line);
    for (int i = 0; i < s.col_hits.count; ++i)
        if (const RunHit &h = s.col_hits.items[i]; h.label >= 0)
            col_lines[h.label].add(h.line);
    for (int i = 0; i < s.row_hits.count; ++i)
        if (const RunHit &h = s.row_hits.items[i]; h.label >= 0 && span_inside_hit(col_lines[h.label], h))
            ++consistent[h.label];
    for (int i = 0; i < s.col_hits.count; ++i)
        if (const RunHit &h = s.col_hits.items[i]; h.label >= 0 && span_inside_hit(row_lines[h.label], h))
            ++consistent[h.label];
    for (int e = 0; e < n; ++e) {
        EyePattern &eye = s.eyes.items[e];
        if (eye.score >= 0 && eye.id >= 0 && eye.id < labels)
            eye.score += consistent[eye.id];
    }
}

// Four windows side by side: the windows starting at runs k, k + 2, k + 4
// and k + 6, from the entries k .. k + 11 read as pairs (dark run in the low
// half, light run in the high half, as the machine stores them). The
// products and sums stay below 2^24, so in floats the comparisons are exact.
struct FourWindows {
    Ints4 first_pair; // runs k + 2i and k + 2i + 1 of lane i, summed
    Ints4 total;
    Ints4 matches; // -1 where the window matches
};

FourWindows four_windows(const std::int16_t *r) {
    Ints4 p0, p1, p2;
    std::memcpy(&p0, r, sizeof p0);
    std::memcpy(&p1, r + 2, sizeof p1);
    std::memcpy(&p2, r + 4, sizeof p2);
    constexpr bool little = std::endian::native == std::endian::little;
    auto dark_of = [](Ints4 p) { return little ? p & 0xFFFF : (p >> 16) & 0xFFFF; };
    auto light_of = [](Ints4 p) { return little ? (p >> 16) & 0xFFFF : p & 0xFFFF; };
    const Ints4 r0 = dark_of(p0), r1 = light_of(p0), r2 = dark_of(p1), r3 = light_of(p1), r4 = dark_of(p2);
    const Ints4 total = r0 + r1 + r2 + r3 + r4;
    const Floats4 t = __builtin_convertvector(total, Floats4);
    auto within = [&t](Ints4 run, Fraction lo, Fraction hi) {
        const Floats4 v = __builtin_convertvector(run, Floats4);
        return (v * static_cast<float>(lo.den) >= t * static_cast<float>(lo.num)) &
               (v * static_cast<float>(hi.den) <= t * static_cast<float>(hi.num));
    };
    const Ints4 matches = (total > 0) & within(r2, centre_min, centre_max) & within(r0, outer_min, outer_max) &
                          within(r1, outer_min, outer_max) & within(r3, outer_min, outer_max) &
                          within(r4, outer_min, outer_max);
    return {r0 + r1, total, matches};
}

// The window matches of one line of `entries` run entries, as hits on
// `line`; false when memory runs out.
bool scan_line(const std::int16_t *r, std::size_t entries, int line, MemChunk<RunHit> &hits,
               const TraceSink &sink) {
    // The line's runs end at the first negative entry or with its entries.
    std::size_t n = 0;
    while (n < entries && r[n] >= 0)
        ++n;
    if (n < 5)
        return true;
    // The window always starts on a dark run and moves two runs at a time:
    // four windows at once while their runs are all there (and the entries
    // read lie inside the line), then one at a time, the sum carried along.
    int pos = 0;
    std::size_t k = 0;
    for (; k + 10 < n && k + 12 <= entries; k += 8) {
        const FourWindows f = four_windows(r + k);
        if ((f.matches[0] | f.matches[1] | f.matches[2] | f.matches[3]) != 0) {
            int at = pos;
            for (int i = 0; i < 4; ++i) {
                if (f.matches[i] && !memchunk_append(hits, RunHit{line, at, f.total[i], -1})) {
                    trace_malloc_failed(sink);
                    return false;
                }
                at += f.first_pair[i];
            }
        }
        pos += f.first_pair[0] + f.first_pair[1] + f.first_pair[2] + f.first_pair[3];
    }
    if (k + 4 >= n)
        return true;
    int total = r[k] + r[k + 1] + r[k + 2] + r[k + 3] + r[k + 4];
    for (;; k += 2) {
        if (window_matches(r + k, total) && !memchunk_append(hits, RunHit{line, pos, total, -1})) {
            trace_malloc_failed(sink);
            return false;
        }
        pos += r[k] + r[k + 1];
        if (k + 6 >= n) // run k + 5 or k + 6 missing
            break;
        total += r[k + 5] + r[k + 6] - r[k] - r[k + 1];
    }
    return true;
}

// The row hits, each row encoded and scanned in turn, so that no table of
// the whole image is kept.
bool scan_row_hits(PassBuffers &s, const TraceSink &sink) {
    const int w = s.image_width;
    HeapArray<std::int16_t> line;
    if (!bitmap_covers_image(s))
        return false;
    if (!line.allocate(static_cast<std::size_t>(w) + 2)) {
        trace_malloc_failed(sink);
        return false;
    }
    for (int y = 0; y < s.image_height; ++y) {
        encode_row_runs(s, y, line.get());
        if (!scan_line(line.get(), static_cast<std::size_t>(w) + 2, y, s.row_hits, sink))
            return false;
    }
    return true;
}

// Columns per block of the column scan: a cache line of the bitmap.
constexpr int column_block = 64;

// The column hits of the blocks of columns that a row hit's crossing window
// reaches. A column hit that crosses no row hit is never grouped and so
// cannot change a candidate, its label or its score: the other blocks are
// neither encoded nor scanned. Their hits are simply never made.
bool scan_col_hits(PassBuffers &s, const TraceSink &sink) {
    const int w = s.image_width;
    const int h = s.image_height;
    const int blocks = (w + column_block - 1) / column_block;
    std::vector<char> wanted(static_cast<std::size_t>(blocks), 0);
    for (int i = 0; i < s.row_hits.count; ++i) {
        const RunHit &r = s.row_hits.items[i];
        // The crossing window 0.2 .. 11/13 of the hit, a pixel wider on
        // each side than the grouping's own test.
        const double from = std::floor(r.start + 0.2 * r.length) - 1;
        const double to = std::ceil(r.start + 11.0 / 13 * r.length) + 1;
        const int a = static_cast<int>(std::clamp(from, 0.0, w - 1.0)) / column_block;
        const int b = static_cast<int>(std::clamp(to, 0.0, w - 1.0)) / column_block;
        std::fill(wanted.begin() + a, wanted.begin() + b + 1, 1);
    }
    const std::size_t entries = static_cast<std::size_t>(h) + 2;
    HeapArray<std::int16_t> table;
    if (!table.allocate(entries * column_block)) {
        trace_malloc_failed(sink);
        return false;
    }
    for (int b = 0; b < blocks; ++b) {
        if (!wanted[static_cast<std::size_t>(b)])
            continue;
        const int first = b * column_block;
        const int count = std::min(column_block, w - first);
        encode_column_runs(s, first, count, table.get());
        for (int c = 0; c < count; ++c)
            if (!scan_line(table.get() + static_cast<std::size_t>(c) * entries, entries, first + c, s.col_hits, sink))
                return false;
    }
    return true;
}

} // namespace

namespace {

// The candidate picked as pick[slot], or null when the pick is not one.
const EyePattern *picked_eye(const PassBuffers &s, const int (&pick)[3], int slot) {
    const int i = pick[slot];
    if (!s.eyes.items || i < 0 || i >= s.eye_count || i >= s.eyes.count)
        return nullptr;
    return &s.eyes.items[i];
}

} // namespace

std::optional<PickedEyes> picked_eyes(const PassBuffers &s, const int (&pick)[3]) {
    const EyePattern *corner = picked_eye(s, pick, 0);
    const EyePattern *along = picked_eye(s, pick, 1);
    const EyePattern *down = picked_eye(s, pick, 2);
    if (!corner || !along || !down)
        return std::nullopt;
    return PickedEyes{*corner, *along, *down};
}

bool scan_runs(const std::int16_t *runs, int line_length, int lines, MemChunk<RunHit> &hits, const TraceSink &sink) {
    if (!runs || line_length <= 0 || lines <= 0)
        return runs != nullptr;
    const std::size_t entries = static_cast<std::size_t>(line_length) + 2;
    for (int line = 0; line < lines; ++line)
        if (!scan_line(runs + static_cast<std::size_t>(line) * entries, entries, line, hits, sink))
            return false;
    return true;
}

void cross_hits(PassBuffers &s, const TraceSink &sink) {
    int labels = label_eye_hits(s.row_hits, s.col_hits);
    if (labels < 0) {
        trace_malloc_failed(sink);
        labels = 0;
    }
    trace(sink, "cross %d \n", labels);

    memchunk_clear(s.eyes);
    s.eye_count = 0;
    for (int label = 0; label < labels; ++label) {
        const EyePattern empty{0.0f, 0.0f, 0.0f, 0.0f, 0, 0, label, 0, 0.0f};
        if (!memchunk_append(s.eyes, empty)) {
            trace_malloc_failed(sink);
            memchunk_clear(s.eyes);
            return;
        }
    }
    for (int i = 0; i < s.row_hits.count; ++i) {
        const RunHit &h = s.row_hits.items[i];
        if (h.label < 0 || h.label >= labels)
            continue;
        EyePattern &eye = s.eyes.items[h.label];
        eye.x += static_cast<float>(h.start + h.length * 0.5);
        eye.h_hits += 1;
        eye.width += static_cast<float>(h.length);
    }
    for (int i = 0; i < s.col_hits.count; ++i) {
        const RunHit &h = s.col_hits.items[i];
        if (h.label < 0 || h.label >= labels)
            continue;
        EyePattern &eye = s.eyes.items[h.label];
        eye.y += static_cast<float>(h.start + h.length * 0.5);
        eye.v_hits += 1;
        eye.height += static_cast<float>(h.length);
    }
    // Labels merged away left empty records; they go, the rest keep their id.
    s.eye_count = labels;
    drop_marked_eyes(s);
    for (int i = 0; i < s.eye_count; ++i) {
        EyePattern &eye = s.eyes.items[i];
        eye.width = static_cast<float>(static_cast<double>(eye.width) / eye.h_hits);
        eye.x = static_cast<float>(static_cast<double>(eye.x) / eye.h_hits);
        eye.height = static_cast<float>(static_cast<double>(eye.height) / eye.v_hits);
        eye.y = static_cast<float>(static_cast<double>(eye.y) / eye.v_hits);
    }
}

bool find_eye_patterns(PassBuffers &s, int (&pick)[3], const TraceSink &sink) {
    memchunk_init(s.row_hits);
    memchunk_init(s.col_hits);
    memchunk_init(s.eyes);
    s.eye_count = 0;

    // No table of the whole image: rows are scanned one at a time, columns
    // a block at a time and only where a row hit may cross them; the
    // alignment search encodes the few lines it reads by itself.
    if (!scan_row_hits(s, sink) || !scan_col_hits(s, sink))
        return false;

    cross_hits(s, sink);
    refine_eyes(s, sink);

    if (s.eye_count < 3) {
        trace(sink, "only %d eye pattern found.\n", s.eye_count);
        return false;
    }
    if (s.eye_count > 3)
        filter_eyes(s, sink);
    pick_eyes(s, pick);

    if (sink.tracing()) {
        for (int i = 0; i < s.eye_count; ++i) {
            for (const int p : pick)
                if (p == i)
                    trace(sink, "*");
            const EyePattern &eye = s.eyes.items[i];
            trace(sink, "Cross %d (%f,%f)-(%f,%f) %d\n", eye.id, eye.x, eye.y, eye.width, eye.height, eye.score);
        }
    }
    return orient_eyes(s, pick);
}

void filter_eyes(PassBuffers &s, const TraceSink &sink) {
    const int n = s.eye_count;
    EyePattern *eyes = s.eyes.items;
    if (!eyes || n <= 0)
        return;

    // Shape: off in both the ratio and the difference of its two widths.
    for (int i = 0; i < n; ++i) {
        EyePattern &eye = eyes[i];
        const double aspect = static_cast<double>(eye.width) / eye.height;
        const bool ratio_off = aspect > aspect_max || aspect < aspect_min;
        if (ratio_off && std::fabs(eye.width - eye.height) > aspect_slack)
            eye.score = -1;
    }

    // Similarity: a real eye pattern has two partners of about its size.
    // A rejection counts at once for the records after it. Only "fewer than
    // two" matters, so the count stops at two.
    auto close = [](float a, float b) {
        const double ratio = static_cast<double>(a) / b;
        return (ratio >= similar_min && ratio <= similar_max) ||
               std::fabs(static_cast<double>(a) - b) <= similar_slack;
    };
    for (int q = 0; q < n; ++q) {
        if (eyes[q].score < 0)
            continue;
        int similar = 0;
        for (int r = 0; r < n && similar < 2; ++r) {
            if (r == q || eyes[r].score < 0)
                continue;
            if (close(eyes[q].width, eyes[r].width) && close(eyes[q].height, eyes[r].height))
                ++similar;
        }
        if (similar < 2)
            eyes[q].score = -1;
    }

    score_eyes(s, sink);
}

void pick_eyes(const PassBuffers &s, int (&pick)[3]) {
    for (int &p : pick)
        p = -1;
    for (int slot = 0; slot < 3; ++slot) {
        int best = -1;
        int best_score = -1;
        for (int i = 0; i < s.eye_count; ++i) {
            if (std::find(pick, pick + slot, i) != pick + slot)
                continue;
            if (s.eyes.items[i].score > best_score) {
                best_score = s.eyes.items[i].score;
                best = i;
            }
        }
        pick[slot] = best < 0 ? 0 : best;
    }
}

bool orient_eyes(const PassBuffers &s, int (&pick)[3]) {
    if (!picked_eye(s, pick, 0) || !picked_eye(s, pick, 1) || !picked_eye(s, pick, 2))
        return false;
    auto eye = [&](int slot) -> const EyePattern & { return *picked_eye(s, pick, slot); };

    const double cx = (static_cast<double>(eye(0).x) + eye(1).x + eye(2).x) / 3;
    const double cy = (static_cast<double>(eye(0).y) + eye(1).y + eye(2).y) / 3;
    // The corner pattern is the one nearest the middle of the three.
    int corner = 0;
    double best = far_away;
    for (int slot = 0; slot < 3; ++slot) {
        const double dx = eye(slot).x - cx;
        const double dy = eye(slot).y - cy;
        const double d = std::sqrt(dx * dx + dy * dy);
        if (d < best) {
            best = d;
            corner = slot;
        }
    }
    if (corner != 0)
        std::swap(pick[0], pick[corner]);

    const double abx = static_cast<double>(eye(1).x) - eye(0).x;
    const double aby = static_cast<double>(eye(1).y) - eye(0).y;
    const double acx = static_cast<double>(eye(2).x) - eye(0).x;
    const double acy = static_cast<double>(eye(2).y) - eye(0).y;
    // Distance of AB from AC turned a quarter turn either way; the turn that
    // brings them together tells which of B and C lies along the rows.
    const double da = std::sqrt((abx - acy) * (abx - acy) + (aby + acx) * (aby + acx));
    const double db = std::sqrt((abx + acy) * (abx + acy) + (aby - acx) * (aby - acx));
    if (da < db)
        return true;
    if (db < da) {
        std::swap(pick[1], pick[2]);
        return true;
    }
    return false;
}

void free_eye_patterns(PassBuffers &s) {
    memchunk_free(s.row_hits);
    memchunk_free(s.col_hits);
    memchunk_free(s.eyes);
    s.eye_count = 0;
    s.row_runs.reset();
    s.col_runs.reset();
}

} // namespace vantor
