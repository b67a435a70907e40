#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "3_model2/classic/alignment.h"
#include "3_model2/classic/eyepattern.h"
#include "3_model2/classic/hit_groups.h"
#include "reference/plain_forms.h"
#include "3_model2/classic/refine.h"
#include "3_model2/classic/runs.h"
#include "qr_symbols.h"
#include "3_model2/classic/state.h"
#include "whole_state.h"

using namespace vantor;

namespace {
// The state the stages of these tests work on.
DecoderState state;
} // namespace
namespace qr = vantor::testing;

namespace {

// Everything the stage leaves in the shared state is released after each test.
class EyeStage : public ::testing::Test {
protected:
    void TearDown() override {
        free_eye_patterns(state);
        state.work_bitmap.reset();
        state.trace_file = nullptr;
        if (log_)
            std::fclose(log_);
    }

    void blank(int width, int height) {
        state.image_width = width;
        state.image_height = height;
        ASSERT_TRUE(state.work_bitmap.allocate_zeroed(static_cast<std::size_t>(width) * height));
    }
    // Dark rectangle [x0, x1) x [y0, y1).
    static void fill(int x0, int y0, int x1, int y1, std::uint8_t value = 64) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                state.work_bitmap[static_cast<std::size_t>(y) * state.image_width + x] = value;
    }
    // An eye pattern of 7 x 7 modules with its top-left corner at (x, y).
    static void draw_eye(int x, int y, int module) {
        fill(x, y, x + 7 * module, y + 7 * module);
        fill(x + module, y + module, x + 6 * module, y + 6 * module, 0);
        fill(x + 2 * module, y + 2 * module, x + 5 * module, y + 5 * module);
    }

    void capture_log() {
        log_ = std::tmpfile();
        ASSERT_NE(log_, nullptr);
        state.trace_file = log_;
    }
    std::string log_text() {
        std::fflush(log_);
        std::rewind(log_);
        std::string text;
        for (int ch; (ch = std::fgetc(log_)) != EOF;)
            text += static_cast<char>(ch);
        return text;
    }

    static void set_eyes(const std::vector<EyePattern> &eyes) {
        memchunk_init(state.eyes);
        for (const EyePattern &e : eyes)
            memchunk_append(state.eyes, e);
        state.eye_count = static_cast<int>(eyes.size());
    }
    // One candidate through the refinement stage; h_hits 0 when dropped.
    static EyePattern refined(const EyePattern &e) {
        set_eyes({e});
        refine_eyes(state, state);
        if (state.eye_count != 1)
            return EyePattern{};
        return state.eyes.items[0];
    }
    static EyePattern eye(float width, float height, float x = 0, float y = 0, int id = 0) {
        return EyePattern{width, height, y, x, 1, 1, id, 0, 0.0f};
    }

private:
    std::FILE *log_ = nullptr;
};

// A run table of `line_length`-pixel lines, each given as its runs.
std::vector<std::int16_t> run_table(int line_length, const std::vector<std::vector<int>> &lines) {
    std::vector<std::int16_t> table(lines.size() * (line_length + 2), 0);
    for (std::size_t l = 0; l < lines.size(); ++l) {
        std::int16_t *out = &table[l * (line_length + 2)];
        std::size_t i = 0;
        for (int run : lines[l])
            out[i++] = static_cast<std::int16_t>(run);
        out[i] = -1;
    }
    return table;
}

// Hits as comparable tuples: line, start, length, label.
using Hit = std::array<int, 4>;
std::vector<Hit> hits_of(const MemChunk<RunHit> &list) {
    std::vector<Hit> out;
    for (int i = 0; i < list.count; ++i)
        out.push_back({list.items[i].line, list.items[i].start, list.items[i].length, list.items[i].label});
    return out;
}

void load_hits(MemChunk<RunHit> &list, const std::vector<RunHit> &hits) {
    memchunk_init(list);
    for (const RunHit &h : hits)
        memchunk_append(list, h);
}

