// Model 1 codeword placement: the two right column pairs upwards, then
// four-module columns from right to left, each upwards, then the four
// column pairs left of the vertical timing pattern upwards. The timing row
// is stepped over; the upper-right eye pattern ends the first four-module
// column early.
#include "placement.h"

#include "symbols.h"

namespace vantor::model1 {

std::vector<Slot> slots(int version) {
    std::vector<Slot> out;
    if (version < 1 || version > max_version)
        return out;
    const int n = symbol_size(version);
    // Right edge: column pairs n-2..n-1 and n-4..n-3, rows 9..n-1. Every
    // other block of the outer pair, short of the ends, is an extension
    // pattern.
    const int right_blocks = (n - 8) / 4;
    for (int pair = 0; pair < 2; ++pair)
        for (int i = 0; i < right_blocks; ++i)
            out.push_back({n - 1 - 2 * pair, n - 1 - 4 * i, true,
                           pair == 0 && i % 2 == 0 && i > 0 && i < right_blocks - 1});
    // Middle: four-module columns from n-5 leftwards down to column 9, rows
    // from the bottom up in pairs, the pair above the timing row shifted
    // over it. On the bottom row, every other column but the last holds an
    // extension pattern.
    const int columns = version + 1;
    const int pairs = n / 2;
    for (int k = 0; k < columns; ++k) {
        for (int i = 0; i < pairs; ++i) {
            if (k == 0 && i >= pairs - 4) // the upper-right eye pattern and its format row
                continue;
            const int row = n - 1 - 2 * i - (i >= pairs - 3 ? 1 : 0);
            out.push_back({n - 5 - 4 * k, row, false, i == 0 && k % 2 == 1 && k != columns - 1});
        }
    }
    // Left: column pairs 7-8, 4-5, 2-3, 0-1 between the left eye patterns.
    for (int col : {8, 5, 3, 1})
        for (int i = 0; i < (n - 17) / 4; ++i)
            out.push_back({col, n - 9 - 4 * i, true, false});
    return out;
}

int total_codewords(int version) {
    int count = 0;
    for (const Slot &s : slots(version))
        count += !s.extension;
    return count;
}

} // namespace vantor::model1
