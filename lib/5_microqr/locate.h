// A Micro QR symbol at an outlined single finder pattern: the symbol is
// sampled in each of the four directions the timing patterns may run;
// format information, timing patterns and the Reed-Solomon block must all
// agree before a reading counts.
#pragma once

#include <array>
#include <optional>

#include "2_image/lone_eyes.h"
#include "reader.h"

namespace vantor::microqr {

struct Located {
    Reading reading;
    // The symbol's own top-left, top-right, bottom-right and bottom-left
    // outer corners; a pixel's centre is at its index.
    std::array<std::array<float, 2>, 4> corners{};
    bool inverted = false;
};

// The Micro QR symbol whose finder pattern the outline is, if it reads.
std::optional<Located> read_outline(const single_finder::Outline &outline);

} // namespace vantor::microqr