TEST_F(EyeStage, RunTablesStartDarkAndEndWithTerminator) {
    blank(5, 2);
    fill(2, 0, 4, 1); // row 0: ..##.
    fill(0, 1, 5, 2); // row 1: #####
    ASSERT_TRUE(build_row_runs(state, state));
    ASSERT_TRUE(build_col_runs(state, state));
    const std::vector<std::int16_t> row0(state.row_runs.get(), state.row_runs.get() + 5);
    EXPECT_EQ(row0, (std::vector<std::int16_t>{0, 2, 2, 1, -1}));
    EXPECT_EQ(state.row_runs[7], 5);
    EXPECT_EQ(state.row_runs[8], -1);
    // Column 0 is light then dark, column 2 dark throughout.
    EXPECT_EQ(state.col_runs[0], 0);
    EXPECT_EQ(state.col_runs[1], 1);
    EXPECT_EQ(state.col_runs[2], 1);
    EXPECT_EQ(state.col_runs[3], -1);
    EXPECT_EQ(state.col_runs[2 * 4], 2);
    EXPECT_EQ(state.col_runs[2 * 4 + 1], -1);

    // Outside the 16-bit range, or a bitmap too small for the image: refused.
    state.image_width = 40000;
    EXPECT_FALSE(build_row_runs(state, state));
    state.image_width = 6;
    EXPECT_FALSE(build_col_runs(state, state));
}

TEST_F(EyeStage, WindowRatioBoundsAreInclusive) {
    const std::vector<std::vector<int>> lines = {
        {9, 5, 15, 5, 5},   // outer exactly 3/13: match
        {10, 5, 14, 5, 5},  // outer above 3/13
        {3, 3, 14, 3, 3},   // centre exactly 7/13: match
        {3, 3, 15, 3, 2},   // centre above 7/13
        {2, 6, 10, 6, 6},   // outer exactly 1/15, centre exactly 1/3: match
        {1, 6, 11, 6, 6},   // outer below 1/15
        {0, 3, 3, 3, 9, 3, 3}, // starts light: only the window from run 2
        {3, 3, 9, 3, 3, 3, 9, 3, 3}, // two windows, the sum carried along
        {3, 3, 9, 3},       // fewer than five runs
    };
    const auto table = run_table(64, lines);
    MemChunk<RunHit> hits;
    ASSERT_TRUE(scan_runs(table.data(), 64, static_cast<int>(lines.size()), hits, state));
    const std::vector<Hit> expected = {
        {0, 0, 39, -1}, {2, 0, 26, -1}, {4, 0, 30, -1}, {6, 3, 21, -1}, {7, 0, 21, -1}, {7, 18, 21, -1},
    };
    EXPECT_EQ(hits_of(hits), expected);
}

TEST_F(EyeStage, CrossingBoundsAndMergedLabelsAreCounted) {
    // Row hit of length 65 at row 30: columns 13..55 cut it inside 0.2..11/13.
    for (int column : {12, 13, 55, 56}) {
        MemChunk<RunHit> rows, cols;
        for (bool all_pairs : {true, false}) {
            // Row 30 is exactly 0.2 down the column hit.
            load_hits(rows, {{30, 0, 65, -1}});
            load_hits(cols, {{column, 17, 65, -1}});
            const bool crosses = column == 13 || column == 55;
            EXPECT_EQ(all_pairs ? reference::label_eye_hits(rows, cols) : label_eye_hits(rows, cols), crosses ? 1 : 0)
                << column;
            EXPECT_EQ(rows.items[0].label, crosses ? 0 : -1);
        }
    }

    // R0 crosses C1 (label 0), R1 crosses C0 (label 1) and then C1: label 1
    // merges into 0, and the count still says two.
    blank(100, 100);
    capture_log();
    load_hits(state.row_hits, {{20, 10, 20, -1}, {22, 12, 30, -1}});
    load_hits(state.col_hits, {{30, 15, 20, -1}, {20, 12, 15, -1}});
    cross_hits(state, state);
    EXPECT_EQ(log_text(), "cross 2 \n");
    ASSERT_EQ(state.eye_count, 1);
    const EyePattern &e = state.eyes.items[0];
    EXPECT_EQ(e.id, 0);
    EXPECT_EQ(e.h_hits, 2);
    EXPECT_EQ(e.v_hits, 2);
    EXPECT_FLOAT_EQ(e.width, 25.0f);
    EXPECT_FLOAT_EQ(e.x, (20.0f + 27.0f) / 2);
    EXPECT_FLOAT_EQ(e.height, 17.5f);
    EXPECT_FLOAT_EQ(e.y, (25.0f + 19.5f) / 2);
    for (const Hit &h : hits_of(state.row_hits))
        EXPECT_EQ(h[3], 0);
}

