// Symbols seen at a slant: one symbol of a version on a card photographed at
// an angle, squeezed along one direction of the picture (to 45-90% of its
// width), turned any way, with a keystone, blur, noise and uneven light. The
// slant sweep reads them through JPEG files; the effort tests read them too.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "qr_symbols.h"
#include "sweep_reading.h"

namespace vantor::testing {

struct SlantCase {
    int version;
    double squeeze; // the width left across the squeezed direction
    RenderOptions render;
    int quality;
    std::string text;
};

// Squeezes from 45% to 90%, in the bands the counts are printed by.
inline constexpr double slant_squeeze_bands[] = {0.45, 0.6, 0.75, 0.9};

inline std::vector<SlantCase> slant_cases(int lo, int hi, int count, std::uint32_t seed) {
    std::vector<SlantCase> cases;
    Lcg r{seed};
    for (int k = 0; k < count; ++k) {
        SlantCase c;
        c.version = lo + k % (hi - lo + 1);
        RenderOptions &o = c.render;
        // A shear of -t along both axes squeezes the symbol to (1 - t) / (1 + t)
        // along one diagonal of the picture; the turn before it sets which
        // way that runs across the symbol.
        const int band = k / (hi - lo + 1) % 3;
        c.squeeze = r.in(slant_squeeze_bands[band], slant_squeeze_bands[band + 1]);
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

} // namespace vantor::testing
