// The classic entry decode_image: one process-wide state whose flags and
// buffers carry over from call to call.
#pragma once

#include "3_model2/classic/state.h"

namespace vantor {

// What decode_image keeps from call to call.
struct ClassicEntry {
    DecoderState state;
    // Nonzero when the last block that needed correction was corrected with
    // fewer errors than its capacity; a reading with text then ends the
    // call at once.
    int rs_below_capacity = 0;
};

// The one instance of decode_image.
ClassicEntry &classic_entry();

} // namespace vantor
