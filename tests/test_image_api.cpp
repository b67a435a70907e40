// The reentrant image interface: why a read failed, with the same text as
// read_message; warnings collected instead of printed; images owned by the
// caller; reads on many threads at once giving what one thread gives.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include <vantor/image.h>
#include <vantor/vantor.h>

#include "format_files.h"
#include "qr_symbols.h"

namespace vt = vantor::testing;
using vt::Bytes;

namespace {

// Everything written to the standard error stream (descriptor 2) while it
// lives.
class StderrCapture {
public:
    StderrCapture() {
        std::fflush(stderr);
        saved_ = dup(2);
        file_ = std::tmpfile();
        dup2(fileno(file_), 2);
    }
    ~StderrCapture() {
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        std::fclose(file_);
    }
    std::string text() {
        std::fflush(stderr);
        std::string s;
        std::rewind(file_);
        for (int c; (c = std::getc(file_)) != EOF;)
            s += static_cast<char>(c);
        return s;
    }

private:
    int saved_ = -1;
    std::FILE *file_ = nullptr;
};

class ImageApi : public ::testing::Test {
protected:
    std::string write(const std::string &name, const Bytes &bytes) {
        const std::string path = dir.path() + "/" + name;
        EXPECT_TRUE(vt::write_bytes(path, bytes));
        return path;
    }

    // Reads through the interface, which must fail with `status`, and with
    // the text read_image leaves for the same file.
    void expect_failure(const std::string &path, vantor_read_status status) {
        SCOPED_TRACE(path);
        vantor_read_error error;
        std::strcpy(error.message, "stale");
        EXPECT_EQ(vantor_image_read(path.c_str(), &error), nullptr);
        EXPECT_EQ(error.status, status) << vantor_read_status_text(error.status);
        EXPECT_EQ(read_image(path.c_str()), 0);
        // The classic text where there is one, but for a file of no known
        // format, where the classic text names only two formats; where the
        // classic reader is silent, a damaged file still gets a text naming it.
        if (status == VANTOR_READ_UNKNOWN_FORMAT && read_message[0] != '\0') {
            EXPECT_EQ(std::string(read_message), "file " + path + " is not BMP,JPEG.\n");
            EXPECT_EQ(std::string(error.message),
                      "file " + path + " is not an image format Vantor reads (" VANTOR_IMAGE_FORMATS ").\n");
        } else if (read_message[0] != '\0' || status != VANTOR_READ_DAMAGED)
            EXPECT_STREQ(error.message, read_message);
        else
            EXPECT_EQ(std::string(error.message).rfind("file " + path + ": ", 0), 0u) << error.message;
        release_image();
        EXPECT_EQ(vantor_image_read(path.c_str(), nullptr), nullptr); // no error record: fine
    }

    static vt::Picture symbol_picture(const char *text) {
        const auto symbol = vt::make_symbol(text, 2, vt::Level::M, vt::Mode::byte);
        vt::RenderOptions o;
        o.module_px = 3;
        return vt::render(*symbol, o);
    }

