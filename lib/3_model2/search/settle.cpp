// Settling a grid: a climb of its four outer corners on the known-module
// score, the same climb the lone-eye locators fit their frames with.
#include "settle.h"

#include <array>
#include <cmath>

#include "1_base/symbol_tables.h"

namespace vantor::thorough {
namespace {

using lone_eyes::KnownModule;

// Passes of the climb at each step size: reach enough for a corner a module
// and a half out.
constexpr int climb_rounds = 3;

void add_eye(std::vector<KnownModule> &out, int col, int row) {
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 7; ++c) {
            const int ring = std::min(std::min(r, c), std::min(6 - r, 6 - c));
            out.push_back({col + c + 0.5, row + r + 0.5, ring != 1});
        }
}

void add_alignment(std::vector<KnownModule> &out, int col, int row) {
    for (int r = -2; r <= 2; ++r)
        for (int c = -2; c <= 2; ++c)
            out.push_back({col + c + 0.5, row + r + 0.5, std::max(std::abs(r), std::abs(c)) != 1});
}

} // namespace

std::vector<KnownModule> model2_known_modules(int version) {
    const int n = symbol_size(version);
    std::vector<KnownModule> out;
    add_eye(out, 0, 0);
    add_eye(out, n - 7, 0);
    add_eye(out, 0, n - 7);
    for (int i = 0; i < 8; ++i) {
        // The separators round each eye's inner sides.
        out.push_back({i + 0.5, 7.5, false});
        out.push_back({7.5, i + 0.5, false});
        out.push_back({n - 8 + i + 0.5, 7.5, false});
        out.push_back({n - 8 + 0.5, i + 0.5, false});
        out.push_back({i + 0.5, n - 8 + 0.5, false});
        out.push_back({7.5, n - 8 + i + 0.5, false});
    }
    for (int i = 8; i < n - 8; ++i) {
        out.push_back({i + 0.5, 6.5, i % 2 == 0});
        out.push_back({6.5, i + 0.5, i % 2 == 0});
    }
    out.push_back({8.5, n - 8 + 0.5, true});
    // The light margin all round: the far sides have nothing else known.
    for (int i = -1; i <= n; ++i) {
        out.push_back({i + 0.5, -0.5, false});
        out.push_back({-0.5, i + 0.5, false});
        out.push_back({i + 0.5, n + 0.5, false});
        out.push_back({n + 0.5, i + 0.5, false});
    }
    const auto coords = alignment_coords(version);
    for (int r : coords)
        for (int c : coords) {
            if (r == 0 || c == 0)
                continue;
            // None where an eye pattern lies.
            const bool on_eye = (r < 9 && c < 9) || (r < 9 && c > n - 10) || (r > n - 10 && c < 9);
            if (!on_eye)
                add_alignment(out, c, r);
        }
    return out;
}

std::optional<Grid> settled_grid(const GreyView &grey, const Binary &binary, const Grid &grid) {
    const int n = grid.size;
    const int version = size_version(n);
    if (version < 1 || version > 40)
        return std::nullopt;
    const std::vector<KnownModule> known = model2_known_modules(version);
    const double far = n;
    const std::array<Position, 4> square{Position{0, 0}, Position{far, 0}, Position{far, far}, Position{0, far}};
    std::array<Position, 4> corners;
    for (std::size_t k = 0; k < 4; ++k)
        corners[k] = grid.map(square[k].x, square[k].y);
    const double module = std::hypot(corners[1].x - corners[0].x, corners[1].y - corners[0].y) / n;
    if (!(module > 0))
        return std::nullopt;
    auto map_of = [&]() { return Projective::from_quads(square, corners); };
    constexpr unsigned moves[] = {1, 2, 4, 8};
    lone_eyes::climb(corners, moves, module, climb_rounds, [&] {
        const auto map = map_of();
        if (!map || !map->proper_over(n))
            return -1e300;
        return lone_eyes::known_fit(grey, binary, known, [&](double col, double row) { return map->map(col, row); });
    });
    const auto map = map_of();
    if (!map || !map->proper_over(n))
        return std::nullopt;
    return Grid{n, *map, {}, {}};
}

} // namespace vantor::thorough
