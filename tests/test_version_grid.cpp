// Version determination and the sampling grid, on eye pattern records and
// work bitmaps set up by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "3_model2/classic/alignment.h"
#include "3_model2/classic/binarise.h"
#include "3_model2/classic/runs.h"
#include "1_base/symbol_tables.h"
#include "3_model2/classic/eyepattern.h"
#include "3_model2/classic/grid.h"
#include "qr_symbols.h"
#include "3_model2/classic/state.h"
#include "3_model2/classic/decode_entry.h"
#include "3_model2/classic/version.h"
#include "whole_state.h"

using namespace vantor;

namespace {
// The state the stages of these tests work on.
DecoderState state;
} // namespace

namespace {

// Collects the trace the stages write.
class LogCapture {
public:
    LogCapture() {
        file_ = open_memstream(&buf_, &len_);
        state.trace_file = file_;
    }
    ~LogCapture() {
        state.trace_file = nullptr;
        std::fclose(file_);
        std::free(buf_);
    }
    std::string text() {
        std::fflush(file_);
        return std::string(buf_, len_);
    }

private:
    char *buf_ = nullptr;
    std::size_t len_ = 0;
    std::FILE *file_ = nullptr;
};

// Independent computation of a version information code word.
std::uint32_t bch_word(std::uint32_t v) {
    std::uint32_t rem = v << 12;
    for (int bit = 17; bit >= 12; --bit)
        if (rem >> bit & 1)
            rem ^= 0x1F25u << (bit - 12);
    return v << 12 | rem;
}

EyePattern make_eye(float x, float y, float size) {
    EyePattern e{};
    e.x = x;
    e.y = y;
    e.width = size;
    e.height = size;
    e.size = size;
    return e;
}

class VersionGrid : public ::testing::Test {
protected:
    void TearDown() override {
        grid_free(state);
        memchunk_free(state.eyes);
        memchunk_free(state.row_hits);
        memchunk_free(state.col_hits);
        state.row_runs.reset();
        state.col_runs.reset();
        state.work_bitmap.reset();
        state.trace_file = nullptr;
        state.version = 0;
        state.matrix_width = state.matrix_height = 0;
    }

    static void image(int w, int h) {
        state.image_width = w;
        state.image_height = h;
        ASSERT_TRUE(state.work_bitmap.allocate_zeroed(static_cast<std::size_t>(w) * h));
    }
    static std::uint8_t &pixel(int x, int y) { return state.work_bitmap[static_cast<std::size_t>(y) * state.image_width + x]; }
    static void fill(int x0, int y0, int x1, int y1, std::uint8_t v) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                pixel(x, y) = v;
    }
    static void eyes(EyePattern corner, EyePattern along, EyePattern down) {
        memchunk_init(state.eyes);
        memchunk_append(state.eyes, corner);
        memchunk_append(state.eyes, along);
        memchunk_append(state.eyes, down);
        state.eye_count = 3;
        state.eye_pick[0] = 0;
        state.eye_pick[1] = 1;
        state.eye_pick[2] = 2;
    }

    // Writes an 18-bit value as single dark pixels at the (ceiled) sample
    // positions of a block, for an axis-aligned symbol of `unit` pixels.
    static void paint_block(std::uint32_t value, VersionBlock block, double unit) {
        const EyePattern &e = state.eyes.items[block == VersionBlock::along ? 1 : 2];
        for (int k = 0; k < 18; ++k) {
            int c = -7 + k % 3, r = -3 + k / 3;
            if (block == VersionBlock::down)
                std::swap(c, r);
            const double x = std::ceil(e.x + c * unit), y = std::ceil(e.y + r * unit);
            if (x >= 0 && x < state.image_width && y >= 0 && y < state.image_height)
                pixel(static_cast<int>(x), static_cast<int>(y)) = (value >> k & 1) ? 64 : 0;
        }
    }

    // Samples one module and returns the pixel whose mark it toggled.
    static std::pair<int, int> sampled_pixel(int col, int row) {
        std::vector<std::uint8_t> before(state.work_bitmap.get(),
                                         state.work_bitmap.get() + state.work_bitmap.size());
        EXPECT_GE(grid_module_value(state, state, col, row), 0);
        for (std::size_t i = 0; i < before.size(); ++i)
            if (before[i] != state.work_bitmap[i])
                return {static_cast<int>(i % state.image_width), static_cast<int>(i / state.image_width)};
        return {-1, -1};
    }

