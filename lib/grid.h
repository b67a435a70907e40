// Sampling grid: module centres from eye and alignment pattern centres.
#pragma once

#include <span>

namespace vantor {

int grid_build();
int grid_sample();
int grid_module_value(int col, int row);
void grid_free();
// The version's alignment pattern centre coordinates, padded with 0.
std::span<const int, 7> alignment_coords(int version);

} // namespace vantor
