// Decode entry: the pass loop and the classic state.
#pragma once

#include <cstdint>

#include "function_ref.h"
#include "state.h"

namespace vantor {

// The one state of the classic entry decode_image: its flags and buffers
// carry over from call to call.
DecoderState &classic_state();

// How far one reading got.
enum class ReadingStage {
    none,      // fewer than three eye pattern candidates
    eyes,      // three or more candidates
    arranged,  // three picked and oriented
    version,   // version determined
    grid,      // module grid sampled
    format,    // format information read
    codewords, // every block corrected to a codeword
    text,      // the data gave text
};

// One reading: one module-size estimate (try 0 or 1) of one pass.
struct ReadingOutcome {
    int pass;
    int try_index; // -1 for a pass without three arranged eye patterns
    ReadingStage stage;
    int candidates;     // eye pattern candidates of the pass
    BlockTally blocks;  // zero before codewords were read
    bool format_read;   // the format information decoded (else the state's
                        // earlier level and mask were used)
    bool format_twice;  // both copies of it agree (format_copies_agree)
    const char *text;   // s.result_text, or null without text
    const char *bytes;  // s.result_bytes (zero bytes kept), or null when the
                        // text is not exact data
    int text_length;    // bytes of `bytes`
};

enum class ReadingAction { go_on, stop };

enum class RunResult {
    done,             // every pass ran
    stopped,          // on_reading asked to stop
    invalid_argument, // no pixels, or a size out of range
    out_of_memory,    // no work bitmap
};

// Runs the seven binarisation passes (one for depth 1) in order, each
// searched with two module-size estimates, and calls on_reading after each
// reading while the grid, the picks, the step vectors, version, level, mask
// and block results are still in s; a pass that yields no reading is
// reported once, with try_index -1. Trace lines and debug images go to the
// state's sink and folder.
RunResult run_passes(DecoderState &s, const std::uint8_t *pixels, int width, int height, std::uint16_t depth,
                     FunctionRef<ReadingAction(const DecoderState &, const ReadingOutcome &)> on_reading);

} // namespace vantor
