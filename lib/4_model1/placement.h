// Where the codewords of a Model 1 symbol lie. Every codeword fills a block
// of eight modules: two wide and four high in the two column pairs at the
// right edge and in the four columns left of the vertical timing pattern,
// four wide and two high in between. Some blocks on the right and bottom
// edges hold extension patterns instead.
#pragma once

#include <vector>

namespace vantor::model1 {

// An eight-module block: its lower-right module and its shape.
struct Slot {
    int col = 0;
    int row = 0;
    bool tall = false;      // 2 wide, 4 high; else 4 wide, 2 high
    bool extension = false; // an extension pattern, not a codeword
};

// The blocks of version 1..14 in stream order, extension patterns among
// them where they fall; empty for other versions.
std::vector<Slot> slots(int version);

// The module of bit b (0 the most significant) of a slot: right to left,
// then upwards.
inline void slot_module(const Slot &s, int bit, int &col, int &row) {
    const int across = s.tall ? 2 : 4;
    col = s.col - bit % across;
    row = s.row - bit / across;
}

// Codewords (blocks that are not extension patterns) of a version.
int total_codewords(int version);

} // namespace vantor::model1
