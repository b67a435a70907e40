// Sampling grid: module centres from eye and alignment pattern centres.
#pragma once

#include <span>

namespace vantor {

struct DecoderState;

int grid_build(DecoderState &s);
int grid_sample(DecoderState &s);
int grid_module_value(DecoderState &s, int col, int row);
void grid_free(DecoderState &s);
// The version's alignment pattern centre coordinates, padded with 0.
std::span<const int, 7> alignment_coords(int version);

} // namespace vantor
