// Projective maps by the unit-square construction: the square onto each
// quadrilateral, one of them inverted.
#include "projective.h"

#include <cmath>
#include <vector>

namespace vantor::thorough {
namespace {

using Matrix = std::array<double, 9>;

Matrix multiply(const Matrix &a, const Matrix &b) {
    Matrix r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                r[i * 3 + j] += a[i * 3 + k] * b[k * 3 + j];
    return r;
}

// The unit square (0,0), (1,0), (1,1), (0,1) onto the quadrilateral.
std::optional<Matrix> square_to_quad(const std::array<Position, 4> &q) {
    const double x0 = q[0].x, y0 = q[0].y, x1 = q[1].x, y1 = q[1].y;
    const double x2 = q[2].x, y2 = q[2].y, x3 = q[3].x, y3 = q[3].y;
    const double dx3 = x0 - x1 + x2 - x3, dy3 = y0 - y1 + y2 - y3;
    if (dx3 == 0 && dy3 == 0)
        return Matrix{x1 - x0, x3 - x0, x0, y1 - y0, y3 - y0, y0, 0, 0, 1};
    const double dx1 = x1 - x2, dx2 = x3 - x2, dy1 = y1 - y2, dy2 = y3 - y2;
    const double den = dx1 * dy2 - dx2 * dy1;
    if (!(std::fabs(den) > 1e-12))
        return std::nullopt;
    const double g = (dx3 * dy2 - dx2 * dy3) / den, h = (dx1 * dy3 - dx3 * dy1) / den;
    return Matrix{x1 - x0 + g * x1, x3 - x0 + h * x3, x0, y1 - y0 + g * y1, y3 - y0 + h * y3, y0, g, h, 1};
}

std::optional<Matrix> inverse(const Matrix &m) {
    const double a = m[0], b = m[1], c = m[2], d = m[3], e = m[4], f = m[5], g = m[6], h = m[7], i = m[8];
    const double A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
    const double det = a * A + b * B + c * C;
    if (!(std::fabs(det) > 1e-12) || !std::isfinite(det))
        return std::nullopt;
    return Matrix{A / det, -(b * i - c * h) / det, (b * f - c * e) / det, B / det, (a * i - c * g) / det,
                  -(a * f - c * d) / det, C / det, -(a * h - b * g) / det, (a * e - b * d) / det};
}

// Solves the n x n system a x = b in place (a row-major) by Gaussian
// elimination with partial pivoting; false when it is singular.
bool solve(std::vector<double> &a, std::vector<double> &b, int n) {
    for (int col = 0; col < n; ++col) {
        int pivot = col;
        for (int r = col + 1; r < n; ++r)
            if (std::fabs(a[static_cast<std::size_t>(r * n + col)]) > std::fabs(a[static_cast<std::size_t>(pivot * n + col)]))
                pivot = r;
        if (!(std::fabs(a[static_cast<std::size_t>(pivot * n + col)]) > 1e-12))
            return false;
        if (pivot != col) {
            for (int k = 0; k < n; ++k)
                std::swap(a[static_cast<std::size_t>(col * n + k)], a[static_cast<std::size_t>(pivot * n + k)]);
            std::swap(b[static_cast<std::size_t>(col)], b[static_cast<std::size_t>(pivot)]);
        }
        for (int r = col + 1; r < n; ++r) {
            const double f = a[static_cast<std::size_t>(r * n + col)] / a[static_cast<std::size_t>(col * n + col)];
            for (int k = col; k < n; ++k)
                a[static_cast<std::size_t>(r * n + k)] -= f * a[static_cast<std::size_t>(col * n + k)];
            b[static_cast<std::size_t>(r)] -= f * b[static_cast<std::size_t>(col)];
        }
    }
    for (int r = n - 1; r >= 0; --r) {
        double v = b[static_cast<std::size_t>(r)];
        for (int k = r + 1; k < n; ++k)
            v -= a[static_cast<std::size_t>(r * n + k)] * b[static_cast<std::size_t>(k)];
        b[static_cast<std::size_t>(r)] = v / a[static_cast<std::size_t>(r * n + r)];
    }
    return true;
}

// Moves points to mean 0 and mean distance sqrt(2), which keeps the
// least-squares system well conditioned: the matrix that does it.
Matrix normaliser(std::span<const Position> pts) {
    const auto [mx, my] = centroid(pts);
    double d = 0;
    for (const Position &p : pts)
        d += std::hypot(p.x - mx, p.y - my);
    d /= static_cast<double>(pts.size());
    const double s = d > 0 ? std::sqrt(2.0) / d : 1;
    return Matrix{s, 0, -s * mx, 0, s, -s * my, 0, 0, 1};
}

Position apply(const Matrix &m, Position p) {
    const double w = m[6] * p.x + m[7] * p.y + m[8];
    return {(m[0] * p.x + m[1] * p.y + m[2]) / w, (m[3] * p.x + m[4] * p.y + m[5]) / w};
}

} // namespace

Position centroid(std::span<const Position> pts) {
    double mx = 0, my = 0;
    for (const Position &p : pts) {
        mx += p.x;
        my += p.y;
    }
    return {mx / static_cast<double>(pts.size()), my / static_cast<double>(pts.size())};
}

bool inside(const std::array<Position, 4> &corners, double x, double y) {
    // The corners go round the quadrilateral one way; inside is on the same
    // side of all four edges.
    int sign = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const Position &a = corners[i];
        const Position &b = corners[(i + 1) % 4];
        const double cross = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
        const int side = cross > 0 ? 1 : cross < 0 ? -1 : 0;
        if (side != 0) {
            if (sign != 0 && side != sign)
                return false;
            sign = side;
        }
    }
    return true;
}

