// An rMQR symbol at an outlined lone eye pattern: the long side is
// looked for along each edge of the eye in both turning senses (a
// mirrored symbol turns the other way); the eye-side format copy names
// the size, and a frame fitted to the function patterns from the eye
// outwards reaches the far end, where the sub-eye pins it. Format
// information, timing patterns and every Reed-Solomon block must agree.
#pragma once

#include <optional>

#include "2_image/lone_eyes.h"
#include "reader.h"

namespace vantor::rmqr {

// The rMQR symbol whose eye pattern the outline is, if it reads.
std::optional<Located> read_outline(const lone_eyes::Outline &outline);

} // namespace vantor::rmqr
