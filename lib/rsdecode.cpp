// PLACEHOLDER: replaced by the Reed-Solomon stage.
#include "rsdecode.h"

namespace vantor {
int rs_correct_block(std::uint8_t *, int, int) { return 0; }
int gf_solve(std::uint8_t **, int) { return 0; }
} // namespace vantor
