// Writes a batch of pictures for timing whole runs of the reader
// (scripts/bench-batch.sh, scripts/bench-cli.sh). With no kind: photo-like
// symbols of versions 2 to 10, turned, blurred, noisy and unevenly lit on
// 900 x 900 canvases, as JPEG files. The kinds:
//   mixed        every other picture instead a clean upright symbol of
//                versions 1 to 20 as a 24-bit BMP;
//   none         photo-like scenes without a symbol, 0.3 to 3 MP, as JPEG
//                files, one in eight dense noise;
//   perspective  symbols of versions 2 to 20 under strong keystone, turned,
//                with a little blur and noise, as JPEG files;
//   textured     1024 x 768 scenes without a symbol strewn with eye pattern
//                look-alikes (nested squares of uneven rings, some broken
//                open, tiles and specks), as JPEG files.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "qr_symbols.h"

using namespace vantor::testing;

namespace {

bool write(const std::string &path, const std::optional<Picture> &picture, bool bmp) {
    const bool ok = picture && (bmp ? write_bmp24(path, *picture) : write_jpeg(path, *picture, 85));
    if (!ok)
        std::fprintf(stderr, "make_batch: cannot write %s\n", path.c_str());
    return ok;
}

std::optional<Picture> photo_like(int k) {
    const auto symbol = make_symbol("batch picture " + std::to_string(k), 2 + k % 9, Level::M, Mode::byte);
    if (!symbol)
        return std::nullopt;
    RenderOptions o;
    o.module_px = 4 + k % 5;
    o.rotation_deg = (k * 37) % 360;
    o.canvas_width = 900;
    o.canvas_height = 900;
    o.noise_sigma = 12;
    o.blur_sigma = 0.8;
    o.light_gradient = 0.3;
    o.seed = static_cast<std::uint32_t>(k);
    return render(*symbol, o);
}

std::optional<Picture> clean(int k) {
    const auto symbol = make_symbol("clean batch picture " + std::to_string(k), 1 + k % 20, Level::M, Mode::byte);
    if (!symbol)
        return std::nullopt;
    RenderOptions o;
    o.module_px = 3 + k % 4;
    return render(*symbol, o);
}

std::optional<Picture> without_symbol(int k) {
    static constexpr int sizes[][2] = {{640, 480}, {1024, 768}, {1280, 960}, {1600, 1200}, {2048, 1536}};
    const auto &size = sizes[k % 5];
    const Picture p = render_noise(size[0], size[1], k % 8 == 7 ? "noise" : "scene", static_cast<std::uint32_t>(k));
    return p.width ? std::optional<Picture>(p) : std::nullopt;
}

std::optional<Picture> textured(int k) {
    const Picture p = render_lookalikes(1024, 768, static_cast<std::uint32_t>(k));
    return p.width ? std::optional<Picture>(p) : std::nullopt;
}

std::optional<Picture> in_perspective(int k) {
    std::mt19937 rng(static_cast<std::uint32_t>(k));
    const int version = 2 + k % 19;
    const auto symbol = make_symbol("perspective " + std::to_string(k), version, Level::M, Mode::byte);
    if (!symbol)
        return std::nullopt;
    RenderOptions o;
    o.module_px = std::uniform_real_distribution<double>(3.0, 6.0)(rng);
    o.rotation_deg = std::uniform_real_distribution<double>(0, 360)(rng);
    // Keystone of 0.15 to 0.3 across half the symbol.
    const double half = (symbol->size + 8) * o.module_px / 2;
    o.perspective = std::uniform_real_distribution<double>(0.15, 0.3)(rng) / half;
    o.blur_sigma = 0.6;
    o.noise_sigma = 6;
    o.seed = static_cast<std::uint32_t>(k);
    return render(*symbol, o);
}

} // namespace

int main(int argc, char **argv) {
    const std::string kind = argc == 4 ? argv[3] : "";
    if (argc < 2 || argc > 4 || (argc == 4 && kind != "mixed" && kind != "none" && kind != "perspective" &&
                                      kind != "textured")) {
        std::fprintf(stderr, "usage: make_batch DIR [COUNT [mixed|none|perspective|textured]]\n");
        return 64;
    }
    const std::string dir = argv[1];
    const int count = argc > 2 ? std::atoi(argv[2]) : 100;
    for (int k = 0; k < count; ++k) {
        const std::string stem = dir + "/" + std::to_string(1000 + k);
        bool ok;
        if (kind == "mixed" && k % 2 == 1)
            ok = write(stem + "c.bmp", clean(k), true);
        else if (kind == "none")
            ok = write(stem + "n.jpg", without_symbol(k), false);
        else if (kind == "textured")
            ok = write(stem + "t.jpg", textured(k), false);
        else if (kind == "perspective")
            ok = write(stem + "p.jpg", in_perspective(k), false);
        else
            ok = write(stem + "b.jpg", photo_like(k), false);
        if (!ok)
            return 1;
    }
    return 0;
}
