// Micro QR in pictures through the reentrant API: every version and level at
// 2.5 to 8 pixels a module, turned, mirrored and inverted; the corners and
// fields of the result; pictures without a symbol; and the classic path,
// which never looks for Micro QR.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

#include <vantor/vantor.h>

#include "family_symbols.h"

namespace vt = vantor::testing;

namespace {

// The fields of the first symbol the tests look at (a vantor_symbol is
// never copied whole: fields may be added to it).
struct Decoded {
    bool found = false;
    std::string bytes;
    int version = 0;
    char level = 0;
    int mask = -1;
    int pass = 0;
    bool mirrored = false;
    bool inverted = false;
    vantor_point corners[4] = {};
};

Decoded decode(const vt::Picture &p) {
    Decoded d;
    vantor_results *r = vantor_decode_pixels(p.pixels.data(), p.width, p.height, p.width, 8, nullptr);
    if (r && vantor_results_count(r) > 0) {
        const vantor_symbol &s = *vantor_results_symbol(r, 0);
        d.found = true;
        d.bytes.assign(reinterpret_cast<const char *>(s.bytes), s.length);
        d.version = s.version;
        d.level = s.level;
        d.mask = s.mask;
        d.pass = s.pass;
        d.mirrored = s.mirrored != 0;
        d.inverted = s.inverted != 0;
        for (int k = 0; k < 4; ++k)
            d.corners[k] = s.corners[k];
    }
    vantor_results_free(r);
    return d;
}

// Two pictures beside each other on white, tops aligned.
vt::Picture side_by_side(const vt::Picture &left, const vt::Picture &right) {
    vt::Picture both;
    both.width = left.width + right.width;
    both.height = std::max(left.height, right.height);
    both.pixels.assign(static_cast<std::size_t>(both.width) * both.height, 255);
    for (int y = 0; y < both.height; ++y)
        for (int x = 0; x < both.width; ++x) {
            const vt::Picture &from = x < left.width ? left : right;
            const int fx = x < left.width ? x : x - left.width;
            if (y < from.height)
                both.pixels[static_cast<std::size_t>(y) * both.width + x] =
                    from.pixels[static_cast<std::size_t>(y) * from.width + fx];
        }
    return both;
}

// The kind and text of each symbol read, in the order given.
std::string kinds_read(const vt::Picture &p, const vantor_options *options) {
    std::string read;
    vantor_results *r = vantor_decode_pixels(p.pixels.data(), p.width, p.height, p.width, 8, options);
    for (int i = 0; r && i < vantor_results_count(r); ++i) {
        const vantor_symbol *s = vantor_results_symbol(r, i);
        read += std::string(vantor_kind_name(vantor_symbol_kind(s))) + ":" +
                std::string(reinterpret_cast<const char *>(s->bytes), s->length) + ";";
    }
    vantor_results_free(r);
    return read;
}

constexpr struct {
    int version;
    vt::Level level;
} all_symbols[] = {{1, vt::Level::L}, {2, vt::Level::L}, {2, vt::Level::M}, {3, vt::Level::L},
                   {3, vt::Level::M}, {4, vt::Level::L}, {4, vt::Level::M}, {4, vt::Level::Q}};

TEST(MicroQrPictures, ReadsEveryVersionTurnedMirroredAndInverted) {
    std::mt19937 rng(41);
    const double sizes[] = {2.5, 3, 4, 5, 6, 8};
    int cases = 0, read = 0;
    for (int round = 0; round < 12; ++round) {
        for (const auto &vl : all_symbols) {
            std::string text = std::to_string(rng() % 100000);
            if (vl.version > 1)
                text = vl.version == 2 ? "AB" + text.substr(0, 3) : "Mi " + text.substr(0, 2);
            const auto s = round % 2 ? vt::make_micro_zint(text, vl.version, vl.level)
                                     : vt::make_micro_qrencode(text, vl.version, vl.level, vt::Mode::byte);
            ASSERT_TRUE(s) << text;
            vt::RenderOptions o;
            o.module_px = sizes[rng() % 6];
            o.quiet_zone = 2 + static_cast<int>(rng() % 3);
            o.rotation_deg = static_cast<double>(rng() % 360);
            o.mirror = round % 4 == 1;
            if (round % 6 == 5)
                std::swap(o.dark, o.light);
            const Decoded d = decode(vt::render(*s, o));
            ++cases;
            if (!d.found)
                continue;
            ++read;
            EXPECT_EQ(d.bytes, text) << "M" << vl.version;
            EXPECT_EQ(d.version, vl.version);
            EXPECT_EQ(d.mirrored, o.mirror);
            EXPECT_EQ(d.inverted, o.dark > o.light);
        }
    }
    EXPECT_GE(read, cases * 95 / 100) << read << " of " << cases;
}

// Large modules seen at a steep slant: the far side a fifth shorter than
// the near one, so that the timing modules' spacing changes along each side
// and an affine frame fitted to the eye, separator and timing modules lands
// a module or more off. Some are shaken along a line too, as a hand-held
// camera gives them.
TEST(MicroQrPictures, LargeModulesAtASteepSlant) {
    std::mt19937 rng(7);
    int cases = 0, read = 0;
    for (int round = 0; round < 6; ++round)
        for (const auto &vl : all_symbols) {
            if (vl.version == 1)
                continue;
            const std::string text = "S" + std::to_string(rng() % 1000);
            const auto s = vt::make_micro_zint(text, vl.version, vl.level);
            ASSERT_TRUE(s) << text;
            vt::RenderOptions o;
            o.module_px = 10 + rng() % 5;
            o.quiet_zone = 3;
            o.rotation_deg = static_cast<double>(rng() % 360);
            o.perspective = (rng() % 2 ? 1 : -1) * (0.0007 + 0.0002 * (rng() % 100) / 100.0);
            o.blur_sigma = 0.8;
            o.noise_sigma = 4;
            if (round % 2) {
                o.motion_px = o.module_px * (0.3 + 0.5 * (rng() % 100) / 100.0);
                o.motion_deg = static_cast<double>(rng() % 180);
            }
            o.seed = rng();
            const Decoded d = decode(vt::render(*s, o));
            ++cases;
            if (!d.found)
                continue;
            ++read;
            EXPECT_EQ(d.bytes, text) << "M" << vl.version;
        }
    EXPECT_GE(read, cases * 9 / 10) << read << " of " << cases;
}

TEST(MicroQrPictures, CornersLieOnTheSymbol) {
    const auto s = vt::make_micro_qrencode("12345", 3, vt::Level::M, vt::Mode::byte);
    ASSERT_TRUE(s);
    vt::RenderOptions o;
    o.module_px = 5;
    o.quiet_zone = 3;
    const Decoded d = decode(vt::render(*s, o));
    ASSERT_TRUE(d.found);
    // Upright: the symbol spans 15 modules from 3 modules in.
    const double lo = 3 * 5, hi = (3 + 15) * 5;
    const double want[4][2] = {{lo, lo}, {hi, lo}, {hi, hi}, {lo, hi}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(d.corners[k].x, want[k][0], 2.5) << k;
        EXPECT_NEAR(d.corners[k].y, want[k][1], 2.5) << k;
    }
    EXPECT_EQ(d.level, 'M');
    EXPECT_GE(d.mask, 0);
    EXPECT_LE(d.mask, 3);
    EXPECT_EQ(d.pass, -1);
}

// Noise, stripes and blank pictures, and pictures of eye-like squares
// alone, give no text even with every kind looked for.
TEST(MicroQrPictures, PicturesWithoutASymbolGiveNoText) {
    std::mt19937 rng(9);
    const char *kinds[] = {"blank", "noise", "stripes"};
    int texts = 0;
    for (int k = 0; k < 60; ++k) {
        const int w = 20 + static_cast<int>(rng() % 300), h = 20 + static_cast<int>(rng() % 200);
        texts += decode(vt::render_noise(w, h, kinds[k % 3], rng())).found;
    }
    // An eye pattern with random modules around it: what a Micro QR symbol
    // looks like without its format, timing and codewords agreeing.
    for (int k = 0; k < 150; ++k) {
        vt::Symbol fake;
        fake.size = 11 + 2 * static_cast<int>(rng() % 4);
        fake.modules.resize(static_cast<std::size_t>(fake.size * fake.size));
        for (int r = 0; r < fake.size; ++r)
            for (int c = 0; c < fake.size; ++c) {
                const int ring = std::max(std::abs(r - 3), std::abs(c - 3));
                fake.modules[static_cast<std::size_t>(r * fake.size + c)] =
                    r < 8 && c < 8 ? ring != 2 && ring != 4 : static_cast<std::uint8_t>(rng() & 1);
            }
        vt::RenderOptions o;
        o.module_px = 3 + static_cast<int>(rng() % 4);
        o.rotation_deg = static_cast<double>(rng() % 360);
        texts += decode(vt::render(fake, o)).found;
    }
    EXPECT_EQ(texts, 0);
}

// Pictures too small, too thin or of one colour for any symbol, and a Micro
// QR symbol cut by the picture's edge, reach the Micro QR locator safely
// and give no text.
TEST(MicroQrPictures, TinyThinCutAndFlatPicturesAreSafe) {
    int texts = 0;
    for (const auto &[w, h] : {std::pair{1, 1}, std::pair{10, 10}, std::pair{11, 11}, std::pair{3, 4000},
                               std::pair{4000, 3}, std::pair{12, 700}}) {
        for (int grey : {0, 255}) {
            vt::Picture p{w, h, std::vector<std::uint8_t>(static_cast<std::size_t>(w * h), static_cast<std::uint8_t>(grey))};
            texts += decode(p).found;
        }
    }
    const auto s = vt::make_micro_qrencode("CUT", 3, vt::Level::L, vt::Mode::byte);
    ASSERT_TRUE(s);
    vt::RenderOptions o;
    o.module_px = 4;
    o.quiet_zone = 2;
    const vt::Picture whole = vt::render(*s, o);
    // Only the eye and a few modules beside it remain.
    vt::Picture cut{44, 44, {}};
    for (int y = 0; y < cut.height; ++y)
        for (int x = 0; x < cut.width; ++x)
            cut.pixels.push_back(whole.at(x, y));
    texts += decode(cut).found;
    EXPECT_EQ(texts, 0);
}

// The classic entry point reads Model 2 only.
TEST(MicroQrPictures, ClassicPathDoesNotLookForMicroQr) {
    const auto s = vt::make_micro_qrencode("12345", 2, vt::Level::L, vt::Mode::byte);
    ASSERT_TRUE(s);
    vt::RenderOptions o;
    o.module_px = 5;
    const vt::Picture p = vt::render(*s, o);
    EXPECT_TRUE(decode(p).found);
    EXPECT_EQ(decode_image(p.pixels.data(), p.width, p.height, 8, nullptr), nullptr);
}

// Every symbol names its kind and version; the options choose the kinds.
TEST(MicroQrPictures, KindAndVersionNameAndTheKindsOption) {
    const auto micro = vt::make_micro_qrencode("0042", 1, vt::Level::L, vt::Mode::byte);
    const auto model2 = vt::make_symbol("seven", 7, vt::Level::Q, vt::Mode::byte);
    ASSERT_TRUE(micro && model2);
    vt::RenderOptions o;
    o.module_px = 4;
    const vt::Picture pm = vt::render(*micro, o), p2 = vt::render(*model2, o);
    vantor_options *options = vantor_options_new();
    ASSERT_NE(options, nullptr);
    auto first = [&](const vt::Picture &p, std::string &name) {
        vantor_results *r = vantor_decode_pixels(p.pixels.data(), p.width, p.height, p.width, 8, options);
        int kind = -1;
        if (r && vantor_results_count(r) > 0) {
            kind = vantor_symbol_kind(vantor_results_symbol(r, 0));
            name = vantor_symbol_version_name(vantor_results_symbol(r, 0));
        }
        vantor_results_free(r);
        return kind;
    };
    std::string name;
    EXPECT_EQ(first(pm, name), VANTOR_KIND_MICRO_QR);
    EXPECT_EQ(name, "M1");
    EXPECT_EQ(first(p2, name), VANTOR_KIND_QR);
    EXPECT_EQ(name, "7");
    EXPECT_STREQ(vantor_kind_name(VANTOR_KIND_QR), "QRCode");
    EXPECT_STREQ(vantor_kind_name(VANTOR_KIND_QR_MODEL1), "QRCodeModel1");
    EXPECT_STREQ(vantor_kind_name(VANTOR_KIND_MICRO_QR), "MicroQRCode");
    EXPECT_STREQ(vantor_kind_name(VANTOR_KIND_RMQR), "rMQRCode");
    EXPECT_STREQ(vantor_kind_name(static_cast<vantor_kind>(9)), "");

    ASSERT_TRUE(vantor_options_set_kinds(options, 1u << VANTOR_KIND_QR));
    EXPECT_EQ(first(pm, name), -1);
    EXPECT_EQ(first(p2, name), VANTOR_KIND_QR);
    ASSERT_TRUE(vantor_options_set_kinds(options, 1u << VANTOR_KIND_MICRO_QR));
    EXPECT_EQ(first(pm, name), VANTOR_KIND_MICRO_QR);
    EXPECT_EQ(first(p2, name), -1);
    // Sets without a known kind are refused and change nothing.
    EXPECT_FALSE(vantor_options_set_kinds(options, 0));
    EXPECT_FALSE(vantor_options_set_kinds(options, 1u << 4));
    EXPECT_FALSE(vantor_options_set_kinds(nullptr, VANTOR_KINDS_ALL));
    EXPECT_EQ(first(pm, name), VANTOR_KIND_MICRO_QR);
    EXPECT_EQ(vantor_symbol_kind(nullptr), VANTOR_KIND_QR);
    EXPECT_STREQ(vantor_symbol_version_name(nullptr), "");
    vantor_options_free(options);
}

// With every symbol asked for, a Micro QR symbol beside a Model 2 symbol is
// read too, in reading order; otherwise the Model 2 symbol alone is given.
TEST(MicroQrPictures, BesideModel2WhenEverySymbolIsAskedFor) {
    const auto micro = vt::make_micro_zint("MICRO", 3, vt::Level::M);
    const auto model2 = vt::make_symbol("MODEL TWO", 3, vt::Level::M, vt::Mode::byte);
    ASSERT_TRUE(micro && model2);
    vt::RenderOptions o;
    o.module_px = 4;
    const vt::Picture both = side_by_side(vt::render(*model2, o), vt::render(*micro, o));
    vantor_options *options = vantor_options_new();
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(kinds_read(both, options), "QRCode:MODEL TWO;");
    vantor_options_set_all_symbols(options, 1);
    EXPECT_EQ(kinds_read(both, options), "QRCode:MODEL TWO;MicroQRCode:MICRO;");
    vantor_options_free(options);
}

// One Micro QR symbol dark on light and one light on dark: the default
// effort reads each polarity from its quick look's scan, and gives what the
// exhaustive effort gives, with every symbol asked for and with the first.
TEST(MicroQrPictures, EachPolarityAtEitherEffort) {
    const auto plain = vt::make_micro_zint("PLAIN", 3, vt::Level::M);
    const auto inverse = vt::make_micro_zint("INVERSE", 4, vt::Level::L);
    ASSERT_TRUE(plain && inverse);
    vt::RenderOptions o;
    o.module_px = 4;
    vt::RenderOptions light_on_dark = o;
    light_on_dark.dark = 255;
    light_on_dark.light = 0;
    const vt::Picture both = side_by_side(vt::render(*plain, o), vt::render(*inverse, light_on_dark));
    vantor_options *options = vantor_options_new();
    ASSERT_NE(options, nullptr);
    for (int all : {1, 0}) {
        vantor_options_set_all_symbols(options, all);
        std::string read[2];
        for (vantor_effort effort : {VANTOR_EFFORT_DEFAULT, VANTOR_EFFORT_EXHAUSTIVE}) {
            vantor_options_set_effort(options, effort);
            read[effort == VANTOR_EFFORT_EXHAUSTIVE] = kinds_read(both, options);
        }
        if (all)
            EXPECT_EQ(read[0], "MicroQRCode:PLAIN;MicroQRCode:INVERSE;");
        else
            EXPECT_TRUE(read[0] == "MicroQRCode:PLAIN;" || read[0] == "MicroQRCode:INVERSE;") << read[0];
        EXPECT_EQ(read[0], read[1]) << all;
    }
    vantor_options_free(options);
}

} // namespace
