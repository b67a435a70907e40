// Arbitrary file contents through read_image (the leading bytes pick the
// reader) and through vantor_image_read, which must agree, then whatever
// image they read through decode_image. Besides the sanitizers' findings, a
// read that breaks the readers' promises aborts.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <vantor/image.h>
#include <vantor/vantor.h>

#include "fuzz_input.h"

namespace {

void check(bool ok, const char *what) { vantor::fuzzing::check("fuzz_read_image", ok, what); }

// Descriptors open among the first few; a reader that leaves its file open
// changes the count.
int open_descriptors() {
    int n = 0;
    for (int fd = 0; fd < 64; ++fd)
        if (fcntl(fd, F_GETFD) != -1)
            ++n;
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const vantor::fuzzing::InputFile input("vantor-fuzz-", ".img", data, size);
    if (!input.written())
        return 0;
    const std::string &path = input.path();

    const int descriptors = open_descriptors();
    const int ok = read_image(path.c_str());
    // The message is always a terminated text, empty or ending in a line feed.
    const std::size_t length = strnlen(read_message, sizeof read_message);
    check(length < sizeof read_message, "read_message is not terminated");
    check(length == 0 || read_message[length - 1] == '\n', "read_message does not end in a line feed");
    if (ok) {
        check(gray_image.pixels != nullptr, "success without pixels");
        check(gray_image.width > 0 && gray_image.height > 0, "success with an empty size");
        check(gray_image.depth == 1 || gray_image.depth == 8, "depth neither 1 nor 8");
        const std::size_t n = static_cast<std::size_t>(gray_image.width) * gray_image.height;
        if (gray_image.depth == 1)
            for (std::size_t i = 0; i < n; ++i)
                check(gray_image.pixels[i] == 0 || gray_image.pixels[i] == 255,
                      "a two-level image with a grey pixel");
        // Large canvases are legal but make each run slow; the decoder's own
        // bounds are exercised by the grey-image target.
        if (n <= (std::size_t{1} << 20)) {
            const char *text = decode_image(gray_image.pixels, gray_image.width,
                                            gray_image.height, gray_image.depth, nullptr);
            check(!text || std::strlen(text) < 7090, "text longer than the result buffer");
        }
    }

    vantor_read_error error;
    vantor_image *image = vantor_image_read(path.c_str(), &error);
    // PDF documents: the classic route refuses them, the reentrant one
    // renders a page or names the file in its refusal.
    if (size >= 4 && std::memcmp(data, "%PDF", 4) == 0) {
        check(!ok, "the classic route read a PDF document");
        check((error.status == VANTOR_READ_OK) == (image != nullptr), "status and image disagree");
        if (!image && error.status == VANTOR_READ_DAMAGED)
            check(std::strstr(error.message, path.c_str()) != nullptr, "a damaged document without its name");
        if (image)
            check(vantor_image_width(image) > 0 && vantor_image_height(image) > 0 &&
                      std::string(vantor_image_format(image)) == "PDF",
                  "a document page without a size");
        vantor_image_free(image);
        release_image();
        check(open_descriptors() == descriptors, "the reader left a file open");
        return 0;
    }
    // The reentrant route: the same outcome, text and image.
    check((image != nullptr) == (ok != 0), "the two routes disagree on success");
    check((error.status == VANTOR_READ_OK) == (image != nullptr), "status and image disagree");
    // The same text, except where the reentrant route says more: a damaged
    // file the classic route leaves without a text, a file of no format read
    // (the reentrant text lists the formats), and a refused PNG size (the
    // reentrant text says whether the picture is too large or the file cut
    // short). Those texts still name the file, and a file too short to tell
    // its format gets no text on either route.
    const bool names_file = std::strstr(error.message, path.c_str()) != nullptr;
    if (read_message[0] == '\0' && error.status == VANTOR_READ_DAMAGED)
        check(names_file, "a damaged file without a text that names it");
    else if (error.status == VANTOR_READ_UNKNOWN_FORMAT || std::strstr(read_message, "is too large or cut short"))
        check((read_message[0] == '\0') == (error.message[0] == '\0') && (error.message[0] == '\0' || names_file),
              "the reentrant text does not name the file");
    else
        check(std::strcmp(error.message, read_message) == 0, "the two routes give different texts");
    if (image) {
        check(vantor_image_width(image) == gray_image.width && vantor_image_height(image) == gray_image.height &&
                  vantor_image_depth(image) == gray_image.depth,
              "the two routes give different sizes");
        const std::size_t n = static_cast<std::size_t>(gray_image.width) * gray_image.height;
        check(std::memcmp(vantor_image_pixels(image), gray_image.pixels, n) == 0,
              "the two routes give different pixels");
        check(vantor_image_page_count(image) >= 1, "no pages");
        const char *warnings = vantor_image_warnings(image);
        const std::size_t w = std::strlen(warnings);
        check(w == 0 || warnings[w - 1] == '\n', "warnings do not end in a line feed");
    }
    vantor_image_free(image);
    release_image();
    check(open_descriptors() == descriptors, "the reader left a file open");
    return 0;
}
