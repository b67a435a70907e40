// The test-support library: symbols, rendering and image files.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "qr_symbols.h"
#include <vantor/image.h>

namespace {

using namespace vantor::testing;

// The 32 format information words, indexed by the level's 2-bit code
// (M 0, L 1, H 2, Q 3) times 8 plus the mask.
constexpr int format_words[32] = {
    0x5412, 0x5125, 0x5E7C, 0x5B4B, 0x45F9, 0x40CE, 0x4F97, 0x4AA0, 0x77C4, 0x72F3, 0x7DAA,
    0x789D, 0x662F, 0x6318, 0x6C41, 0x6976, 0x1689, 0x13BE, 0x1CE7, 0x19D0, 0x0762, 0x0255,
    0x0D0C, 0x083B, 0x355F, 0x3068, 0x3F31, 0x3A06, 0x24B4, 0x2183, 0x2EDA, 0x2BED};

int level_code(Level level) {
    constexpr int codes[] = {1, 0, 3, 2};
    return codes[static_cast<int>(level)];
}

// Format bits, most significant first, read around the corner eye and
// from the split copy.
std::pair<int, int> read_format(const Symbol &s) {
    int a = 0, b = 0;
    const int n = s.size;
    for (int i = 0; i <= 5; ++i) a = a << 1 | s.dark(i, 8);
    a = a << 1 | s.dark(7, 8);
    a = a << 1 | s.dark(8, 8);
    a = a << 1 | s.dark(8, 7);
    for (int i = 5; i >= 0; --i) a = a << 1 | s.dark(8, i);
    for (int i = n - 1; i >= n - 7; --i) b = b << 1 | s.dark(8, i);
    for (int i = n - 8; i < n; ++i) b = b << 1 | s.dark(i, 8);
    return {a, b};
}

void expect_eye(const Symbol &s, int col0, int row0) {
    for (int r = -1; r <= 7; ++r)
        for (int c = -1; c <= 7; ++c) {
            const int col = col0 + c, row = row0 + r;
            if (col < 0 || row < 0 || col >= s.size || row >= s.size) continue;
            const int ring = std::max(std::abs(c - 3), std::abs(r - 3));
            EXPECT_EQ(s.dark(col, row), ring != 2 && ring != 4)
                << "eye at " << col0 << "," << row0 << " module " << col << "," << row;
        }
}

TEST(SupportSymbol, MatrixHasEyesAndRequestedParameters) {
    struct Case { std::string text; int version; Level level; Mode mode; int mask; };
    const Case cases[] = {
        {"01234567", 1, Level::H, Mode::numeric, 0},
        {"HELLO WORLD", 2, Level::Q, Mode::alphanumeric, 5},
        {"Hello, world", 7, Level::M, Mode::byte, 3},
        {"\x93\xfa\x96\x7b\x8c\xea", 3, Level::L, Mode::kanji, 7},
        {std::string(300, 'x'), 0, Level::L, Mode::byte, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const auto s = make_symbol(c.text, c.version, c.level, c.mode, c.mask);
        ASSERT_TRUE(s);
        if (c.version) {
            EXPECT_EQ(s->version, c.version);
        }
        EXPECT_EQ(s->size, 4 * s->version + 17);
        ASSERT_EQ(s->modules.size(), static_cast<std::size_t>(s->size * s->size));
        EXPECT_EQ(s->level, c.level);
        if (c.mask >= 0) {
            EXPECT_EQ(s->mask, c.mask);
        }
        EXPECT_EQ(s->text, c.text);
        expect_eye(*s, 0, 0);
        expect_eye(*s, s->size - 7, 0);
        expect_eye(*s, 0, s->size - 7);
        for (int i = 8; i < s->size - 8; ++i) {
            EXPECT_EQ(s->dark(i, 6), i % 2 == 0);
            EXPECT_EQ(s->dark(6, i), i % 2 == 0);
        }
        const auto [a, b] = read_format(*s);
        const int word = format_words[level_code(s->level) * 8 + s->mask];
        EXPECT_EQ(a, word);
        EXPECT_EQ(b, word);
    }
}

TEST(SupportSymbol, RefusesWhatDoesNotFitOrIsInvalid) {
    EXPECT_FALSE(make_symbol(std::string(20, 'a'), 1, Level::H, Mode::byte));
    EXPECT_FALSE(make_symbol(std::string(3000, 'a'), 0, Level::H, Mode::byte));
    EXPECT_FALSE(make_symbol("12a", 1, Level::L, Mode::numeric));
    EXPECT_FALSE(make_symbol("abc", 1, Level::L, Mode::alphanumeric));
    EXPECT_FALSE(make_symbol("\x93", 1, Level::L, Mode::kanji));
    EXPECT_FALSE(make_symbol("1", 41, Level::L, Mode::numeric));
    EXPECT_FALSE(make_symbol("1", 1, Level::L, Mode::numeric, 8));

    const Segment segs[] = {{Mode::numeric, "0123456789"},
                            {Mode::kanji, "\x8a\xbf\x8e\x9a"},
                            {Mode::byte, std::string("a\0b", 3)}};
    const auto s = make_symbol(segs, 0, Level::M);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->version, 1);
    EXPECT_EQ(s->text, std::string("0123456789\x8a\xbf\x8e\x9a" "a\0b", 17));
}

TEST(SupportRender, IntegerModulesReproduceTheMatrix) {
    const auto s = make_symbol("render me", 2, Level::M, Mode::byte);
    ASSERT_TRUE(s);
    for (bool mirror : {false, true}) {
        RenderOptions o;
        o.module_px = 3;
        o.quiet_zone = 2;
        o.dark = 30;
        o.light = 220;
        o.mirror = mirror;
        const Picture p = render(*s, o);
        ASSERT_EQ(p.width, (s->size + 4) * 3);
        ASSERT_EQ(p.height, p.width);
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                const int c = x / 3 - 2, r = y / 3 - 2;
                bool dark = false;
                if (c >= 0 && r >= 0 && c < s->size && r < s->size)
                    dark = mirror ? s->dark(r, c) : s->dark(c, r);
                ASSERT_EQ(p.at(x, y), dark ? 30 : 220) << x << "," << y;
            }
    }
    // A larger canvas keeps the symbol in the middle.
    RenderOptions o;
    o.module_px = 2;
    o.quiet_zone = 0;
    o.canvas_width = s->size * 2 + 10;
    o.canvas_height = s->size * 2 + 20;
    const Picture p = render(*s, o);
    ASSERT_EQ(p.width, o.canvas_width);
    ASSERT_EQ(p.height, o.canvas_height);
    for (int r = 0; r < s->size; ++r)
        for (int c = 0; c < s->size; ++c)
            ASSERT_EQ(p.at(5 + 2 * c, 10 + 2 * r), s->dark(c, r) ? 0 : 255);
}