    // An alignment pattern of `unit` px modules whose centre module covers
    // [cx - unit/2, cx + unit/2) on both axes.
    static void draw_alignment(int cx, int cy, int unit) {
        const int h = unit / 2;
        fill(cx - h - 2 * unit, cy - h - 2 * unit, cx + h + 2 * unit, cy + h + 2 * unit, 64);
        fill(cx - h - unit, cy - h - unit, cx + h + unit, cy + h + unit, 0);
        fill(cx - h, cy - h, cx + h, cy + h, 64);
    }
    static void build_runs() {
        ASSERT_TRUE(build_row_runs(state, state));
        ASSERT_TRUE(build_col_runs(state, state));
        memchunk_init(state.row_hits);
        memchunk_init(state.col_hits);
    }

    static void add_point(float x, float y, int col, int row) {
        GridPoint p{};
        p.x = x;
        p.y = y;
        p.col = col;
        p.row = row;
        p.units_state = -1.0f;
        memchunk_append(state.grid_points, p);
    }
    // Grid points of a version on a square grid of `unit` pixels whose module
    // (0, 0) starts at pixel (origin, origin), without calling grid_build.
    static void ideal_grid(int version, float origin, float unit) {
        state.version = version;
        const int n = 4 * version + 17;
        state.matrix_width = state.matrix_height = n;
        memchunk_init(state.grid_points);
        auto at = [&](int m) { return origin + (m + 0.5f) * unit; };
        add_point(at(3), at(3), 3, 3);
        add_point(at(n - 4), at(3), n - 4, 3);
        add_point(at(3), at(n - 4), 3, n - 4);
        for (int r : alignment_coords(version))
            for (int c : alignment_coords(version))
                if (r > 0 && c > 0 && !((c < 7 && r < 7) || (c >= n - 7 && r < 7) || (c < 7 && r >= n - 7)))
                    add_point(at(c), at(r), c, r);
    }
    static GridPoint *point(int col, int row) {
        for (int i = 0; i < state.grid_points.count; ++i)
            if (state.grid_points.items[i].col == col && state.grid_points.items[i].row == row)
                return &state.grid_points.items[i];
        return nullptr;
    }
};

// --- version estimate -------------------------------------------------------

TEST_F(VersionGrid, WorkedExampleTryIndexOne) {
    image(400, 400);
    eyes(make_eye(100, 100, 72), make_eye(280, 100, 72), make_eye(100, 280, 72));
    LogCapture log;
    EXPECT_EQ(whole_state::determine_version(state, 1), 2);
    EXPECT_EQ(log.text(), "x_unit(10.285714, 0.000000)\ny_unit(0.000000, 10.285714)\nversion 2\n");
    EXPECT_FLOAT_EQ(state.units.x.x, 10.0f);
    EXPECT_FLOAT_EQ(state.units.x.y, 0.0f);
    EXPECT_FLOAT_EQ(state.units.y.x, 0.0f);
    EXPECT_FLOAT_EQ(state.units.y.y, 10.0f);
}

TEST_F(VersionGrid, EstimateRoundsTheDistanceUpAndTruncatesTheVersion) {
    image(400, 400);
    struct Case {
        float modules; // centre distance in module sizes (eyes of 70 px, module 10)
        int version;
    };
    for (const Case c : {Case{13.2f, 1}, Case{17.01f, 2}, Case{17.6f, 2}, Case{12.6f, 0},
                         Case{21.5f, 3}, Case{5.0f, -1}}) {
        for (int try_index : {0, 1}) {
            eyes(make_eye(10, 10, 70), make_eye(10 + c.modules * 10, 10, 70), make_eye(10, 200, 70));
            EXPECT_EQ(whole_state::determine_version(state, try_index), c.version) << c.modules << " try " << try_index;
        }
    }
}

TEST_F(VersionGrid, TryIndicesMeasureTheEyesDifferently) {
    image(400, 400);
    // Measured 60 x 80 (root mean square 70.7) but a region size of 50.
    EyePattern corner = make_eye(10, 10, 50), along = make_eye(190, 10, 50), down = make_eye(10, 190, 50);
    for (EyePattern *e : {&corner, &along, &down}) {
        e->width = 60;
        e->height = 80;
    }
    eyes(corner, along, down);
    EXPECT_EQ(whole_state::determine_version(state, 0), 2); // 180 / 10.1 -> 18 modules
    EXPECT_FLOAT_EQ(state.units.x.x, 10.0f);
    EXPECT_EQ(whole_state::determine_version(state, 1), 4); // 180 / 7.14 -> 26 modules
    EXPECT_FLOAT_EQ(state.units.x.x, 180.0f / 26);
    EXPECT_FLOAT_EQ(state.units.y.y, 180.0f / 26);
}

