// Writes a batch of photo-like pictures for timing the reader's -j
// (scripts/bench-batch.sh): symbols of versions 2 to 10, turned, blurred,
// noisy and unevenly lit on 900 x 900 canvases, as JPEG files.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "qr_symbols.h"

using namespace vantor::testing;

int main(int argc, char **argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_batch DIR [COUNT]\n");
        return 64;
    }
    const std::string dir = argv[1];
    const int count = argc > 2 ? std::atoi(argv[2]) : 100;
    for (int k = 0; k < count; ++k) {
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
