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

#include "slant_cases.h"
#include "sweep_reading.h"

using namespace vantor::testing;

int main(int argc, char **argv) {
    SweepOptions o;
    int count = 150;
    const auto own = count_option(count);
    if (!parse_sweep_options(argc, argv,
                             "usage: slant_sweep [--effort NAME]... [--versions LO-HI] [--count N] [--seed N] "
                             "[--list] [--keep DIR]",
                             o, own))
        return 64;
    if (o.efforts.empty())
        o.efforts = {VANTOR_EFFORT_DEFAULT};
    const std::string dir = sweep_folder("slant_sweep", o);
    if (dir.empty())
        return 1;
    const std::vector<SlantCase> cases = slant_cases(o.lo, o.hi, count, o.seed);
    // Per effort, per squeeze band.
    const auto band_of = [](std::size_t, const SlantCase &c) {
        return static_cast<int>(std::upper_bound(std::begin(slant_squeeze_bands), std::end(slant_squeeze_bands), c.squeeze) -
                                std::begin(slant_squeeze_bands)) - 1;
    };
    const auto describe = [](const SlantCase &c) {
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
                        100 * slant_squeeze_bands[band], 100 * slant_squeeze_bands[band + 1], t.cases, t.right, t.wrong,
                        t.seconds);
        print_sweep_total(counts.totals[e]);
        std::printf("\n");
    }
    return 0;
}
