// The pass loop: the readings of every binarisation pass of an image.
#pragma once

#include <cstdint>

#include "function_ref.h"
#include "reading.h"
#include "state.h"

namespace vantor {

// Runs the seven binarisation passes (one for depth 1) in order, each
// searched with two module-size estimates, and calls on_reading after each
// reading while the grid, the picks, the step vectors, version, level, mask
// and block results are still in s; a pass that yields no reading is
// reported once, with try_index -1. Trace lines and debug images go to the
// state's sink and folder.
RunResult run_passes(DecoderState &s, const std::uint8_t *pixels, int width, int height, std::uint16_t depth,
                     FunctionRef<ReadingAction(const DecoderState &, const ReadingOutcome &)> on_reading);

} // namespace vantor
