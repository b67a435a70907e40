// Every format and layout the readers know, written from the same symbol
// pictures, reads like the picture's 24-bit BMP: the same decoded text
// always, the same pixels wherever the format stores the greys exactly, and
// the 1-bit BMP's pixels and depth for two-level files. Each file goes
// through read_image and through vantor_image_read, which must agree.
#include <gtest/gtest.h>

#include <tiffio.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <vantor/image.h>
#include <vantor/vantor.h>

#include "format_files.h"
#include "hostile_images.h"
#include "qr_symbols.h"

namespace vt = vantor::testing;
using vt::Bytes;

namespace {

enum class Same { pixels, two_level, text };

struct Variant {
    std::string name;
    std::function<Bytes(const vt::Picture &)> make;
    Same same;
};

struct Read {
    bool ok = false;
    int width = 0, height = 0, depth = 0;
    std::vector<std::uint8_t> pixels;
    std::string text; // decoded
};

class Formats : public ::testing::Test {
protected:
    // The file through both routes; the routes must give the same image.
    Read read(const Bytes &bytes, const std::string &name, int page = 0) {
        const std::string path = dir.path() + "/" + name;
        EXPECT_TRUE(vt::write_bytes(path, bytes)) << name;
        Read r;
        vantor_read_error error;
        vantor_image *image = vantor_image_read_page(path.c_str(), page, &error);
        if (!image) {
            ADD_FAILURE() << name << ": " << vantor_read_status_text(error.status) << ": " << error.message;
            return r;
        }
        r.ok = true;
        r.width = vantor_image_width(image);
        r.height = vantor_image_height(image);
        r.depth = vantor_image_depth(image);
        r.pixels.assign(vantor_image_pixels(image), vantor_image_pixels(image) + std::size_t(r.width) * r.height);
        EXPECT_STREQ(vantor_image_warnings(image), "") << name;
        vantor_image_free(image);
        if (page == 0) {
            EXPECT_NE(read_image(path.c_str()), 0) << name << ": " << read_message;
            EXPECT_EQ(gray_image.width, r.width) << name;
            EXPECT_EQ(gray_image.height, r.height) << name;
            EXPECT_EQ(gray_image.depth, r.depth) << name;
            EXPECT_TRUE(gray_image.pixels && std::equal(r.pixels.begin(), r.pixels.end(), gray_image.pixels))
                << name << ": the two routes differ";
            release_image();
        }
        const char *text = decode_image(r.pixels.data(), r.width, r.height, static_cast<unsigned short>(r.depth), nullptr);
        r.text = text ? text : "";
        return r;
    }

    // Checks every variant against the BMP references of each picture.
    void check(const std::vector<Variant> &variants) {
        for (const Case &c : cases()) {
            const Read grey = read(vt::bmp24_bytes(c.picture), "reference.bmp");
            const Read bilevel = read(vt::bmp1_bytes(c.picture), "reference1.bmp");
            ASSERT_EQ(grey.text, c.text);
            ASSERT_EQ(bilevel.text, c.text);
            ASSERT_EQ(bilevel.depth, 1);
            for (const Variant &v : variants) {
                SCOPED_TRACE(v.name + ", " + c.text);
                const Bytes bytes = v.make(c.picture);
                ASSERT_FALSE(bytes.empty());
                const Read r = read(bytes, v.name);
                ASSERT_TRUE(r.ok);
                EXPECT_EQ(r.text, c.text);
                const Read &reference = v.same == Same::two_level ? bilevel : grey;
                EXPECT_EQ(r.width, reference.width);
                EXPECT_EQ(r.height, reference.height);
                EXPECT_EQ(r.depth, v.same == Same::two_level ? 1 : 8);
                if (v.same != Same::text) {
                    EXPECT_TRUE(r.pixels == reference.pixels) << "pixels differ";
                }
            }
        }
    }

    struct Case {
        std::string text;
        vt::Picture picture;
    };
    // Symbols of several versions, blurred so that they hold many greys.
    static const std::vector<Case> &cases() {
        static const std::vector<Case> all = [] {
            std::vector<Case> c;
            const std::pair<const char *, int> symbols[] = {
                {"Formats 1", 1}, {"HTTPS://EXAMPLE.COM/FORMATS/4", 4}, {"Version ten reads in every format.", 10}};
            for (const auto &[text, version] : symbols) {
                const auto symbol = vt::make_symbol(text, version, vt::Level::M, vt::Mode::byte);
                vt::RenderOptions o;
                o.module_px = 3;
                o.blur_sigma = 0.7;
                o.dark = 20;
                o.light = 250;
                vt::Picture p = vt::render(*symbol, o);
                // A white frame, so that transparent pixels have a part.
                for (int x = 0; x < p.width; ++x)
                    p.pixels[x] = 255;
                c.push_back({text, p});
            }
            return c;
        }();
        return all;
    }

