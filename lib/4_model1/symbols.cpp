// The Model 1 block table.
#include "symbols.h"

namespace vantor::model1 {
namespace {

// By version 1..14 and level L, M, Q, H: the number of blocks, and the data
// and check codewords of each.
constexpr Blocks layouts[max_version][4] = {
    {{1, 19, 7}, {1, 16, 10}, {1, 13, 13}, {1, 9, 17}},
    {{1, 36, 10}, {1, 30, 16}, {1, 24, 22}, {1, 16, 30}},
    {{1, 57, 15}, {1, 44, 28}, {1, 36, 36}, {1, 24, 48}},
    {{1, 80, 20}, {1, 60, 40}, {1, 50, 50}, {1, 34, 66}},
    {{1, 108, 26}, {1, 82, 52}, {1, 68, 66}, {2, 23, 44}},
    {{1, 136, 34}, {2, 53, 32}, {2, 43, 42}, {2, 29, 56}},
    {{1, 170, 42}, {2, 66, 40}, {2, 54, 52}, {3, 24, 46}},
    {{2, 104, 24}, {2, 80, 48}, {2, 64, 64}, {3, 29, 56}},
    {{2, 123, 30}, {2, 93, 60}, {3, 52, 50}, {3, 34, 68}},
    {{2, 145, 34}, {2, 111, 68}, {3, 61, 58}, {4, 31, 58}},
    {{2, 168, 40}, {4, 64, 40}, {4, 52, 52}, {5, 29, 54}},
    {{2, 192, 46}, {4, 73, 46}, {4, 61, 58}, {5, 33, 62}},
    {{3, 144, 36}, {4, 83, 52}, {4, 69, 66}, {6, 32, 58}},
    {{3, 163, 40}, {4, 92, 60}, {5, 62, 60}, {6, 35, 66}},
};

} // namespace

Blocks block_layout(int version, int level_index) {
    if (version < 1 || version > max_version || level_index < 0 || level_index > 3)
        return {};
    return layouts[version - 1][level_index];
}

} // namespace vantor::model1
