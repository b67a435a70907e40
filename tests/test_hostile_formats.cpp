// Hostile files of the newer formats and BMP layouts: files cut at every
// length, bytes flipped at random, sizes that lie, and decompression bombs.
// Every read must end cleanly: a sound image or a failure with the file's
// name in its text, within bounded time and memory, with every file closed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <tiffio.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <vantor/image.h>
#include <vantor/vantor.h>

#include "format_files.h"
#include "qr_symbols.h"

namespace vt = vantor::testing;
using vt::Bytes;

namespace {

int open_descriptors() {
    int n = 0;
    for (int fd = 0; fd < 64; ++fd)
        n += fcntl(fd, F_GETFD) != -1;
    return n;
}

void put32be(Bytes &b, std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k)
        b[at + k] = static_cast<std::uint8_t>(v >> (24 - 8 * k));
}

// A PNG chunk with its checksum.
Bytes png_chunk(const char *type, const Bytes &data) {
    // Sized at once: growing a four-byte vector by insert draws a false
    // bounds warning from GCC 12.
    Bytes c(8 + data.size());
    put32be(c, 0, static_cast<std::uint32_t>(data.size()));
    std::copy_n(type, 4, c.begin() + 4);
    std::copy(data.begin(), data.end(), c.begin() + 8);
    const std::uint32_t crc = static_cast<std::uint32_t>(crc32(crc32(0, reinterpret_cast<const Bytef *>(type), 4), data.data(),
                                                               static_cast<uInt>(data.size())));
    c.resize(c.size() + 4);
    put32be(c, c.size() - 4, crc);
    return c;
}

Bytes deflate(std::size_t zeros) {
    Bytes in(zeros, 0), out(compressBound(static_cast<uLong>(zeros)));
    uLongf size = static_cast<uLongf>(out.size());
    compress2(out.data(), &size, in.data(), static_cast<uLong>(in.size()), 9);
    out.resize(size);
    return out;
}

// A grey 8-bit PNG of width x height whose image data is `idat`.
Bytes png_file(std::uint32_t width, std::uint32_t height, const Bytes &idat, const Bytes &extra = {}) {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header(13, 0);
    put32be(header, 0, width);
    put32be(header, 4, height);
    header[8] = 8; // bit depth; colour type 0: grey
    const Bytes ihdr = png_chunk("IHDR", header);
    png.insert(png.end(), ihdr.begin(), ihdr.end());
    png.insert(png.end(), extra.begin(), extra.end());
    const Bytes data = png_chunk("IDAT", idat);
    png.insert(png.end(), data.begin(), data.end());
    const Bytes end = png_chunk("IEND", {});
    png.insert(png.end(), end.begin(), end.end());
    return png;
}

class HostileFormats : public ::testing::Test {
protected:
    struct Outcome {
        bool ok;
        vantor_read_status status;
        std::string message;
    };

    // Reads through both routes; checks what every read promises.
    Outcome read(const Bytes &bytes, const std::string &name) {
        const std::string path = dir.path() + "/" + name;
        EXPECT_TRUE(vt::write_bytes(path, bytes));
        const int descriptors = open_descriptors();
        vantor_read_error error;
        vantor_image *image = vantor_image_read(path.c_str(), &error);
        Outcome o{image != nullptr, error.status, error.message};
        if (image) {
            const int w = vantor_image_width(image), h = vantor_image_height(image), depth = vantor_image_depth(image);
            EXPECT_TRUE(w > 0 && h > 0 && std::int64_t{w} * h <= (std::int64_t{1} << 28)) << name;
            EXPECT_TRUE(depth == 1 || depth == 8);
            const unsigned char *p = vantor_image_pixels(image);
            std::size_t grey = 0;
            for (std::size_t i = 0; depth == 1 && i < std::size_t(w) * h; ++i)
                grey += p[i] != 0 && p[i] != 255;
            EXPECT_EQ(grey, 0u) << name << ": a two-level image with grey pixels";
        } else if (error.status == VANTOR_READ_DAMAGED && !o.message.empty()) {
            EXPECT_EQ(o.message.rfind("file " + path, 0), 0u) << o.message;
            EXPECT_EQ(o.message.back(), '\n');
        }
        vantor_image_free(image);
        EXPECT_EQ(read_image(path.c_str()) != 0, o.ok) << name;
        // read_image keeps its classic texts where the reentrant reader says
        // more: the formats it reads, and whether a PNG is too large or cut
        // short.
        const std::string classic = read_message;
        if (o.status == VANTOR_READ_UNKNOWN_FORMAT)
            EXPECT_EQ(classic, "file " + path + " is not BMP,JPEG.\n") << name;
        else if (classic.find("pixels is too large or cut short.") != std::string::npos)
            EXPECT_EQ(o.message.rfind("file " + path + ": ", 0), 0u) << o.message;
        else if (!classic.empty() || o.status != VANTOR_READ_DAMAGED)
            EXPECT_EQ(o.message, classic) << name;
        else
            EXPECT_FALSE(o.message.empty()) << name << ": a damaged file without a text";
        release_image();
        EXPECT_EQ(open_descriptors(), descriptors) << name << " left a file open";
        return o;
    }

