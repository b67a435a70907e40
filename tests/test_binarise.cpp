// Binarisation passes and the decode entry's own rules.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "3_model2/classic/binarise.h"
#include "3_model2/classic/state.h"
#include "3_model2/classic/decode_entry.h"
#include <vantor/vantor.h>

using namespace vantor;

namespace {
// The state the stages of these tests work on.
DecoderState state;
} // namespace

namespace {

// Sets up the state for a width x height image, as the decode entry does.
void prepare(int width, int height) {
    state.image_width = width;
    state.image_height = height;
    state.contrast_map.reset();
    ASSERT_TRUE(state.work_bitmap.allocate(static_cast<std::size_t>(width) * height));
}

std::vector<std::uint8_t> bitmap() {
    return {state.work_bitmap.get(), state.work_bitmap.get() + state.work_bitmap.size()};
}

} // namespace

TEST(ThresholdGlobal, DivisorsPlaceTheThresholdAndEqualGreyIsLight) {
    // Greys 0..255: thresholds 85 (pass 0), 102 (pass 1), 127 (pass 2).
    std::vector<std::uint8_t> pixels(256);
    for (int i = 0; i < 256; ++i)
        pixels[i] = static_cast<std::uint8_t>(i);
    prepare(256, 1);
    const int expected[3] = {85, 102, 127};
    for (int pass = 0; pass < 3; ++pass) {
        threshold_global(state, pass, pixels.data(), 8);
        for (int g = 0; g < 256; ++g)
            ASSERT_EQ(state.work_bitmap[g], g < expected[pass] ? 64 : 0) << "pass " << pass << " grey " << g;
    }
    // An index out of range takes the last divisor.
    threshold_global(state, 7, pixels.data(), 8);
    EXPECT_EQ(state.work_bitmap[126], 64);
    EXPECT_EQ(state.work_bitmap[127], 0);
}

TEST(ThresholdGlobal, UniformImageIsAllLightAndDepthOneTakesZeroAsDark) {
    std::vector<std::uint8_t> grey(20 * 20, 90);
    prepare(20, 20);
    threshold_global(state, 0, grey.data(), 8);
    for (auto v : bitmap())
        ASSERT_EQ(v, 0);

    std::vector<std::uint8_t> two_level = {0, 255, 0, 1, 255, 0};
    prepare(3, 2);
    threshold_global(state, 2, two_level.data(), 1);
    EXPECT_EQ(bitmap(), (std::vector<std::uint8_t>{64, 0, 64, 0, 0, 64}));
}

TEST(ThresholdLocal, RangeOf24CarriesTheLeftResultAnd25IsNormalised) {
    // Columns 0..16 are a step from 100 to 124 (range 24): every pixel takes
    // the carried value, light from the row start.
    const int w = 17, h = 17;
    std::vector<std::uint8_t> flat(w * h, 100);
    for (int y = 0; y < h; ++y)
        flat[y * w + 16] = 124;
    prepare(w, h);
    ASSERT_TRUE(threshold_local(state, 0, flat.data(), w, h));
    for (auto v : bitmap())
        ASSERT_EQ(v, 0);
    EXPECT_EQ(state.contrast_map[0], -1);

    // Range 25: the dark side normalises to 0 (dark), the bright one to 255.
    std::vector<std::uint8_t> edge(w * h, 100);
    for (int y = 0; y < h; ++y)
        edge[y * w + 16] = 125;
    prepare(w, h);
    threshold_local(state, 0, edge.data(), w, h);
    EXPECT_EQ(state.contrast_map[0], 0);
    EXPECT_EQ(state.contrast_map[16], 255);
    EXPECT_EQ(state.work_bitmap[0], 64);
    EXPECT_EQ(state.work_bitmap[16], 0);
}

TEST(ThresholdLocal, ThresholdsInclusiveAndMapSharedByLaterPasses) {
    // One row of greys 0..254 in a tall image: each column's window holds
    // only its own grey, so the range comes from the 17 neighbouring columns.
    const int w = 255, h = 17;
    std::vector<std::uint8_t> pixels(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pixels[y * w + x] = static_cast<std::uint8_t>(x);
    prepare(w, h);
    ASSERT_TRUE(threshold_local(state, 1, pixels.data(), w, h));
    // Middle column x: window x-8..x+8, range 16 <= 24: carried all along.
    for (auto v : bitmap())
        ASSERT_EQ(v, 0);

    // Put a full-range column pair everywhere: value = grey itself.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pixels[y * w + x] = static_cast<std::uint8_t>(y == 0 ? (x % 2 ? 255 : 0) : 127);
    prepare(w, h);
    threshold_local(state, 1, pixels.data(), w, h); // threshold 127
    EXPECT_EQ(state.contrast_map[w * 5 + 40], 127);
    EXPECT_EQ(state.work_bitmap[w * 5 + 40], 64) << "127 is dark at threshold 127";
    std::int16_t *map = state.contrast_map.get();
    threshold_local(state, 0, pixels.data(), w, h); // threshold 85
    EXPECT_EQ(state.contrast_map.get(), map) << "later passes reuse the map";
    EXPECT_EQ(state.work_bitmap[w * 5 + 40], 0);
    EXPECT_FALSE(threshold_local(state, 4, pixels.data(), w, h));
    EXPECT_FALSE(threshold_local(state, -1, pixels.data(), w, h));
}

TEST(ThresholdLocal, WindowRowsAreNineAboveAndSevenBelow) {
    // A single dark pixel at row 30 of a bright image, column 20. Row y sees
    // it when 30 lies within its window: rows y-9..y+7 in the middle.
    const int w = 40, h = 60;
    std::vector<std::uint8_t> pixels(w * h, 200);
    pixels[30 * w + 20] = 0;
    prepare(w, h);
    threshold_local(state, 0, pixels.data(), w, h);
    auto normalised = [&](int x, int y) { return state.contrast_map[y * w + x]; };
    EXPECT_EQ(normalised(20, 23), 255); // window 14..30 includes row 30
    EXPECT_EQ(normalised(20, 22), -1);  // window 13..29 does not
    EXPECT_EQ(normalised(20, 39), 255); // window 30..46
    EXPECT_EQ(normalised(20, 40), -1);  // window 31..47
    // Columns: x-8..x+8 in the middle.
    EXPECT_EQ(normalised(12, 30), 255);
    EXPECT_EQ(normalised(11, 30), -1);
    EXPECT_EQ(normalised(28, 30), 255);
    EXPECT_EQ(normalised(29, 30), -1);
    // The bottom rows share the image's last 17 rows (43..59), so a dark
    // pixel at row 42 is outside their window though only ten rows up.
    std::vector<std::uint8_t> bottom(w * h, 200);
    bottom[42 * w + 20] = 0;
    prepare(w, h);
    threshold_local(state, 0, bottom.data(), w, h);
    EXPECT_EQ(normalised(20, 51), 255); // window 42..58
    for (int y = 52; y < h; ++y)
        EXPECT_EQ(normalised(20, y), -1) << y;
    // The right edge columns share the last 17 columns (23..39).
    std::vector<std::uint8_t> right(w * h, 200);
    right[30 * w + 22] = 0;
    prepare(w, h);
    threshold_local(state, 0, right.data(), w, h);
    EXPECT_EQ(normalised(30, 30), 255); // window 22..38
    for (int x = 31; x < w; ++x)
        EXPECT_EQ(normalised(x, 30), -1) << x;
}
