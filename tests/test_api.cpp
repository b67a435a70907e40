// The reentrant API as a caller uses it: strided views, symbols with their
// exact bytes and corners on the symbol, reasons for pictures without one,
// no state carried between calls, and the classic reading order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <filesystem>
#include <string>
#include <vector>

#include <vantor/vantor.hpp>

#include "hostile_images.h"
#include "qr_content.h"
#include "qr_symbols.h"

namespace vt = vantor::testing;

namespace {

vt::Symbol symbol(std::string_view text, int version, vt::Level level = vt::Level::M,
                  vt::Mode mode = vt::Mode::byte) {
    auto s = vt::make_symbol(text, version, level, mode);
    EXPECT_TRUE(s.has_value());
    return *s;
}

vantor::Results decode(const vt::Picture &p, const vantor::Options &o = vantor::Options()) {
    return vantor::decode(p.pixels, p.width, p.height, p.width, 8, o);
}

// Where module corner (c, r) of the symbol lands in the picture, for an
// upright render with a quiet zone and no turn.
vantor::Point upright_corner(const vt::RenderOptions &o, double c, double r) {
    return {static_cast<float>((o.quiet_zone + c) * o.module_px), static_cast<float>((o.quiet_zone + r) * o.module_px)};
}

// Copies `part` into `whole` with its top-left corner at (x0, y0).
void paste(vt::Picture &whole, const vt::Picture &part, int x0, int y0) {
    for (int y = 0; y < part.height; ++y)
        std::copy_n(&part.pixels[static_cast<std::size_t>(y) * part.width], part.width,
                    &whole.pixels[static_cast<std::size_t>(y0 + y) * whole.width + x0]);
}

vt::Picture blank_canvas(int width, int height) {
    return {width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height, 255)};
}

} // namespace

TEST(Api, SymbolCarriesItsExactBytesLevelVersionAndMask) {
    // A zero byte in the data is kept: the classic text stops there.
    const std::string data("ab\0cd\xff", 6);
    vt::Symbol s = symbol(data, 3, vt::Level::Q);
    vantor::Results r = decode(vt::render(s));
    ASSERT_EQ(r.symbols.size(), 1u) << r.reason_text();
    EXPECT_EQ(r.reason, VANTOR_OK);
    EXPECT_EQ(r.stage, VANTOR_STAGE_TEXT);
    const vantor::Symbol &got = r.symbols[0];
    EXPECT_EQ(got.bytes, data);
    EXPECT_EQ(got.text, data.substr(0, 5) + "\xC3\xBF"); // Latin-1 for display, zero byte kept
    EXPECT_EQ(got.version, 3);
    EXPECT_EQ(got.level, 'Q');
    EXPECT_EQ(got.mask, s.mask);
    EXPECT_EQ(got.corrected, 0);
    EXPECT_EQ(got.pass, 0);
    EXPECT_FALSE(got.mirrored);
    EXPECT_EQ(got.eci, -1);
    EXPECT_EQ(got.sa_index, -1);
    // The first reading that yields text ends the call.
    ASSERT_FALSE(r.readings.empty());
    EXPECT_EQ(r.readings.back().stage, VANTOR_STAGE_TEXT);
    EXPECT_EQ(r.readings.back().version, 3);
}

TEST(Api, KanjiTextIsShownAsUtf8AndBytesStayShiftJis) {
    const std::string sjis = "\x93\xfa\x96\x7b"; // 日本
    vantor::Results r = decode(vt::render(symbol(sjis, 1, vt::Level::L, vt::Mode::kanji)));
    ASSERT_EQ(r.symbols.size(), 1u);
    EXPECT_EQ(r.symbols[0].bytes, sjis);
    EXPECT_EQ(r.symbols[0].text, "日本");
}

TEST(Api, CornersLieOnTheSymbolWithinAModule) {
    for (double px : {3.0, 4.5, 6.0}) {
        vt::RenderOptions o;
        o.module_px = px;
        vt::Symbol s = symbol("corners", 2);
        vantor::Results r = decode(vt::render(s, o));
        ASSERT_EQ(r.symbols.size(), 1u) << px;
        const double n = s.size;
        const vantor::Point want[4] = {upright_corner(o, 0, 0), upright_corner(o, n, 0),
                                       upright_corner(o, n, n), upright_corner(o, 0, n)};
        for (int k = 0; k < 4; ++k) {
            EXPECT_NEAR(r.symbols[0].corners[k].x, want[k].x, px) << "corner " << k << " at " << px << " px";
            EXPECT_NEAR(r.symbols[0].corners[k].y, want[k].y, px) << "corner " << k << " at " << px << " px";
        }
    }
}