    vt::TempDir dir{"image_api"};
};

TEST_F(ImageApi, EachKindOfFailureHasItsStatusAndTheClassicText) {
    const std::string missing = dir.path() + "/missing.png";
    expect_failure(missing, VANTOR_READ_NO_SUCH_FILE);
    vantor_read_error error;
    EXPECT_EQ(vantor_image_read(missing.c_str(), &error), nullptr);
    EXPECT_EQ(std::string(error.message), "file " + missing + " open error.\n");
    expect_failure(write("plain", {'x'}) + "/inside", VANTOR_READ_NO_SUCH_FILE);

    expect_failure(dir.path(), VANTOR_READ_IS_DIRECTORY);
    expect_failure(write("empty.bmp", {}), VANTOR_READ_EMPTY_FILE);
    expect_failure(write("short.bmp", {'B', 'M'}), VANTOR_READ_DAMAGED);
    expect_failure(write("short.txt", {'a', 'b', 'c'}), VANTOR_READ_UNKNOWN_FORMAT);
    expect_failure(write("notes.txt", {'n', 'o', 't', 'e', 's'}), VANTOR_READ_UNKNOWN_FORMAT);
    expect_failure(write("sound.wav", {'R', 'I', 'F', 'F', 9, 0, 0, 0, 'W', 'A', 'V', 'E', 0}),
                   VANTOR_READ_UNKNOWN_FORMAT);

    // Damaged files of each format; the newer formats' texts name the file.
    const vt::Picture p = symbol_picture("damaged");
    const Bytes png = vt::png_bytes(p);
    const std::string cut_png = write("cut.png", Bytes(png.begin(), png.begin() + 100));
    expect_failure(cut_png, VANTOR_READ_DAMAGED);
    EXPECT_EQ(vantor_image_read(cut_png.c_str(), &error), nullptr);
    EXPECT_EQ(std::string(error.message), "file " + cut_png + ": damaged PNG image (Read Error).\n");
    const Bytes tiff = vt::tiff_bytes(p);
    expect_failure(write("cut.tif", Bytes(tiff.begin(), tiff.begin() + 6)), VANTOR_READ_DAMAGED);
    const Bytes webp = vt::webp_bytes(p, true);
    expect_failure(write("cut.webp", Bytes(webp.begin(), webp.begin() + 40)), VANTOR_READ_DAMAGED);
    expect_failure(write("cut.pgm", {'P', '5', ' ', '4', ' ', '4', ' ', '2', '5', '5', ' ', 1, 2}), VANTOR_READ_DAMAGED);
    const Bytes bmp = vt::bmp24_bytes(p);
    expect_failure(write("cut.bmp", Bytes(bmp.begin(), bmp.begin() + 80)), VANTOR_READ_DAMAGED);
    EXPECT_STREQ(read_message, ""); // the classic readers' failures keep their empty texts
    const Bytes gif = vt::gif_bytes(p);
    expect_failure(write("cut.gif", Bytes(gif.begin(), gif.begin() + 10)), VANTOR_READ_DAMAGED);

    // Arguments: no path, a negative page, a second page of a one-image format.
    EXPECT_EQ(vantor_image_read(nullptr, &error), nullptr);
    EXPECT_EQ(error.status, VANTOR_READ_INVALID_ARGUMENT);
    const std::string good = write("good.png", png);
    EXPECT_EQ(vantor_image_read_page(good.c_str(), -1, &error), nullptr);
    EXPECT_EQ(error.status, VANTOR_READ_INVALID_ARGUMENT);
    EXPECT_EQ(vantor_image_read_page(good.c_str(), 1, &error), nullptr);
    EXPECT_EQ(error.status, VANTOR_READ_INVALID_ARGUMENT);
    EXPECT_EQ(std::string(error.message), "file " + good + " has no page 2: it holds one image.\n");
    vantor_image *image = vantor_image_read(good.c_str(), &error);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(error.status, VANTOR_READ_OK);
    EXPECT_STREQ(error.message, "");
    EXPECT_EQ(vantor_image_page_count(image), 1);
    vantor_image_free(image);
}

TEST_F(ImageApi, PermissionDenied) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    const std::string locked = write("locked.png", vt::png_bytes(symbol_picture("locked")));
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    expect_failure(locked, VANTOR_READ_PERMISSION_DENIED);
}

TEST_F(ImageApi, StatusTextsAreDistinct) {
    std::vector<std::string> seen;
    for (int s = VANTOR_READ_OK; s <= VANTOR_READ_INVALID_ARGUMENT; ++s) {
        const char *text = vantor_read_status_text(static_cast<vantor_read_status>(s));
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), text), 0) << text;
        seen.push_back(text);
    }
    EXPECT_STREQ(vantor_read_status_text(VANTOR_READ_IS_DIRECTORY), "is a directory");
    EXPECT_NE(vantor_read_status_text(static_cast<vantor_read_status>(99)), nullptr);
}

// A PNG whose text chunk has a wrong checksum (libpng warns and drops it).
Bytes png_with_bad_text_chunk(const vt::Picture &p) {
    Bytes png = vt::png_bytes(p);
    const Bytes chunk = {0, 0, 0, 4, 't', 'E', 'X', 't', 'a', 0, 'b', 'c', 0xDE, 0xAD, 0xBE, 0xEF};
    png.insert(png.begin() + 33, chunk.begin(), chunk.end()); // behind the header chunk
    return png;
}