TEST_F(VersionGrid, FailedEstimateKeepsPreliminaryVectorsPerAxis) {
    image(200, 200);
    // The along eye 50 px away along (3, 4), the down eye along (-4, 3).
    EyePattern corner = make_eye(100, 100, 49), along = make_eye(130, 140, 49), down = make_eye(60, 130, 49);
    for (EyePattern *e : {&corner, &along, &down}) {
        e->width = 60;
        e->height = 80;
    }
    eyes(corner, along, down);
    {
        LogCapture log;
        EXPECT_EQ(whole_state::determine_version(state, 0), -1); // 5 modules: (5 - 10) / 4 truncates to -1
        EXPECT_EQ(log.text(), "x_unit(5.142857, 9.142858)\ny_unit(-6.857143, 6.857143)\nversion -1\n");
    }
    EXPECT_EQ(whole_state::determine_version(state, 1), 0); // 8 modules: (8 - 10) / 4 truncates to 0
    EXPECT_FLOAT_EQ(state.units.x.x, 4.2f);
    EXPECT_FLOAT_EQ(state.units.x.y, 5.6f);
    EXPECT_FLOAT_EQ(state.units.y.x, -5.6f);
    EXPECT_FLOAT_EQ(state.units.y.y, 4.2f);
}

TEST_F(VersionGrid, HostileEyeGeometryFailsCleanly) {
    image(50, 50);
    const float inf = INFINITY, nan = NAN;
    // Coincident centres with zero sizes, infinite and NaN centres.
    eyes(make_eye(10, 10, 0), make_eye(10, 10, 0), make_eye(10, 10, 0));
    EXPECT_LE(whole_state::determine_version(state, 0), 0);
    EXPECT_LE(whole_state::determine_version(state, 1), 0);
    eyes(make_eye(10, 10, 7), make_eye(inf, 10, 7), make_eye(10, 1e30f, 7));
    EXPECT_EQ(whole_state::determine_version(state, 1), -1); // huge estimate, unreadable blocks
    eyes(make_eye(nan, 10, 7), make_eye(10, nan, 7), make_eye(10, 10, nan));
    EXPECT_LE(whole_state::determine_version(state, 0), 0);
    state.eye_pick[2] = 3; // not a record
    EXPECT_EQ(whole_state::determine_version(state, 0), 0);
    state.version = 2;
    EXPECT_FALSE(whole_state::grid_build(state));
}

// --- version information ----------------------------------------------------

TEST_F(VersionGrid, MatchToleratesThreeWrongBitsNotFour) {
    EXPECT_EQ(bch_word(7), 0x07C94u);
    EXPECT_EQ(bch_word(8), 0x085BCu);
    EXPECT_EQ(bch_word(40), 0x28C69u);
    for (std::uint32_t v = 7; v <= 40; ++v) {
        const std::uint32_t w = bch_word(v);
        EXPECT_EQ(match_version_info(w).version, static_cast<int>(v));
        EXPECT_EQ(match_version_info(w ^ 0x20001u).version, static_cast<int>(v));
        EXPECT_EQ(match_version_info(w ^ 0x30001u).version, static_cast<int>(v));
        EXPECT_EQ(match_version_info(w ^ 0x0000Fu).version, -1) << v;
        EXPECT_EQ(match_version_info(w ^ 0x3C000u).version, -1) << v;
        // Only the low 18 bits are compared.
        EXPECT_EQ(match_version_info(w | 0xFC0000u).version, static_cast<int>(v));
    }
    EXPECT_EQ(match_version_info(0).version, -1);       // all light
    EXPECT_EQ(match_version_info(0x3FFFF).version, -1); // all dark
    EXPECT_EQ(match_version_info(bch_word(9) ^ 0x00101u).wrong_bits, 2);
}

// Version 9 geometry: 46 modules of 10 px between the centres.
class VersionInfo : public VersionGrid {
protected:
    void SetUp() override {
        image(700, 700);
        eyes(make_eye(100, 100, 70), make_eye(560, 100, 70), make_eye(100, 560, 70));
        state.units.x = {10, 0};
        state.units.y = {0, 10};
    }
};

TEST_F(VersionInfo, UpperRightBlockDecidesEvenAgainstTheEstimate) {
    paint_block(bch_word(12) ^ 0x00081u, VersionBlock::along, 10); // two wrong bits
    paint_block(bch_word(9), VersionBlock::down, 10);
    LogCapture log;
    EXPECT_EQ(whole_state::determine_version(state, 1), 12);
    EXPECT_EQ(log.text(), "x_unit(10.000000, 0.000000)\ny_unit(0.000000, 10.000000)\n"
                          "version info bit 0xc7e3\nversion bit different 2 bits.\nversion 12\n");
    EXPECT_FLOAT_EQ(state.units.x.x, 460.0f / 58);
    EXPECT_FLOAT_EQ(state.units.y.y, 460.0f / 58);
}

