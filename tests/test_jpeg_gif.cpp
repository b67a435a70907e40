// JPEG and GIF readers. JPEG files are made with the JPEG library's
// encoder; GIF files are written byte by byte (with uncompressed LZW codes)
// so that every field, including broken ones, can be set.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>
#include <unistd.h>

#include <vantor/image.h>

#include "qr_symbols.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class InputFile : public ::testing::Test {
protected:
    void TearDown() override {
        release_image();
        std::remove(path_.c_str());
    }

    int read(const Bytes &bytes) {
        release_image();
        std::FILE *f = std::fopen(path_.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (!f)
            return 0;
        if (!bytes.empty())
            std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return read_image(path_.c_str());
    }

    static std::vector<int> pixels() {
        return {gray_image.pixels, gray_image.pixels + gray_image.width * gray_image.height};
    }

    static int open_descriptors() {
        int n = 0;
        for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator("/proc/self/fd"))
            ++n;
        return n;
    }

private:
    std::string path_ = ::testing::TempDir() + "vantor_jg_" + std::to_string(getpid());
};

// ---------------------------------------------------------------- JPEG

// Encodes width x height samples of `components` (1: grey, 3: in_space
// samples, 4: CMYK) at the given quality.
Bytes encode_jpeg(int width, int height, int components, J_COLOR_SPACE in_space,
                  const std::vector<std::uint8_t> &samples, int quality = 95) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char *out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = components;
    c.in_color_space = in_space;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data() + c.next_scanline * width * components);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes bytes(out, out + size);
    std::free(out);
    return bytes;
}