TEST(Api, CornersFollowAQuarterTurn) {
    vt::RenderOptions o;
    o.module_px = 4;
    o.rotation_deg = 90;
    vt::Symbol s = symbol("turned", 2);
    vt::Picture p = vt::render(s, o);
    vantor::Results r = decode(p);
    ASSERT_EQ(r.symbols.size(), 1u);
    // Turned about the centre: the symbol's own top-left is no longer the
    // picture's top-left, but the four corners still span the symbol and go
    // round it in the symbol's order.
    const auto &c = r.symbols[0].corners;
    const double side = s.size * o.module_px;
    for (int k = 0; k < 4; ++k) {
        const auto &a = c[k];
        const auto &b = c[(k + 1) % 4];
        EXPECT_NEAR(std::hypot(a.x - b.x, a.y - b.y), side, o.module_px);
    }
    const double cx = (c[0].x + c[2].x) / 2, cy = (c[0].y + c[2].y) / 2;
    EXPECT_NEAR(cx, p.width / 2.0, o.module_px);
    EXPECT_NEAR(cy, p.height / 2.0, o.module_px);
    EXPECT_FALSE(std::abs(c[0].x - (o.quiet_zone * o.module_px)) < o.module_px &&
                 std::abs(c[0].y - (o.quiet_zone * o.module_px)) < o.module_px);
}

TEST(Api, StridedViewsReadOnlyTheirWindow) {
    vt::Picture p = vt::render(symbol("view", 1));
    // The picture sits inside a wider, taller buffer full of another
    // picture's noise; only the window may be read.
    const int pad = 37, stride = p.width + 2 * pad;
    std::vector<std::uint8_t> big(static_cast<std::size_t>(stride) * (p.height + 2 * pad));
    vt::Picture noise = vt::render_noise(stride, p.height + 2 * pad, "noise", 5);
    big = noise.pixels;
    for (int y = 0; y < p.height; ++y)
        std::copy_n(&p.pixels[static_cast<std::size_t>(y) * p.width], p.width,
                    &big[static_cast<std::size_t>(y + pad) * stride + pad]);
    std::span<const std::uint8_t> view(big.data() + static_cast<std::size_t>(pad) * stride + pad,
                                       big.size() - static_cast<std::size_t>(pad) * stride - pad);
    vantor::Results r = vantor::decode(view, p.width, p.height, stride);
    ASSERT_EQ(r.symbols.size(), 1u);
    EXPECT_EQ(r.symbols[0].bytes, "view");
    const vantor::Results whole = decode(p);
    ASSERT_EQ(whole.symbols.size(), 1u);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(r.symbols[0].corners[k].x, whole.symbols[0].corners[k].x);
}

TEST(Api, PicturesWithoutASymbolGiveAReasonAndTheFurthestStage) {
    vantor::Options classic_only;
    classic_only.thorough(false);
    const vantor::Results blank = decode(vt::render_noise(120, 90, "blank"), classic_only);
    EXPECT_TRUE(blank.symbols.empty());
    EXPECT_EQ(blank.reason, VANTOR_NO_EYE_PATTERNS);
    EXPECT_EQ(blank.stage, VANTOR_STAGE_NONE);
    EXPECT_EQ(blank.reason_text(), "no eye patterns found");

    // Damage beyond every block's capacity: located and sampled, never read.
    vt::Symbol s = symbol("beyond capacity", 2, vt::Level::L);
    for (int row = 9; row < s.size - 9; ++row)
        for (int col = 9; col < s.size; ++col)
            if ((row * 7 + col * 3) % 2 == 0)
                s.modules[static_cast<std::size_t>(row) * s.size + col] ^= 1;
    const vantor::Results damaged = decode(vt::render(s), classic_only);
    EXPECT_TRUE(damaged.symbols.empty());
    EXPECT_EQ(damaged.reason, VANTOR_TOO_MANY_ERRORS);
    EXPECT_EQ(damaged.stage, VANTOR_STAGE_FORMAT);
    EXPECT_EQ(damaged.readings.size(), 14u);
}