TEST_F(VersionInfo, FourWrongBitsFallBackToTheLowerLeftBlock) {
    paint_block(bch_word(12) ^ 0x10111u, VersionBlock::along, 10);
    paint_block(bch_word(9) ^ 0x00111u, VersionBlock::down, 10);
    LogCapture log;
    EXPECT_EQ(whole_state::determine_version(state, 0), 9);
    EXPECT_NE(log.text().find("version bit different 3 bits.\nversion 9\n"), std::string::npos);
}

TEST_F(VersionInfo, NoMatchingBlockFailsWithPreliminaryVectors) {
    paint_block(bch_word(12) ^ 0x10111u, VersionBlock::along, 10);
    // The block beside the down eye stays all light.
    LogCapture log;
    EXPECT_EQ(whole_state::determine_version(state, 1), -1);
    EXPECT_EQ(log.text(), "x_unit(10.000000, 0.000000)\ny_unit(0.000000, 10.000000)\n"
                          "version info bit 0x1c673\nversion info bit 0x0\nversion -1\n");
    EXPECT_FLOAT_EQ(state.units.x.x, 10.0f);
}

TEST_F(VersionInfo, SamplesTakeTheCeilingAndOnlyUnmarkedDarkCounts) {
    // Centres a fraction off the pixel grid: samples land at x.4 -> x + 1.
    state.eyes.items[1].x = 560.4f;
    state.eyes.items[1].y = 100.4f;
    paint_block(bch_word(23), VersionBlock::along, 10);
    EXPECT_EQ(whole_state::determine_version(state, 1), 23);
    // A marked dark pixel (80) reads as light: the code word now has one
    // dark bit less, still within tolerance.
    state.units.x = {10, 0};
    state.units.y = {0, 10};
    pixel(501, 121) |= 0x10; // bit 16, dark in this word: (-6, 2) from (560.4, 100.4)
    LogCapture log;
    EXPECT_EQ(whole_state::read_version_info(state, VersionBlock::along), 23);
    EXPECT_NE(log.text().find("1 bits."), std::string::npos);
}

TEST_F(VersionInfo, SamplesOutsideTheBitmapReadAsLight) {
    // Each block loses its three rows (columns) that hold bits 0..8 over the
    // top (left) edge; this code word has four dark bits among those.
    state.eyes.items[1].y = 2;
    state.eyes.items[2].x = 1;
    paint_block(bch_word(9), VersionBlock::along, 10);
    paint_block(bch_word(9), VersionBlock::down, 10);
    EXPECT_EQ(whole_state::read_version_info(state, VersionBlock::along), -1);
    EXPECT_EQ(whole_state::read_version_info(state, VersionBlock::down), -1);
    // Far past the right and bottom edges.
    state.eyes.items[1].x = 1e9f;
    state.eyes.items[2].y = 1e9f;
    EXPECT_EQ(whole_state::read_version_info(state, VersionBlock::along), -1);
    EXPECT_EQ(whole_state::read_version_info(state, VersionBlock::down), -1);
    state.eyes.items[2].x = 100;
    state.eyes.items[2].y = 560;
    paint_block(bch_word(9), VersionBlock::down, 10);
    EXPECT_EQ(whole_state::read_version_info(state, VersionBlock::down), 9);
}

// --- alignment table ----------------------------------------------------------

TEST_F(VersionGrid, AlignmentRows) {
    auto row = [](int v) {
        auto c = alignment_coords(v);
        return std::vector<int>(c.begin(), c.end());
    };
    EXPECT_EQ(row(0), std::vector<int>(7, 0));
    EXPECT_EQ(row(1), std::vector<int>(7, 0));
    EXPECT_EQ(row(2), (std::vector<int>{6, 18, 0, 0, 0, 0, 0}));
    EXPECT_EQ(row(7), (std::vector<int>{6, 22, 38, 0, 0, 0, 0}));
    EXPECT_EQ(row(22), (std::vector<int>{6, 26, 50, 74, 98, 0, 0}));
    EXPECT_EQ(row(36), (std::vector<int>{6, 24, 50, 76, 102, 128, 154}));
    EXPECT_EQ(row(40), (std::vector<int>{6, 30, 58, 86, 114, 142, 170}));
    EXPECT_EQ(row(41), std::vector<int>(7, 0));
    EXPECT_EQ(row(-3), std::vector<int>(7, 0));
}

// --- module placement ---------------------------------------------------------