TEST_F(EyeStage, RefinementFollowsTheDarkRegion) {
    blank(20, 20);
    // A 3 x 3 block: centroid at its middle pixel, size exactly 7.
    fill(4, 4, 7, 7);
    // A lone pixel with dark pixels straight above and below: the seed span
    // has one pixel, so neither walk searches anything.
    fill(12, 4, 13, 7);
    set_eyes({eye(1, 1, 5.2f, 5.0f), eye(1, 1, 11.4f, 4.7f), eye(1, 1, 2.0f, 2.0f),
              eye(1, 1, 25.0f, 5.0f), eye(1, 1, NAN, 5.0f)});
    refine_eyes(state, state);
    ASSERT_EQ(state.eye_count, 2); // light seed, outside the image and NaN dropped
    EXPECT_FLOAT_EQ(state.eyes.items[0].x, 5.5f);
    EXPECT_FLOAT_EQ(state.eyes.items[0].y, 5.5f);
    EXPECT_NEAR(state.eyes.items[0].size, 7.0f, 1e-5);
    EXPECT_FLOAT_EQ(state.eyes.items[1].x, 12.5f);
    EXPECT_FLOAT_EQ(state.eyes.items[1].y, 5.5f);
    EXPECT_NEAR(state.eyes.items[1].size, std::sqrt(2.0) * 1.6499158255372215, 1e-5);
}

TEST_F(EyeStage, RefinementSpanRulesAndImageEdges) {
    blank(12, 12);
    fill(2, 5, 5, 6);  // seed span 2..4 on row 5
    fill(4, 4, 5, 5);  // above: only the span's last column, never searched
    fill(2, 6, 3, 7);  // row 6: 2, gap at 3, 4..6 -> span 2..6, four dark
    fill(4, 6, 7, 7);
    fill(3, 7, 4, 8);  // row 7: 3 and 8; the right end falls back from 6
    fill(8, 7, 9, 8);  // to 3, so 8 stays out -> span 3..3
    fill(2, 8, 5, 9);  // row 8: the search range 3..2 is empty
    const EyePattern e = refined(eye(1, 1, 3.0f, 5.0f));
    ASSERT_EQ(e.h_hits, 1);
    // Dark pixels: row 5 x 2,3,4; row 6 x 2,4,5,6; row 7 x 3 -> sums 46/8
    // and 29/8.
    EXPECT_FLOAT_EQ(e.y, 5.5f);
    EXPECT_FLOAT_EQ(e.x, 3.5f);
    // Top span 2..4 on row 5, bottom span 3..3 on row 7: both diagonals
    // (|4-3|+1)^2 + 3^2 and (|2-3|+1)^2 + 3^2.
    EXPECT_NEAR(e.size, std::sqrt(13.0) * 1.6499158255372215, 1e-5);

    // A region on the left edge with a dark pixel at the end of the row
    // above: the walk stops at column 0 and never wraps to the previous row.
    blank(8, 4);
    fill(0, 0, 2, 3);
    fill(7, 0, 8, 2);
    const EyePattern edge = refined(eye(1, 1, 0.4f, 0.2f));
    EXPECT_EQ(edge.h_hits, 1);
    EXPECT_FLOAT_EQ(edge.x, 0.5f);
    EXPECT_FLOAT_EQ(edge.y, 1.5f);
}

TEST_F(EyeStage, ShapeAndSimilarityFilters) {
    // 10 x 13 is off in ratio and by 3 pixels; 5 x 7 only by 2 pixels.
    set_eyes({eye(10, 13), eye(5, 7), eye(5, 7), eye(5, 7)});
    filter_eyes(state, state);
    EXPECT_EQ(state.eyes.items[0].score, -1);
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(state.eyes.items[i].score, 0);

    // One twice as large as three others has no similar partner.
    set_eyes({eye(10, 10), eye(20, 20), eye(10, 10), eye(10, 10)});
    filter_eyes(state, state);
    EXPECT_EQ(state.eyes.items[1].score, -1);
    EXPECT_EQ(state.eyes.items[0].score, 0);
    EXPECT_EQ(state.eyes.items[3].score, 0);

    // 14's partners are 10 and 18; 10 goes first (one partner), so 14 is
    // left with one and goes too. 18, 20 and 22 keep each other.
    set_eyes({eye(10, 10), eye(14, 14), eye(18, 18), eye(20, 20), eye(22, 22)});
    filter_eyes(state, state);
    const int expected[] = {-1, -1, 0, 0, 0};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(state.eyes.items[i].score, expected[i]) << i;
}

