// Unmasking: inverts every module where the data mask's condition holds.
// Function modules are inverted too; codeword extraction skips them by its
// own map, so their values no longer matter.
#include "unmask.h"

#include <cstddef>

#include "bitmap.h"
#include "1_base/symbol.h"

namespace vantor {

// The eight data mask conditions, i the row and j the column.
bool mask_holds(int pattern, int i, int j) {
    switch (pattern) {
    case 0: return (i + j) % 2 == 0;
    case 1: return i % 2 == 0;
    case 2: return j % 3 == 0;
    case 3: return (i + j) % 3 == 0;
    case 4: return (i / 2 + j / 3) % 2 == 0;
    case 5: return (i * j) % 2 + (i * j) % 3 == 0;
    case 6: return ((i * j) % 2 + (i * j) % 3) % 2 == 0;
    case 7: return ((i + j) % 2 + (i * j) % 3) % 2 == 0;
    default: return false;
    }
}

void unmask(SymbolMatrix &s) {
    const int pattern = s.mask_pattern;
    const int w = s.matrix_width;
    const int h = s.matrix_height;
    if (pattern < 0 || pattern > 7 || w <= 0 || h <= 0 || !s.module_matrix ||
        s.module_matrix.size() < static_cast<std::size_t>(w) * static_cast<std::size_t>(h))
        return;
    std::uint8_t *m = s.module_matrix.get();
    for (int i = 0; i < h; ++i)
        for (int j = 0; j < w; ++j)
            if (mask_holds(pattern, i, j))
                m[static_cast<std::size_t>(i) * static_cast<std::size_t>(w) +
                  static_cast<std::size_t>(j)] ^= dark;
}

} // namespace vantor