TEST_F(VersionGrid, VersionOneSamplesEveryModuleOnceFromTheCornerEye) {
    // 21 x 21 modules of 10 px from pixel 50; random module colours.
    image(300, 300);
    eyes(make_eye(85, 85, 70), make_eye(225, 85, 70), make_eye(85, 225, 70));
    state.version = whole_state::determine_version(state, 1);
    ASSERT_EQ(state.version, 1);
    std::vector<std::uint8_t> expect(21 * 21);
    std::srand(7);
    for (int r = 0; r < 21; ++r)
        for (int c = 0; c < 21; ++c) {
            expect[r * 21 + c] = (std::rand() & 1) ? 64 : 0;
            fill(50 + 10 * c, 50 + 10 * r, 60 + 10 * c, 60 + 10 * r, expect[r * 21 + c]);
        }
    LogCapture log;
    ASSERT_TRUE(whole_state::grid_build(state));
    EXPECT_EQ(state.grid_points.count, 3);
    ASSERT_TRUE(grid_sample(state, state));
    EXPECT_EQ(log.text(), "");
    EXPECT_EQ(state.matrix_width, 21);
    ASSERT_TRUE(state.function_map);
    EXPECT_EQ(state.function_map.size(), (21u * 21 + 7) / 8);
    for (std::uint8_t b : state.function_map.span())
        EXPECT_EQ(b, 0);
    EXPECT_EQ(std::vector<std::uint8_t>(state.module_matrix.get(), state.module_matrix.get() + 441), expect);
    // Exactly the module centres carry the sampled mark.
    int marks = 0;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 300; ++x)
            if (pixel(x, y) & 0x10) {
                ++marks;
                EXPECT_TRUE((x - 55) % 10 == 0 && (y - 55) % 10 == 0) << x << "," << y;
            }
    EXPECT_EQ(marks, 441);
    grid_free(state);
    EXPECT_FALSE(state.module_matrix);
    EXPECT_EQ(state.grid_points.count, 0);
    grid_free(state); // twice is harmless
}

TEST_F(VersionGrid, ReadingTogglesTheSampledMark) {
    image(300, 300);
    eyes(make_eye(85, 85, 70), make_eye(225, 85, 70), make_eye(85, 225, 70));
    state.version = whole_state::determine_version(state, 1);
    ASSERT_TRUE(whole_state::grid_build(state));
    pixel(85, 85) = 64;
    EXPECT_EQ(grid_module_value(state, state, 3, 3), 64);
    EXPECT_EQ(pixel(85, 85), 80);
    EXPECT_EQ(grid_module_value(state, state, 3, 3), 80);
    EXPECT_EQ(grid_module_value(state, state, 3, 3), 64);
    EXPECT_EQ(grid_module_value(state, state, 4, 3), 0);
    EXPECT_EQ(grid_module_value(state, state, 4, 3), 16);
}

TEST_F(VersionGrid, ModuleCentreLeftOfTheImageFailsTheGrid) {
    image(300, 300);
    // Module 0 lies at x = 29.5 - 3 * 10 = -0.5, whose floor is -1.
    eyes(make_eye(29.5f, 40, 70), make_eye(169.5f, 40, 70), make_eye(29.5f, 180, 70));
    state.version = whole_state::determine_version(state, 1);
    ASSERT_EQ(state.version, 1);
    ASSERT_TRUE(whole_state::grid_build(state));
    EXPECT_EQ(grid_module_value(state, state, 0, 5), -1);
    EXPECT_EQ(grid_module_value(state, state, 1, 5), 0); // x = 9.5 - 10 + 10
    EXPECT_FALSE(grid_sample(state, state));
    grid_free(state);
    // At x = 0.0 the same symbol fits.
    eyes(make_eye(30, 40, 70), make_eye(170, 40, 70), make_eye(30, 180, 70));
    ASSERT_EQ(whole_state::determine_version(state, 1), 1);
    ASSERT_TRUE(whole_state::grid_build(state));
    EXPECT_TRUE(grid_sample(state, state));
}

TEST_F(VersionGrid, FailedSampleStopsThereAndKeepsEarlierMarks) {
    // The last module column (x = 200) lies just past the right edge.
    image(200, 250);
    eyes(make_eye(30, 40, 70), make_eye(170, 40, 70), make_eye(30, 180, 70));
    ASSERT_EQ(state.version = whole_state::determine_version(state, 1), 1);
    ASSERT_TRUE(whole_state::grid_build(state));
    EXPECT_FALSE(grid_sample(state, state));
    int marks = 0;
    for (std::uint8_t v : state.work_bitmap.span())
        marks += (v & 0x10) != 0;
    EXPECT_EQ(marks, 20); // row 0, columns 0..19
    EXPECT_EQ(pixel(190, 10), 0x10);
}