TEST_F(EyeStage, ScoreCountsHitsHoldingEveryCrossingLine) {
    set_eyes({eye(10, 10, 0, 0, 4), eye(10, 10, 0, 0, 5), eye(10, 10, 0, 0, 6), eye(10, 10, 0, 0, 7)});
    // Group 4: row hit at start 0 misses column 11 (1.1 of its length);
    // the other row hit and both column hits hold all lines.
    load_hits(state.row_hits, {{5, 0, 10, 4}, {6, 2, 10, 4}, {5, 0, 10, 5}});
    load_hits(state.col_hits, {{4, 0, 10, 4}, {11, 0, 10, 4}, {3, 0, 10, 5}});
    filter_eyes(state, state);
    EXPECT_EQ(state.eyes.items[0].score, 3);
    EXPECT_EQ(state.eyes.items[1].score, 2);
    EXPECT_EQ(state.eyes.items[2].score, 0);
}

TEST_F(EyeStage, PicksByScoreWithTiesToTheLowestIndex) {
    set_eyes({eye(1, 1), eye(1, 1), eye(1, 1), eye(1, 1), eye(1, 1)});
    const int scores[] = {2, 5, 5, 5, 1};
    for (int i = 0; i < 5; ++i)
        state.eyes.items[i].score = scores[i];
    pick_eyes(state, state.eye_pick);
    EXPECT_EQ(state.eye_pick[0], 1);
    EXPECT_EQ(state.eye_pick[1], 2);
    EXPECT_EQ(state.eye_pick[2], 3);

    // Rejected records are never chosen; missing slots get 0.
    for (int i = 0; i < 5; ++i)
        state.eyes.items[i].score = i == 3 ? 3 : -1;
    pick_eyes(state, state.eye_pick);
    EXPECT_EQ(state.eye_pick[0], 3);
    EXPECT_EQ(state.eye_pick[1], 0);
    EXPECT_EQ(state.eye_pick[2], 0);
}

TEST_F(EyeStage, OrientationOfUprightAndMirroredLayouts) {
    // Corner (10,10), (50,10) to its right, (10,50) below, given in a
    // scrambled order: the corner moves to slot 0 and the rest stays.
    set_eyes({eye(1, 1, 50, 10), eye(1, 1, 10, 50), eye(1, 1, 10, 10)});
    state.eye_pick[0] = 0, state.eye_pick[1] = 1, state.eye_pick[2] = 2;
    ASSERT_TRUE(orient_eyes(state, state.eye_pick));
    EXPECT_EQ(state.eye_pick[0], 2);
    EXPECT_EQ(state.eye_pick[1], 0); // (50,10), along the rows
    EXPECT_EQ(state.eye_pick[2], 1); // (10,50), down the columns

    // Already in order: kept.
    state.eye_pick[0] = 2, state.eye_pick[1] = 0, state.eye_pick[2] = 1;
    ASSERT_TRUE(orient_eyes(state, state.eye_pick));
    EXPECT_EQ(state.eye_pick[1], 0);
    EXPECT_EQ(state.eye_pick[2], 1);

    // Mirrored left to right: the same corner, slots 1 and 2 exchanged.
    set_eyes({eye(1, 1, 90, 10), eye(1, 1, 50, 10), eye(1, 1, 90, 50)});
    state.eye_pick[0] = 0, state.eye_pick[1] = 1, state.eye_pick[2] = 2;
    ASSERT_TRUE(orient_eyes(state, state.eye_pick));
    EXPECT_EQ(state.eye_pick[0], 0);
    EXPECT_EQ(state.eye_pick[1], 2);
    EXPECT_EQ(state.eye_pick[2], 1);

    // Three equal centres: undecided.
    set_eyes({eye(1, 1, 5, 5), eye(1, 1, 5, 5), eye(1, 1, 5, 5)});
    state.eye_pick[0] = 0, state.eye_pick[1] = 1, state.eye_pick[2] = 2;
    EXPECT_FALSE(orient_eyes(state, state.eye_pick));
}

