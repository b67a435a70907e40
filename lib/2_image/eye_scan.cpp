// Eye pattern scan: every row is cut into runs; five runs dark, light, dark,
// light, dark in the ratio 1:1:3:1:1 make a row match, which must be repeated
// across the column through its centre and again along the row through the
// column's centre. Matches within a module of each other merge. Finding the
// matches and merging them are separate steps, so one scan of every row
// serves a merge of all rows and one of every second.
#include "eye_scan.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>

#include "1_base/vectors.h"

namespace vantor::thorough {
namespace {

// More raw candidates than this mean a texture, not symbols: the scan stops
// collecting (it keeps merging into those it has).
constexpr std::size_t max_raw = 4096;

struct Raw {
    float x, y, module;
    int hits;
};

// Five runs centred on (x, y) along the direction (dx, dy): 1, 0 a row, 0, 1
// a column, 1, 1 or 1, -1 a diagonal. The centre dark run, then light and
// dark runs out to each side, none longer than `limit`. False when a run is
// missing or too long. Each side's walk knows how many of its pixels lie
// inside, so a step checks one count; the direction is fixed when compiled.
template <int dx, int dy>
bool runs_through(const Binary &b, int x, int y, int limit, int (&runs)[5], float &centre) {
    const int width = b.width(), height = b.height();
    if (x < 0 || y < 0 || x >= width || y >= height || !b.dark(x, y))
        return false;
    int back[3] = {0, 0, 0}, fore[3] = {0, 0, 0};
    bool counted = false;
    auto room_along = [](int p, int s, int size) { return s > 0 ? size - p : s < 0 ? p + 1 : std::numeric_limits<int>::max(); };
    // Most runs in texture are short: sixteen pixels each way, read without
    // a branch as bits, mostly hold all six, whose lengths then come from
    // counting bits instead of from walks that end unpredictably.
    constexpr int seen = 16;
    // Pixels by their bit index in the binarisation.
    const std::ptrdiff_t row_bits = static_cast<std::ptrdiff_t>(b.row_bits());
    const std::ptrdiff_t ahead = static_cast<std::ptrdiff_t>(dy) * row_bits + dx;
    const std::ptrdiff_t here = static_cast<std::ptrdiff_t>(y) * row_bits + x;
    auto bit = [&b](std::ptrdiff_t at) { return static_cast<unsigned>(b.bit(static_cast<std::size_t>(at))); };
    if (std::min(room_along(x, -dx, width), room_along(y, -dy, height)) >= seen &&
        std::min(room_along(x + dx, dx, width), room_along(y + dy, dy, height)) >= seen) {
        // Bit j: back, the pixel j steps back (bit 0 the centre); fore, the
        // pixel j + 1 steps on. 1 is dark.
        unsigned back_bits = 0, fore_bits = 0;
#pragma GCC unroll 16
        for (int j = 0; j < seen; ++j) {
            back_bits |= bit(here - j * ahead) << j;
            fore_bits |= bit(here + (j + 1) * ahead) << j;
        }
        // A side's three runs, dark, light, dark, from bit 0 (the back's
        // first bit is the centre pixel); known when the third ends inside.
        auto side_runs = [](unsigned side, int (&run)[3]) {
            run[0] = std::countr_one(side);
            if (run[0] >= seen)
                return false;
            run[1] = std::countr_zero(side >> run[0]);
            if (run[0] + run[1] >= seen)
                return false;
            run[2] = std::countr_one(side >> (run[0] + run[1]));
            return run[0] + run[1] + run[2] < seen;
        };
        counted = side_runs(back_bits, back) && side_runs(fore_bits, fore);
        if (counted && std::max({back[0], back[1], back[2], fore[0], fore[1], fore[2]}) > limit)
            return false;
    }
#pragma GCC unroll 2
    for (int side = 0; side < 2 && !counted; ++side) {
        int(&count)[3] = side == 0 ? back : fore;
        const int sx = side == 0 ? -dx : dx, sy = side == 0 ? -dy : dy;
        const int px = x + (side == 0 ? 0 : sx), py = y + (side == 0 ? 0 : sy);
        // Pixels from (px, py) on to the edge, (px, py) itself included.
        int room = std::min(room_along(px, sx, width), room_along(py, sy, height));
        const std::ptrdiff_t step = static_cast<std::ptrdiff_t>(sy) * row_bits + sx;
        std::ptrdiff_t at = static_cast<std::ptrdiff_t>(py) * row_bits + px;
#pragma GCC unroll 3
        for (int k = 0; k < 3; ++k) {
            const unsigned want = k != 1;
            // One pixel past `limit` is enough to know the run is too long.
            const int cap = std::min(room, limit + 1);
            int run = 0;
            while (run < cap && bit(at) == want) {
                ++run;
                at += step;
            }
            room -= run;
            count[k] = run;
            // The centre run may end at the centre pixel on the far side.
            if ((run == 0 && !(side == 1 && k == 0)) || run > limit)
                return false;
        }
    }
    runs[0] = back[2];
    runs[1] = back[1];
    runs[2] = back[0] + fore[0];
    runs[3] = fore[1];
    runs[4] = fore[2];
    // The centre run spans from (pos - back[0] + 1) to (pos + fore[0]).
    const int pos = dx ? x : y;
    centre = static_cast<float>(pos - back[0] + 1 + pos + fore[0]) / 2.0f;
    return true;
}

// Entries row_starts may write past the starts it finds.
constexpr std::size_t starts_slack = 8;

// The run starts of row y of the binarisation between x0 and x1, from its
// first dark pixel there, and x1 after them, into `starts` (room for
// x1 - x0 + 1 + starts_slack); how many there are. A start is where a pixel
// differs from the one before (light before x0), found sixty-four pixels at
// a time. Each word's first eight are written whether it has them or not:
// a loop that ends after an unpredictable count costs more than the writes.
std::size_t row_starts(const Binary &b, int y, int x0, int x1, int *starts) {
    const std::uint64_t *words = b.row_words(y);
    std::size_t count = 0;
    std::uint64_t before = 0; // the colour of the pixel before, as bit 0
    for (int x = x0; x < x1; x += 64) {
        // Pixels x .. x + 63 of the row, as bits 0 .. 63; past x1 they
        // repeat the last pixel's colour, so they change nothing.
        const int word = x / 64, shift = x % 64;
        std::uint64_t bits = words[word] >> shift;
        if (shift > 0 && (word + 1) * 64 < x1)
            bits |= words[word + 1] << (64 - shift);
        const int left = x1 - x;
        if (left < 64) {
            const std::uint64_t last = (bits >> (left - 1)) & 1;
            const std::uint64_t inside = (std::uint64_t{1} << left) - 1;
            bits = (bits & inside) | (last ? ~inside : 0);
        }
        std::uint64_t change = bits ^ ((bits << 1) | before);
        const std::size_t n = static_cast<std::size_t>(std::popcount(change));
        int *out = starts + count;
        for (int k = 0; k < 8; ++k) {
            out[k] = x + std::countr_zero(change);
            change &= change - 1;
        }
        for (std::size_t k = 8; k < n; ++k) {
            out[k] = x + std::countr_zero(change);
            change &= change - 1;
        }
        count += n;
        before = bits >> 63;
    }
    starts[count++] = x1;
    return count;
}

int total(const int (&runs)[5]) { return runs[0] + runs[1] + runs[2] + runs[3] + runs[4]; }

// The ratio test's bounds for one total of five runs, as whole pixels: a
// length passes a bound `f * (total / 7)`, worked in floats, exactly when
// it passes the bound's ceiling (from below) or floor (from above).
struct RatioBounds {
    int centre_lo, centre_hi; // the centre dark run
    int outer_lo, outer_hi;   // the outer dark runs
    int light_lo, light_hi;   // the light runs
    int pair_lo, pair_hi;     // an outer dark run with its light neighbour
};

// The ratio test's bounds in modules (a seventh of the five runs' total),
// lowest and highest. Blur and thresholds thicken one colour at the
// other's cost, so single runs may stray far; a dark run and its light
// neighbour stay near two modules together.
struct RatioFactors {
    float lo, hi;
};
constexpr RatioFactors centre_factors{1.8f, 4.2f}, outer_factors{0.4f, 1.8f}, light_factors{0.3f, 1.6f},
    pair_factors{1.3f, 2.7f};

[[gnu::noinline]] RatioBounds ratio_bounds(int sum) {
    const float m = static_cast<float>(sum) / 7.0f;
    auto at_least = [&](float f) { return static_cast<int>(std::ceil(f * m)); };
    auto at_most = [&](float f) { return static_cast<int>(std::floor(f * m)); };
    return {at_least(centre_factors.lo), at_most(centre_factors.hi), at_least(outer_factors.lo),
            at_most(outer_factors.hi),   at_least(light_factors.lo),  at_most(light_factors.hi),
            at_least(pair_factors.lo),   at_most(pair_factors.hi)};
}

// The bounds of the totals a row of texture mostly gives, worked out once.
constexpr int bounds_kept = 1024;
const std::vector<RatioBounds> kept_bounds = [] {
    std::vector<RatioBounds> bounds(bounds_kept);
    for (int sum = 0; sum < bounds_kept; ++sum)
        bounds[static_cast<std::size_t>(sum)] = ratio_bounds(sum);
    return bounds;
}();

// Five runs against one total's bounds. The centre run, which in texture
// is seldom long enough, is tested first and ends most tests; the other
// bounds are tested without a branch: in texture none of them is
// predictable.
inline bool within_bounds(const int (&runs)[5], const RatioBounds &b) {
    if (runs[2] < b.centre_lo || runs[2] > b.centre_hi)
        return false;
    auto within = [](int v, int lo, int hi) { return (v >= lo) & (v <= hi); };
    return within(runs[0], b.outer_lo, b.outer_hi) & within(runs[4], b.outer_lo, b.outer_hi) &
           within(runs[1], b.light_lo, b.light_hi) & within(runs[3], b.light_lo, b.light_hi) &
           within(runs[0] + runs[1], b.pair_lo, b.pair_hi) & within(runs[3] + runs[4], b.pair_lo, b.pair_hi);
}

// eye_ratios on runs whose total is `sum`.
inline bool ratios_pass(const int (&runs)[5], int sum) {
    if (sum < 7)
        return false;
    return within_bounds(runs, sum < bounds_kept ? kept_bounds[static_cast<std::size_t>(sum)] : ratio_bounds(sum));
}

// Four windows side by side, from the dark runs at entries i, i + 2, i + 4
// and i + 6 of `starts` (entries i .. i + 11 read): -1 in the lanes whose
// runs pass the ratio test. The bounds are worked in floats as
// ratio_bounds works them, and a whole run passes a bound exactly when it
// passes its ceiling (from below) or floor (from above), so the outcome is
// ratios_pass's.
Ints4 four_windows_pass(const int *starts) {
    const Ints4 a = load_ints(starts), b = load_ints(starts + 4), c = load_ints(starts + 8);
    const Ints4 a2 = load_ints(starts + 2), b2 = load_ints(starts + 6);
    // Entry k + 2 lane and k + 2 lane + 1 of each lane, for k = 0, 2, 4.
    const Ints4 e0 = __builtin_shufflevector(a, b, 0, 2, 4, 6), o0 = __builtin_shufflevector(a, b, 1, 3, 5, 7);
    const Ints4 e1 = __builtin_shufflevector(a2, b2, 0, 2, 4, 6), o1 = __builtin_shufflevector(a2, b2, 1, 3, 5, 7);
    const Ints4 e2 = __builtin_shufflevector(b, c, 0, 2, 4, 6), o2 = __builtin_shufflevector(b, c, 1, 3, 5, 7);
    const Ints4 r0 = o0 - e0, r1 = e1 - o0, r2 = o1 - e1, r3 = e2 - o1, r4 = o2 - e2, sum = o2 - e0;
    const Floats4 m = __builtin_convertvector(sum, Floats4) / 7.0f;
    auto within = [&m](Ints4 run, RatioFactors f) {
        const Floats4 v = __builtin_convertvector(run, Floats4);
        return (v >= f.lo * m) & (v <= f.hi * m);
    };
    return (sum >= 7) & within(r2, centre_factors) & within(r0, outer_factors) & within(r4, outer_factors) &
           within(r1, light_factors) & within(r3, light_factors) & within(r0 + r1, pair_factors) &
           within(r3 + r4, pair_factors);
}

// The windows of five runs from a dark run (their first start's index in
// `starts`) whose runs pass the ratio test, onto `windows`; how many. No
// branch: in texture a window passes about one time in sixteen, as
// unpredictably as a coin, and a mispredicted jump cost more than the test.
std::size_t ratio_windows(const int *starts, std::size_t start_count, int *windows) {
    std::size_t count = 0, i = 0;
    for (; i + 11 < start_count; i += 8) {
        const Ints4 pass = four_windows_pass(starts + i);
        for (int lane = 0; lane < 4; ++lane) {
            windows[count] = static_cast<int>(i) + 2 * lane;
            count += static_cast<std::size_t>(pass[lane] & 1);
        }
    }
    for (; i + 5 < start_count; i += 2) {
        const int *at = starts + i;
        const int runs[5] = {at[1] - at[0], at[2] - at[1], at[3] - at[2], at[4] - at[3], at[5] - at[4]};
        windows[count] = static_cast<int>(i);
        count += ratios_pass(runs, at[5] - at[0]);
    }
    return count;
}

// The matches of row y between x0 and x1, in order, onto `out`; `scratch`
// holds 2 (x1 - x0 + 1) + starts_slack ints.
void scan_row(const Binary &b, int y, int x0, int x1, int *scratch, std::vector<RowMatch> &out) {
    // Runs of the segment from its first dark pixel, alternately dark and
    // light; run k covers starts[k] .. starts[k + 1] - 1.
    int *starts = scratch, *windows = scratch + (x1 - x0 + 1) + starts_slack;
    const std::size_t start_count = row_starts(b, y, x0, x1, starts);
    // A run cut by the segment's ends is not the row's: windows that hold
    // one are left to the segment that holds them whole.
    const bool cut_left = x0 > 0 && b.dark(x0 - 1, y), cut_right = x1 < b.width() && b.dark(x1, y);
    // starts[0] begins a dark run; dark runs are at even indices.
    const std::size_t window_count = ratio_windows(starts, start_count, windows);
    for (std::size_t w = 0; w < window_count; ++w) {
        const std::size_t i = static_cast<std::size_t>(windows[w]);
        if ((i == 0 && cut_left && starts[0] == x0) || (i + 6 == start_count && cut_right))
            continue;
        const int *at = starts + i;
        const int row_total = at[5] - at[0];
        const int cx = (at[2] + at[3] - 1) / 2;
        // Lines through the centre in any direction cross the rings in
        // the same ratios; structures in data rarely pass two more. A
        // scratch across the pattern may spoil one of them.
        int col_runs[5];
        float cy = static_cast<float>(y);
        const bool vertical = runs_through<0, 1>(b, cx, y, row_total, col_runs, cy) && eye_ratios(col_runs) &&
                              2 * total(col_runs) >= row_total && 2 * row_total >= total(col_runs);
        const int iy = static_cast<int>(cy);
        int cross_runs[5];
        float fx = static_cast<float>(cx);
        int across = row_total;
        if (vertical && runs_through<1, 0>(b, cx, iy, 2 * row_total, cross_runs, fx) && eye_ratios(cross_runs))
            across = total(cross_runs);
        else
            fx = static_cast<float>(cx);
        const int fxi = static_cast<int>(fx);
        int diagonal_runs[5];
        float unused = 0;
        // Two of the column and the diagonals must pass: the second
        // diagonal is looked at only when it decides.
        int passed = vertical;
        passed += runs_through<1, 1>(b, fxi, iy, 2 * row_total, diagonal_runs, unused) && eye_ratios(diagonal_runs);
        if (passed == 1)
            passed += runs_through<1, -1>(b, fxi, iy, 2 * row_total, diagonal_runs, unused) &&
                      eye_ratios(diagonal_runs);
        if (passed < 2)
            continue;
        const float module = (across + (vertical ? total(col_runs) : across)) / 14.0f;
        out.push_back({fx, cy, module, y});
    }
}

// The matches of every row: the even rows' from `even`, the odd rows'
// scanned in the stretches listed for each (sorted and joined here), or
// whole without a list.
std::vector<RowMatch> with_odd_rows(const Binary &b, std::span<const RowMatch> even,
                                    std::vector<std::vector<std::pair<int, int>>> *stretches) {
    std::vector<RowMatch> matches;
    std::vector<int> scratch(2 * (static_cast<std::size_t>(b.width()) + 1) + starts_slack);
    std::size_t next = 0;
    for (int y = 0; y < b.height(); ++y) {
        if (y % 2 == 0) {
            for (; next < even.size() && even[next].row == y; ++next)
                matches.push_back(even[next]);
            continue;
        }
        if (!stretches) {
            scan_row(b, y, 0, b.width(), scratch.data(), matches);
            continue;
        }
        auto &row = (*stretches)[static_cast<std::size_t>(y)];
        std::sort(row.begin(), row.end());
        for (std::size_t i = 0; i < row.size();) {
            int x0 = row[i].first, x1 = row[i].second;
            for (++i; i < row.size() && row[i].first <= x1; ++i)
                x1 = std::max(x1, row[i].second);
            scan_row(b, y, x0, x1, scratch.data(), matches);
        }
    }
    return matches;
}

} // namespace

bool eye_ratios(const int (&runs)[5]) { return ratios_pass(runs, total(runs)); }

std::vector<RowMatch> row_matches(const Binary &b, int row_step) {
    std::vector<RowMatch> matches;
    std::vector<int> scratch(2 * (static_cast<std::size_t>(b.width()) + 1) + starts_slack);
    for (int y = 0; y < b.height(); y += std::max(1, row_step))
        scan_row(b, y, 0, b.width(), scratch.data(), matches);
    return matches;
}

std::vector<RowMatch> row_matches_completed(const Binary &b, std::span<const RowMatch> even) {
    return with_odd_rows(b, even, nullptr);
}

std::vector<RowMatch> row_matches_near(const Binary &b, std::span<const RowMatch> even) {
    // Per odd row, the stretches within reach of an even row's match: rows
    // up to two of its modules off, where the matches that merge with it
    // lie (a candidate takes matches within a module and a half of its
    // centre), and across, room for the runs of a match of up to one and a
    // half its module centred as far off: seven of those modules.
    std::vector<std::vector<std::pair<int, int>>> stretches(static_cast<std::size_t>(b.height()));
    for (const RowMatch &m : even) {
        const int reach = static_cast<int>(std::ceil(2 * m.module)) + 1;
        const int half = static_cast<int>(std::ceil(12.5 * m.module)) + 2;
        const int x = static_cast<int>(m.x);
        for (int y = std::max(1, m.row - reach) | 1; y <= std::min(b.height() - 1, m.row + reach); y += 2)
            stretches[static_cast<std::size_t>(y)].push_back({std::max(0, x - half), std::min(b.width(), x + half + 1)});
    }
    return with_odd_rows(b, even, &stretches);
}

std::vector<ScoredCandidate> merge_matches(std::span<const RowMatch> matches, int width, int height, int limit,
                                           int row_step) {
    std::vector<Raw> raw;
    // Candidates by the grid cell of their first match, for merging.
    constexpr int cell = 32;
    const int grid_cols = width / cell + 1, grid_rows = height / cell + 1;
    std::vector<std::vector<int>> grid(static_cast<std::size_t>(grid_cols) * grid_rows);
    row_step = std::max(1, row_step);
    for (const RowMatch &m : matches) {
        if (m.row % row_step != 0)
            continue;
        const float fx = m.x, cy = m.y, module = m.module;
        // Merge into a candidate within 1.5 modules of it and of a
        // similar size, else start a new one.
        Raw *into = nullptr;
        const int reach_cells = static_cast<int>(module * 1.5f * 1.5f) / cell + 1;
        const int gx = static_cast<int>(fx) / cell, gy = static_cast<int>(cy) / cell;
        for (int ny = std::max(0, gy - reach_cells); ny <= std::min(grid_rows - 1, gy + reach_cells) && !into; ++ny)
            for (int nx = std::max(0, gx - reach_cells); nx <= std::min(grid_cols - 1, gx + reach_cells) && !into; ++nx)
                for (int index : grid[static_cast<std::size_t>(ny) * grid_cols + nx]) {
                    Raw &r = raw[static_cast<std::size_t>(index)];
                    const float reach = std::max(r.module, module) * 1.5f;
                    if (std::fabs(r.x - fx) <= reach && std::fabs(r.y - cy) <= reach &&
                        std::max(r.module, module) <= 1.5f * std::min(r.module, module)) {
                        into = &r;
                        break;
                    }
                }
        if (into) {
            // The cell of a candidate is that of its first match.
            const float w = static_cast<float>(into->hits);
            into->x = (into->x * w + fx) / (w + 1);
            into->y = (into->y * w + cy) / (w + 1);
            into->module = (into->module * w + module) / (w + 1);
            ++into->hits;
        } else if (raw.size() < max_raw) {
            grid[static_cast<std::size_t>(gy) * grid_cols + gx].push_back(static_cast<int>(raw.size()));
            raw.push_back({fx, cy, module, 1});
        }
    }
    std::stable_sort(raw.begin(), raw.end(), [](const Raw &a, const Raw &b) { return a.hits > b.hits; });
    std::vector<ScoredCandidate> out;
    for (std::size_t i = 0; i < raw.size() && static_cast<int>(i) < limit; ++i)
        out.push_back({{raw[i].x, raw[i].y, raw[i].module}, raw[i].hits});
    return out;
}

std::vector<ScoredCandidate> scan_eyes(const Binary &binary, int limit, int row_step) {
    return merge_matches(row_matches(binary, row_step), binary.width(), binary.height(), limit, row_step);
}

} // namespace vantor::thorough
