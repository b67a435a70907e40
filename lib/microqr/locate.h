// Micro QR symbols in a grey picture: each single finder pattern is
// outlined, and the symbol is sampled in each of the four directions the
// timing patterns may run; format information, timing patterns and the
// Reed-Solomon block must all agree before a reading counts.
//
// Reentrant: all state lives in the call.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "reader.h"

namespace vantor::microqr {

struct Located {
    Reading reading;
    // The symbol's own top-left, top-right, bottom-right and bottom-left
    // outer corners; a pixel's centre is at its index.
    std::array<std::array<float, 2>, 4> corners{};
    bool inverted = false;
};

// The Micro QR symbols of the grey image (rows `stride` bytes apart, 0
// black), the first only unless `all_symbols`. Bad arguments give none.
std::vector<Located> locate(const std::uint8_t *pixels, int width, int height, int stride, bool all_symbols);

} // namespace vantor::microqr