TEST_F(EyeStage, FindsAndLogsThreeDrawnEyePatterns) {
    blank(120, 120);
    draw_eye(8, 8, 4);
    draw_eye(80, 8, 4);
    capture_log();
    EXPECT_FALSE(find_eye_patterns(state, state.eye_pick, state));
    EXPECT_EQ(log_text(), "cross 2 \nonly 2 eye pattern found.\n");

    blank(120, 120);
    draw_eye(8, 8, 4);
    draw_eye(80, 8, 4);
    draw_eye(8, 80, 4);
    capture_log();
    ASSERT_TRUE(find_eye_patterns(state, state.eye_pick, state));
    const EyePattern &corner = state.eyes.items[state.eye_pick[0]];
    const EyePattern &right = state.eyes.items[state.eye_pick[1]];
    const EyePattern &below = state.eyes.items[state.eye_pick[2]];
    EXPECT_FLOAT_EQ(corner.x, 21.5f);
    EXPECT_FLOAT_EQ(corner.y, 21.5f);
    EXPECT_FLOAT_EQ(right.x, 93.5f);
    EXPECT_FLOAT_EQ(below.y, 93.5f);
    EXPECT_NEAR(corner.size, 28.0f, 1e-4);
    const std::string log = log_text();
    EXPECT_EQ(log.rfind("cross 3 \n", 0), 0u) << log;
    EXPECT_NE(log.find("*Cross 0 (21.500000,21.500000)-(28.000000,28.000000) 0\n"), std::string::npos) << log;
    int stars = 0;
    for (char ch : log)
        stars += ch == '*';
    EXPECT_EQ(stars, 3);
}

// Runs of the alignment scan: a dark run, then light, dark, light.
TEST_F(EyeStage, AlignmentRunBoundsAndWindowEnd) {
    // Unit 4 accepts runs of 2 to 6 pixels.
    const std::vector<std::vector<int>> lines = {
        {10, 4, 2, 4, 10}, {10, 4, 6, 4, 10}, {10, 4, 1, 4, 10},
        {10, 4, 7, 4, 10}, {10, 7, 4, 4, 10}, {10, 2, 4, 6, 10},
    };
    const auto table = run_table(40, lines);
    MemChunk<RunHit> hits;
    ASSERT_TRUE(scan_alignment_runs(0, table.data(), 40, hits, 10, 6, 20, 4.0, state));
    const std::vector<Hit> expected = {{0, 14, 2, -1}, {1, 14, 6, -1}, {5, 12, 4, -1}};
    EXPECT_EQ(hits_of(hits), expected);

    // The dark centre may end exactly at the window's end; a window that
    // starts on a dark run steps over it.
    const auto one = run_table(40, {{10, 4, 4, 4, 10}});
    memchunk_clear(hits);
    EXPECT_TRUE(scan_alignment_runs(0, one.data(), 40, hits, 10, 1, 8, 4.0, state));
    EXPECT_TRUE(scan_alignment_runs(0, one.data(), 40, hits, 0, 1, 18, 4.0, state));
    EXPECT_FALSE(scan_alignment_runs(0, one.data(), 40, hits, 10, 1, 7, 4.0, state));
    EXPECT_EQ(hits.count, 2);
    memchunk_free(hits);
}

class AlignmentSearch : public EyeStage {
protected:
    // Eyes 28 pixels wide (unit 4), the corner's centre at module (3, 3) =
    // pixel 16, module steps of 4 pixels along x and y.
    void prepare() {
        set_eyes({eye(28, 28, 16, 16), eye(28, 28, 100, 16), eye(28, 28, 16, 100)});
        state.eye_pick[0] = 0, state.eye_pick[1] = 1, state.eye_pick[2] = 2;
        state.units.x = {4, 0};
        state.units.y = {0, 4};
        ASSERT_TRUE(build_row_runs(state, state));
        ASSERT_TRUE(build_col_runs(state, state));
    }
    // Alignment pattern on modules 8..12 (pixels 34..53), clipped to the image.
    static void draw_alignment() {
        const int edge = std::min({54, state.image_width, state.image_height});
        fill(34, 34, edge, edge);
        fill(38, 38, 50, 50, 0);
        fill(42, 42, 46, 46);
    }
};

