// The pass loop: the readings of every binarisation pass of an image.
#pragma once

#include <cstdint>

#include "1_base/function_ref.h"
#include "pass_replay.h"
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

using OnReading = FunctionRef<ReadingAction(const DecoderState &, const ReadingOutcome &)>;

// The same pass loop run in steps: a caller that decides after the first
// passes whether the others are worth their time goes on from where it
// stopped, with the readings of the passes run so far kept, instead of
// running them again. Run in one step it is run_passes.
class PassLoop {
public:
    PassLoop(DecoderState &s, const std::uint8_t *pixels, int width, int height, std::uint16_t depth,
             bool repeat_equal_passes);
    PassLoop(const PassLoop &) = delete;
    PassLoop &operator=(const PassLoop &) = delete;

    // Runs the passes after those already run through `last_pass` (0 to 6),
    // unless a reading asked to stop; the pass buffers are freed after each
    // step (and the trace flushed when the last pass has run). Done when
    // passes remain or the loop ran out; invalid_argument or out_of_memory
    // when it could not start.
    RunResult run_through(int last_pass, OnReading on_reading);
    // Whether passes remain that a later step may run.
    bool more() const { return result_ == RunResult::done && next_pass_ < pass_count; }

    static constexpr int pass_count = 7;

private:
    DecoderState &s_;
    const std::uint8_t *pixels_;
    int width_, height_;
    std::uint16_t depth_;
    bool repeats_;
    PassReplay replay_;
    int next_pass_ = 0;
    RunResult result_ = RunResult::done;
};

} // namespace vantor
