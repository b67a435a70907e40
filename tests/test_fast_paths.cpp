// The fast forms of the hot stages against plain forms written from their
// rules, pixel by pixel, on many generated pictures: sizes around the vector
// widths and the window's edges, noise, smooth shading, stripes and symbols.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "3_model2/classic/alignment.h"
#include "3_model2/classic/binarise.h"
#include "3_model2/classic/eyepattern.h"
#include "3_model2/classic/hit_groups.h"
#include "reference/plain_forms.h"
#include "3_model2/classic/runs.h"
#include "1_base/symbol_tables.h"
#include "3_model2/classic/grid.h"
#include "qr_symbols.h"
#include "3_model2/classic/state.h"
#include "3_model2/classic/decode_entry.h"
#include "3_model2/classic/version.h"
#include "whole_state.h"

namespace vt = vantor::testing;
namespace {
// The state the stages of these tests work on.
vantor::DecoderState state;
} // namespace

namespace {

struct Grey {
    int width;
    int height;
    std::vector<std::uint8_t> pixels;
};

// Pictures of every kind the passes meet, at awkward sizes.
std::vector<Grey> pictures() {
    std::vector<Grey> out;
    std::mt19937 rng(20);
    const int sizes[][2] = {{17, 17}, {18, 17}, {17, 40}, {31, 19}, {32, 33}, {33, 18},
                            {47, 50}, {64, 23}, {100, 71}, {129, 40}};
    for (const auto &[w, h] : sizes) {
        for (int kind = 0; kind < 4; ++kind) {
            Grey g{w, h, std::vector<std::uint8_t>(static_cast<std::size_t>(w) * h)};
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    int v = 0;
                    switch (kind) {
                    case 0: v = static_cast<int>(rng() % 256); break;               // noise
                    case 1: v = 90 + (x * 7 + y * 3) % 40 + static_cast<int>(rng() % 5); // shading near the flat limit
                    break;
                    case 2: v = (x / 3 + y / 5) % 2 ? 230 : 20; break;             // blocks
                    case 3: v = rng() % 9 == 0 ? static_cast<int>(rng() % 256) : 128; // sparse specks
                    break;
                    }
                    g.pixels[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(v);
                }
            }
            out.push_back(std::move(g));
        }
    }
    // A symbol, turned and shaded.
    vt::RenderOptions o;
    o.module_px = 2.7;
    o.rotation_deg = 23;
    o.light_gradient = 0.5;
    o.noise_sigma = 6;
    const vt::Picture p = vt::render(*vt::make_symbol("fast paths", 2, vt::Level::M, vt::Mode::byte), o);
    out.push_back({p.width, p.height, p.pixels});
    return out;
}

void prepare(const Grey &g) {
    state.image_width = g.width;
    state.image_height = g.height;
    state.contrast_map.reset();
    ASSERT_TRUE(state.work_bitmap.allocate(g.pixels.size()));
}

// The normalised grey of one pixel from its 17 x 17 window, read directly.
int reference_contrast(const Grey &g, int x, int y) {
    const int top = y < 9 ? 0 : (y > g.height - 9 ? g.height - 17 : y - 9);
    const int left = std::clamp(x - 8, 0, g.width - 17);
    int lo = 255, hi = 0;
    for (int r = top; r < top + 17; ++r) {
        for (int c = left; c < left + 17; ++c) {
            lo = std::min<int>(lo, g.pixels[static_cast<std::size_t>(r) * g.width + c]);
            hi = std::max<int>(hi, g.pixels[static_cast<std::size_t>(r) * g.width + c]);
        }
    }
    const int range = hi - lo;
    return range <= 24 ? -1 : (g.pixels[static_cast<std::size_t>(y) * g.width + x] - lo) * 255 / range;
}

} // namespace

TEST(FastPaths, ContrastMapAndLocalPassesMatchTheWindowRule) {
    constexpr int thresholds[4] = {85, 127, 170, 102};
    for (const Grey &g : pictures()) {
        SCOPED_TRACE(std::to_string(g.width) + "x" + std::to_string(g.height));
        prepare(g);
        for (int pass = 0; pass < 4; ++pass) {
            ASSERT_TRUE(vantor::threshold_local(state, pass, g.pixels.data(), g.width, g.height));
            for (int y = 0; y < g.height; ++y) {
                int carried = 0;
                for (int x = 0; x < g.width; ++x) {
                    const std::size_t i = static_cast<std::size_t>(y) * g.width + x;
                    const int want = reference_contrast(g, x, y);
                    ASSERT_EQ(state.contrast_map[i], want) << x << "," << y;
                    if (want >= 0)
                        carried = want <= thresholds[pass] ? 64 : 0;
                    ASSERT_EQ(state.work_bitmap[i], carried) << "pass " << pass << " at " << x << "," << y;
                }
            }
        }
    }
    state.contrast_map.reset();
}

