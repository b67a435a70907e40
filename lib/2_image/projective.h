// Projective maps of the plane: module space (column, row; module (c, r)
// covers c..c+1, r..r+1) onto the image.
#pragma once

#include <array>
#include <optional>
#include <span>

namespace vantor::thorough {

struct Point {
    double x = 0;
    double y = 0;
};

// The mean of the points (at least one).
Point centroid(std::span<const Point> pts);

class Projective {
public:
    // The map taking each of the four `from` points onto the `to` point of
    // the same index; nothing when three of either lie on a line.
    static std::optional<Projective> from_quads(const std::array<Point, 4> &from, const std::array<Point, 4> &to);
    // The map that best takes each `from` point onto the `to` point of the
    // same index (least squares, at least four pairs); nothing when they do
    // not determine one.
    static std::optional<Projective> fit(std::span<const Point> from, std::span<const Point> to);
    // The affine map taking three points onto three.
    static std::optional<Projective> from_triangles(const std::array<Point, 3> &from, const std::array<Point, 3> &to);

    Point map(double x, double y) const;
    bool operator==(const Projective &other) const = default;
    Point map(Point p) const { return map(p.x, p.y); }
    // Whether the map keeps w positive over the module square 0..n: a map
    // that folds the symbol through infinity is no grid.
    bool proper_over(double n) const;

private:
    // x' = (a x + b y + c) / (g x + h y + 1), y' = (d x + e y + f) / (...)
    std::array<double, 9> m_{};
};

} // namespace vantor::thorough
