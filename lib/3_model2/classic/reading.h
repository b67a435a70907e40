// A reading's result: how far one reading of a pass got, what it gave, and
// what the caller of the pass loop answers.
#pragma once

#include "1_base/symbol.h"

namespace vantor {

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

} // namespace vantor
