// The pass loop: the readings of every binarisation pass of an image.
#pragma once

#include <cstdint>

#include "1_base/function_ref.h"
#include "reading.h"
#include "state.h"

namespace vantor {

// Runs the seven binarisation passes (one for depth 1) in order, each
// searched with two module-size estimates, and calls on_reading after each
// reading while the grid, the picks, the step vectors, version, level, mask
// and block results are still in s; a pass that yields no reading is
// reported once, with try_index -1. Trace lines and debug images go to the
// state's sink and folder.
//
// repeat_equal_passes is for a caller that reads nothing of the state but
// what the readings report: with no trace and no debug images, a pass whose
// bitmap provably equals an earlier one's reports that pass's readings again
// instead of searching its bitmap a second time.
RunResult run_passes(DecoderState &s, const std::uint8_t *pixels, int width, int height, std::uint16_t depth,
                     FunctionRef<ReadingAction(const DecoderState &, const ReadingOutcome &)> on_reading,
                     bool repeat_equal_passes = false);

} // namespace vantor
