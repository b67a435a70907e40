// BMP reader and input dispatch, on files built byte by byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include <vantor/image.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes &b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(Bytes &b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// A BMP with a 40-byte information header; every header field can be set
// to a bad value. `table` goes between the header and the pixel rows.
struct Bmp {
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint32_t header_size = 40;
    std::uint32_t planes = 1;
    std::uint32_t bits = 24;
    std::uint32_t compression = 0;
    std::uint32_t colours_used = 0;
    Bytes table;
    Bytes rows;

    Bytes bytes() const {
        Bytes b{'B', 'M'};
        put32(b, static_cast<std::uint32_t>(54 + table.size() + rows.size()));
        put32(b, 0);
        put32(b, static_cast<std::uint32_t>(54 + table.size()));
        put32(b, header_size);
        put32(b, static_cast<std::uint32_t>(width));
        put32(b, static_cast<std::uint32_t>(height));
        put16(b, planes);
        put16(b, bits);
        put32(b, compression);
        put32(b, static_cast<std::uint32_t>(rows.size()));
        put32(b, 2835);
        put32(b, 2835);
        put32(b, colours_used);
        put32(b, 0);
        b.insert(b.end(), table.begin(), table.end());
        b.insert(b.end(), rows.begin(), rows.end());
        return b;
    }
};

// Two palette entries for a 1-bit file, as blue, green, red.
Bytes palette(std::uint8_t b0, std::uint8_t g0, std::uint8_t r0, std::uint8_t b1, std::uint8_t g1,
              std::uint8_t r1) {
    return {b0, g0, r0, 0, b1, g1, r1, 0};
}

class ImageFile : public ::testing::Test {
protected:
    void TearDown() override {
        release_image();
        for (const std::string &p : paths_)
            std::remove(p.c_str());
    }

    std::string path(const std::string &name) {
        std::string p = ::testing::TempDir() + "vantor_bmp_" + std::to_string(getpid()) + "_" + name;
        paths_.push_back(p);
        return p;
    }

