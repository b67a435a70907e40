// rMQR in pictures through the reentrant API: every size and both levels at
// 2.5 to 8 pixels a module, turned, mirrored and inverted; the corners and
// fields of the result; pictures without a symbol (eye-like decoys
// among them); and the kinds option and the classic path, which never looks
// for rMQR.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <vantor/vantor.h>

#include "family_symbols.h"

namespace vt = vantor::testing;

namespace {

// The fields of the first symbol the tests look at.
struct Decoded {
    bool found = false;
    std::string bytes;
    std::string text;
    int eci = -1;
    int kind = -1;
    std::string version_name;
    int version = 0;
    char level = 0;
    bool mirrored = false;
    bool inverted = false;
    vantor_point corners[4] = {};
};

Decoded decode(const vt::Picture &p, unsigned kinds = VANTOR_KINDS_ALL) {
    Decoded d;
    vantor_options *options = vantor_options_new();
    if (!options || !vantor_options_set_kinds(options, kinds)) {
        vantor_options_free(options);
        return d;
    }
    vantor_results *r = vantor_decode_pixels(p.pixels.data(), p.width, p.height, p.width, 8, options);
    if (r && vantor_results_count(r) > 0) {
        const vantor_symbol &s = *vantor_results_symbol(r, 0);
        d.found = true;
        d.bytes.assign(reinterpret_cast<const char *>(s.bytes), s.length);
        d.text.assign(s.text, s.text_length);
        d.eci = s.eci;
        d.kind = vantor_symbol_kind(&s);
        d.version_name = vantor_symbol_version_name(&s);
        d.version = s.version;
        d.level = s.level;
        d.mirrored = s.mirrored != 0;
        d.inverted = s.inverted != 0;
        for (int k = 0; k < 4; ++k)
            d.corners[k] = s.corners[k];
    }
    vantor_results_free(r);
    vantor_options_free(options);
    return d;
}

std::string size_name(int version) {
    static const int heights[] = {7, 7, 7, 7, 7, 9, 9, 9, 9, 9, 11, 11, 11, 11, 11, 11,
                                  13, 13, 13, 13, 13, 13, 15, 15, 15, 15, 15, 17, 17, 17, 17, 17};
    static const int widths[] = {43, 59, 77, 99, 139, 43, 59, 77, 99, 139, 27, 43, 59, 77, 99, 139,
                                 27, 43, 59, 77, 99, 139, 43, 59, 77, 99, 139, 43, 59, 77, 99, 139};
    return "R" + std::to_string(heights[version - 1]) + "x" + std::to_string(widths[version - 1]);
}

TEST(RmqrPictures, ReadsEverySizeTurnedMirroredAndInverted) {
    std::mt19937 rng(43);
    const double sizes[] = {2.5, 3, 4, 5, 6, 8};
    int cases = 0, read = 0;
    // Two rounds: each size at both levels.
    for (int round = 0; round < 2; ++round)
        for (int version = 1; version <= 32; ++version) {
            const char level = (round + version) % 2 ? 'H' : 'M';
            const std::string text = std::to_string(rng() % 1000);
            const auto s = vt::make_rmqr_zint(text, version, level);
            ASSERT_TRUE(s) << text;
            vt::RenderOptions o;
            o.module_px = sizes[rng() % 6];
            o.quiet_zone = 2 + static_cast<int>(rng() % 3);
            o.rotation_deg = static_cast<double>(rng() % 360);
            o.mirror = (version + round) % 4 == 1;
            if ((version + round) % 5 == 3)
                std::swap(o.dark, o.light);
            const Decoded d = decode(vt::render(vt::as_symbol(*s), o));
            ++cases;
            if (!d.found) {
                std::printf("missed %s %c at %.1f px, %.0f deg%s\n", size_name(version).c_str(), level, o.module_px,
                            o.rotation_deg, o.mirror ? ", mirrored" : "");
                continue;
            }
            ++read;
            EXPECT_EQ(d.bytes, text);
            EXPECT_EQ(d.kind, VANTOR_KIND_RMQR);
            EXPECT_EQ(d.version, version);
            EXPECT_EQ(d.version_name, size_name(version));
            EXPECT_EQ(d.level, level);
            EXPECT_EQ(d.mirrored, o.mirror);
            EXPECT_EQ(d.inverted, o.dark > o.light);
        }
    EXPECT_GE(read, cases * 97 / 100) << read << " of " << cases;
}

TEST(RmqrPictures, CornersAreTheSymbolsOuterCorners) {
    const auto s = vt::make_rmqr_zint("CORNERS", 14, 'M');
    ASSERT_TRUE(s);
    vt::RenderOptions o;
    o.module_px = 5;
    o.quiet_zone = 3;
    const Decoded d = decode(vt::render(vt::as_symbol(*s), o));
    ASSERT_TRUE(d.found);
    // Upright: 77 x 11 modules from 3 modules in; corners on pixel edges.
    const double left = 3 * 5, top = 3 * 5, right = (3 + 77) * 5, bottom = (3 + 11) * 5;
    const double want[4][2] = {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(d.corners[k].x, want[k][0], 2.5) << k;
        EXPECT_NEAR(d.corners[k].y, want[k][1], 2.5) << k;
    }
    EXPECT_EQ(d.version_name, "R11x77");
}

// Noise, stripes and blank pictures, and eye patterns with random modules
// beside them in rMQR shapes, give no text with every kind looked for.
TEST(RmqrPictures, PicturesWithoutASymbolGiveNoText) {
    std::mt19937 rng(19);
    int texts = 0;
    const char *kinds[] = {"blank", "noise", "stripes"};
    for (int k = 0; k < 30; ++k)
        texts += decode(vt::render_noise(40 + static_cast<int>(rng() % 400), 20 + static_cast<int>(rng() % 200),
                                         kinds[k % 3], rng()))
                     .found;
    for (int k = 0; k < 100; ++k) {
        const auto real = vt::make_rmqr_zint("1", 1 + static_cast<int>(rng() % 32), 'M');
        ASSERT_TRUE(real);
        vt::Symbol fake = vt::as_symbol(*real);
        // Keep the eye, its separator and the top timing; randomise the rest.
        for (int r = 0; r < fake.rows; ++r)
            for (int c = 0; c < fake.size; ++c)
                if ((c > 7 || r > 7) && r > 0)
                    fake.modules[static_cast<std::size_t>(r * fake.size + c)] = static_cast<std::uint8_t>(rng() & 1);
        vt::RenderOptions o;
        o.module_px = 3 + static_cast<int>(rng() % 4);
        o.rotation_deg = static_cast<double>(rng() % 360);
        texts += decode(vt::render(fake, o)).found;
    }
    EXPECT_EQ(texts, 0);
}

// A symbol cut short by the picture's edge (only its first 30 modules
// remain) gives no text, and thin pictures are safe.
TEST(RmqrPictures, CutAndThinPicturesGiveNoText) {
    const auto s = vt::make_rmqr_zint("CUT SHORT", 5, 'M');
    ASSERT_TRUE(s);
    vt::RenderOptions o;
    o.module_px = 4;
    o.quiet_zone = 2;
    const vt::Picture whole = vt::render(vt::as_symbol(*s), o);
    ASSERT_TRUE(decode(whole).found);
    auto crop = [&](int x0, int y0, int w, int h) {
        vt::Picture p{w, h, {}};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                p.pixels.push_back(whole.at(x0 + x, y0 + y));
        return p;
    };
    EXPECT_FALSE(decode(crop(0, 0, 32 * 4, whole.height)).found);
    EXPECT_FALSE(decode(crop(0, 10, whole.width, 12)).found);
}

// Only the kinds asked for are looked for, and the classic entry point
// reads Model 2 only.
TEST(RmqrPictures, KindsOptionAndClassicPath) {
    const auto s = vt::make_rmqr_zint("KINDS", 20, 'H');
    ASSERT_TRUE(s);
    vt::RenderOptions o;
    o.module_px = 4;
    const vt::Picture p = vt::render(vt::as_symbol(*s), o);
    EXPECT_EQ(decode(p).kind, VANTOR_KIND_RMQR);
    EXPECT_EQ(decode(p, 1u << VANTOR_KIND_RMQR).kind, VANTOR_KIND_RMQR);
    EXPECT_FALSE(decode(p, (1u << VANTOR_KIND_QR) | (1u << VANTOR_KIND_MICRO_QR)).found);
    EXPECT_EQ(decode_image(p.pixels.data(), p.width, p.height, 8, nullptr), nullptr);
}

// The texts of every symbol of a picture, in the order the decoder gives.
std::vector<std::string> every_text(const vt::Picture &p, bool all) {
    std::vector<std::string> texts;
    vantor_options *options = vantor_options_new();
    vantor_options_set_all_symbols(options, all);
    vantor_results *r = vantor_decode_pixels(p.pixels.data(), p.width, p.height, p.width, 8, options);
    for (int i = 0; r && i < vantor_results_count(r); ++i)
        texts.emplace_back(vantor_results_symbol(r, i)->text);
    vantor_results_free(r);
    vantor_options_free(options);
    return texts;
}

// A white picture with each part drawn at its place.
vt::Picture pasted(int width, int height, const std::vector<std::tuple<const vt::Picture *, int, int>> &parts) {
    vt::Picture out;
    out.width = width;
    out.height = height;
    out.pixels.assign(static_cast<std::size_t>(width) * height, 255);
    for (const auto &[part, left, top] : parts)
        for (int y = 0; y < part->height; ++y)
            for (int x = 0; x < part->width; ++x)
                out.pixels[static_cast<std::size_t>(top + y) * width + left + x] = part->at(x, y);
    return out;
}

// Rows of rectangles go by their height, not their width: an R11x43 symbol
// above an R11x27 one, their centres closer than half the wide one's width,
// are two rows. The first symbol reported is the first of --all's order.
TEST(RmqrPictures, StackedRectanglesReadTopToBottom) {
    const auto wide = vt::make_rmqr_zint("UPPER", 12, 'M');
    const auto narrow = vt::make_rmqr_zint("LOWER", 11, 'M');
    ASSERT_TRUE(wide && narrow);
    vt::RenderOptions o;
    o.module_px = 8;
    const vt::Picture upper = vt::render(vt::as_symbol(*wide), o);
    const vt::Picture lower = vt::render(vt::as_symbol(*narrow), o);
    for (const bool lower_left : {true, false}) {
        const int upper_x = lower_left ? lower.width - 40 : 0, lower_x = lower_left ? 0 : upper.width - 40;
        const vt::Picture p = pasted(upper.width + lower.width, upper.height + lower.height,
                                     {{&upper, upper_x, 0}, {&lower, lower_x, upper.height - 20}});
        EXPECT_EQ(every_text(p, true), (std::vector<std::string>{"UPPER", "LOWER"})) << lower_left;
        EXPECT_EQ(every_text(p, false), (std::vector<std::string>{"UPPER"})) << lower_left;
    }
}

// The bytes under an ECI designator are text in the set it names, not in
// the set the bytes would suggest read bare.
TEST(RmqrPictures, TextUnderAnEciIsReadInTheDeclaredSet) {
    const std::string cyrillic = "\xbf\xe0\xd8\xd2\xd5\xe2"; // ISO 8859-5
    const auto s = vt::make_rmqr_zint(cyrillic, 12, 'M', false, 7);
    ASSERT_TRUE(s);
    vt::RenderOptions o;
    o.module_px = 4;
    const Decoded d = decode(vt::render(vt::as_symbol(*s), o));
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.bytes, cyrillic);
    EXPECT_EQ(d.eci, 7);
    EXPECT_EQ(d.text, "\u041f\u0440\u0438\u0432\u0435\u0442");
}

} // namespace