TEST(Api, PicturesWithoutASymbolNameNoStage) {
    // Photo-like pictures and fields of eye-pattern decoys: the readings
    // may get as far as a format word by chance, but the reason must not
    // suggest a symbol that is not there.
    std::vector<vt::Picture> pictures;
    for (std::uint32_t seed = 1; seed <= 12; ++seed)
        pictures.push_back(vt::photo_like(480 + 40 * static_cast<int>(seed), 360 + 30 * static_cast<int>(seed), seed));
    for (int gap = 2; gap <= 5; ++gap)
        pictures.push_back(vt::eye_field(400, 300, 3 + gap % 2, gap, 1, static_cast<std::uint32_t>(gap)));
    int staged = 0;
    for (const vt::Picture &p : pictures) {
        const vantor::Results r = decode(p);
        ASSERT_TRUE(r.symbols.empty());
        EXPECT_TRUE(r.reason == VANTOR_NO_SYMBOL || r.reason == VANTOR_NO_EYE_PATTERNS) << r.reason_text();
        staged += r.stage >= VANTOR_STAGE_VERSION;
    }
    // Some got far enough to have named a stage before.
    EXPECT_GT(staged, 0);
}

TEST(Api, CleanCodewordsTheClassicRulesRefuseAreReadByTheClassicReading) {
    // An ECI segment before the text, and GB 2312 characters: the classic
    // readings correct every block but their rules give no text. The
    // reading itself must give the symbol, without the search.
    vantor::Options classic_only;
    classic_only.thorough(false);
    const vt::Segment url[] = {{vt::Mode::byte, "https://www.google.com"}};
    const auto eci = vt::make_eci_symbol(26, url, 3, vt::Level::M);
    ASSERT_TRUE(eci);
    const vantor::Results e = decode(vt::render(*eci), classic_only);
    ASSERT_EQ(e.symbols.size(), 1u) << e.reason_text();
    EXPECT_EQ(e.symbols[0].text, "https://www.google.com");
    EXPECT_EQ(e.symbols[0].eci, 26);
    EXPECT_GE(e.symbols[0].pass, 0);

    vt::BitWriter b;
    b.put(13, 4).put(1, 4).put(2, 8).put(0x30 * 0x60 + 0x2F, 13).put(0x28 * 0x60 + 0x23, 13).put(0, 4);
    const auto hanzi = vt::symbol_from_codewords(b.codewords(0), 2, vt::Level::M, 5);
    ASSERT_TRUE(hanzi);
    for (const bool thorough : {false, true}) {
        vantor::Options o;
        o.thorough(thorough);
        const vantor::Results h = decode(vt::render(*hanzi), o);
        ASSERT_EQ(h.symbols.size(), 1u) << h.reason_text();
        EXPECT_EQ(h.symbols[0].bytes, "\xD6\xD0\xCE\xC4");
        EXPECT_EQ(h.symbols[0].text, "\xE4\xB8\xAD\xE6\x96\x87");
        EXPECT_EQ(h.symbols[0].version, 2);
        EXPECT_EQ(h.stage, VANTOR_STAGE_TEXT);
    }
}

TEST(Api, BadArgumentsAreRefusedWithAReason) {
    vantor_results *r = vantor_decode_pixels(nullptr, 10, 10, 10, 8, nullptr);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(vantor_results_reason(r), VANTOR_INVALID_ARGUMENT);
    EXPECT_EQ(vantor_results_count(r), 0);
    EXPECT_EQ(vantor_results_symbol(r, 0), nullptr);
    vantor_results_free(r);
    const std::uint8_t pixels[16] = {};
    for (auto [w, h, stride, depth] : {std::array{4, 4, 3, 8}, std::array{0, 4, 4, 8},
                                       std::array{4, -1, 4, 8}, std::array{4, 4, 4, 3},
                                       std::array{16385, 16385, 16385, 8}}) {
        r = vantor_decode_pixels(pixels, w, h, stride, depth, nullptr);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(vantor_results_reason(r), VANTOR_INVALID_ARGUMENT) << w << "x" << h << " " << stride;
        vantor_results_free(r);
    }
    // Freeing nothing is fine.
    vantor_results_free(nullptr);
    vantor_options_free(nullptr);
    vantor_image_free(nullptr);
}