    std::string write(const std::string &name, const Bytes &bytes) {
        std::string p = path(name);
        std::FILE *f = std::fopen(p.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f) {
            if (!bytes.empty())
                std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return p;
    }

    int read(const Bytes &bytes) {
        release_image();
        return read_image(write("file.bmp", bytes).c_str());
    }

    static std::vector<int> pixels() {
        return {gray_image.pixels, gray_image.pixels + gray_image.width * gray_image.height};
    }

    // A failure of the BMP reader: no text, no buffer.
    static void expect_refused(int result) {
        EXPECT_EQ(result, 0);
        EXPECT_STREQ(read_message, "");
        EXPECT_EQ(gray_image.pixels, nullptr);
    }

private:
    std::vector<std::string> paths_;
};

using BmpRead = ImageFile;
using ReadImage = ImageFile;

TEST_F(BmpRead, TwentyFourBitGreyAndRowPaddingForWidthsOneToFour) {
    for (int width = 1; width <= 4; ++width) {
        SCOPED_TRACE(width);
        // File rows bottom-up: the first row holds (10,20,31) then white,
        // the second black then numbered greys; each is padded to 4 bytes.
        Bmp bmp;
        bmp.width = width;
        bmp.height = 2;
        std::vector<int> expected(2 * width);
        for (int file_row = 0; file_row < 2; ++file_row) {
            for (int x = 0; x < width; ++x) {
                std::uint8_t b, g, r;
                if (file_row == 0 && x == 0)
                    b = 10, g = 20, r = 31;
                else if (file_row == 0)
                    b = g = r = 255;
                else if (x == 0)
                    b = g = r = 0;
                else
                    b = static_cast<std::uint8_t>(40 * x), g = 3, r = 200;
                bmp.rows.insert(bmp.rows.end(), {b, g, r});
                expected[(1 - file_row) * width + x] = (b + g + r) / 3;
            }
            for (int p = 0; p < (4 - 3 * width % 4) % 4; ++p)
                bmp.rows.push_back(0xEE); // padding must never become a pixel
        }
        ASSERT_EQ(bmp.rows.size() % 4, 0u);
        gray_image.depth = 1;
        ASSERT_NE(read(bmp.bytes()), 0);
        EXPECT_EQ(gray_image.width, width);
        EXPECT_EQ(gray_image.height, 2);
        EXPECT_EQ(gray_image.depth, 8);
        EXPECT_EQ(pixels(), expected);
        EXPECT_EQ(gray_image.pixels[width], 20); // (10 + 20 + 31) / 3, truncated
    }
}

TEST_F(BmpRead, OneBitPaletteOrderAndBrightnessTie) {
    struct Case {
        Bytes table;
        int bit0, bit1;
    };
    const Case cases[] = {
        {palette(0, 0, 0, 255, 255, 255), 0, 255},   // entry 0 black
        {palette(255, 255, 255, 0, 0, 0), 255, 0},   // entry 0 white
        {palette(90, 0, 0, 0, 0, 90), 255, 0},       // equally bright: entry 0 is light
        {palette(10, 10, 10, 10, 10, 11), 0, 255},   // entry 1 one step brighter
    };
    for (const Case &c : cases) {
        for (std::uint32_t colours_used : {0u, 2u, 256u}) {
            Bmp bmp;
            bmp.bits = 1;
            bmp.width = 4;
            bmp.height = 2;
            bmp.colours_used = colours_used;
            bmp.table = c.table;
            // Bottom row 1,0,1,1 then top row 0,1,0,0; the rest of each word is noise.
            bmp.rows = {0xB7, 0xFF, 0xFF, 0xFF, 0x48, 0x00, 0x12, 0x34};
            ASSERT_NE(read(bmp.bytes()), 0);
            EXPECT_EQ(gray_image.depth, 1);
            const int a = c.bit0, b = c.bit1;
            EXPECT_EQ(pixels(), (std::vector<int>{a, b, a, a, b, a, b, b}));
        }
    }
}

TEST_F(BmpRead, OneBitWidth33UsesTwoWordsPerRowAndDropsTheRest) {
    Bmp bmp;
    bmp.bits = 1;
    bmp.width = 33;
    bmp.height = 2;
    bmp.table = palette(0, 0, 0, 255, 255, 255);
    // Bottom row: all 33 bits set, the low 31 bits of word two hold zeros.
    // Top row: alternating bits, pixel 32 clear, the low 31 bits all set.
    bmp.rows = {0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00,
                0xAA, 0xAA, 0xAA, 0xAA, 0x7F, 0xFF, 0xFF, 0xFF};
    ASSERT_NE(read(bmp.bytes()), 0);
    ASSERT_EQ(gray_image.width, 33);
    for (int x = 0; x < 33; ++x) {
        EXPECT_EQ(gray_image.pixels[x], x < 32 && x % 2 == 0 ? 255 : 0) << x;
        EXPECT_EQ(gray_image.pixels[33 + x], 255) << x;
    }
}

TEST_F(BmpRead, PixelsComeFromTheDataOffsetBehindAColourTable) {
    Bmp bmp;
    bmp.width = 2;
    bmp.height = 1;
    bmp.table.assign(1024, 0x11); // a 256-entry table nobody should read as pixels
    bmp.rows = {30, 60, 90, 255, 255, 255, 0, 0};
    ASSERT_NE(read(bmp.bytes()), 0);
    EXPECT_EQ(pixels(), (std::vector<int>{60, 255}));
}

TEST_F(BmpRead, NegativeHeightIsTopDown) {
    Bmp bmp;
    bmp.width = 1;
    bmp.height = -3;
    bmp.rows = {0, 0, 0, 0, 90, 90, 90, 0, 255, 255, 255, 0};
    ASSERT_NE(read(bmp.bytes()), 0);
    EXPECT_EQ(gray_image.height, 3);
    EXPECT_EQ(pixels(), (std::vector<int>{0, 90, 255}));

    bmp.bits = 1;
    bmp.table = palette(0, 0, 0, 255, 255, 255);
    bmp.rows = {0x80, 0, 0, 0, 0x00, 0, 0, 0, 0x80, 0, 0, 0};
    ASSERT_NE(read(bmp.bytes()), 0);
    EXPECT_EQ(pixels(), (std::vector<int>{255, 0, 255}));
}

TEST_F(BmpRead, RejectsOtherLayoutsWithoutText) {
    auto with = [](auto change) {
        Bmp bmp;
        bmp.width = 2;
        bmp.height = 2;
        bmp.rows.assign(16, 0x80);
        change(bmp);
        return bmp.bytes();
    };
    expect_refused(read(with([](Bmp &b) { b.header_size = 12; })));
    expect_refused(read(with([](Bmp &b) { b.header_size = 108; })));
    expect_refused(read(with([](Bmp &b) { b.header_size = 124; })));
    expect_refused(read(with([](Bmp &b) { b.planes = 0; })));
    expect_refused(read(with([](Bmp &b) { b.planes = 2; })));
    // No such depth; colour tables that are not in the file.
    for (std::uint32_t bits : {0u, 4u, 8u, 7u, 48u})
        expect_refused(read(with([bits](Bmp &b) { b.bits = bits; })));
    // Codings that do not go with 24 bits per pixel.
    for (std::uint32_t compression : {1u, 2u, 3u, 4u, 5u})
        expect_refused(read(with([compression](Bmp &b) { b.compression = compression; })));
    // The same file with a sound header is read, and so are its rows taken
    // as 16- and 32-bit pixels.
    EXPECT_NE(read(with([](Bmp &) {})), 0);
    for (std::uint32_t bits : {16u, 32u}) {
        EXPECT_NE(read(with([bits](Bmp &b) { b.bits = bits; })), 0) << bits;
        EXPECT_EQ(gray_image.depth, 8);
    }
}

TEST_F(BmpRead, TruncatedFilesFailAtEveryLength) {
    for (int bits : {24, 1}) {
        Bmp bmp;
        bmp.bits = static_cast<std::uint32_t>(bits);
        bmp.width = 5;
        bmp.height = 3;
        if (bits == 1)
            bmp.table = palette(0, 0, 0, 255, 255, 255);
        bmp.rows.assign(bits == 1 ? 12 : 48, 0x55);
        const Bytes whole = bmp.bytes();
        for (std::size_t n = 2; n < whole.size(); ++n) {
            SCOPED_TRACE(n);
            expect_refused(read(Bytes(whole.begin(), whole.begin() + static_cast<long>(n))));
        }
        EXPECT_NE(read(whole), 0);
    }
}

TEST_F(BmpRead, AbsurdGeometryFailsBeforeAllocating) {
    struct Case {
        std::int32_t width, height;
    };
    const Case cases[] = {
        {0, 4},          {4, 0},          {-4, 4},       {INT32_MIN, 1},
        {1, INT32_MIN},  {INT32_MAX, INT32_MAX}, {65536, 65536}, {16385, 16384},
        {100000, 3},     // fits in memory, but the rows cannot be in this small file
    };
    for (const Case &c : cases) {
        for (std::uint32_t bits : {24u, 1u}) {
            SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << ", " << bits);
            Bmp bmp;
            bmp.bits = bits;
            bmp.width = c.width;
            bmp.height = c.height;
            bmp.table = palette(0, 0, 0, 255, 255, 255);
            bmp.rows.assign(64, 0);
            expect_refused(read(bmp.bytes()));
        }
    }
    // A file long enough for its rows (a sparse one) but of more than 2^28
    // pixels is refused all the same.
    Bmp big;
    big.width = 16385;
    big.height = 16384;
    const std::string p = write("big.bmp", big.bytes());
    ASSERT_EQ(truncate(p.c_str(), 54 + 49156LL * 16384), 0);
    expect_refused(read_image(p.c_str()));

