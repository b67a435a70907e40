// Heap use of the benchmark process, counted by the malloc family that
// heap_count.cpp puts in front of the C library's.
#pragma once

#include <cstddef>

namespace vantor_bench {

// False when the counting allocator is not linked in (sanitizer builds).
bool heap_counting();
// Bytes now allocated (usable sizes of the live blocks).
std::size_t heap_current();
// Highest heap_current() since the last heap_reset_peak().
std::size_t heap_peak();
void heap_reset_peak();

} // namespace vantor_bench