TEST_F(AlignmentSearch, FindsThePatternAndHonoursTheImageEdges) {
    // The windows reach to pixel 54 on both axes.
    for (int side : {54, 53}) {
        blank(side, side);
        draw_alignment();
        prepare();
        AlignmentProbe probe{0, 0, 10, 10};
        if (side == 54) {
            ASSERT_TRUE(whole_state::find_alignment(state, probe));
            EXPECT_FLOAT_EQ(probe.x, 44.0f);
            EXPECT_FLOAT_EQ(probe.y, 44.0f);
        } else {
            EXPECT_FALSE(whole_state::find_alignment(state, probe));
        }
        free_eye_patterns(state);
    }

    blank(80, 80);
    draw_alignment();
    prepare();
    AlignmentProbe probe{0, 0, 10, 10};
    ASSERT_TRUE(whole_state::find_alignment(state, probe));
    EXPECT_FLOAT_EQ(probe.x, 44.0f);
    // Predicted centre above the image, and a window starting above it.
    AlignmentProbe above{0, 0, 10, -2};
    EXPECT_FALSE(whole_state::find_alignment(state, above));
    AlignmentProbe near_top{0, 0, 10, 0};
    EXPECT_FALSE(whole_state::find_alignment(state, near_top));
    // Degenerate step vectors: no crash, no result.
    state.units.x = {NAN, 0};
    EXPECT_FALSE(whole_state::find_alignment(state, probe));
    state.units.x = {1e30f, 0};
    EXPECT_FALSE(whole_state::find_alignment(state, probe));
}

TEST_F(AlignmentSearch, OnlyTheFirstGroupCounts) {
    // 2-pixel dark squares every 4 pixels: every square in both windows is
    // a group of its own; the first crossing found is the square at 40..41.
    blank(80, 80);
    for (int y = 0; y < 80; y += 4)
        for (int x = 0; x < 80; x += 4)
            fill(x, y, x + 2, y + 2);
    prepare();
    AlignmentProbe probe{0, 0, 10, 10};
    ASSERT_TRUE(whole_state::find_alignment(state, probe));
    EXPECT_FLOAT_EQ(probe.x, 41.0f);
    EXPECT_FLOAT_EQ(probe.y, 41.0f);
    int groups = 0;
    for (const Hit &h : hits_of(state.row_hits))
        groups = std::max(groups, h[3]);
    EXPECT_GT(groups, 1);
}

// The indexed sweep must label exactly like the loop over every pair.
void expect_same_labels(const std::vector<RunHit> &rows, const std::vector<RunHit> &cols, bool eye,
                        const std::string &what) {
    MemChunk<RunHit> r1, c1, r2, c2;
    load_hits(r1, rows);
    load_hits(c1, cols);
    load_hits(r2, rows);
    load_hits(c2, cols);
    const int plain = eye ? reference::label_eye_hits(r1, c1) : reference::label_alignment_hits(r1, c1);
    const int swept = eye ? label_eye_hits(r2, c2) : label_alignment_hits(r2, c2);
    ASSERT_EQ(plain, swept) << what;
    ASSERT_EQ(hits_of(r1), hits_of(r2)) << what;
    ASSERT_EQ(hits_of(c1), hits_of(c2)) << what;
}

