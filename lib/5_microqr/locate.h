// A Micro QR symbol at an outlined lone eye pattern: the symbol is
// sampled in each of the four directions the timing patterns may run;
// format information, timing patterns and the Reed-Solomon block must all
// agree before a symbol counts.
#pragma once

#include <optional>

#include "2_image/lone_eyes.h"
#include "reader.h"

namespace vantor::microqr {

// The Micro QR symbol whose eye pattern the outline is, if it reads.
std::optional<Located> read_outline(const lone_eyes::Outline &outline);

} // namespace vantor::microqr