TEST(ApiThorough, SymbolsComeInReadingOrderAndTheFirstIsTopLeft) {
    // Two symbols side by side, the right one a little higher, and one
    // below them: top to bottom, then left to right within a row.
    vt::RenderOptions ro;
    ro.module_px = 4;
    const vt::Picture left = vt::render(symbol("top left", 2), ro), right = vt::render(symbol("top right", 3), ro),
                      below = vt::render(symbol("below", 2), ro);
    vt::Picture p = blank_canvas(left.width + right.width + 40, 12 + right.height + below.height + 20);
    paste(p, left, 0, 12);
    paste(p, right, left.width + 40, 0);
    paste(p, below, left.width + 40, 12 + right.height + 20);
    vantor::Options all;
    all.all_symbols(true);
    const vantor::Results every = decode(p, all);
    std::vector<std::string> texts;
    for (const vantor::Symbol &s : every.symbols)
        texts.push_back(s.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"top left", "top right", "below"}));
    const vantor::Results first = decode(p);
    ASSERT_EQ(first.symbols.size(), 1u) << first.reason_text();
    EXPECT_EQ(first.symbols[0].text, "top left");
}

TEST(Api, PicturesWithASideOver32767PixelsDecode) {
    // The classic readings cannot take such a side; the call must still
    // read the symbol, with or without the thorough search asked for.
    vt::RenderOptions ro;
    ro.module_px = 3;
    const vt::Picture small = vt::render(symbol("wide picture", 2), ro);
    for (const bool tall : {false, true}) {
        vt::Picture wide;
        wide.width = tall ? small.width : 40000;
        wide.height = tall ? 40000 : small.height;
        wide.pixels.assign(static_cast<std::size_t>(wide.width) * wide.height, 255);
        const int x0 = tall ? 0 : 39000, y0 = tall ? 39000 : 0;
        for (int y = 0; y < small.height; ++y)
            std::copy_n(&small.pixels[static_cast<std::size_t>(y) * small.width], small.width,
                        &wide.pixels[static_cast<std::size_t>(y0 + y) * wide.width + x0]);
        for (const bool thorough : {true, false}) {
            vantor::Options o;
            o.thorough(thorough);
            const vantor::Results r = decode(wide, o);
            ASSERT_EQ(r.symbols.size(), 1u) << r.reason_text() << (tall ? " tall" : " wide");
            EXPECT_EQ(r.symbols[0].text, "wide picture");
            EXPECT_NEAR(r.symbols[0].corners[0].x, x0 + 4 * ro.module_px, 2);
            EXPECT_NEAR(r.symbols[0].corners[0].y, y0 + 4 * ro.module_px, 2);
        }
    }
}

TEST(Api, NoStateCarriesBetweenCalls) {
    // The classic entry carries the Reed-Solomon flag: after a corrected
    // read below capacity it returns at once. Calls of the new API each
    // stand alone, so the same picture gives the same readings whatever ran
    // before.
    vt::Symbol clean = symbol("alone", 2, vt::Level::H);
    vt::Symbol damaged = clean;
    damaged.modules[static_cast<std::size_t>(12) * damaged.size + 12] ^= 1;
    const vt::Picture p = vt::render(clean), q = vt::render(damaged);
    vantor::Options o;
    const vantor::Results first = decode(p, o);
    (void)decode(q, o);
    const vantor::Results again = decode(p, o);
    ASSERT_EQ(first.readings.size(), again.readings.size());
    for (std::size_t i = 0; i < first.readings.size(); ++i) {
        EXPECT_EQ(first.readings[i].pass, again.readings[i].pass);
        EXPECT_EQ(first.readings[i].stage, again.readings[i].stage);
    }
}

TEST(Api, TraceGoesToTheCallbackInWholeLinesAndMatchesTheClassicTrace) {
    vt::Picture p = vt::render(symbol("trace", 1));
    std::vector<std::string> lines;
    vantor::Options o;
    o.trace([&](std::string_view line) { lines.emplace_back(line); });
    ASSERT_EQ(decode(p, o).symbols.size(), 1u);
    ASSERT_FALSE(lines.empty());
    std::string joined;
    for (const std::string &l : lines) {
        ASSERT_FALSE(l.empty());
        EXPECT_EQ(l.back(), '\n');
        EXPECT_EQ(l.find('\n'), l.size() - 1);
        joined += l;
    }
    // A stream gets the same text.
    char *buffer = nullptr;
    std::size_t size = 0;
    FILE *stream = open_memstream(&buffer, &size);
    ASSERT_NE(stream, nullptr);
    vantor::Options f;
    f.trace(stream);
    ASSERT_EQ(decode(p, f).symbols.size(), 1u);
    std::fclose(stream);
    EXPECT_EQ(joined, std::string(buffer, size));
    std::free(buffer);
}