TEST_F(VersionGrid, HostileGridFailsCleanly) {
    image(100, 100);
    eyes(make_eye(30, 40, 70), make_eye(170, 40, 70), make_eye(30, 180, 70));
    state.version = 0;
    EXPECT_FALSE(whole_state::grid_build(state));
    state.version = 41;
    EXPECT_FALSE(whole_state::grid_build(state));
    EXPECT_EQ(grid_module_value(state, state, 0, 0), -1);
    state.version = 1;
    ASSERT_TRUE(whole_state::grid_build(state));
    for (Vec2f u : {Vec2f{NAN, 0}, Vec2f{INFINITY, 0}, Vec2f{3e38f, 3e38f}, Vec2f{-1e20f, 0}}) {
        state.units.x = u;
        state.units.y = u;
        EXPECT_FALSE(grid_sample(state, state));
    }
}

TEST_F(VersionGrid, VersionTwoWorkedExample) {
    // Eye points on a 10 px grid; the alignment pattern found 1 px off its
    // predicted (250, 250).
    image(400, 400);
    ideal_grid(2, 65, 10);
    state.units.x = {10, 0};
    state.units.y = {0, 10};
    point(18, 18)->x = 251;
    point(18, 18)->y = 251;
    EXPECT_EQ(sampled_pixel(0, 0), std::make_pair(70, 70));
    // The single cell's steps come from the eye-to-eye edges only.
    EXPECT_EQ(point(3, 3)->units_state, 0.0f);
    EXPECT_FLOAT_EQ(point(3, 3)->local_units.x.x, 10.0f);
    EXPECT_FLOAT_EQ(point(3, 3)->local_units.y.y, 10.0f);
    EXPECT_EQ(sampled_pixel(24, 24), std::make_pair(311, 311));
    EXPECT_EQ(sampled_pixel(10, 3), std::make_pair(170, 100));
    // (22, 11) is as near the along eye (d2 65) as the alignment
    // pattern; the earlier corner wins: 280 + 10, 100 + 80.
    EXPECT_EQ(sampled_pixel(22, 11), std::make_pair(290, 180));
    EXPECT_EQ(sampled_pixel(23, 12), std::make_pair(301, 191)); // nearer the alignment pattern
}

TEST_F(VersionGrid, VersionSevenCellStepsComeFromAlignmentEdges) {
    image(600, 600);
    ideal_grid(7, 50, 10);
    // Pull the centre alignment pattern (22, 22) by (+16, +32): the first
    // cell's steps change through its right and bottom edges only.
    point(22, 22)->x += 16;
    point(22, 22)->y += 32;
    // The corner eye pattern's edges end off the coordinates, so the steps
    // come from (6,22)->(22,22): (176, 32) / 16 = (11, 2), and from
    // (22,6)->(22,22): (16, 192) / 16 = (1, 12).
    EXPECT_EQ(sampled_pixel(0, 0), std::make_pair(85 - 33 - 3, 85 - 6 - 36));
    EXPECT_FLOAT_EQ(point(3, 3)->local_units.x.x, 11.0f);
    EXPECT_FLOAT_EQ(point(3, 3)->local_units.x.y, 2.0f);
    EXPECT_FLOAT_EQ(point(3, 3)->local_units.y.x, 1.0f);
    EXPECT_FLOAT_EQ(point(3, 3)->local_units.y.y, 12.0f);
    // Once computed, the cell's steps stay cached.
    point(22, 22)->x += 100;
    EXPECT_EQ(sampled_pixel(1, 1), std::make_pair(85 - 22 - 2, 85 - 4 - 24));
    point(22, 22)->x -= 100;
    // Cell [22, 38] x [6, 22]: steps from its left edge (22,6)->(22,22),
    // (1, 12), and bottom edge (22,22)->(38,22), (144, -32) / 16 = (9, -2);
    // (37, 6) steps from the along eye at (465, 85).
    EXPECT_EQ(sampled_pixel(37, 6), std::make_pair(465 - 36 + 3, 85 + 8 + 36));
}

TEST_F(VersionGrid, RowsBeyondTheLastCoordinateUseTheLastCell) {
    // Version 36 (161 modules); the row 154 points sit 13 px low, so the
    // last cell row steps 10.5 px per module.
    image(1700, 1700);
    ideal_grid(36, 20, 10);
    for (int i = 0; i < state.grid_points.count; ++i)
        if (state.grid_points.items[i].row == 154)
            state.grid_points.items[i].y += 13;
    // (140, 160): nearest corner (128, 154) at (1305, 1578) of cell
    // [128, 154] x [128, 154].
    EXPECT_EQ(sampled_pixel(140, 160), std::make_pair(1425, 1641));
    EXPECT_FLOAT_EQ(point(128, 128)->local_units.y.y, 10.5f);
    // Module (160, 160) of the same cell steps from (154, 154).
    EXPECT_EQ(sampled_pixel(160, 160), std::make_pair(1625, 1641));
}

// --- grid building with the alignment search -----------------------------------

