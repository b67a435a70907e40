// A position in the picture or in a symbol's module space.
#pragma once

namespace vantor {

// In the picture: pixels, the centre of pixel (i, j) at (i, j); the public
// records, whose corners lie on pixel edges, convert at the API's edge.
// In module space: modules, module (c, r) covering c..c+1, r..r+1.
struct Position {
    double x = 0;
    double y = 0;
    bool operator==(const Position &) const = default;
};

} // namespace vantor