TEST_F(EyeStage, SweepLabelsMatchAllPairsOnGeneratedImages) {
    std::mt19937 random(7);
    for (int image = 0; image < 120; ++image) {
        const int w = 60 + static_cast<int>(random() % 100);
        const int h = 60 + static_cast<int>(random() % 100);
        blank(w, h);
        // Overlapping eye patterns of many sizes, stripes and speckle.
        const int eyes = static_cast<int>(random() % 12);
        for (int e = 0; e < eyes; ++e) {
            const int module = 1 + static_cast<int>(random() % 5);
            const int x = static_cast<int>(random() % std::max(1, w - 7 * module));
            const int y = static_cast<int>(random() % std::max(1, h - 7 * module));
            draw_eye(x, y, module);
        }
        const int speckle = static_cast<int>(random() % 400);
        for (int s = 0; s < speckle; ++s) {
            const int x = static_cast<int>(random() % w), y = static_cast<int>(random() % h);
            fill(x, y, x + 1, y + 1, random() % 2 ? 64 : 0);
        }
        if (image % 5 == 0)
            for (int x = 0; x + 3 <= w; x += 7)
                fill(x, 0, x + 3, h / 2);
        ASSERT_TRUE(build_row_runs(state, state));
        ASSERT_TRUE(build_col_runs(state, state));
        MemChunk<RunHit> rows, cols;
        ASSERT_TRUE(scan_runs(state.row_runs.get(), w, h, rows, state));
        ASSERT_TRUE(scan_runs(state.col_runs.get(), h, w, cols, state));
        expect_same_labels({rows.items, rows.items + rows.count}, {cols.items, cols.items + cols.count}, true, "image " + std::to_string(image));
    }
    // Random hit lists, dense in crossings, for both kinds of crossing.
    for (int round = 0; round < 300; ++round) {
        const int n = 1 + static_cast<int>(random() % 60);
        std::vector<RunHit> rows, cols;
        for (int i = 0; i < n; ++i) {
            // Lengths from 1: a zero length would send the eye labelling
            // back to the all-pairs loop.
            auto hit = [&] {
                return RunHit{static_cast<int>(random() % 40), static_cast<int>(random() % 40) - 5,
                              1 + static_cast<int>(random() % 25), -1};
            };
            rows.push_back(hit());
            cols.push_back(hit());
        }
        expect_same_labels(rows, cols, true, "eye round " + std::to_string(round));
        expect_same_labels(rows, cols, false, "alignment round " + std::to_string(round));
    }
}

// Eye pattern centres of a rendered symbol: module point (3.5, 3.5) etc. mapped
// as the renderer maps them (rotation about the symbol's centre).
struct Point {
    double x, y;
};

Point rendered_point(const qr::Symbol &symbol, const qr::RenderOptions &o,
                     const qr::Picture &picture, double mx, double my) {
    const double half = (symbol.size + 2 * o.quiet_zone) * o.module_px / 2;
    const double a = o.rotation_deg * std::numbers::pi / 180;
    auto forward = [&](double x, double y) {
        return Point{std::cos(a) * x - std::sin(a) * y, std::sin(a) * x + std::cos(a) * y};
    };
    double min_x = INFINITY, max_x = -INFINITY, min_y = INFINITY, max_y = -INFINITY;
    for (const Point &c : {Point{-half, -half}, Point{half, -half}, Point{-half, half}, Point{half, half}}) {
        const Point p = forward(c.x, c.y);
        min_x = std::min(min_x, p.x), max_x = std::max(max_x, p.x);
        min_y = std::min(min_y, p.y), max_y = std::max(max_y, p.y);
    }
    const Point p = forward((mx + o.quiet_zone) * o.module_px - half, (my + o.quiet_zone) * o.module_px - half);
    return {p.x + (picture.width - (max_x - min_x)) / 2 - min_x, p.y + (picture.height - (max_y - min_y)) / 2 - min_y};
}

