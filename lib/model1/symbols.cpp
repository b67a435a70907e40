// The Model 1 block table.
#include "symbols.h"

namespace vantor::model1 {
namespace {

// By version 1..14 and level L, M, Q, H: the number of blocks and the check
// codewords of each.
constexpr Blocks layouts[max_version][4] = {
    {{1, 7}, {1, 10}, {1, 13}, {1, 17}},
    {{1, 10}, {1, 16}, {1, 22}, {1, 30}},
    {{1, 15}, {1, 28}, {1, 36}, {1, 48}},
    {{1, 20}, {1, 40}, {1, 50}, {1, 66}},
    {{1, 26}, {1, 52}, {1, 66}, {2, 44}},
    {{1, 34}, {2, 32}, {2, 42}, {2, 56}},
    {{1, 42}, {2, 40}, {2, 52}, {3, 46}},
    {{2, 24}, {2, 48}, {2, 64}, {3, 56}},
    {{2, 30}, {2, 60}, {3, 50}, {3, 68}},
    {{2, 34}, {2, 68}, {3, 58}, {4, 58}},
    {{2, 40}, {4, 40}, {3, 66}, {4, 66}},
    {{2, 46}, {4, 46}, {4, 57}, {5, 60}},
    {{2, 51}, {4, 50}, {4, 65}, {5, 69}},
    {{2, 58}, {4, 56}, {4, 72}, {6, 64}},
};

} // namespace

Blocks block_layout(int version, int level_index) {
    if (version < 1 || version > max_version || level_index < 0 || level_index > 3)
        return {};
    return layouts[version - 1][level_index];
}

int block_data_codewords(const Blocks &blocks, int total, int b) {
    if (blocks.count <= 0)
        return 0;
    const int per = total / blocks.count;
    const int longer = total % blocks.count; // the last blocks take one more
    return per - blocks.ec_per_block + (b >= blocks.count - longer ? 1 : 0);
}

} // namespace vantor::model1
