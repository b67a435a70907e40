// Decode entry and binarisation passes.
#pragma once

#include <cstdint>

namespace vantor {

struct DecoderState;

// The one state of the classic entry decode_image: its flags and buffers
// carry over from call to call.
DecoderState &classic_state();

// Passes 0..2: one threshold between the darkest and brightest grey.
void threshold_global(DecoderState &s, int index, const std::uint8_t *pixels, std::uint16_t depth);
// Passes 3..6 (index 0..3): threshold on the grey normalised against its
// 17x17 neighbourhood. 0 for a bad index or when contrast_map cannot be made.
int threshold_local(DecoderState &s, int index, const std::uint8_t *pixels, int width, int height);

} // namespace vantor