// The stage needs the pass buffers and a sink, nothing else of a state: run
// on bare buffers it traces to the sink it is given exactly what a whole
// state traces to its own, and the picks it gives copy out as the three
// candidates in slot order. A pick that names no candidate copies out as
// nothing.
TEST_F(EyeStage, BareBuffersAndASeparateSinkGiveTheWholeStatesPicksAndTrace) {
    blank(120, 120);
    draw_eye(8, 8, 4);
    draw_eye(80, 8, 4);
    draw_eye(8, 80, 4);
    draw_eye(80, 80, 2); // a fourth, smaller: filtered and scored
    capture_log();
    ASSERT_TRUE(find_eye_patterns(state, state.eye_pick, state));
    const std::string whole_trace = log_text();

    PassBuffers bare;
    bare.image_width = state.image_width;
    bare.image_height = state.image_height;
    ASSERT_TRUE(bare.work_bitmap.allocate(state.work_bitmap.size()));
    std::copy(state.work_bitmap.get(), state.work_bitmap.get() + state.work_bitmap.size(), bare.work_bitmap.get());
    TraceSink sink;
    std::string lines;
    sink.trace_fn = [](const char *line, void *user) { *static_cast<std::string *>(user) += line; };
    sink.trace_user = &lines;
    int pick[3] = {-1, -1, -1};
    ASSERT_TRUE(find_eye_patterns(bare, pick, sink));
    EXPECT_EQ(lines, whole_trace);
    ASSERT_FALSE(whole_trace.empty());
    EXPECT_EQ(bare.eye_count, state.eye_count);
    for (int slot = 0; slot < 3; ++slot)
        EXPECT_EQ(pick[slot], state.eye_pick[slot]) << slot;

    const auto eyes = picked_eyes(bare, pick);
    ASSERT_TRUE(eyes);
    const EyePattern *slots[3] = {&eyes->corner, &eyes->along, &eyes->down};
    for (int slot = 0; slot < 3; ++slot) {
        const EyePattern &want = bare.eyes.items[pick[slot]];
        EXPECT_EQ(slots[slot]->id, want.id) << slot;
        EXPECT_EQ(slots[slot]->x, want.x) << slot;
        EXPECT_EQ(slots[slot]->y, want.y) << slot;
        EXPECT_EQ(slots[slot]->size, want.size) << slot;
    }
    EXPECT_FLOAT_EQ(eyes->corner.x, 21.5f);
    EXPECT_FLOAT_EQ(eyes->along.x, 93.5f);
    EXPECT_FLOAT_EQ(eyes->down.y, 93.5f);

    for (const int wrong : {-1, bare.eye_count, bare.eyes.count + 5}) {
        int bad[3] = {pick[0], wrong, pick[2]};
        EXPECT_FALSE(picked_eyes(bare, bad)) << wrong;
    }
    // Candidates counted but not held (a list cut short) are not picks either.
    const int held = bare.eyes.count;
    bare.eyes.count = 1;
    EXPECT_FALSE(picked_eyes(bare, pick));
    bare.eyes.count = held;
    free_eye_patterns(bare);
}

TEST_F(EyeStage, PicksTheEyePatternsOfRenderedSymbols) {
    int cases = 0;
    for (int version : {1, 2, 4, 7, 10}) {
        const auto symbol = qr::make_symbol("EYE PATTERN 42", version,
                                                 qr::Level::M, qr::Mode::alphanumeric);
        ASSERT_TRUE(symbol) << version;
        for (double rotation : {0.0, 17.0, 90.0, 180.0, 233.0, 270.0}) {
            for (bool mirror : {false, true}) {
                qr::RenderOptions o;
                o.module_px = version < 5 ? 5.0 : 4.0;
                o.rotation_deg = rotation;
                o.mirror = mirror;
                const qr::Picture picture = qr::render(*symbol, o);
                ASSERT_GT(picture.width, 0);
                blank(picture.width, picture.height);
                for (std::size_t i = 0; i < picture.pixels.size(); ++i)
                    state.work_bitmap[i] = picture.pixels[i] < 128 ? 64 : 0;
                const std::string what = "version " + std::to_string(version) + " rotation " +
                                         std::to_string(rotation) + (mirror ? " mirrored" : "");
                ASSERT_TRUE(find_eye_patterns(state, state.eye_pick, state)) << what;
                // A mirrored picture shows the transposed symbol, whose
                // eye patterns sit where the original's do: as seen in
                // the picture, the slots are the same.
                const double far = symbol->size - 3.5;
                const Point want[3] = {rendered_point(*symbol, o, picture, 3.5, 3.5),
                                       rendered_point(*symbol, o, picture, far, 3.5),
                                       rendered_point(*symbol, o, picture, 3.5, far)};
                for (int slot = 0; slot < 3; ++slot) {
                    const EyePattern &e = state.eyes.items[state.eye_pick[slot]];
                    EXPECT_NEAR(e.x, want[slot].x, 0.4 * o.module_px) << what << " slot " << slot;
                    EXPECT_NEAR(e.y, want[slot].y, 0.4 * o.module_px) << what << " slot " << slot;
                    EXPECT_NEAR(e.size, 7 * o.module_px, 1.0 * o.module_px) << what;
                }
                free_eye_patterns(state);
                ++cases;
            }
        }
    }
    EXPECT_EQ(cases, 60);
}

} // namespace