TEST(FastPaths, GlobalPassesMatchTheThresholdRule) {
    constexpr double divisors[3] = {3.0, 2.5, 2.0};
    for (const Grey &g : pictures()) {
        prepare(g);
        const auto [lo, hi] = std::minmax_element(g.pixels.begin(), g.pixels.end());
        for (int pass = 0; pass < 3; ++pass) {
            vantor::threshold_global(state, pass, g.pixels.data(), 8);
            const int t = static_cast<int>(*lo + (*hi - *lo) / divisors[pass]);
            for (std::size_t i = 0; i < g.pixels.size(); ++i)
                ASSERT_EQ(state.work_bitmap[i], g.pixels[i] < t ? 64 : 0) << "pass " << pass << " pixel " << i;
        }
        vantor::threshold_global(state, 0, g.pixels.data(), 1);
        for (std::size_t i = 0; i < g.pixels.size(); ++i)
            ASSERT_EQ(state.work_bitmap[i], g.pixels[i] == 0 ? 64 : 0) << "depth 1, pixel " << i;
    }
}

namespace {

// Runs of one line from the rule: entry 0 dark, alternating, -1 after the
// last run, zero in the entries after it; only 64 counts as dark.
std::vector<std::int16_t> reference_runs(const std::vector<std::uint8_t> &bytes, std::size_t first,
                                         std::size_t step, int count) {
    std::vector<std::int16_t> out(static_cast<std::size_t>(count) + 2, 0);
    bool current_dark = true;
    std::size_t k = 0;
    for (int i = 0; i < count; ++i) {
        const bool d = bytes[first + static_cast<std::size_t>(i) * step] == 64;
        if (d != current_dark) {
            current_dark = d;
            ++k;
        }
        ++out[k];
    }
    out[k + 1] = -1;
    return out;
}

} // namespace

TEST(FastPaths, RunTablesMatchTheRunRule) {
    std::mt19937 rng(33);
    const int sizes[][2] = {{1, 1}, {7, 3}, {8, 8}, {9, 2}, {15, 17}, {16, 5}, {63, 9}, {64, 64},
                            {65, 31}, {129, 40}, {200, 3}, {3, 200}};
    for (const auto &[w, h] : sizes) {
        // Long runs, short runs, and marked pixels (80 and 16 count as light).
        for (int kind = 0; kind < 3; ++kind) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " kind " + std::to_string(kind));
            std::vector<std::uint8_t> bytes(static_cast<std::size_t>(w) * h);
            std::uint8_t v = 64;
            for (auto &b : bytes) {
                if (rng() % (kind == 0 ? 23 : 2) == 0)
                    v = v == 64 ? 0 : 64;
                b = v;
                if (kind == 2 && rng() % 7 == 0)
                    b = static_cast<std::uint8_t>(b | 16);
            }
            state.image_width = w;
            state.image_height = h;
            ASSERT_TRUE(state.work_bitmap.allocate(bytes.size()));
            std::copy(bytes.begin(), bytes.end(), state.work_bitmap.get());
            ASSERT_TRUE(vantor::build_row_runs(state, state));
            ASSERT_TRUE(vantor::build_col_runs(state, state));
            for (int y = 0; y < h; ++y) {
                const auto want = reference_runs(bytes, static_cast<std::size_t>(y) * w, 1, w);
                const std::int16_t *got = state.row_runs.get() + static_cast<std::size_t>(y) * (w + 2);
                ASSERT_EQ(std::vector<std::int16_t>(got, got + w + 2), want) << "row " << y;
            }
            for (int x = 0; x < w; ++x) {
                const auto want = reference_runs(bytes, static_cast<std::size_t>(x), static_cast<std::size_t>(w), h);
                const std::int16_t *got = state.col_runs.get() + static_cast<std::size_t>(x) * (h + 2);
                ASSERT_EQ(std::vector<std::int16_t>(got, got + h + 2), want) << "column " << x;
            }
        }
    }
    state.row_runs.reset();
    state.col_runs.reset();
}