    vt::TempDir dir{"hostile_formats"};
};

// Small files of every newer format and layout.
std::vector<std::pair<std::string, Bytes>> samples() {
    const auto symbol = vt::make_symbol("cut", 1, vt::Level::L, vt::Mode::byte);
    vt::RenderOptions o;
    o.module_px = 1;
    o.quiet_zone = 1;
    o.blur_sigma = 0.5;
    const vt::Picture p = vt::render(*symbol, o);
    vt::TiffOptions tiled;
    tiled.tiled = true;
    tiled.compression = 8;
    vt::TiffOptions lzw;
    lzw.compression = 5;
    lzw.rgb = true;
    lzw.pages_after = 1;
    return {
        {"grey.png", vt::png_bytes(p)},
        {"rgba.png", vt::png_bytes(p, {vt::PngColour::rgba, 16, true, true})},
        {"palette1.png", vt::png_bytes(p, {vt::PngColour::palette, 1})},
        {"tiled.tif", vt::tiff_bytes(p, tiled)},
        {"lzw.tif", vt::tiff_bytes(p, lzw)},
        {"lossless.webp", vt::webp_bytes(p, true, true)},
        {"lossy.webp", vt::webp_bytes(p, false)},
        {"p5.pgm", vt::pnm_bytes(p, 5, 65535)},
        {"p3.ppm", vt::pnm_bytes(p, 3, 255)},
        {"p1.pbm", vt::pnm_bytes(p, 1)},
        {"rle8.bmp", vt::bmp_bytes(p, {40, 8, 1})},
        {"rle4.bmp", vt::bmp_bytes(p, {108, 4, 2})},
        {"masks.bmp", vt::bmp_bytes(p, {56, 16, 3, {0xF800, 0x07E0, 0x001F}})},
        {"core.bmp", vt::bmp_bytes(p, {12, 1})},
        {"cmyk.jpg", vt::cmyk_jpeg_bytes(p, true, true)},
    };
}

TEST_F(HostileFormats, FilesCutAtEveryLengthFailCleanly) {
    for (const auto &[name, whole] : samples()) {
        SCOPED_TRACE(name);
        ASSERT_FALSE(whole.empty());
        ASSERT_TRUE(read(whole, name).ok);
        int failed = 0;
        // Every length through the headers, then every few bytes.
        for (std::size_t n = 0; n < whole.size(); n += n < 400 ? 1 : whole.size() / 200 + 1) {
            const Outcome o = read(Bytes(whole.begin(), whole.begin() + static_cast<long>(n)), name);
            failed += !o.ok;
            // The newer formats say why; the classic ones keep their texts.
            if (!o.ok && n >= 12 && name.find(".bmp") == std::string::npos && name.find(".jpg") == std::string::npos) {
                EXPECT_NE(o.message, "") << n;
            }
        }
        EXPECT_GT(failed, 100);
    }
}