TEST_F(VersionGrid, VersionTwoGridFromTheImage) {
    image(400, 400);
    eyes(make_eye(100, 100, 72), make_eye(280, 100, 72), make_eye(100, 280, 72));
    ASSERT_EQ(state.version = whole_state::determine_version(state, 1), 2);
    draw_alignment(251, 251, 10); // predicted at (250, 250)
    build_runs();
    {
        LogCapture log;
        ASSERT_TRUE(whole_state::grid_build(state));
        EXPECT_EQ(log.text(), "grid(251.000000, 251.000000)\n");
    }
    ASSERT_EQ(state.grid_points.count, 4);
    EXPECT_EQ(state.grid_points.items[1].col, 21);
    EXPECT_EQ(state.grid_points.items[2].row, 21);
    EXPECT_EQ(state.grid_points.items[3].col, 18);
    EXPECT_EQ(state.grid_points.items[3].units_state, -1.0f);
    EXPECT_EQ(sampled_pixel(0, 0), std::make_pair(70, 70));
    EXPECT_EQ(sampled_pixel(24, 24), std::make_pair(311, 311));
    EXPECT_EQ(sampled_pixel(10, 3), std::make_pair(170, 100));
    // Without the pattern the grid fails and keeps no matrix.
    grid_free(state);
    fill(0, 0, 400, 400, 0);
    build_runs();
    EXPECT_FALSE(whole_state::grid_build(state));
    EXPECT_FALSE(state.module_matrix);
}

TEST_F(VersionGrid, VersionSevenSearchesRowsThenColumns) {
    image(600, 600);
    eyes(make_eye(100, 100, 70), make_eye(480, 100, 70), make_eye(100, 480, 70));
    state.units.x = {10, 0};
    state.units.y = {0, 10};
    paint_block(bch_word(7), VersionBlock::along, 10);
    ASSERT_EQ(state.version = whole_state::determine_version(state, 1), 7);
    // Each pattern i drawn off its prediction by (i, -i) to tell them apart.
    const int order[6][2] = {{22, 6}, {6, 22}, {22, 22}, {38, 22}, {22, 38}, {38, 38}};
    std::string expect;
    for (int i = 0; i < 6; ++i) {
        const int x = 100 + (order[i][0] - 3) * 10 + i, y = 100 + (order[i][1] - 3) * 10 - i;
        draw_alignment(x, y, 10);
        char line[64];
        std::snprintf(line, sizeof line, "grid(%f, %f)\n", static_cast<double>(x), static_cast<double>(y));
        expect += line;
    }
    build_runs();
    LogCapture log;
    ASSERT_TRUE(whole_state::grid_build(state));
    EXPECT_EQ(log.text(), expect);
    ASSERT_EQ(state.grid_points.count, 9);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(state.grid_points.items[3 + i].col, order[i][0]);
        EXPECT_EQ(state.grid_points.items[3 + i].row, order[i][1]);
    }
    ASSERT_TRUE(grid_sample(state, state));
    // The drawn centre modules read dark, their light rings light.
    const int n = state.matrix_width;
    EXPECT_EQ(n, 45);
    for (const auto &p : order) {
        EXPECT_EQ(state.module_matrix[p[1] * n + p[0]], 64);
        EXPECT_EQ(state.module_matrix[p[1] * n + p[0] + 1], 0);
        EXPECT_EQ(state.module_matrix[(p[1] + 2) * n + p[0]], 64);
    }
}

// --- rendered symbols -----------------------------------------------------------

namespace qr = vantor::testing;

struct PointD {
    double x, y;
};

// Where the renderer puts the centre of module (c, r), in the pixel-index
// coordinates the eye pattern stage measures in (pixel i centred at i).
PointD rendered_centre(const qr::RenderOptions &o, int n, double c, double r) {
    const double a = o.rotation_deg * 3.14159265358979323846 / 180;
    auto forward = [&](double x, double y) {
        const double rx = std::cos(a) * x - std::sin(a) * y, ry = std::sin(a) * x + std::cos(a) * y;
        return PointD{rx + o.skew_x * ry, ry + o.skew_y * rx};
    };
    const double half = (n + 2 * o.quiet_zone) * o.module_px / 2;
    double min_x = INFINITY, max_x = -INFINITY, min_y = INFINITY, max_y = -INFINITY;
    for (int sx : {-1, 1})
        for (int sy : {-1, 1}) {
            const PointD p = forward(sx * half, sy * half);
            min_x = std::min(min_x, p.x), max_x = std::max(max_x, p.x);
            min_y = std::min(min_y, p.y), max_y = std::max(max_y, p.y);
        }
    const double width = std::ceil(max_x - min_x - 1e-9), height = std::ceil(max_y - min_y - 1e-9);
    const PointD p = forward((c + o.quiet_zone + 0.5) * o.module_px - half, (r + o.quiet_zone + 0.5) * o.module_px - half);
    return {p.x + (width - (max_x - min_x)) / 2 - min_x - 0.5, p.y + (height - (max_y - min_y)) / 2 - min_y - 0.5};
}

