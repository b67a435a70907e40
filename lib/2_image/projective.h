// Projective maps of the plane: module space (column, row; module (c, r)
// covers c..c+1, r..r+1) onto the image.
#pragma once

#include <array>
#include <optional>
#include <span>

#include "1_base/point.h"

namespace vantor::thorough {

// The mean of the points (at least one).
Position centroid(std::span<const Position> pts);

// Whether (x, y) lies inside the quadrilateral whose corners go round it in
// order (a symbol's corners).
bool inside(const std::array<Position, 4> &corners, double x, double y);

class Projective {
public:
    // The map taking each of the four `from` points onto the `to` point of
    // the same index; nothing when three of either lie on a line.
    static std::optional<Projective> from_quads(const std::array<Position, 4> &from, const std::array<Position, 4> &to);
    // The map that best takes each `from` point onto the `to` point of the
    // same index (least squares, at least four pairs); nothing when they do
    // not determine one.
    static std::optional<Projective> fit(std::span<const Position> from, std::span<const Position> to);
    // The affine map taking three points onto three.
    static std::optional<Projective> from_triangles(const std::array<Position, 3> &from, const std::array<Position, 3> &to);

    Position map(double x, double y) const;
    bool operator==(const Projective &other) const = default;
    Position map(Position p) const { return map(p.x, p.y); }
    // Whether the map keeps w positive over the module square 0..n: a map
    // that folds the symbol through infinity is no grid.
    bool proper_over(double n) const;

private:
    // The map of the matrix, unless an entry is not finite.
    static std::optional<Projective> finite(const std::array<double, 9> &m);

    // x' = (a x + b y + c) / (g x + h y + 1), y' = (d x + e y + f) / (...)
    std::array<double, 9> m_{};
};

} // namespace vantor::thorough
