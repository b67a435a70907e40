// Sweeps generated symbols wrapped round a cylinder (a label on a bottle or
// a can) through the reader and prints counts (not a test; run by hand):
// one symbol of versions 1-10 whose width covers up to 30% of the
// cylinder's circumference, its axis down the symbol's columns or along its
// rows, turned a little, with a mild keystone, blur, noise and uneven
// light, through a JPEG file. Each picture is read at every effort asked
// for; the counts (read right, wrong, no text) and the CPU time are printed
// per wrap, so builds and efforts compare case for case.
// usage: cylinder_sweep [--effort NAME]... [--versions LO-HI] [--count N]
//                       [--seed N] [--list] [--keep DIR]
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
    RenderOptions render;
    int quality;
    std::string text;
};

// Wraps from flat to 30% of the circumference, in the bands the counts are
// printed by.
constexpr double wrap_bands[] = {0.0, 0.1, 0.15, 0.2, 0.25, 0.3};
constexpr int band_count = static_cast<int>(std::size(wrap_bands)) - 1;

std::vector<Case> make_cases(int lo, int hi, int count, std::uint32_t seed) {
    std::vector<Case> cases;
    Lcg r{seed};
    for (int k = 0; k < count; ++k) {
        Case c;
        c.version = lo + k % (hi - lo + 1);
        RenderOptions &o = c.render;
        const int band = k / (hi - lo + 1) % band_count;
        o.wrap = r.in(wrap_bands[band], wrap_bands[band + 1]);
        // The cylinder's axis down the columns, or (a symbol printed turned)
        // along the rows, turned by up to 15 degrees off the picture's axes.
        o.rotation_deg = (r.next() < 0.5 ? 0 : 90) + r.in(-15, 15);
        const int n = 4 * c.version + 17;
        o.module_px = r.in(4.5, 9.0) * (n <= 33 ? 1.3 : 1.0);
        o.quiet_zone = 4;
        const double side = (n + 8) * o.module_px;
        o.perspective = r.in(-0.1, 0.1) / side;
        o.blur_sigma = r.in(0.4, 1.2);
        o.noise_sigma = r.in(2, 6);
        o.light_gradient = r.in(0, 0.3);
        o.dark = static_cast<std::uint8_t>(r.in(10, 70));
        o.light = static_cast<std::uint8_t>(r.in(170, 245));
        o.canvas_width = static_cast<int>(side * 1.6);
        o.canvas_height = static_cast<int>(side * 1.6);
        o.seed = r.s;
        c.quality = static_cast<int>(r.in(75, 92));
        char text[96];
        // Short enough for version 1 at level M.
        std::snprintf(text, sizeof text, "C%02d-%05X", c.version, static_cast<unsigned>(r.s >> 12));
        c.text = text;
        cases.push_back(c);
    }
    return cases;
}

} // namespace

int main(int argc, char **argv) {
    SweepOptions o;
    int count = 150;
    const auto own = count_option(count);
    if (!parse_sweep_options(argc, argv,
                             "usage: cylinder_sweep [--effort NAME]... [--versions LO-HI] [--count N] [--seed N] "
                             "[--list] [--keep DIR]",
                             o, own))
        return 64;
    if (o.efforts.empty())
        o.efforts = {VANTOR_EFFORT_DEFAULT};
    const std::string dir = sweep_folder("cylinder_sweep", o);
    if (dir.empty())
        return 1;
    const std::vector<Case> cases = make_cases(o.lo, o.hi, count, o.seed);
    const auto band_of = [](std::size_t, const Case &c) {
        return std::min(band_count - 1,
                        static_cast<int>(std::upper_bound(std::begin(wrap_bands), std::end(wrap_bands), c.render.wrap) -
                                         std::begin(wrap_bands)) - 1);
    };
    const auto describe = [](const Case &c) {
        char line[160];
        std::snprintf(line, sizeof line, "version %2d, wrap %.3f, turned %5.1f, module %4.1f px, keystone %.5f",
                      c.version, c.render.wrap, c.render.rotation_deg, c.render.module_px, c.render.perspective);
        return std::string(line);
    };
    const SweepCounts<int> counts = sweep_cases<int>("cylinder_sweep", o, dir, cases, band_of, describe);
    if (o.keep.empty())
        std::remove(dir.c_str());
    std::printf("%d symbols wrapped round a cylinder, versions %d-%d\n", counts.made, o.lo, o.hi);
    for (std::size_t e = 0; e < o.efforts.size(); ++e) {
        std::printf("effort %s:\n", vantor_effort_name(o.efforts[e]));
        for (const auto &[band, t] : counts.groups[e])
            std::printf("  wrap %2.0f-%2.0f%% of the circumference: %3d cases, %3d read, %d wrong, %5.2f s\n",
                        100 * wrap_bands[band], 100 * wrap_bands[band + 1], t.cases, t.right, t.wrong, t.seconds);
        print_sweep_total(counts.totals[e]);
        std::printf("\n");
    }
    return 0;
}