std::optional<Projective> Projective::fit(std::span<const Position> from, std::span<const Position> to) {
    if (from.size() != to.size() || from.size() < 4)
        return std::nullopt;
    const Matrix nf = normaliser(from), nt = normaliser(to);
    // Normal equations of the eight unknowns (h33 = 1) over the pairs:
    // u (g x + h y + 1) = a x + b y + c, v (...) = d x + e y + f.
    std::vector<double> ata(64, 0.0), atb(8, 0.0);
    for (std::size_t i = 0; i < from.size(); ++i) {
        const Position f = apply(nf, from[i]), t = apply(nt, to[i]);
        const double rows[2][9] = {{f.x, f.y, 1, 0, 0, 0, -t.x * f.x, -t.x * f.y, t.x},
                                   {0, 0, 0, f.x, f.y, 1, -t.y * f.x, -t.y * f.y, t.y}};
        for (const auto &r : rows)
            for (int a = 0; a < 8; ++a) {
                for (int b = 0; b < 8; ++b)
                    ata[static_cast<std::size_t>(a * 8 + b)] += r[a] * r[b];
                atb[static_cast<std::size_t>(a)] += r[a] * r[8];
            }
    }
    if (!solve(ata, atb, 8))
        return std::nullopt;
    const Matrix h{atb[0], atb[1], atb[2], atb[3], atb[4], atb[5], atb[6], atb[7], 1};
    const auto back = inverse(nt);
    if (!back)
        return std::nullopt;
    return finite(multiply(*back, multiply(h, nf)));
}

std::optional<Projective> Projective::from_quads(const std::array<Position, 4> &from, const std::array<Position, 4> &to) {
    const auto s_to = square_to_quad(to);
    const auto s_from = square_to_quad(from);
    if (!s_to || !s_from)
        return std::nullopt;
    const auto from_to_square = inverse(*s_from);
    if (!from_to_square)
        return std::nullopt;
    return finite(multiply(*s_to, *from_to_square));
}

std::optional<Projective> Projective::finite(const std::array<double, 9> &m) {
    for (double v : m)
        if (!std::isfinite(v))
            return std::nullopt;
    Projective p;
    p.m_ = m;
    return p;
}

std::optional<Projective> Projective::from_triangles(const std::array<Position, 3> &from,
                                                     const std::array<Position, 3> &to) {
    // The fourth corner completes each parallelogram.
    const Position f3{from[1].x + from[2].x - from[0].x, from[1].y + from[2].y - from[0].y};
    const Position t3{to[1].x + to[2].x - to[0].x, to[1].y + to[2].y - to[0].y};
    return from_quads({from[0], from[1], f3, from[2]}, {to[0], to[1], t3, to[2]});
}

Position Projective::map(double x, double y) const { return apply(m_, {x, y}); }

bool Projective::proper_over(double n) const {
    const double sign = m_[8];
    for (double x : {0.0, n})
        for (double y : {0.0, n})
            if (!((m_[6] * x + m_[7] * y + m_[8]) * sign > 0))
                return false;
    return true;
}

} // namespace vantor::thorough