TEST(FastPaths, WindowScanMatchesTheRatioRule) {
    // Lines of runs with lengths around the proportion bounds (1/15, 3/13,
    // 1/3 and 7/13 of the window are hit exactly by totals such as 15, 13,
    // 39 and 195), plus terminators at every position.
    std::mt19937 rng(44);
    const int line_length = 400, lines = 300;
    const std::size_t entries = line_length + 2;
    std::vector<std::int16_t> table(entries * lines, 0);
    for (int line = 0; line < lines; ++line) {
        std::int16_t *r = table.data() + line * entries;
        const int scale = 1 + static_cast<int>(rng() % 13);
        int used = 0;
        std::size_t k = 0;
        const std::size_t runs = rng() % 60;
        for (; k < runs; ++k) {
            const int base = k % 2 ? 1 : (k % 4 == 2 ? 3 : 1);
            int len = base * scale + static_cast<int>(rng() % 5) - 2;
            len = std::max(k == 0 ? 0 : 1, len);
            if (used + len > line_length)
                break;
            r[k] = static_cast<std::int16_t>(len);
            used += len;
        }
        r[k] = -1;
    }
    // The rule for one line of `entries` entries, its runs ending at the
    // first negative entry or with the entries.
    auto rule = [](const std::int16_t *r, std::size_t entries, int line, std::vector<vantor::RunHit> &want) {
        std::size_t n = 0;
        while (n < entries && r[n] >= 0)
            ++n;
        int pos = 0;
        for (std::size_t k = 0; k + 5 <= n; k += 2) {
            const double t = r[k] + r[k + 1] + r[k + 2] + r[k + 3] + r[k + 4];
            auto outer = [&](int run) { return run / t >= 1.0 / 15 && run / t <= 3.0 / 13; };
            const double centre = r[k + 2] / t;
            if (t > 0 && outer(r[k]) && outer(r[k + 1]) && centre >= 1.0 / 3 && centre <= 7.0 / 13 &&
                outer(r[k + 3]) && outer(r[k + 4]))
                want.push_back({line, pos, static_cast<int>(t), -1});
            pos += r[k] + r[k + 1];
        }
    };
    auto same = [](const vantor::MemChunk<vantor::RunHit> &hits, const std::vector<vantor::RunHit> &want) {
        ASSERT_EQ(hits.count, static_cast<int>(want.size()));
        for (int i = 0; i < hits.count; ++i) {
            const vantor::RunHit &h = hits.items[i];
            ASSERT_TRUE(h.line == want[i].line && h.start == want[i].start && h.length == want[i].length &&
                        h.label == -1)
                << "hit " << i;
        }
    };
    vantor::MemChunk<vantor::RunHit> hits;
    ASSERT_TRUE(vantor::scan_runs(table.data(), line_length, lines, hits, state));
    std::vector<vantor::RunHit> want;
    for (int line = 0; line < lines; ++line)
        rule(table.data() + line * entries, entries, line, want);
    ASSERT_GT(want.size(), 100u);
    same(hits, want);

    // Lines whose runs fill every entry, with no terminator: the scan must
    // stop at the end of the table (checked under the address sanitizer).
    for (int length = 3; length <= 30; ++length) {
        const std::size_t full = static_cast<std::size_t>(length) + 2;
        std::vector<std::int16_t> runs(full);
        for (std::size_t k = 0; k < full; ++k)
            runs[k] = static_cast<std::int16_t>(k % 4 == 2 ? 3 : 1);
        vantor::MemChunk<vantor::RunHit> line_hits;
        ASSERT_TRUE(vantor::scan_runs(runs.data(), length, 1, line_hits, state));
        std::vector<vantor::RunHit> line_want;
        rule(runs.data(), full, 0, line_want);
        same(line_hits, line_want);
    }
}

namespace {

struct AlignmentResult {
    int found;
    float x, y;
    std::vector<int> hits; // line, start, length, label of every row and column hit

    bool operator==(const AlignmentResult &) const = default;
};

std::vector<AlignmentResult> search_every_alignment_pattern() {
    std::vector<AlignmentResult> out;
    const auto coords = vantor::alignment_coords(state.version);
    for (int c : coords) {
        for (int r : coords) {
            if (c <= 0 || r <= 0)
                continue;
            vantor::AlignmentProbe probe{0, 0, c, r};
            AlignmentResult a{whole_state::find_alignment(state, probe), probe.x, probe.y, {}};
            for (const auto *list : {&state.row_hits, &state.col_hits})
                for (int i = 0; i < list->count; ++i)
                    a.hits.insert(a.hits.end(), {list->items[i].line, list->items[i].start,
                                                 list->items[i].length, list->items[i].label});
            out.push_back(std::move(a));
        }
    }
    return out;
}

} // namespace