bool near(double x, double y, PointD want, double tolerance) {
    return std::hypot(x - want.x, y - want.y) <= tolerance;
}

// The decode entry's symbol location on a clean rendering: whenever the
// picked eye patterns and the found alignment patterns are the symbol's own,
// the sampled matrix is the encoder's (dark 64, light 0), module for module.
TEST(VersionGridSymbols, CleanRenderingsSampleToTheEncodersMatrix) {
    struct Look {
        double module_px;
        double rotation;
        double skew;
    };
    constexpr Look looks[] = {{4, 0, 0}, {5.5, 7, 0}, {8, 90, 0.03}, {4.5, 143, 0}, {6, 200, 0.05}, {4, 271, 0}};
    int cases = 0, compared = 0;
    for (int v = 1; v <= 40; ++v) {
        const auto symbol = qr::make_symbol("GRID " + std::to_string(v), v, qr::Level::M, qr::Mode::byte);
        ASSERT_TRUE(symbol);
        const int n = symbol->size;
        for (int li : {v % 6, (v + 3) % 6}) {
            const Look look = looks[li];
            qr::RenderOptions o;
            o.module_px = v > 20 ? std::min(look.module_px, 5.0) : look.module_px;
            o.rotation_deg = look.rotation;
            o.skew_x = look.skew;
            const qr::Picture picture = qr::render(*symbol, o);
            ASSERT_FALSE(picture.pixels.empty());
            ++cases;
            state.image_width = picture.width;
            state.image_height = picture.height;
            ASSERT_TRUE(state.work_bitmap.allocate(picture.pixels.size()));
            threshold_global(state, 0, picture.pixels.data(), 8);
            const std::string where = "version " + std::to_string(v) + " look " + std::to_string(li);

            const double tolerance = std::max(1.5, o.module_px * 0.75);
            bool own = find_eye_patterns(state, state.eye_pick, state) != 0;
            const PointD eye_at[3] = {rendered_centre(o, n, 3, 3), rendered_centre(o, n, n - 4, 3),
                                      rendered_centre(o, n, 3, n - 4)};
            for (int slot = 0; own && slot < 3; ++slot) {
                const EyePattern &e = state.eyes.items[state.eye_pick[slot]];
                own = near(e.x, e.y, eye_at[slot], tolerance);
            }
            bool matched = false;
            for (int j = 0; own && j < 2 && !matched; ++j) {
                state.version = whole_state::determine_version(state, j);
                if (state.version != v)
                    continue;
                bool aligned = whole_state::grid_build(state) != 0;
                for (int i = 3; aligned && i < state.grid_points.count; ++i) {
                    const GridPoint &g = state.grid_points.items[i];
                    aligned = near(g.x, g.y, rendered_centre(o, n, g.col, g.row), tolerance);
                }
                if (aligned) {
                    ASSERT_TRUE(grid_sample(state, state)) << where;
                    int wrong = 0;
                    for (int r = 0; r < n; ++r)
                        for (int c = 0; c < n; ++c)
                            wrong += state.module_matrix[static_cast<std::size_t>(r) * n + c] != (symbol->dark(c, r) ? 64 : 0);
                    EXPECT_EQ(wrong, 0) << where << " try " << j;
                    matched = true;
                    for (std::uint8_t &p : state.work_bitmap.span())
                        p &= static_cast<std::uint8_t>(~0x10);
                }
                grid_free(state);
            }
            compared += matched;
            free_eye_patterns(state);
        }
    }
    state.work_bitmap.reset();
    // Rules that pick an eye-like data structure or a wrong alignment
    // group skip a case; most must still be compared.
    EXPECT_GE(compared * 10, cases * 6) << compared << " of " << cases;
    ::testing::Test::RecordProperty("compared", compared);
}

} // namespace

// A square size names its version only when a version has that size: the
// search and the Model 1 reader refuse a matrix of any other.
TEST(SymbolSize, EverySizeNamesItsVersionAndNoOtherSizeDoes) {
    int named = 0;
    for (int size = -3; size <= 200; ++size) {
        const int v = vantor::size_version(size);
        if (v == 0)
            continue;
        ++named;
        EXPECT_EQ(vantor::symbol_size(v), size);
    }
    EXPECT_EQ(named, 45) << "versions 1..45 fit below 200";
    EXPECT_EQ(vantor::size_version(17), 0) << "no version 0";
    EXPECT_EQ(vantor::size_version(13), 0) << "never a negative version";
}
