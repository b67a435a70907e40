// Writes a batch of photo-like pictures for timing the reader's -j
// (scripts/bench-batch.sh): symbols of versions 2 to 10, turned, blurred,
// noisy and unevenly lit on 900 x 900 canvases, as JPEG files. With
// "mixed", every other picture is instead a clean upright symbol of
// versions 1 to 20 as a 24-bit BMP (scripts/bench-cli.sh).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "qr_symbols.h"

using namespace vantor::testing;

int main(int argc, char **argv) {
    if (argc < 2 || argc > 4 || (argc == 4 && std::string(argv[3]) != "mixed")) {
        std::fprintf(stderr, "usage: make_batch DIR [COUNT [mixed]]\n");
        return 64;
    }
    const std::string dir = argv[1];
    const int count = argc > 2 ? std::atoi(argv[2]) : 100;
    const bool mixed = argc == 4;
    for (int k = 0; k < count; ++k) {
        if (mixed && k % 2 == 1) {
            const auto clean = make_symbol("clean batch picture " + std::to_string(k), 1 + k % 20, Level::M, Mode::byte);
            RenderOptions o;
            o.module_px = 3 + k % 4;
            const std::string path = dir + "/c" + std::to_string(1000 + k) + ".bmp";
            if (!clean || !write_bmp24(path, render(*clean, o))) {
                std::fprintf(stderr, "make_batch: cannot write %s\n", path.c_str());
                return 1;
            }
            continue;
        }
        const auto symbol = make_symbol("batch picture " + std::to_string(k), 2 + k % 9, Level::M, Mode::byte);
        RenderOptions o;
        o.module_px = 4 + k % 5;
        o.rotation_deg = (k * 37) % 360;
        o.canvas_width = 900;
        o.canvas_height = 900;
        o.noise_sigma = 12;
        o.blur_sigma = 0.8;
        o.light_gradient = 0.3;
        o.seed = static_cast<std::uint32_t>(k);
        const std::string path = dir + "/b" + std::to_string(1000 + k) + ".jpg";
        if (!symbol || !write_jpeg(path, render(*symbol, o), 85)) {
            std::fprintf(stderr, "make_batch: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