TEST(SupportRender, AScreensGridDarkensOnlyWhatItLights) {
    // Modules of 12 px, 4 screen pixels each: a 3 px pitch whose first row
    // (a third, the gap) is dark between the pixels' rows.
    const auto s = make_symbol("on a screen", 1, Level::M, Mode::byte);
    ASSERT_TRUE(s);
    RenderOptions o;
    o.module_px = 12;
    o.quiet_zone = 1;
    o.dark = 20;
    o.light = 230;
    o.screen_pixels = 4;
    o.screen_gap = 1.0 / 3;
    const Picture p = render(*s, o);
    ASSERT_EQ(p.width, (s->size + 2) * 12);
    double lit = 0;
    int lit_count = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const int c = x / 12 - 1, r = y / 12 - 1;
            const bool dark = c >= 0 && r >= 0 && c < s->size && r < s->size && s->dark(c, r);
            if (dark || y % 3 == 0) {
                ASSERT_EQ(p.at(x, y), 20) << x << "," << y;
            } else {
                lit += p.at(x, y);
                ++lit_count;
            }
        }
    // The stripes' gaps and their unequal brightness dim the light.
    EXPECT_GT(lit / lit_count, 100);
    EXPECT_LT(lit / lit_count, 200);
    o.screen_gap = 1;
    EXPECT_TRUE(render(*s, o).pixels.empty());
}

TEST(SupportRender, DeterministicBySeedAndRefusesBadOptions) {
    const auto s = make_symbol("seeded", 1, Level::L, Mode::byte);
    ASSERT_TRUE(s);
    RenderOptions o;
    o.module_px = 3.7;
    o.rotation_deg = 17;
    o.skew_x = 0.05;
    o.perspective = 0.0005;
    o.blur_sigma = 0.8;
    o.noise_sigma = 12;
    o.light_gradient = 0.3;
    o.seed = 42;
    const Picture a = render(*s, o), b = render(*s, o);
    ASSERT_GT(a.width, 0);
    EXPECT_EQ(a.pixels, b.pixels);
    o.seed = 43;
    const Picture c = render(*s, o);
    EXPECT_EQ(c.width, a.width);
    EXPECT_NE(c.pixels, a.pixels);
    EXPECT_EQ(render_noise(50, 40, "noise", 7).pixels, render_noise(50, 40, "noise", 7).pixels);
    EXPECT_NE(render_noise(50, 40, "noise", 7).pixels, render_noise(50, 40, "noise", 8).pixels);
    EXPECT_EQ(render_noise(50, 40, "stripes").pixels.size(), 2000u);
    EXPECT_TRUE(render_noise(50, 40, "unknown").pixels.empty());

    for (auto bad : {+[](RenderOptions &r) { r.module_px = 0; },
                     +[](RenderOptions &r) { r.rotation_deg = NAN; },
                     +[](RenderOptions &r) { r.skew_x = r.skew_y = 1; },
                     +[](RenderOptions &r) { r.perspective = 1; },
                     +[](RenderOptions &r) { r.canvas_width = r.canvas_height = 1 << 20; }}) {
        RenderOptions r;
        bad(r);
        const Picture p = render(*s, r);
        EXPECT_EQ(p.width, 0);
        EXPECT_TRUE(p.pixels.empty());
    }
}