TEST_F(HostileFormats, FlippedBytesNeverBreakAReader) {
    std::mt19937 random(2024);
    for (const auto &[name, whole] : samples()) {
        SCOPED_TRACE(name);
        for (int trial = 0; trial < 150; ++trial) {
            Bytes bytes = whole;
            const int flips = 1 + trial % 4;
            for (int f = 0; f < flips; ++f)
                bytes[random() % bytes.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
            read(bytes, name);
        }
    }
}

// Runs `f` and returns the seconds it took.
template <class F>
double seconds(F f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST_F(HostileFormats, PngSizeLimitsAndBombs) {
    Outcome o{};
    // More pixels than any read allows; sides beyond libpng's limit.
    o = read(png_file(20000, 20000, deflate(1000)), "huge.png");
    EXPECT_EQ(o.status, VANTOR_READ_DAMAGED);
    // Each refusal says which it is: too many pixels, or too few bytes.
    EXPECT_NE(o.message.find("20000 x 20000 pixels is more than Vantor reads (2^28 pixels)"), std::string::npos)
        << o.message;
    o = read(png_file(1u << 30, 1, deflate(1000)), "wide.png");
    EXPECT_NE(o.message.find("damaged PNG image"), std::string::npos) << o.message;
    // 256 million pixels said to be in a file of a few kilobytes: deflate
    // cannot inflate that far, so the read stops before allocating.
    EXPECT_LT(seconds([&] { o = read(png_file(16384, 16384, deflate(1 << 20)), "bomb.png"); }), 2.0);
    EXPECT_NE(o.message.find("cut short: a PNG image of 16384 x 16384 pixels cannot fit in "), std::string::npos)
        << o.message;
    // A real image behind a compressed text that inflates to 64 MiB: the text
    // is dropped with a warning, the image reads.
    Bytes text = {'k', 0, 0};
    const Bytes zeros = deflate(64u << 20);
    text.insert(text.end(), zeros.begin(), zeros.end());
    const std::string path = dir.path() + "/ztxt.png";
    Bytes rows;
    for (int y = 0; y < 4; ++y)
        rows.insert(rows.end(), {0, 10, 20, 30, 40});
    uLongf size = compressBound(static_cast<uLong>(rows.size()));
    Bytes idat(size);
    compress2(idat.data(), &size, rows.data(), static_cast<uLong>(rows.size()), 9);
    idat.resize(size);
    ASSERT_TRUE(vt::write_bytes(path, png_file(4, 4, idat, png_chunk("zTXt", text))));
    vantor_image *image = nullptr;
    EXPECT_LT(seconds([&] { image = vantor_image_read(path.c_str(), nullptr); }), 2.0);
    ASSERT_NE(image, nullptr);
    EXPECT_NE(std::string(vantor_image_warnings(image)).find("PNG: zTXt"), std::string::npos)
        << vantor_image_warnings(image);
    EXPECT_EQ(vantor_image_pixels(image)[3], 40);
    vantor_image_free(image);
}

// The byte offset of a tag's value in the first directory of a
// little-endian TIFF written by libtiff, or 0.
std::size_t tiff_tag(const Bytes &t, std::uint16_t tag) {
    const std::size_t ifd = t[4] | t[5] << 8 | t[6] << 16 | std::size_t(t[7]) << 24;
    const int count = t[ifd] | t[ifd + 1] << 8;
    for (int i = 0; i < count; ++i) {
        const std::size_t e = ifd + 2 + 12 * i;
        if ((t[e] | t[e + 1] << 8) == tag)
            return e + 8;
    }
    return 0;
}

void put32le(Bytes &b, std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k)
        b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
}

// Sets a tag of the first directory to one 32-bit value.
void set_tag(Bytes &t, std::uint16_t tag, std::uint32_t value) {
    const std::size_t at = tiff_tag(t, tag);
    ASSERT_NE(at, 0u) << tag;
    t[at - 6] = 4; // type LONG, count 1
    t[at - 5] = 0;
    put32le(t, at - 4, 1);
    put32le(t, at, value);
}

TEST_F(HostileFormats, TiffSizesThatLieAndDirectoriesThatLoop) {
    const vt::Picture p = vt::render_noise(64, 64, "noise", 5);
    vt::TiffOptions one_strip;
    one_strip.compression = 8;
    one_strip.rows_per_strip = 64;
    const Bytes good = vt::tiff_bytes(p, one_strip);
    ASSERT_TRUE(read(good, "good.tif").ok);
    auto patched = [&](std::uint16_t tag, std::uint32_t value) {
        Bytes b = good;
        set_tag(b, tag, value);
        return b;
    };
    Outcome o{};
    // Beyond the pixel limit, refused before anything is decoded.
    Bytes huge = patched(TIFFTAG_IMAGEWIDTH, 65535);
    set_tag(huge, TIFFTAG_IMAGELENGTH, 65535);
    o = read(huge, "huge.tif");
    EXPECT_NE(o.message.find("a page of 65535 x 65535 pixels"), std::string::npos) << o.message;
    // 16384 x 16384 pixels in one strip of a few kilobytes: decoding stops
    // at the end of the data.
    Bytes bomb = patched(TIFFTAG_IMAGEWIDTH, 16384);
    set_tag(bomb, TIFFTAG_IMAGELENGTH, 16384);
    set_tag(bomb, TIFFTAG_ROWSPERSTRIP, 16384);
    EXPECT_LT(seconds([&] { o = read(bomb, "bomb.tif"); }), 2.0);
    EXPECT_NE(o.message.find("a page of 16384 x 16384 pixels in too little data"), std::string::npos) << o.message;
    // Strip data beyond the end of the file.
    o = read(patched(TIFFTAG_STRIPOFFSETS, 0x7FFFFFF0), "offset.tif");
    EXPECT_FALSE(o.ok);
    o = read(patched(TIFFTAG_STRIPBYTECOUNTS, 0x7FFFFFF0), "count.tif");
    EXPECT_FALSE(o.ok);
    // A next-directory link back to the first directory: one page, read.
    Bytes loop = good;
    const std::size_t ifd = loop[4] | loop[5] << 8 | loop[6] << 16 | std::size_t(loop[7]) << 24;
    const int entries = loop[ifd] | loop[ifd + 1] << 8;
    put32le(loop, ifd + 2 + 12 * entries, static_cast<std::uint32_t>(ifd));
    const std::string path = dir.path() + "/loop.tif";
    ASSERT_TRUE(vt::write_bytes(path, loop));
    vantor_image *image = vantor_image_read(path.c_str(), nullptr);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(vantor_image_page_count(image), 1);
    vantor_image_free(image);
    // Huge tiles.
    vt::TiffOptions tiled;
    tiled.tiled = true;
    Bytes tiles = vt::tiff_bytes(p, tiled);
    set_tag(tiles, TIFFTAG_TILEWIDTH, 1u << 20);
    set_tag(tiles, TIFFTAG_TILELENGTH, 1u << 20);
    EXPECT_FALSE(read(tiles, "tiles.tif").ok);
}

TEST_F(HostileFormats, WebpAndNetpbmSizesThatLie) {
    const vt::Picture p = vt::render_noise(40, 30, "noise", 3);
    Outcome o{};
    // The lossless header's 14-bit sides set to their largest, the data
    // left as it is: the read fails once the data run out.
    Bytes webp = vt::webp_bytes(p, true);
    ASSERT_EQ(std::memcmp(webp.data() + 12, "VP8L", 4), 0);
    webp[21] = 0xFF;
    webp[22] = 0xFF;
    webp[23] = 0xFF;
    webp[24] = (webp[24] & 0xF0) | 0x0F;
    EXPECT_LT(seconds([&] { o = read(webp, "bomb.webp"); }), 10.0);
    EXPECT_FALSE(o.ok);
    EXPECT_NE(o.message.find("WebP"), std::string::npos);
    // A RIFF size beyond the file.
    Bytes riff = vt::webp_bytes(p, false);
    put32le(riff, 4, 0x7FFFFFF0);
    EXPECT_FALSE(read(riff, "riff.webp").ok);

    struct Case {
        std::string text;
        const char *cause;
    };
    const Case cases[] = {
        {"P5 100000 100000 255 ", "image size out of range"},
        {"P5 16000 16000 255 xyz", "file cut short"},
        {"P2 2 1 0 0 0", "maximum value 0"},
        {"P2 2 1 70000 0 0", "number out of range"},
        {"P5 99999999999 1 255 ", "number out of range"},
        {"P6 2 2 255", "file cut short"},
        {"P3 1 1 255 1 2 x", "a number was expected"},
        {"P1 2 2 0 1 2 0", "number out of range"},
        {"P4 #comment without end", "file cut short"},
        {"P5 1 1 255#", "no white space after the header"},
    };
    for (const Case &c : cases) {
        o = read(Bytes(c.text.begin(), c.text.end()), "lie.pnm");
        EXPECT_FALSE(o.ok) << c.text;
        EXPECT_NE(o.message.find(std::string("damaged PNM image (") + c.cause + ")"), std::string::npos)
            << c.text << ": " << o.message;
    }
    // Samples above the maximum value are clipped, with a warning.
    const std::string path = dir.path() + "/clip.pgm";
    const std::string clip = "P2 3 1 100 50 100 250";
    ASSERT_TRUE(vt::write_bytes(path, Bytes(clip.begin(), clip.end())));
    vantor_image *image = vantor_image_read(path.c_str(), nullptr);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(std::vector<int>(vantor_image_pixels(image), vantor_image_pixels(image) + 3),
              (std::vector<int>{128, 255, 255}));
    EXPECT_STREQ(vantor_image_warnings(image), "PNM: samples above the maximum value 100 were clipped\n");
    vantor_image_free(image);
}

TEST_F(HostileFormats, BmpLayoutsThatLie) {
    const vt::Picture p = vt::render_noise(20, 10, "noise", 4);
    auto with = [&](vt::BmpOptions o, std::size_t at, std::uint32_t value) {
        Bytes b = vt::bmp_bytes(p, o);
        put32le(b, at, value);
        return b;
    };
    // Masks that are not one run of bits; a colour table past the end.
    EXPECT_FALSE(read(with({40, 32, 3, {0xFF0000, 0xFF00, 0xFF}}, 54, 0x00F0F000), "mask.bmp").ok);
    Bytes cut = vt::bmp_bytes(p, {40, 8});
    cut.resize(54 + 512);
    EXPECT_FALSE(read(cut, "table-cut.bmp").ok);
    // Run-length coding with a top-down height, and huge sizes.
    EXPECT_FALSE(read(with({40, 8, 1}, 22, static_cast<std::uint32_t>(-10)), "rle-top-down.bmp").ok);
    EXPECT_FALSE(read(with({124, 32}, 18, 70000), "wide.bmp").ok);
    // A coded bitmap may be tiny and large: 16384 x 16384 pixels of entry 0
    // from an end-of-bitmap code alone. Bounded work: one fill.
    Bytes blank = vt::bmp_bytes(vt::Picture{1, 1, {255}}, {40, 8, 1});
    put32le(blank, 18, 16384);
    put32le(blank, 22, 16384);
    Outcome o{};
    EXPECT_LT(seconds([&] { o = read(blank, "blank-rle.bmp"); }), 10.0);
    EXPECT_TRUE(o.ok);
    // Runs and jumps past the row's end and past the last row are dropped.
    Bytes runs = vt::bmp_bytes(vt::Picture{2, 2, {0, 0, 0, 0}}, {40, 8, 1});
    const std::size_t data = runs[10] | runs[11] << 8;
    runs.resize(data);
    runs.insert(runs.end(), {200, 7, 0, 2, 250, 250, 0, 3, 1, 2, 3, 0, 9, 9, 0, 1});
    put32le(runs, 2, static_cast<std::uint32_t>(runs.size()));
    EXPECT_TRUE(read(runs, "runs.bmp").ok);
}

} // namespace
