// Writes the example pictures of examples/ into the directory it is given.
#include <cstdio>
#include <string>

#include "qr_symbols.h"

using namespace vantor::testing;

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_examples DIR\n");
        return 64;
    }
    const std::string dir = argv[1];
    const auto hello = make_symbol("Hello, Vantor!", 0, Level::M, Mode::byte);
    // Shift JIS for "日本語のテキスト", all in kanji mode.
    const auto kanji = make_symbol("\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x83\x65\x83\x4c\x83\x58\x83\x67",
                                   0, Level::M, Mode::kanji);
    if (!hello || !kanji) {
        std::fprintf(stderr, "make_examples: encoding failed\n");
        return 1;
    }
    RenderOptions straight;
    RenderOptions tilted;
    tilted.rotation_deg = 3;
    RenderOptions photo = tilted;
    photo.blur_sigma = 0.6;
    photo.noise_sigma = 4;
    photo.light_gradient = 0.2;

    const bool ok = write_bmp24(dir + "/hello.bmp", render(*hello, tilted)) &&
                    write_bmp1(dir + "/hello-1bit.bmp", render(*hello, straight)) &&
                    write_bmp24(dir + "/kanji.bmp", render(*kanji, straight)) &&
                    write_jpeg(dir + "/hello.jpg", render(*hello, photo), 85) &&
                    write_gif(dir + "/hello.gif", render(*hello, straight));
    if (!ok) {
        std::fprintf(stderr, "make_examples: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