// The eye search keeps no full run table; the alignment search then encodes
// its window's lines itself, ignoring the marks a failed sampling grid left.
TEST(FastPaths, AlignmentSearchWithoutFullTablesMatchesTheTables) {
    for (int version : {7, 14, 25}) {
        SCOPED_TRACE(version);
        vt::RenderOptions o;
        o.module_px = 3.3;
        o.rotation_deg = 9;
        o.noise_sigma = 5;
        const vt::Picture p = vt::render(*vt::make_symbol("alignment", version, vt::Level::M, vt::Mode::byte), o);
        state.image_width = p.width;
        state.image_height = p.height;
        ASSERT_TRUE(state.work_bitmap.allocate(p.pixels.size()));
        vantor::threshold_global(state, 2, p.pixels.data(), 8);
        ASSERT_TRUE(vantor::find_eye_patterns(state, state.eye_pick, state));
        EXPECT_FALSE(state.row_runs) << "the eye search keeps no full table";
        EXPECT_FALSE(state.col_runs);
        state.version = whole_state::determine_version(state, 0);
        ASSERT_EQ(state.version, version);

        const auto local = search_every_alignment_pattern();
        ASSERT_TRUE(vantor::build_row_runs(state, state));
        ASSERT_TRUE(vantor::build_col_runs(state, state));
        const auto tables = search_every_alignment_pattern();
        EXPECT_GE(std::count_if(tables.begin(), tables.end(), [](const AlignmentResult &a) { return a.found; }),
                  static_cast<long>(tables.size()) - 3);
        EXPECT_TRUE(local == tables);

        // Marks of a sampling grid on a fifth of the pixels change nothing.
        std::mt19937 rng(version);
        for (std::size_t i = 0; i < p.pixels.size(); ++i)
            if (rng() % 5 == 0)
                state.work_bitmap[i] ^= 16;
        state.row_runs.reset();
        state.col_runs.reset();
        EXPECT_TRUE(search_every_alignment_pattern() == tables);
        vantor::free_eye_patterns(state);
    }
}

// The window lines stand in for whole lines: on block noise with marks, at
// random windows (runs cut at the window's start and well past its end,
// windows at the image's edges), the search finds what the full tables give.
TEST(FastPaths, AlignmentWindowsMatchTheTablesAnywhere) {
    std::mt19937 rng(55);
    int found = 0;
    for (int image = 0; image < 40; ++image) {
        const int w = 40 + static_cast<int>(rng() % 120), h = 40 + static_cast<int>(rng() % 120);
        state.image_width = w;
        state.image_height = h;
        ASSERT_TRUE(state.work_bitmap.allocate(static_cast<std::size_t>(w) * h));
        const int block = 1 + static_cast<int>(rng() % 6);
        std::vector<std::uint8_t> cells(static_cast<std::size_t>(w / block + 1) * (h / block + 1));
        for (auto &c : cells)
            c = rng() % 2 ? 64 : 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                state.work_bitmap[static_cast<std::size_t>(y) * w + x] =
                    static_cast<std::uint8_t>(cells[static_cast<std::size_t>(y / block) * (w / block + 1) + x / block] |
                                              (rng() % 9 == 0 ? 16 : 0));
        const float unit = static_cast<float>(block) * (0.6f + static_cast<float>(rng() % 100) / 100.0f);
        state.eyes.count = 0;
        for (int i = 0; i < 3; ++i) {
            vantor::EyePattern e{7 * unit, 7 * unit, 0, 0, 1, 1, i, 0, 7 * unit};
            e.x = static_cast<float>(rng() % w);
            e.y = static_cast<float>(rng() % h);
            ASSERT_NE(vantor::memchunk_append(state.eyes, e), 0);
        }
        state.eye_count = 3;
        state.eye_pick[0] = 0, state.eye_pick[1] = 1, state.eye_pick[2] = 2;
        const double turn = static_cast<double>(rng() % 628) / 100;
        state.units.x = {static_cast<float>(unit * std::cos(turn)), static_cast<float>(unit * std::sin(turn))};
        state.units.y = {static_cast<float>(-unit * std::sin(turn)), static_cast<float>(unit * std::cos(turn))};
        for (int probe = 0; probe < 30; ++probe) {
            const int col = static_cast<int>(rng() % 40) - 8, row = static_cast<int>(rng() % 40) - 8;
            auto search = [&] {
                vantor::AlignmentProbe p{0, 0, col, row};
                AlignmentResult a{whole_state::find_alignment(state, p), p.x, p.y, {}};
                for (const auto *list : {&state.row_hits, &state.col_hits})
                    for (int i = 0; i < list->count; ++i)
                        a.hits.insert(a.hits.end(), {list->items[i].line, list->items[i].start,
                                                     list->items[i].length, list->items[i].label});
                return a;
            };
            state.row_runs.reset();
            state.col_runs.reset();
            const AlignmentResult local = search();
            // The tables of the bitmap as the pass wrote it, without marks.
            std::vector<std::uint8_t> marked(state.work_bitmap.get(), state.work_bitmap.get() + state.work_bitmap.size());
            for (std::size_t i = 0; i < marked.size(); ++i)
                state.work_bitmap[i] = static_cast<std::uint8_t>(marked[i] & ~16);
            ASSERT_TRUE(vantor::build_row_runs(state, state));
            ASSERT_TRUE(vantor::build_col_runs(state, state));
            std::copy(marked.begin(), marked.end(), state.work_bitmap.get());
            const AlignmentResult tables = search();
            ASSERT_TRUE(local == tables) << "image " << image << " probe " << col << "," << row;
            found += tables.found != 0;
        }
    }
    EXPECT_GT(found, 20);
    vantor::free_eye_patterns(state);
}

