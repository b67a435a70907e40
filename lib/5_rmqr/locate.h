// An rMQR symbol at an outlined single finder pattern: the long side is
// looked for along each edge of the finder in both turning senses (a
// mirrored symbol turns the other way); the finder-side format copy names
// the size, and a frame fitted to the function patterns from the finder
// outwards reaches the far end, where the sub-finder pins it. Format
// information, timing patterns and every Reed-Solomon block must agree.
#pragma once

#include <array>
#include <optional>

#include "2_image/lone_eyes.h"
#include "reader.h"

namespace vantor::rmqr {

struct Located {
    Reading reading;
    // The symbol's own top-left, top-right, bottom-right and bottom-left
    // outer corners; a pixel's centre is at its index.
    std::array<std::array<float, 2>, 4> corners{};
    bool inverted = false;
};

// The rMQR symbol whose finder pattern the outline is, if it reads.
std::optional<Located> read_outline(const single_finder::Outline &outline);

} // namespace vantor::rmqr
