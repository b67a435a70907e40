// Debug image layout and the decode entry's debug files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "1_base/bmp_write.h"
#include "qr_symbols.h"
#include <vantor/vantor.h>

namespace fs = std::filesystem;
using vantor::write_bmp;

namespace {

std::vector<std::uint8_t> slurp(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::uint32_t le32(const std::vector<std::uint8_t> &b, int at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

fs::path scratch(const char *name) {
    static const vantor::testing::TempDir dir("bmpw");
    return fs::path(dir.path()) / name;
}

// Runs f with the current directory set to dir.
template <class F>
void in_directory(const fs::path &dir, F f) {
    fs::path here = fs::current_path();
    fs::current_path(dir);
    f();
    fs::current_path(here);
}

} // namespace

TEST(WriteBmp, HeaderAndRowsOfA21x21Matrix) {
    std::vector<std::uint8_t> m(21 * 21, 0);
    m[0] = 64;           // top-left dark
    m[20 * 21 + 20] = 64; // bottom-right dark
    fs::path p = scratch("m21.bmp");
    ASSERT_TRUE(write_bmp(p.c_str(), m.data(), 21, 21));
    auto b = slurp(p);
    ASSERT_EQ(b.size(), 146u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(le32(b, 2), 146u);
    EXPECT_EQ(le32(b, 10), 62u);
    EXPECT_EQ(le32(b, 14), 40u);
    EXPECT_EQ(le32(b, 18), 21u);
    EXPECT_EQ(le32(b, 22), 21u);
    EXPECT_EQ(b[26] | b[27] << 8, 1);
    EXPECT_EQ(b[28] | b[29] << 8, 1);
    EXPECT_EQ(le32(b, 30), 0u);
    EXPECT_EQ(le32(b, 46), 2u);
    EXPECT_EQ(le32(b, 54), 0x00FFFFFFu);
    EXPECT_EQ(le32(b, 58), 0u);
    // First stored row is the bottom row: pixel 20 is bit 3 of byte 2.
    EXPECT_EQ(b[62], 0x00);
    EXPECT_EQ(b[63], 0x00);
    EXPECT_EQ(b[64], 0x08);
    EXPECT_EQ(b[65], 0x00);
    // Last stored row is the top row: first pixel in the top bit.
    EXPECT_EQ(b[146 - 4], 0x80);
}

TEST(WriteBmp, ValueToColourAndRowPadding) {
    // 33 pixels: two 32-bit groups per row; values mapped pixel by pixel.
    std::vector<std::uint8_t> row(33, 0);
    const std::uint8_t values[8] = {1, 2, 3, 16, 64, 80, 65, 0};
    for (int i = 0; i < 8; ++i)
        row[i] = values[i];
    row[32] = 64;
    fs::path p = scratch("row33.bmp");
    ASSERT_TRUE(write_bmp(p.c_str(), row.data(), 33, 1));
    auto b = slurp(p);
    ASSERT_EQ(b.size(), 62u + 8u);
    EXPECT_EQ(b[62], 0xF8); // 1,2,3,16,64 black; 80,65,0 white
    EXPECT_EQ(b[66], 0x80); // pixel 32 in the second group's top bit
    EXPECT_EQ(b[67] | b[68] | b[69], 0);

    std::vector<std::uint8_t> dark32(32, 64);
    ASSERT_TRUE(write_bmp(p.c_str(), dark32.data(), 32, 1));
    EXPECT_EQ(slurp(p).size(), 66u);

    ASSERT_TRUE(write_bmp(p.c_str(), nullptr, 5, 0));
    EXPECT_EQ(slurp(p).size(), 62u);

    EXPECT_FALSE(write_bmp("/nonexistent-dir/x.bmp", dark32.data(), 32, 1));
}

TEST(DecodeEntry, DebugImagesOnlyWithALogStream) {
    fs::path dir = scratch("entry");
    fs::create_directories(dir);
    const int w = 40, h = 30;
    std::vector<std::uint8_t> grey(w * h, 200);
    for (int i = 0; i < w * h; i += 7)
        grey[i] = 10;

    in_directory(dir, [&] { EXPECT_EQ(decode_image(grey.data(), w, h, 8, nullptr), nullptr); });
    EXPECT_TRUE(fs::is_empty(dir));

    std::FILE *log = std::tmpfile();
    in_directory(dir, [&] { EXPECT_EQ(decode_image(grey.data(), w, h, 8, log), nullptr); });
    std::fclose(log);
    for (int pass = 0; pass < 7; ++pass) {
        fs::path f = dir / ("sample1-" + std::to_string(pass) + ".bmp");
        ASSERT_TRUE(fs::exists(f)) << f;
        EXPECT_EQ(fs::file_size(f), 62u + h * ((w + 31) / 32) * 4);
    }
    fs::remove_all(dir);
    fs::create_directories(dir);

    // A two-level image gets a single pass.
    log = std::tmpfile();
    in_directory(dir, [&] { decode_image(grey.data(), w, h, 1, log); });
    std::fclose(log);
    EXPECT_TRUE(fs::exists(dir / "sample1-0.bmp"));
    EXPECT_FALSE(fs::exists(dir / "sample1-1.bmp"));
    fs::remove_all(dir);
}

TEST(DecodeEntry, RejectsSizesOutsideTheRunTables) {
    std::vector<std::uint8_t> tiny(4, 255);
    EXPECT_EQ(decode_image(tiny.data(), 0, 4, 8, nullptr), nullptr);
    EXPECT_EQ(decode_image(tiny.data(), 4, -1, 8, nullptr), nullptr);
    EXPECT_EQ(decode_image(nullptr, 2, 2, 8, nullptr), nullptr);
    // Wider than 32767: refused before anything is allocated or read.
    EXPECT_EQ(decode_image(tiny.data(), 40000, 1, 8, nullptr), nullptr);
    EXPECT_EQ(decode_image(tiny.data(), 1, 40000, 8, nullptr), nullptr);
    EXPECT_STREQ(decoder_version(), "1.2");
}