// A TIFF whose first tag is renumbered to one nobody knows (libtiff warns
// about it, and about the tags' order).
Bytes tiff_with_unknown_tag(const vt::Picture &p) {
    Bytes tiff = vt::tiff_bytes(p);
    const std::size_t ifd = tiff[4] | tiff[5] << 8 | tiff[6] << 16 | std::size_t(tiff[7]) << 24;
    tiff[ifd + 2] = 0xE8; // tag 65000
    tiff[ifd + 3] = 0xFD;
    return tiff;
}

TEST_F(ImageApi, WarningsAreCollectedNeverPrinted) {
    const vt::Picture p = symbol_picture("warned");
    const Bytes jpeg = vt::jpeg_bytes(p, 90);
    struct Case {
        const char *name;
        Bytes bytes;
        const char *warning;
    };
    const Case cases[] = {
        {"cut.jpg", Bytes(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() * 2 / 3)),
         "JPEG: Premature end of JPEG file\n"},
        {"text.png", png_with_bad_text_chunk(p), "PNG: tEXt: CRC error\n"},
        {"tag.tif", tiff_with_unknown_tag(p), "TIFF: "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = write(c.name, c.bytes);
        StderrCapture err;
        vantor_read_error error;
        vantor_image *image = vantor_image_read(path.c_str(), &error);
        ASSERT_NE(image, nullptr) << error.message;
        const std::string warnings = vantor_image_warnings(image);
        EXPECT_NE(warnings.find(c.warning), std::string::npos) << warnings;
        EXPECT_EQ(warnings.back(), '\n');
        EXPECT_EQ(err.text(), "");
        // The same pixels as the classic route.
        ASSERT_NE(read_image(path.c_str()), 0);
        EXPECT_EQ(std::memcmp(gray_image.pixels, vantor_image_pixels(image), p.pixels.size()), 0);
        release_image();
        vantor_image_free(image);
    }
    // The classic route still lets the JPEG library print, as it always did.
    StderrCapture err;
    ASSERT_NE(read_image(write("cut.jpg", cases[0].bytes).c_str()), 0);
    release_image();
    EXPECT_EQ(err.text(), "Premature end of JPEG file\n");
}

TEST_F(ImageApi, FailuresPrintNothingEither) {
    const vt::Picture p = symbol_picture("quiet");
    const Bytes tiff = vt::tiff_bytes(p);
    const std::vector<Bytes> files = {{0xFF, 0xD8, 0xFF, 0xD9}, Bytes(tiff.begin(), tiff.begin() + 60),
                                      {'I', 'I', '*', 0, 0xFF, 0xFF, 0, 0}, {'P', '6', '\n', '#'}};
    StderrCapture err;
    for (const Bytes &b : files) {
        vantor_read_error error;
        EXPECT_EQ(vantor_image_read(write("bad", b).c_str(), &error), nullptr);
        EXPECT_EQ(error.status, VANTOR_READ_DAMAGED);
    }
    EXPECT_EQ(err.text(), "");
}

