// Sanitizer builds keep the sanitizer's allocator: no counting.
#include "heap_count.h"

namespace vantor_bench {

bool heap_counting() { return false; }
std::size_t heap_current() { return 0; }
std::size_t heap_peak() { return 0; }
void heap_reset_peak() {}

} // namespace vantor_bench
