// PLACEHOLDER: replaced by the sampling grid stage.
#include "grid.h"

namespace vantor {
namespace {
constexpr int no_coords[7] = {};
}
int grid_build() { return 0; }
int grid_sample() { return 0; }
int grid_module_value(int, int) { return -1; }
void grid_free() {}
std::span<const int, 7> alignment_coords(int) { return std::span<const int, 7>(no_coords); }
} // namespace vantor