TEST(SupportFiles, BmpFilesReadBack) {
    const auto s = make_symbol("bmp", 1, Level::L, Mode::byte);
    ASSERT_TRUE(s);
    const std::string dir = temp_dir("support-bmp");
    ASSERT_FALSE(dir.empty());
    for (double px : {1.0, 2.0, 1.5}) { // widths 29, 58, 44: every row padding
        RenderOptions o;
        o.module_px = px;
        o.quiet_zone = 0;
        o.rotation_deg = px == 1.5 ? 10 : 0;
        o.canvas_width = static_cast<int>(s->size * px) + (px == 2.0 ? 1 : 0);
        o.canvas_height = 33;
        const Picture p = render(*s, o);
        SCOPED_TRACE(p.width);
        const std::string bmp24 = dir + "/p24.bmp";
        ASSERT_TRUE(write_bmp24(bmp24, p));
        ASSERT_TRUE(read_image(bmp24.c_str())) << read_message;
        ASSERT_EQ(gray_image.width, p.width);
        ASSERT_EQ(gray_image.height, p.height);
        EXPECT_EQ(gray_image.depth, 8);
        EXPECT_TRUE(std::equal(p.pixels.begin(), p.pixels.end(), gray_image.pixels));
        release_image();
        for (bool zero_is_black : {true, false}) {
            const std::string bmp1 = dir + "/p1.bmp";
            ASSERT_TRUE(write_bmp1(bmp1, p, zero_is_black, 100));
            ASSERT_TRUE(read_image(bmp1.c_str())) << read_message;
            ASSERT_EQ(gray_image.width, p.width);
            ASSERT_EQ(gray_image.height, p.height);
            EXPECT_EQ(gray_image.depth, 1);
            for (std::size_t i = 0; i < p.pixels.size(); ++i)
                ASSERT_EQ(gray_image.pixels[i], p.pixels[i] < 100 ? 0 : 255) << i;
            release_image();
        }
    }
    std::filesystem::remove_all(dir);
}

TEST(SupportFiles, JpegAndGifFilesReadBack) {
    const auto s = make_symbol("jpeg and gif", 2, Level::M, Mode::byte);
    ASSERT_TRUE(s);
    RenderOptions o;
    o.module_px = 3;
    o.canvas_height = 101; // odd row counts exercise every interlace pass
    const Picture p = render(*s, o);
    const std::string dir = temp_dir("support-jpeg-gif");
    ASSERT_FALSE(dir.empty());
    const std::string path = dir + "/p";

    std::vector<std::uint8_t> grey_result;
    for (bool colour : {false, true}) {
        ASSERT_TRUE(write_jpeg(path, p, 90, colour));
        ASSERT_TRUE(read_image(path.c_str())) << read_message;
        ASSERT_EQ(gray_image.width, p.width);
        ASSERT_EQ(gray_image.height, p.height);
        long total = 0;
        for (std::size_t i = 0; i < p.pixels.size(); ++i)
            total += std::abs(gray_image.pixels[i] - p.pixels[i]);
        EXPECT_LT(total / static_cast<double>(p.pixels.size()), 4.0);
        // Grey in three components has the same luminance as the grey file.
        std::vector<std::uint8_t> got(gray_image.pixels, gray_image.pixels + p.pixels.size());
        if (colour) {
            EXPECT_EQ(got, grey_result);
        }
        grey_result = got;
        release_image();
    }
    const std::vector<std::uint8_t> cmyk(4 * 8 * 8, 100);
    const auto cmyk_file = jpeg_bytes(8, 8, 4, cmyk);
    ASSERT_GT(cmyk_file.size(), 2u);
    EXPECT_EQ(cmyk_file[0], 0xFF);
    EXPECT_TRUE(jpeg_bytes(8, 8, 2, cmyk).empty());

    for (int variant = 0; variant < 4; ++variant) {
        GifOptions g;
        g.interlaced = variant & 1;
        g.frames = variant >= 2 ? 3 : 1;
        g.offset_x = variant == 3 ? 5 : 0;
        g.offset_y = variant == 3 ? 9 : 0;
        g.extensions = variant >= 2;
        SCOPED_TRACE(variant);
        const auto bytes = gif_bytes(p, g);
        ASSERT_GT(bytes.size(), 6u);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), g.extensions ? "GIF89a" : "GIF87a");
        ASSERT_TRUE(write_bytes(path, bytes));
        ASSERT_TRUE(read_image(path.c_str())) << read_message;
        ASSERT_EQ(gray_image.width, p.width + g.offset_x);
        ASSERT_EQ(gray_image.height, p.height + g.offset_y);
        for (int y = 0; y < gray_image.height; ++y)
            for (int x = 0; x < gray_image.width; ++x) {
                const int px = x - g.offset_x, py = y - g.offset_y;
                const int want = px >= 0 && py >= 0 ? p.at(px, py) : 255;
                ASSERT_EQ(gray_image.pixels[y * gray_image.width + x], want) << x << "," << y;
            }
        release_image();
    }
    std::filesystem::remove_all(dir);
}

} // namespace
