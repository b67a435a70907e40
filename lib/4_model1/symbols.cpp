// The Model 1 block table.
#include "symbols.h"

namespace vantor::model1 {
namespace {

// Blocks alike: their number, and the data and check codewords of each.
constexpr BlockGroup alike(int count, int data, int check) { return {count, data + check, data, check / 2}; }

// By version 1..14 and level L, M, Q, H.
constexpr BlockGroup layouts[max_version][4] = {
    {alike(1, 19, 7), alike(1, 16, 10), alike(1, 13, 13), alike(1, 9, 17)},
    {alike(1, 36, 10), alike(1, 30, 16), alike(1, 24, 22), alike(1, 16, 30)},
    {alike(1, 57, 15), alike(1, 44, 28), alike(1, 36, 36), alike(1, 24, 48)},
    {alike(1, 80, 20), alike(1, 60, 40), alike(1, 50, 50), alike(1, 34, 66)},
    {alike(1, 108, 26), alike(1, 82, 52), alike(1, 68, 66), alike(2, 23, 44)},
    {alike(1, 136, 34), alike(2, 53, 32), alike(2, 43, 42), alike(2, 29, 56)},
    {alike(1, 170, 42), alike(2, 66, 40), alike(2, 54, 52), alike(3, 24, 46)},
    {alike(2, 104, 24), alike(2, 80, 48), alike(2, 64, 64), alike(3, 29, 56)},
    {alike(2, 123, 30), alike(2, 93, 60), alike(3, 52, 50), alike(3, 34, 68)},
    {alike(2, 145, 34), alike(2, 111, 68), alike(3, 61, 58), alike(4, 31, 58)},
    {alike(2, 168, 40), alike(4, 64, 40), alike(4, 52, 52), alike(5, 29, 54)},
    {alike(2, 192, 46), alike(4, 73, 46), alike(4, 61, 58), alike(5, 33, 62)},
    {alike(3, 144, 36), alike(4, 83, 52), alike(4, 69, 66), alike(6, 32, 58)},
    {alike(3, 163, 40), alike(4, 92, 60), alike(5, 62, 60), alike(6, 35, 66)},
};

} // namespace

BlockGroup block_layout(int version, int level_index) {
    if (version < 1 || version > max_version || level_index < 0 || level_index > 3)
        return {};
    return layouts[version - 1][level_index];
}

} // namespace vantor::model1
