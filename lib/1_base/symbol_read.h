// A module matrix read as a symbol: what every kind's reader gives, and
// where in the picture it was read.
#pragma once

#include <array>

#include "bitstream.h"
#include "point.h"

namespace vantor {

struct SymbolRead {
    Content content;
    // Within the kind: 1..40 (Model 2), 1..14 (Model 1), 1..4 for M1..M4,
    // the size number + 1 for rMQR (1..32 for R7x43 .. R17x139).
    int version = 0;
    char level = 0;        // 'L', 'M', 'Q' or 'H'; M1 reports 'L'
    int mask = 0;          // rMQR has one mask: 0
    int corrected = 0;     // codewords the error correction changed
    bool mirrored = false; // read transposed
};

// A symbol read in a picture: what its kind's reader gave, the symbol's own
// top-left, top-right, bottom-right and bottom-left outer corners, and
// whether the picture was read inverted.
struct Located {
    SymbolRead symbol;
    SymbolKind kind = SymbolKind::model2;
    std::array<Position, 4> corners{};
    bool inverted = false;
};

} // namespace vantor