TEST(Api, DebugImagesGoOnlyIntoTheChosenFolder) {
    vt::TempDir dir("api_debug");
    ASSERT_FALSE(dir.path().empty());
    vt::Picture p = vt::render(symbol("images", 1));
    vantor::Options o;
    o.debug_dir(dir.path());
    ASSERT_EQ(decode(p, o).symbols.size(), 1u);
    for (const char *name : {"sample1-0.bmp", "sample2-0-0.bmp", "sample3-0-0.bmp"})
        EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(dir.path()) / name)) << name;
    // A trace alone writes no images anywhere.
    vt::TempDir cwd("api_debug_cwd");
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(cwd.path());
    vantor::Options t;
    t.trace([](std::string_view) {});
    ASSERT_EQ(decode(p, t).symbols.size(), 1u);
    std::filesystem::current_path(before);
    EXPECT_TRUE(std::filesystem::is_empty(cwd.path()));
}

TEST(Api, DisplayTextIsCutAtACharacterBoundary) {
    const std::string sjis = "\x93\xfa\x96\x7b"; // two kanji, six bytes of UTF-8
    char out[5];
    EXPECT_EQ(vantor_display_text(sjis.data(), sjis.size(), out, sizeof out), 6u);
    EXPECT_STREQ(out, "日");
    EXPECT_EQ(vantor::display_text(sjis), "日本");
}

// What the classic readings cannot read, the thorough search does, through
// the same call; turned off, the call gives the classic outcome.
TEST(ApiThorough, MirroredAndInvertedSymbolsRead) {
    vt::Symbol s = symbol("mirror image", 3);
    vt::RenderOptions mirrored;
    mirrored.mirror = true;
    vt::RenderOptions inverted;
    inverted.dark = 255;
    inverted.light = 0;
    for (const auto &[o, is_mirrored, is_inverted] :
         {std::tuple{mirrored, true, false}, std::tuple{inverted, false, true}}) {
        const vt::Picture p = vt::render(s, o);
        vantor::Options off;
        off.thorough(false);
        EXPECT_TRUE(decode(p, off).symbols.empty());
        const vantor::Results r = decode(p);
        ASSERT_EQ(r.symbols.size(), 1u) << r.reason_text();
        EXPECT_EQ(r.symbols[0].bytes, "mirror image");
        EXPECT_EQ(r.symbols[0].mirrored, is_mirrored);
        EXPECT_EQ(r.symbols[0].inverted, is_inverted);
        EXPECT_EQ(r.symbols[0].pass, -1);
        EXPECT_EQ(r.reason, VANTOR_OK);
    }
}

TEST(ApiThorough, EverySymbolOfAPictureWithItsCorners) {
    const vt::Picture a = vt::render(symbol("left one", 2));
    const vt::Picture b = vt::render(symbol("right one", 3));
    vt::Picture both;
    both.width = a.width + b.width;
    both.height = std::max(a.height, b.height);
    both.pixels.assign(static_cast<std::size_t>(both.width) * both.height, 255);
    for (int y = 0; y < a.height; ++y)
        std::copy_n(&a.pixels[static_cast<std::size_t>(y) * a.width], a.width, &both.pixels[static_cast<std::size_t>(y) * both.width]);
    for (int y = 0; y < b.height; ++y)
        std::copy_n(&b.pixels[static_cast<std::size_t>(y) * b.width], b.width,
                    &both.pixels[static_cast<std::size_t>(y) * both.width + a.width]);
    const vantor::Results first = decode(both);
    ASSERT_EQ(first.symbols.size(), 1u);
    vantor::Options all;
    all.all_symbols(true);
    const vantor::Results r = decode(both, all);
    ASSERT_EQ(r.symbols.size(), 2u);
    std::vector<std::string> texts;
    for (const vantor::Symbol &s : r.symbols) {
        texts.push_back(s.bytes);
        const float cx = (s.corners[0].x + s.corners[2].x) / 2;
        EXPECT_EQ(cx < a.width, s.bytes == "left one") << s.bytes << " centred at " << cx;
    }
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<std::string>{"left one", "right one"}));
}