// A smooth grey picture, so that JPEG keeps it close.
std::vector<std::uint8_t> gradient(int width, int height) {
    std::vector<std::uint8_t> g(static_cast<std::size_t>(width * height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            g[y * width + x] = static_cast<std::uint8_t>(20 + 2 * x + y);
    return g;
}

using JpegRead = InputFile;

TEST_F(JpegRead, GreyscaleFileGivesItsSamplesAtFullSize) {
    const int w = 37, h = 21; // not multiples of the 8-pixel blocks
    const auto grey = gradient(w, h);
    gray_image.depth = 1;
    ASSERT_NE(read(encode_jpeg(w, h, 1, JCS_GRAYSCALE, grey, 100)), 0);
    EXPECT_EQ(gray_image.width, w);
    EXPECT_EQ(gray_image.height, h);
    EXPECT_EQ(gray_image.depth, 8);
    for (int i = 0; i < w * h; ++i)
        ASSERT_NEAR(gray_image.pixels[i], grey[i], 3) << i;
}

TEST_F(JpegRead, ColourFileGivesItsLuminance) {
    // Stored as Y, Cb, Cr: the same luminance plane under two different
    // colourings must give exactly the same pixels.
    const int w = 24, h = 16;
    const auto luma = gradient(w, h);
    auto coloured = [&](std::uint8_t cb, std::uint8_t cr) {
        std::vector<std::uint8_t> s;
        for (std::uint8_t y : luma)
            s.insert(s.end(), {y, cb, cr});
        return encode_jpeg(w, h, 3, JCS_YCbCr, s);
    };
    ASSERT_NE(read(coloured(60, 200)), 0);
    const std::vector<int> reddish = pixels();
    ASSERT_NE(read(coloured(200, 60)), 0);
    EXPECT_EQ(pixels(), reddish);
    for (int i = 0; i < w * h; ++i)
        ASSERT_NEAR(reddish[i], luma[i], 4) << i;

    // From RGB the library's luminance of pure red is 0.299 * 255.
    std::vector<std::uint8_t> red;
    for (int i = 0; i < 64; ++i)
        red.insert(red.end(), {255, 0, 0});
    ASSERT_NE(read(encode_jpeg(8, 8, 3, JCS_RGB, red)), 0);
    EXPECT_NEAR(gray_image.pixels[27], 76, 3);
}

TEST_F(JpegRead, FileCutInItsScanDataIsReadWithFiller) {
    const int w = 64, h = 64;
    Bytes whole = encode_jpeg(w, h, 1, JCS_GRAYSCALE, gradient(w, h));
    Bytes cut(whole.begin(), whole.begin() + static_cast<long>(whole.size() * 2 / 3));
    ASSERT_NE(read(cut), 0);
    EXPECT_EQ(gray_image.width, w);
    EXPECT_EQ(gray_image.height, h);
    EXPECT_NEAR(gray_image.pixels[0], 20, 3); // the part that was there is intact
}

TEST_F(JpegRead, BrokenFilesFailWithoutText) {
    const Bytes grey = encode_jpeg(16, 16, 1, JCS_GRAYSCALE, gradient(16, 16));
    std::vector<Bytes> broken = {
        {0xFF, 0xD8, 0xFF, 0xD9},                               // start and end, no image
        {0xFF, 0xD8, 0x13, 0x37, 0x00, 0x42, 0xFF, 0x01, 0x02}, // garbage
        Bytes(grey.begin(), grey.begin() + 30),                 // cut in its headers
    };
    // A CMYK file whose frame is cut short (whole CMYK files read: see the
    // format tests).
    const Bytes cmyk = encode_jpeg(8, 8, 4, JCS_CMYK, std::vector<std::uint8_t>(256, 100));
    broken.push_back(Bytes(cmyk.begin(), cmyk.begin() + 40));
    // A frame header declaring 60000 x 60000 pixels.
    Bytes huge = grey;
    for (std::size_t i = 0; i + 8 < huge.size(); ++i)
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = huge[i + 7] = 0xEA;
            huge[i + 6] = huge[i + 8] = 0x60;
            break;
        }
    ASSERT_NE(huge, grey);
    broken.push_back(huge);

    const int descriptors = open_descriptors();
    for (std::size_t i = 0; i < broken.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(read(broken[i]), 0);
        EXPECT_STREQ(read_message, "");
        EXPECT_EQ(gray_image.pixels, nullptr); // each fails before the pixels exist
    }
    EXPECT_EQ(read({0xFF, 0xD8}), 0);
    EXPECT_STREQ(read_message, "");
    EXPECT_NE(read(grey), 0);
    EXPECT_EQ(open_descriptors(), descriptors);
}

// ---------------------------------------------------------------- GIF

struct Rgb {
    std::uint8_t r, g, b;
};

struct GifImage {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    std::vector<Rgb> local = {}; // empty: no local map
    Bytes indices = {};          // width x height, top row first
};

struct Gif {
    int width = 0, height = 0, background = 0;
    std::vector<Rgb> global = {}; // empty: no global map
    std::vector<GifImage> images = {};
    bool extensions = false; // a comment and an application extension before each image
    bool terminator = true;

    static void put16(Bytes &b, int v) {
        b.push_back(static_cast<std::uint8_t>(v));
        b.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    // A map's size field and entries, padded to the power of two it declares.
    static int map_field(const std::vector<Rgb> &map) {
        int field = 0;
        while ((2 << field) < static_cast<int>(map.size()))
            ++field;
        return field;
    }
    static void put_map(Bytes &b, const std::vector<Rgb> &map) {
        const int entries = 2 << map_field(map);
        for (int i = 0; i < entries; ++i) {
            Rgb c = i < static_cast<int>(map.size()) ? map[i] : Rgb{0, 0, 0};
            b.insert(b.end(), {c.r, c.g, c.b});
        }
    }
    static void put_blocks(Bytes &b, const Bytes &data) {
        for (std::size_t i = 0; i < data.size(); i += 255) {
            const std::size_t n = std::min<std::size_t>(255, data.size() - i);
            b.push_back(static_cast<std::uint8_t>(n));
            b.insert(b.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + n));
        }
        b.push_back(0);
    }
    // LZW with 8-bit roots and 9-bit codes only: a clear code every 100
    // pixels keeps the decoder's table far from growing the code width.
    static Bytes lzw(const Bytes &indices) {
        Bytes out;
        std::uint32_t acc = 0;
        int bits = 0;
        auto code = [&](int c) {
            acc |= static_cast<std::uint32_t>(c) << bits;
            bits += 9;
            while (bits >= 8) {
                out.push_back(static_cast<std::uint8_t>(acc));
                acc >>= 8;
                bits -= 8;
            }
        };
        for (std::size_t i = 0; i < indices.size(); ++i) {
            if (i % 100 == 0)
                code(256);
            code(indices[i]);
        }
        code(257);
        if (bits > 0)
            out.push_back(static_cast<std::uint8_t>(acc));
        return out;
    }

    Bytes bytes() const {
        Bytes b{'G', 'I', 'F', '8', '9', 'a'};
        put16(b, width);
        put16(b, height);
        b.push_back(static_cast<std::uint8_t>(global.empty() ? 0x70 : 0xF0 | map_field(global)));
        b.push_back(static_cast<std::uint8_t>(background));
        b.push_back(0);
        if (!global.empty())
            put_map(b, global);
        for (const GifImage &image : images) {
            if (extensions) {
                b.insert(b.end(), {0x21, 0xFE});
                put_blocks(b, Bytes(300, 'c')); // two sub-blocks
                b.insert(b.end(), {0x21, 0xFF, 11});
                for (char ch : std::string("NETSCAPE2.0"))
                    b.push_back(static_cast<std::uint8_t>(ch));
                b.insert(b.end(), {3, 1, 0, 0, 0});
                b.insert(b.end(), {0x21, 0xF9, 4, 0x01, 0, 0, 3, 0}); // transparent index 3
            }
            b.push_back(0x2C);
            put16(b, image.left);
            put16(b, image.top);
            put16(b, image.width);
            put16(b, image.height);
            b.push_back(static_cast<std::uint8_t>((image.local.empty() ? 0 : 0x80 | map_field(image.local)) |
                                                  (image.interlaced ? 0x40 : 0)));
            if (!image.local.empty())
                put_map(b, image.local);
            Bytes stored;
            auto put_row = [&](int r) {
                stored.insert(stored.end(), image.indices.begin() + r * image.width,
                              image.indices.begin() + (r + 1) * image.width);
            };
            if (image.interlaced) {
                for (auto [first, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
                    for (int r = first; r < image.height; r += step)
                        put_row(r);
            } else {
                for (int r = 0; r < image.height; ++r)
                    put_row(r);
            }
            b.push_back(8);
            put_blocks(b, lzw(stored));
        }
        if (terminator)
            b.push_back(0x3B);
        return b;
    }
};

// Indices 0..n-1 repeating over a width x height image.
GifImage counting_image(int width, int height, int n, int left = 0, int top = 0) {
    GifImage image{left, top, width, height};
    for (int i = 0; i < width * height; ++i)
        image.indices.push_back(static_cast<std::uint8_t>(i % n));
    return image;
}

const std::vector<Rgb> four_colours = {{255, 0, 0}, {10, 20, 31}, {255, 255, 255}, {0, 0, 0}};

using GifRead = InputFile;

TEST_F(GifRead, SingleImageGivesTheMeanOfEachColour) {
    Gif gif{5, 3, 0, four_colours};
    gif.images = {counting_image(5, 3, 4)};
    gray_image.depth = 1;
    ASSERT_NE(read(gif.bytes()), 0);
    EXPECT_EQ(gray_image.width, 5);
    EXPECT_EQ(gray_image.height, 3);
    EXPECT_EQ(gray_image.depth, 8);
    const int grey[4] = {85, 20, 255, 0};
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(gray_image.pixels[i], grey[i % 4]) << i;
}

TEST_F(GifRead, InterlacedAndExtensionsReadLikeThePlainFile) {
    for (int height : {1, 2, 5, 9, 17}) {
        SCOPED_TRACE(height);
        // Every row its own colour, so that a row out of place shows.
        std::vector<Rgb> map;
        for (int i = 0; i < 32; ++i)
            map.push_back({static_cast<std::uint8_t>(7 * i), 0, static_cast<std::uint8_t>(i)});
        Gif gif{6, height, 31, map};
        GifImage image{0, 0, 6, height};
        for (int i = 0; i < 6 * height; ++i)
            image.indices.push_back(static_cast<std::uint8_t>(i / 6 + i % 2));
        gif.images = {image};
        ASSERT_NE(read(gif.bytes()), 0);
        const std::vector<int> plain = pixels();
        gif.images[0].interlaced = true;
        ASSERT_NE(read(gif.bytes()), 0);
        EXPECT_EQ(pixels(), plain);
        gif.extensions = true;
        ASSERT_NE(read(gif.bytes()), 0);
        EXPECT_EQ(pixels(), plain);
    }
}

TEST_F(GifRead, FramesAreDrawnInFileOrderAndTheLastMapColoursAll) {
    // Screen 4 x 3, background index 1. Frame one covers the left 3 x 2
    // with index 2, frame two the right 2 x 2 at (2, 1) with index 0.
    Gif gif{4, 3, 1, four_colours};
    GifImage one{0, 0, 3, 2, false, {}, Bytes(6, 2)};
    GifImage two{2, 1, 2, 2, false, {}, Bytes(4, 0)};
    gif.images = {one, two};
    ASSERT_NE(read(gif.bytes()), 0);
    EXPECT_EQ(pixels(), (std::vector<int>{255, 255, 255, 20, //
                                          255, 255, 85, 85,  //
                                          20, 20, 85, 85}));

    // A local map on the last frame colours the whole canvas, the margin too;
    // a local map on an earlier frame is forgotten.
    gif.images[1].local = {{0, 0, 30}, {0, 0, 60}, {0, 0, 90}, {0, 0, 120}};
    ASSERT_NE(read(gif.bytes()), 0);
    EXPECT_EQ(pixels(), (std::vector<int>{30, 30, 30, 20, //
                                          30, 30, 10, 10, //
                                          20, 20, 10, 10}));
    gif.images[0].local = gif.images[1].local;
    gif.images[1].local.clear();
    ASSERT_NE(read(gif.bytes()), 0);
    EXPECT_EQ(pixels()[0], 255);
}

TEST_F(GifRead, ColourMapGapsAreHandled) {
    // No image at all: every pixel is the background's grey.
    Gif empty{3, 2, 2, four_colours};
    ASSERT_NE(read(empty.bytes()), 0);
    EXPECT_EQ(pixels(), std::vector<int>(6, 255));

    // Indices beyond the chosen map (a two-entry local map on the last
    // frame, a background index of 3) become black.
    Gif gif{4, 1, 3, four_colours};
    gif.images = {GifImage{0, 0, 2, 1, false, {}, {2, 1}},
                  GifImage{3, 0, 1, 1, false, {{90, 90, 90}, {30, 30, 30}}, {1}}};
    ASSERT_NE(read(gif.bytes()), 0);
    EXPECT_EQ(pixels(), (std::vector<int>{0, 30, 0, 30}));

    // Neither a local map on the last image nor a global map.
    Gif bare{2, 2, 0, {}};
    bare.images = {counting_image(2, 2, 2)};
    EXPECT_EQ(read(bare.bytes()), 0);
    EXPECT_STREQ(read_message, "no colour map\n");
    EXPECT_EQ(gray_image.pixels, nullptr);
    bare.images[0].local = {{9, 9, 9}, {3, 3, 3}};
    ASSERT_NE(read(bare.bytes()), 0);
    EXPECT_EQ(pixels(), (std::vector<int>{9, 3, 9, 3}));
}

TEST_F(GifRead, ImagesMustStayOnTheScreen) {
    Gif gif{4, 4, 0, four_colours};
    gif.images = {counting_image(2, 3, 4, 2, 1)}; // ends exactly at both edges
    ASSERT_NE(read(gif.bytes()), 0);
    for (auto [left, top] : {std::pair{2, 2}, {3, 1}, {0, 4}, {4, 0}}) {
        gif.images = {counting_image(2, 3, 4, left, top)};
        EXPECT_EQ(read(gif.bytes()), 0);
        EXPECT_STREQ(read_message, "image size\n");
        EXPECT_EQ(gray_image.pixels, nullptr);
    }
    // A full frame after an off-screen one is never reached.
    gif.images = {counting_image(65535, 1, 4, 0, 0), counting_image(4, 4, 4)};
    EXPECT_EQ(read(gif.bytes()), 0);
    EXPECT_STREQ(read_message, "image size\n");
}

TEST_F(GifRead, EveryFailureHasItsText) {
    Gif gif{6, 4, 0, four_colours};
    gif.extensions = true;
    gif.images = {counting_image(6, 4, 4)};
    const Bytes whole = gif.bytes();
    const std::size_t header = 13 + 12;
    // Positions in the file: the comment extension starts at the header's end,
    // the image descriptor after the three extensions.
    const std::size_t comment = header, application = comment + 2 + 1 + 255 + 1 + 45 + 1;
    const std::size_t control = application + 3 + 11 + 5, descriptor = control + 8;
    ASSERT_EQ(whole[application], 0x21);
    ASSERT_EQ(whole[descriptor], 0x2C);

    auto cut = [&](std::size_t n) { return Bytes(whole.begin(), whole.begin() + static_cast<long>(n)); };
    struct Case {
        Bytes bytes;
        const char *text;
    };
    Bytes bad_record = cut(descriptor);
    bad_record.push_back(0x99);
    Bytes huge_screen = whole;
    huge_screen[6] = huge_screen[7] = huge_screen[8] = huge_screen[9] = 0xFF;
    Bytes tiny_screen = whole;
    tiny_screen[6] = tiny_screen[7] = 0; // zero width: no buffer to hold it
    const Case cases[] = {
        {cut(10), "open failed.\n"},
        {cut(header - 3), "open failed.\n"}, // inside the global map
        {huge_screen, "malloc failed\n"},
        {tiny_screen, "malloc failed\n"},
        {cut(header), "get record type failed.\n"},
        {bad_record, "get record type failed.\n"},
        {cut(comment + 1), "get extension\n"},
        {cut(comment + 100), "get extension\n"},      // inside the first block
        {cut(comment + 270), "get extension next\n"}, // inside the second
        {cut(descriptor + 5), "get image desc\n"},
        {cut(descriptor + 20), "get line\n"},
        {cut(whole.size() - 6), "get line\n"},
        {cut(whole.size() - 1), "get record type failed.\n"}, // no terminator
    };
    const int descriptors = open_descriptors();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(read(c.bytes), 0);
        EXPECT_STREQ(read_message, c.text);
        EXPECT_EQ(gray_image.pixels, nullptr);
    }
    EXPECT_NE(read(whole), 0);
    EXPECT_STREQ(read_message, "");
    // Each file was closed once: no descriptor left behind, and none of the
    // test's own closed by mistake.
    EXPECT_EQ(open_descriptors(), descriptors);
    EXPECT_NE(read(whole), 0);
}

// The writers of the test-support library and the readers agree: a symbol
// picture comes back as it was written (JPEG within its loss).
TEST_F(GifRead, SupportWritersRoundTrip) {
    namespace vt = vantor::testing;
    const auto symbol = vt::make_symbol("round trip", 2, vt::Level::M, vt::Mode::byte);
    ASSERT_TRUE(symbol);
    vt::RenderOptions options;
    options.module_px = 2.5;
    options.dark = 30;
    options.light = 220;
    options.blur_sigma = 0.8;
    const vt::Picture picture = vt::render(*symbol, options);
    auto same = [&](int dx, int dy, int tolerance) {
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
                ASSERT_NEAR(gray_image.pixels[(y + dy) * gray_image.width + x + dx], picture.at(x, y),
                            tolerance)
                    << x << "," << y;
    };

    ASSERT_NE(read(vt::bmp24_bytes(picture)), 0);
    same(0, 0, 0);
    vt::GifOptions gif;
    gif.interlaced = true;
    gif.extensions = true;
    gif.frames = 3;
    gif.offset_x = 5;
    gif.offset_y = 2;
    ASSERT_NE(read(vt::gif_bytes(picture, gif)), 0);
    ASSERT_EQ(gray_image.width, picture.width + 5);
    same(5, 2, 0);
    EXPECT_EQ(gray_image.pixels[0], 255); // the margin is the background, white
    ASSERT_NE(read(vt::jpeg_bytes(picture, 100, true)), 0);
    same(0, 0, 4);
    for (bool zero_is_black : {true, false}) {
        ASSERT_NE(read(vt::bmp1_bytes(picture, zero_is_black)), 0);
        EXPECT_EQ(gray_image.depth, 1);
        for (int i = 0; i < picture.width * picture.height; ++i)
            ASSERT_EQ(gray_image.pixels[i], picture.pixels[i] < 128 ? 0 : 255) << i;
    }
}

} // namespace