    vt::TempDir dir{"formats"};
};

Variant png(const std::string &name, vt::PngOptions o, Same same) {
    return {name + ".png", [o](const vt::Picture &p) { return vt::png_bytes(p, o); }, same};
}

TEST_F(Formats, PngEveryColourTypeDepthAndInterlacing) {
    using C = vt::PngColour;
    check({
        png("grey8", {C::grey, 8}, Same::pixels),
        png("grey8-interlaced", {C::grey, 8, true}, Same::pixels),
        png("grey16", {C::grey, 16}, Same::pixels),
        png("grey4", {C::grey, 4}, Same::text),
        png("rgb8", {C::rgb, 8}, Same::pixels),
        png("rgb16-interlaced", {C::rgb, 16, true}, Same::pixels),
        png("palette8", {C::palette, 8}, Same::pixels),
        png("palette2-interlaced", {C::palette, 2, true}, Same::text),
        png("grey-alpha-cut-out", {C::grey_alpha, 8, false, true}, Same::pixels),
        png("rgba16-cut-out-interlaced", {C::rgba, 16, true, true}, Same::pixels),
        png("grey-trns", {C::grey, 8, false, true}, Same::pixels),
        png("palette-trns", {C::palette, 8, true, true}, Same::pixels),
        png("grey1", {C::grey, 1}, Same::two_level),
        png("palette1-white-first", {C::palette, 1, true, false, false}, Same::two_level),
        png("palette1-black-first", {C::palette, 1, false, false, true}, Same::two_level),
    });
}

Variant tiff(const std::string &name, vt::TiffOptions o, Same same) {
    return {name + ".tif", [o](const vt::Picture &p) { return vt::tiff_bytes(p, o); }, same};
}

TEST_F(Formats, TiffStripsTilesCompressionsAndSampleLayouts) {
    const vt::TiffOptions o;
    auto with = [](std::function<void(vt::TiffOptions &)> change) {
        vt::TiffOptions o;
        change(o);
        return o;
    };
    check({
        tiff("grey", o, Same::pixels),
        tiff("grey-lzw", with([](auto &o) { o.compression = COMPRESSION_LZW; }), Same::pixels),
        tiff("grey-deflate-one-strip", with([](auto &o) { o.compression = COMPRESSION_ADOBE_DEFLATE; o.rows_per_strip = 100000; }), Same::pixels),
        tiff("grey-packbits", with([](auto &o) { o.compression = COMPRESSION_PACKBITS; o.rows_per_strip = 3; }), Same::pixels),
        tiff("grey-tiled-deflate", with([](auto &o) { o.tiled = true; o.compression = COMPRESSION_ADOBE_DEFLATE; }), Same::pixels),
        tiff("grey16-tiled", with([](auto &o) { o.tiled = true; o.tile_size = 32; o.bits = 16; }), Same::pixels),
        tiff("min-is-white", with([](auto &o) { o.min_is_white = true; }), Same::pixels),
        tiff("grey16-min-is-white-lzw", with([](auto &o) { o.bits = 16; o.min_is_white = true; o.compression = COMPRESSION_LZW; }), Same::pixels),
        tiff("rgb", with([](auto &o) { o.rgb = true; }), Same::pixels),
        tiff("rgb-planes-lzw", with([](auto &o) { o.rgb = true; o.separate_planes = true; o.compression = COMPRESSION_LZW; }), Same::pixels),
        tiff("rgb-alpha-cut-out", with([](auto &o) { o.rgb = true; o.alpha = true; }), Same::pixels),
        tiff("grey-jpeg", with([](auto &o) { o.compression = COMPRESSION_JPEG; o.rows_per_strip = 16; }), Same::text),
        tiff("bilevel", with([](auto &o) { o.bits = 1; }), Same::two_level),
        tiff("bilevel-g4-white-zero", with([](auto &o) { o.bits = 1; o.min_is_white = true; o.compression = COMPRESSION_CCITTFAX4; }), Same::two_level),
    });
}

TEST_F(Formats, TiffPagesAreReadOneByOne) {
    const vt::Picture &p = cases()[1].picture;
    vt::TiffOptions o;
    o.pages_before = 2;
    o.pages_after = 1;
    const Bytes bytes = vt::tiff_bytes(p, o);
    const Read reference = read(vt::bmp24_bytes(p), "reference.bmp");
    const Read page2 = read(bytes, "pages.tif", 2);
    EXPECT_TRUE(page2.pixels == reference.pixels);
    EXPECT_EQ(page2.text, cases()[1].text);
    // The first page is read by default: noise of the same size.
    const Read page0 = read(bytes, "pages.tif");
    EXPECT_EQ(page0.width, p.width);
    EXPECT_FALSE(page0.pixels == reference.pixels);
    const Read page3 = read(bytes, "pages.tif", 3);
    EXPECT_EQ(page3.width, p.width / 2 + 1);

    const std::string path = dir.path() + "/pages.tif";
    vantor_read_error error;
    vantor_image *image = vantor_image_read_page(path.c_str(), 1, &error);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(vantor_image_page_count(image), 4);
    vantor_image_free(image);
    EXPECT_EQ(vantor_image_read_page(path.c_str(), 4, &error), nullptr);
    EXPECT_EQ(error.status, VANTOR_READ_INVALID_ARGUMENT);
    EXPECT_EQ(std::string(error.message), "file " + path + ": TIFF has no page 5 (it holds 4, counted from 1).\n");
}

TEST_F(Formats, WebpLosslessAndLossy) {
    check({
        {"lossless.webp", [](const vt::Picture &p) { return vt::webp_bytes(p, true); }, Same::pixels},
        {"lossless-cut-out.webp", [](const vt::Picture &p) { return vt::webp_bytes(p, true, true); }, Same::pixels},
        {"lossy.webp", [](const vt::Picture &p) { return vt::webp_bytes(p, false, false, 95); }, Same::text},
        {"lossy-cut-out.webp", [](const vt::Picture &p) { return vt::webp_bytes(p, false, true, 95); }, Same::text},
    });
}

Variant pnm(int kind, int max_value, Same same) {
    return {"P" + std::to_string(kind) + "-" + std::to_string(max_value) + ".pnm",
            [kind, max_value](const vt::Picture &p) { return vt::pnm_bytes(p, kind, max_value); }, same};
}

TEST_F(Formats, NetpbmPlainAndRawAtSeveralMaximumValues) {
    check({
        pnm(1, 1, Same::two_level),
        pnm(4, 1, Same::two_level),
        pnm(2, 255, Same::pixels),
        pnm(2, 1000, Same::pixels),
        pnm(5, 255, Same::pixels),
        pnm(5, 65535, Same::pixels),
        pnm(5, 1000, Same::pixels),
        pnm(5, 15, Same::text),
        pnm(3, 255, Same::pixels),
        pnm(6, 255, Same::pixels),
        pnm(6, 65535, Same::pixels),
    });
}

Variant bmp(const std::string &name, vt::BmpOptions o, Same same) {
    return {name + ".bmp", [o](const vt::Picture &p) { return vt::bmp_bytes(p, o); }, same};
}

TEST_F(Formats, BmpHeadersColourTablesCodingsAndMasks) {
    check({
        bmp("8bit", {40, 8}, Same::pixels),
        bmp("8bit-top-down", {40, 8, 0, {}, true}, Same::pixels),
        bmp("8bit-v5", {124, 8}, Same::pixels),
        bmp("8bit-core", {12, 8}, Same::pixels),
        bmp("4bit", {40, 4}, Same::text),
        bmp("rle8", {40, 8, 1}, Same::pixels),
        bmp("rle8-v4", {108, 8, 1}, Same::pixels),
        bmp("rle4", {40, 4, 2}, Same::text),
        bmp("16bit-555", {40, 16}, Same::text),
        bmp("16bit-565", {40, 16, 3, {0xF800, 0x07E0, 0x001F}}, Same::text),
        bmp("32bit", {40, 32}, Same::pixels),
        bmp("32bit-masks-shuffled", {40, 32, 3, {0x0000FF00, 0xFF000000, 0x000000FF}}, Same::pixels),
        bmp("32bit-masks-in-header-52", {52, 32, 3, {0xFF000000, 0x00FF0000, 0x0000FF00}}, Same::pixels),
        bmp("32bit-masks-in-header-56", {56, 32, 3, {0x000003FF, 0x000FFC00, 0x3FF00000}}, Same::pixels),
        bmp("24bit-core", {12, 24}, Same::pixels),
        bmp("24bit-os2-short", {16, 24}, Same::pixels),
        bmp("24bit-os2", {64, 24}, Same::pixels),
        bmp("24bit-v4", {108, 24}, Same::pixels),
        bmp("24bit-v5-top-down", {124, 24, 0, {}, true}, Same::pixels),
        bmp("1bit-v4", {108, 1}, Same::two_level),
        bmp("1bit-core-white-first", {12, 1, 0, {}, false, false}, Same::two_level),
        bmp("1bit-v5-top-down", {124, 1, 0, {}, true}, Same::two_level),
    });
}

TEST_F(Formats, JpegCmykPlainAdobeInvertedAndYcck) {
    check({
        {"cmyk.jpg", [](const vt::Picture &p) { return vt::cmyk_jpeg_bytes(p, false); }, Same::text},
        {"cmyk-adobe.jpg", [](const vt::Picture &p) { return vt::cmyk_jpeg_bytes(p, true); }, Same::text},
        {"ycck.jpg", [](const vt::Picture &p) { return vt::cmyk_jpeg_bytes(p, true, true); }, Same::text},
    });
    // The greys themselves, within the loss of the coding: the ink
    // conventions are not mixed up.
    const vt::Picture &p = cases()[0].picture;
    for (const auto &[adobe, ycck] : {std::pair{false, false}, {true, false}, {true, true}}) {
        const Read r = read(vt::cmyk_jpeg_bytes(p, adobe, ycck, 100), "grey.jpg");
        ASSERT_EQ(r.pixels.size(), p.pixels.size());
        int worst = 0;
        for (std::size_t i = 0; i < p.pixels.size(); ++i)
            worst = std::max(worst, std::abs(int(r.pixels[i]) - int(p.pixels[i])));
        EXPECT_LE(worst, 6) << adobe << ycck;
    }
}

} // namespace
