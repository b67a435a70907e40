// Sweeps generated close-ups through the reader and prints counts (not a
// test; run by hand): one symbol of versions 1-10 filling much of a picture
// of 3000-4000 px a side, modules of 15-110 px (or as large as fits), turned,
// in mild perspective, blurred, with noise and uneven light, through a JPEG
// file as a phone gives it. Each picture is read at every effort asked for;
// the counts (read right, wrong, no text) and the CPU time of each effort
// are printed per module size asked for, so efforts compare case for case.
// A scene without a symbol of the same size is read too, for the time a miss
// costs. With --screen the symbol is shown on a screen: 3 to 10 screen
// pixels a module, their grid and stripes sharp enough to show, and where
// the screen's pitch nears the picture's, moire.
// usage: close_sweep [--effort NAME]... [--versions LO-HI] [--modules A,B,..]
//                    [--screen] [--seed N] [--list] [--keep DIR]
// --keep DIR writes every picture there as imageNNN.jpg with its text in
// imageNNN.expect, for other readers.
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
    double module_px;
    RenderOptions render;
    int quality;
    std::string text;
};

// The side of the symbol's bounding box, with two modules of margin, when
// turned by `deg`.
double turned_side(int modules, double module_px, double deg) {
    const double a = deg * 3.14159265358979 / 180.0;
    return (modules + 4) * module_px * (std::fabs(std::cos(a)) + std::fabs(std::sin(a)));
}

std::vector<Case> make_cases(int lo, int hi, const std::vector<double> &modules, bool screen, std::uint32_t seed) {
    std::vector<Case> cases;
    Lcg r{seed};
    const int sides[3][2] = {{3024, 4032}, {4000, 3000}, {3000, 3000}};
    for (int v = lo; v <= hi; ++v)
        for (double m : modules) {
            Case c;
            c.version = v;
            const int n = 4 * v + 17;
            const auto &side = sides[cases.size() % 3];
            RenderOptions &o = c.render;
            o.canvas_width = side[0];
            o.canvas_height = side[1];
            o.rotation_deg = r.in(0, 360);
            // A module size the picture cannot hold turned is cut to fit.
            const double room = 0.97 * std::min(side[0], side[1]);
            c.module_px = std::min(m, room / turned_side(n, 1.0, o.rotation_deg) / 1.15);
            o.module_px = c.module_px;
            o.perspective = r.in(-8e-5, 8e-5);
            o.skew_x = r.in(-0.04, 0.04);
            o.blur_sigma = r.in(0.8, 2.0) + r.in(0.0, 0.06) * c.module_px;
            o.noise_sigma = r.in(2, 7);
            o.light_gradient = r.in(0, 0.35);
            o.dark = static_cast<std::uint8_t>(r.in(10, 60));
            o.light = static_cast<std::uint8_t>(r.in(190, 250));
            if (screen) {
                o.screen_pixels = r.in(3, 10);
                o.screen_gap = r.in(0.1, 0.35);
                o.blur_sigma = r.in(0.3, 1.2) + r.in(0.0, 0.02) * c.module_px;
            }
            o.seed = r.s;
            c.quality = static_cast<int>(r.in(70, 92));
            char text[96];
            std::snprintf(text, sizeof text, "V%02d-%03.0f-%05X", v, m, static_cast<unsigned>(r.s >> 12));
            c.text = text;
            cases.push_back(c);
        }
    return cases;
}

std::vector<double> parse_list(const char *s) {
    std::vector<double> out;
    for (const char *p = s; *p;) {
        char *end = nullptr;
        const double v = std::strtod(p, &end);
        if (end == p || !(v > 0))
            return {};
        out.push_back(v);
        p = *end == ',' ? end + 1 : end;
        if (*end && *end != ',')
            return {};
    }
    return out;
}

} // namespace

int main(int argc, char **argv) {
    SweepOptions o;
    std::vector<double> modules{15, 20, 30, 40, 60, 80, 110};
    bool screen = false;
    const auto own = [&](const std::string &a, const char *value) {
        if (a == "--screen") {
            screen = true;
            return 1;
        }
        return a == "--modules" && value && !(modules = parse_list(value)).empty() ? 2 : 0;
    };
    if (!parse_sweep_options(argc, argv,
                             "usage: close_sweep [--effort NAME]... [--versions LO-HI] [--modules A,B,..] "
                             "[--screen] [--seed N] [--list] [--keep DIR]",
                             o, own))
        return 64;
    if (o.efforts.empty())
        o.efforts = {VANTOR_EFFORT_FAST, VANTOR_EFFORT_DEFAULT, VANTOR_EFFORT_EXHAUSTIVE};
    const std::string dir = sweep_folder("close_sweep", o);
    if (dir.empty())
        return 1;
    const std::vector<Case> cases = make_cases(o.lo, o.hi, modules, screen, o.seed);
    // Per effort, per module size asked for.
    const auto asked = [&](std::size_t k, const Case &) { return modules[k % modules.size()]; };
    const auto describe = [](const Case &c) {
        char line[160];
        std::snprintf(line, sizeof line, "version %2d, module %5.1f px, turned %6.1f, blur %.1f, jpeg %d, screen %.1f",
                      c.version, c.module_px, c.render.rotation_deg, c.render.blur_sigma, c.quality,
                      c.render.screen_pixels);
        return std::string(line);
    };
    const SweepCounts<double> counts = sweep_cases<double>("close_sweep", o, dir, cases, asked, describe);
    // The cost of a miss: a scene of the same size without a symbol.
    std::vector<double> miss(o.efforts.size(), 0);
    const Picture scene = render_noise(3024, 4032, "scene", o.seed);
    const std::string scene_path = dir + "/scene.jpg";
    if (write_jpeg(scene_path, scene, 85))
        for (std::size_t e = 0; e < o.efforts.size(); ++e)
            if (read_first_symbol(scene_path, o.efforts[e], "", miss[e]) != 0)
                std::printf("a symbol read in the scene without one at effort %s\n", vantor_effort_name(o.efforts[e]));
    if (o.keep.empty()) {
        std::remove(scene_path.c_str());
        std::remove(dir.c_str());
    }
    std::printf("%d close-ups, versions %d-%d\n", counts.made, o.lo, o.hi);
    for (std::size_t e = 0; e < o.efforts.size(); ++e) {
        std::printf("effort %s:\n", vantor_effort_name(o.efforts[e]));
        for (const auto &[m, t] : counts.groups[e])
            std::printf("  modules %4.0f px (or as large as fits): %3d cases, %3d read, %d wrong, %5.2f s\n", m,
                        t.cases, t.right, t.wrong, t.seconds);
        print_sweep_total(counts.totals[e]);
        std::printf("; 12 MP scene without a symbol %.3f s\n", miss[e]);
    }
    return 0;
}