    // A data offset at the end of the file leaves no room for any row.
    Bmp bmp;
    bmp.rows = {1, 2, 3, 0};
    Bytes b = bmp.bytes();
    b[10] = static_cast<std::uint8_t>(b.size());
    expect_refused(read(b));
}

TEST_F(ReadImage, DispatchByLeadingBytes) {
    // A failure with a text first, so that the later empty messages prove
    // that every read starts by emptying it.
    const std::string avi = write("film.bmp", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '});
    EXPECT_EQ(read_image(avi.c_str()), 0);
    EXPECT_EQ(read_message, "file " + avi + " is not BMP,JPEG.\n");

    for (const Bytes &tiny : {Bytes{}, Bytes{'B'}, Bytes{'B', 'M'}, Bytes{'G', 'I', 'F'}}) {
        EXPECT_EQ(read_image(write("tiny", tiny).c_str()), 0);
        EXPECT_STREQ(read_message, "");
        EXPECT_EQ(read_image(avi.c_str()), 0); // put a text back for the next case
    }

    const std::string gifx = write("gifx.gif", {'G', 'I', 'F', '9', '8', '9', 'a', 0, 0});
    EXPECT_EQ(read_image(gifx.c_str()), 0);
    EXPECT_EQ(read_message, "file " + gifx + " is not BMP,JPEG.\n");

    EXPECT_EQ(read_image(write("garbage.gif", {'B', 'M', 1, 2, 3, 4, 5, 6, 7}).c_str()), 0);
    EXPECT_STREQ(read_message, "");
    EXPECT_EQ(read_image(avi.c_str()), 0);
    EXPECT_EQ(read_image(write("garbage.bmp", {0xFF, 0xD8, 1, 2, 3, 4, 5, 6, 7}).c_str()), 0);
    EXPECT_STREQ(read_message, "");

    // The extension means nothing: a BMP named .png is read as a BMP.
    Bmp bmp;
    bmp.rows = {0, 0, 255, 0};
    gray_image.depth = 1;
    EXPECT_NE(read_image(write("really_a_bmp.png", bmp.bytes()).c_str()), 0);
    EXPECT_EQ(gray_image.depth, 8);
    EXPECT_EQ(gray_image.pixels[0], 85);
}

TEST_F(ReadImage, PathIsAnArgumentOfTheMessageNeverItsFormat) {
    const std::string odd = write("100%s%d%n.txt", {'n', 'o', 't', ' ', 'a', 'n', 'y'});
    EXPECT_EQ(read_image(odd.c_str()), 0);
    EXPECT_EQ(read_message, "file " + odd + " is not BMP,JPEG.\n");

    const std::string missing = path("no such %s file.bmp");
    EXPECT_EQ(read_image(missing.c_str()), 0);
    EXPECT_EQ(read_message, "file " + missing + " open error.\n");

    // A text longer than the buffer is cut to 1023 characters.
    const std::string long_path = path(std::string(1100, 'x'));
    EXPECT_EQ(read_image(long_path.c_str()), 0);
    EXPECT_EQ(std::string(read_message), ("file " + long_path).substr(0, 1023));
}

TEST_F(ReadImage, ReleaseImageFreesAndForgetsThePixels) {
    Bmp bmp;
    bmp.width = 3;
    bmp.height = 2;
    bmp.rows.assign(24, 0x40);
    ASSERT_NE(read(bmp.bytes()), 0);
    ASSERT_NE(gray_image.pixels, nullptr);
    release_image();
    EXPECT_EQ(gray_image.pixels, nullptr);
    EXPECT_EQ(gray_image.width, 3);
    EXPECT_EQ(gray_image.height, 2);
    release_image(); // nothing held: nothing happens
    EXPECT_EQ(gray_image.pixels, nullptr);
}

} // namespace