TEST_F(ImageApi, ImagesFromPixelsAndOwnership) {
    // Rows stride bytes apart are packed; two-level pixels become 0 and 255.
    const unsigned char rows[] = {1, 2, 3, 99, 4, 5, 6, 99};
    vantor_image *image = vantor_image_from_pixels(rows, 3, 2, 4, 8);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(vantor_image_width(image), 3);
    EXPECT_EQ(vantor_image_height(image), 2);
    EXPECT_EQ(vantor_image_depth(image), 8);
    EXPECT_EQ(vantor_image_page_count(image), 1);
    EXPECT_STREQ(vantor_image_warnings(image), "");
    EXPECT_EQ(std::vector<int>(vantor_image_pixels(image), vantor_image_pixels(image) + 6),
              (std::vector<int>{1, 2, 3, 4, 5, 6}));
    vantor_image_free(image);
    const unsigned char bits[] = {0, 1, 255, 0};
    image = vantor_image_from_pixels(bits, 2, 2, 2, 1);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(std::vector<int>(vantor_image_pixels(image), vantor_image_pixels(image) + 4),
              (std::vector<int>{0, 255, 255, 0}));
    vantor_image_free(image);

    EXPECT_EQ(vantor_image_from_pixels(nullptr, 3, 2, 3, 8), nullptr);
    EXPECT_EQ(vantor_image_from_pixels(rows, 0, 2, 3, 8), nullptr);
    EXPECT_EQ(vantor_image_from_pixels(rows, 3, -1, 3, 8), nullptr);
    EXPECT_EQ(vantor_image_from_pixels(rows, 3, 2, 2, 8), nullptr);
    EXPECT_EQ(vantor_image_from_pixels(rows, 3, 2, 3, 4), nullptr);

    vantor_image_free(nullptr);
    EXPECT_EQ(vantor_image_width(nullptr), 0);
    EXPECT_EQ(vantor_image_height(nullptr), 0);
    EXPECT_EQ(vantor_image_pixels(nullptr), nullptr);
    EXPECT_EQ(vantor_image_page_count(nullptr), 0);
    EXPECT_STREQ(vantor_image_warnings(nullptr), "");

    // An image read from a file stays valid after the file is gone, and
    // independent of the process-wide image.
    const std::string path = write("kept.png", vt::png_bytes(symbol_picture("kept")));
    image = vantor_image_read(path.c_str(), nullptr);
    ASSERT_NE(image, nullptr);
    const std::vector<unsigned char> before(vantor_image_pixels(image),
                                            vantor_image_pixels(image) + vantor_image_width(image) * vantor_image_height(image));
    std::remove(path.c_str());
    ASSERT_NE(read_image(write("other.bmp", vt::bmp24_bytes(vt::render_noise(30, 20, "noise"))).c_str()), 0);
    release_image();
    EXPECT_TRUE(std::equal(before.begin(), before.end(), vantor_image_pixels(image)));
    vantor_image_free(image);
}

TEST_F(ImageApi, ManyThreadsReadAtOnceAsOneDoes) {
    // Good and damaged files of every format, with warnings and without.
    const vt::Picture p = symbol_picture("threads");
    const Bytes jpeg = vt::jpeg_bytes(p);
    const Bytes tiff = vt::tiff_bytes(p, {8, true});
    std::vector<std::string> paths = {
        write("t.png", vt::png_bytes(p, {vt::PngColour::rgba, 16, true, true})),
        write("t.tif", tiff),
        write("warn.tif", tiff_with_unknown_tag(p)),
        write("bad.tif", Bytes(tiff.begin(), tiff.begin() + tiff.size() / 2)),
        write("t.webp", vt::webp_bytes(p, false)),
        write("t.pgm", vt::pnm_bytes(p, 2)),
        write("t.bmp", vt::bmp_bytes(p, {40, 4, 2})),
        write("cut.jpg", Bytes(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() / 2))),
        write("cmyk.jpg", vt::cmyk_jpeg_bytes(p, true)),
        write("t.gif", vt::gif_bytes(p)),
        write("text.png", png_with_bad_text_chunk(p)),
    };
    struct Outcome {
        vantor_read_status status;
        std::string message, warnings;
        std::vector<unsigned char> pixels;
        bool operator==(const Outcome &) const = default;
    };
    auto read = [](const std::string &path) {
        vantor_read_error error;
        vantor_image *image = vantor_image_read(path.c_str(), &error);
        Outcome o{error.status, error.message, "", {}};
        if (image) {
            o.warnings = vantor_image_warnings(image);
            o.pixels.assign(vantor_image_pixels(image),
                            vantor_image_pixels(image) + vantor_image_width(image) * vantor_image_height(image));
        }
        vantor_image_free(image);
        return o;
    };
    std::vector<Outcome> alone;
    for (const std::string &path : paths)
        alone.push_back(read(path));
    EXPECT_EQ(alone[3].status, VANTOR_READ_DAMAGED);
    EXPECT_NE(alone[2].warnings, "");

    constexpr int threads = 6, rounds = 4;
    std::vector<int> mismatches(threads, 0);
    StderrCapture err;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            for (int r = 0; r < rounds; ++r)
                for (std::size_t i = 0; i < paths.size(); ++i) {
                    const std::size_t k = (i + static_cast<std::size_t>(t)) % paths.size();
                    mismatches[t] += !(read(paths[k]) == alone[k]);
                }
        });
    for (std::thread &t : pool)
        t.join();
    EXPECT_EQ(std::accumulate(mismatches.begin(), mismatches.end(), 0), 0);
    EXPECT_EQ(err.text(), "");
}

} // namespace