// Column hits in line order (as the scans make them), dense in crossings and
// merges: the default labelling must give exactly the all-pairs labels.
TEST(FastPaths, PairingInLineOrderMatchesAllPairs) {
    std::mt19937 rng(66);
    auto load = [](vantor::MemChunk<vantor::RunHit> &list, const std::vector<vantor::RunHit> &hits) {
        vantor::memchunk_init(list);
        for (const auto &h : hits)
            ASSERT_NE(vantor::memchunk_append(list, h), 0);
    };
    auto labels = [](const vantor::MemChunk<vantor::RunHit> &list) {
        std::vector<int> out;
        for (int i = 0; i < list.count; ++i)
            out.push_back(list.items[i].label);
        return out;
    };
    for (int round = 0; round < 404; ++round) {
        // The last rounds are floods: more pairs to try than the direct way
        // takes on, so it gives up part way and the sweep labels them.
        const bool flood = round >= 400;
        const int n = flood ? 600 : 1 + static_cast<int>(rng() % 80);
        const int spread = flood ? 200 : 5 + static_cast<int>(rng() % 60);
        std::vector<vantor::RunHit> rows, cols;
        for (int i = 0; i < n; ++i) {
            if (flood) {
                rows.push_back({static_cast<int>(rng() % spread), -static_cast<int>(rng() % 20), 150 + static_cast<int>(rng() % 100), -1});
                cols.push_back({static_cast<int>(rng() % spread), -static_cast<int>(rng() % 20), 150 + static_cast<int>(rng() % 100), -1});
                continue;
            }
            rows.push_back({static_cast<int>(rng() % spread), static_cast<int>(rng() % spread) - 5,
                            1 + static_cast<int>(rng() % 25), -1});
            cols.push_back({static_cast<int>(rng() % spread), static_cast<int>(rng() % spread) - 5,
                            1 + static_cast<int>(rng() % 25), -1});
        }
        // Rows come in line order from the scan; every fourth round they do
        // not, and the pairing must still match.
        if (round % 4 != 3)
            std::stable_sort(rows.begin(), rows.end(), [](const auto &a, const auto &b) { return a.line < b.line; });
        std::stable_sort(cols.begin(), cols.end(),
                         [](const auto &a, const auto &b) { return a.line < b.line || (a.line == b.line && a.start < b.start); });
        for (bool eye : {true, false}) {
            vantor::MemChunk<vantor::RunHit> r1, c1, r2, c2;
            load(r1, rows);
            load(c1, cols);
            load(r2, rows);
            load(c2, cols);
            const int plain = eye ? reference::label_eye_hits(r1, c1) : reference::label_alignment_hits(r1, c1);
            const int fast = eye ? vantor::label_eye_hits(r2, c2) : vantor::label_alignment_hits(r2, c2);
            ASSERT_EQ(plain, fast) << "round " << round << (eye ? " eye" : " alignment");
            ASSERT_EQ(labels(r1), labels(r2)) << "round " << round;
            ASSERT_EQ(labels(c1), labels(c2)) << "round " << round;
        }
    }
}
