// Sweeps generated symbols seen at a slant through the reader and prints
// counts (not a test; run by hand): one symbol of versions 1-10 on a card
// photographed at an angle, so that it is squeezed along one direction of
// the picture (to 45-90% of its width), turned any way, with a keystone,
// blur, noise and uneven light, through a JPEG file. Each picture is read at
// every effort asked for; the counts (read right, wrong, no text) and the
// CPU time are printed per squeeze, so builds and efforts compare case for
// case.
// usage: slant_sweep [--effort NAME]... [--versions LO-HI] [--count N]
//                    [--seed N] [--list] [--keep DIR]
// --keep DIR writes every picture there as imageNNN.jpg with its text in
// imageNNN.expect, for other readers and other builds.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <vantor/vantor.h>

#include "qr_symbols.h"
#include "sweep_reading.h"

namespace {

using namespace vantor::testing;

struct Case {
    int version;
    double squeeze; // the width left across the squeezed direction
    RenderOptions render;
    int quality;
    std::string text;
};

// Squeezes from 45% to 90%, in the bands the counts are printed by.
constexpr double squeeze_bands[] = {0.45, 0.6, 0.75, 0.9};

std::vector<Case> make_cases(int lo, int hi, int count, std::uint32_t seed) {
    std::vector<Case> cases;
    Lcg r{seed};
    for (int k = 0; k < count; ++k) {
        Case c;
        c.version = lo + k % (hi - lo + 1);
        RenderOptions &o = c.render;
        // A shear of -t along both axes squeezes the symbol to (1 - t) / (1 + t)
        // along one diagonal of the picture; the turn before it sets which
        // way that runs across the symbol.
        const int band = k / (hi - lo + 1) % 3;
        c.squeeze = r.in(squeeze_bands[band], squeeze_bands[band + 1]);
        const double t = (1 - c.squeeze) / (1 + c.squeeze);
        o.skew_x = o.skew_y = -t;
        o.rotation_deg = r.in(0, 360);
        const int n = 4 * c.version + 17;
        o.module_px = r.in(4.5, 10.0) * (n <= 33 ? 1.3 : 1.0);
        o.quiet_zone = 4;
        // The far side of the card smaller than the near one by up to a
        // third across the symbol.
        const double side = (n + 8) * o.module_px;
        o.perspective = r.in(-0.33, 0.33) / side;
        o.blur_sigma = r.in(0.4, 1.4);
        o.noise_sigma = r.in(2, 6);
        o.light_gradient = r.in(0, 0.3);
        o.dark = static_cast<std::uint8_t>(r.in(10, 70));
        o.light = static_cast<std::uint8_t>(r.in(170, 245));
        o.canvas_width = static_cast<int>(side * 1.9);
        o.canvas_height = static_cast<int>(side * 1.9);
        o.seed = r.s;
        c.quality = static_cast<int>(r.in(75, 92));
        char text[96];
        // Short enough for version 1 at level M.
        std::snprintf(text, sizeof text, "S%02d-%05X", c.version, static_cast<unsigned>(r.s >> 12));
        c.text = text;
        cases.push_back(c);
    }
    return cases;
}

} // namespace

int main(int argc, char **argv) {
    SweepOptions o;
    int count = 150;
    const auto own = [&](const std::string &a, const char *value) {
        return a == "--count" && value && (count = std::atoi(value)) > 0 && count <= 10000 ? 2 : 0;
    };
    if (!parse_sweep_options(argc, argv,
                             "usage: slant_sweep [--effort NAME]... [--versions LO-HI] [--count N] [--seed N] "
                             "[--list] [--keep DIR]",
                             o, own))
        return 64;
    if (o.efforts.empty())
        o.efforts = {VANTOR_EFFORT_DEFAULT};
    const std::string dir = o.keep.empty() ? temp_dir("slant_sweep") : o.keep;
    if (dir.empty()) {
        std::fprintf(stderr, "slant_sweep: no scratch folder\n");
        return 1;
    }
    const std::vector<Case> cases = make_cases(o.lo, o.hi, count, o.seed);
    // Per effort, per squeeze band.
    const auto band_of = [](std::size_t, const Case &c) {
        return static_cast<int>(std::upper_bound(std::begin(squeeze_bands), std::end(squeeze_bands), c.squeeze) -
                                std::begin(squeeze_bands)) - 1;
    };
    const auto describe = [](const Case &c) {
        char line[160];
        std::snprintf(line, sizeof line, "version %2d, squeeze %.2f, turned %5.1f, module %4.1f px, keystone %.5f",
                      c.version, c.squeeze, c.render.rotation_deg, c.render.module_px, c.render.perspective);
        return std::string(line);
    };
    const SweepCounts<int> counts = sweep_cases<int>("slant_sweep", o, dir, cases, band_of, describe);
    if (o.keep.empty())
        std::remove(dir.c_str());
    std::printf("%d symbols at a slant, versions %d-%d\n", counts.made, o.lo, o.hi);
    for (std::size_t e = 0; e < o.efforts.size(); ++e) {
        std::printf("effort %s:\n", vantor_effort_name(o.efforts[e]));
        for (const auto &[band, t] : counts.groups[e])
            std::printf("  squeezed to %2.0f-%2.0f%%: %3d cases, %3d read, %d wrong, %5.2f s\n",
                        100 * squeeze_bands[band], 100 * squeeze_bands[band + 1], t.cases, t.right, t.wrong,
                        t.seconds);
        print_sweep_total(counts.totals[e]);
        std::printf("\n");
    }
    return 0;
}
