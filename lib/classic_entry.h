// The classic entry decode_image: one process-wide state whose flags and
// buffers carry over from call to call.
#pragma once

#include "state.h"

namespace vantor {

// The one state of decode_image.
DecoderState &classic_state();

} // namespace vantor
