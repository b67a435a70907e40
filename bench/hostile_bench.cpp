// Decode time per megapixel on 4000 x 3000 pictures full of eye pattern
// look-alikes, against a photo-like picture of the same size. Neither holds
// a symbol, so every decode runs all seven binarisation passes.
//
//   hostile_bench [REPEATS] [PICTURE]
//
// REPEATS (default 3) decodes per picture, the fastest counts. PICTURE runs
// only the named picture (for a profiler): photo, field-2, field-4,
// field-jitter, noise, stripes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <vantor/vantor.h>

#include "hostile_images.h"
#include "qr_symbols.h"

using namespace vantor::testing;

namespace {

constexpr int width = 4000;
constexpr int height = 3000;

struct Case {
    const char *name;
    Picture (*make)();
};

const Case cases[] = {
    {"photo", [] { return photo_like(width, height, 11); }},
    {"field-2", [] { return eye_field(width, height, 2, 2); }},
    {"field-4", [] { return eye_field(width, height, 4, 3); }},
    {"field-jitter", [] { return eye_field(width, height, 2, 2, 3, 5); }},
    {"noise", [] { return render_noise(width, height, "noise", 12); }},
    {"stripes", [] { return render_noise(width, height, "stripes", 13); }},
};

// Fastest of `repeats` decodes, milliseconds per megapixel.
double ms_per_megapixel(const Picture &p, int repeats) {
    double best = 1e300;
    for (int i = 0; i < repeats; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const char *text = decode_image(p.pixels.data(), p.width, p.height, 8, nullptr);
        const auto stop = std::chrono::steady_clock::now();
        if (text)
            std::printf("  (decoded a text: %s)\n", text);
        best = std::min(best, std::chrono::duration<double, std::milli>(stop - start).count());
    }
    return best / (static_cast<double>(p.width) * p.height / 1e6);
}

} // namespace

int main(int argc, char **argv) {
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const char *only = argc > 2 ? argv[2] : nullptr;
    double photo = 0;
    double worst = 0;
    const char *worst_name = "";
    for (const Case &c : cases) {
        if (only && std::strcmp(only, c.name) != 0)
            continue;
        const Picture p = c.make();
        if (p.pixels.empty()) {
            std::fprintf(stderr, "hostile_bench: cannot make %s\n", c.name);
            return 1;
        }
        const double ms = ms_per_megapixel(p, repeats);
        std::printf("%-13s %8.2f ms/MP\n", c.name, ms);
        std::fflush(stdout);
        if (std::strcmp(c.name, "photo") == 0) {
            photo = ms;
        } else if (ms > worst) {
            worst = ms;
            worst_name = c.name;
        }
    }
    if (photo > 0 && worst > 0)
        std::printf("worst / photo: %.2f (%s)\n", worst / photo, worst_name);
    return 0;
}
