// Grids for a triple. The eye outlines give twelve corners and three centres
// in known module positions, enough for a projective fit that follows
// perspective; that fit predicts the alignment patterns, and the pattern
// found at the lower right with the three centres gives a second map.
#include "grids.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "2_image/alignment.h"
#include "2_image/eye_outline.h"
#include "1_base/symbol_tables.h"
#include "triples.h"

namespace vantor::thorough {
namespace {

// Alignment matches must reach this share of the eyes' contrast.
constexpr double alignment_share = 0.3;
// An eye's light and dark modules must differ by this many times their
// spread within each kind.
constexpr double min_separation = 2.0;

// Legs this many times apart show a symbol seen at a slant.
constexpr double slant_legs = 1.25;

Position at(const Candidate &c) { return {c.x, c.y}; }

// The width, in pixels, of the dark run through `centre` along the unit
// vector `dir`, judged against the middle grey of the line out to `reach`
// either side: an eye's 3-module core. 0 when the run reaches that far or
// the centre is not dark.
double core_width(const GreyView &grey, Position centre, Position dir, double reach) {
    constexpr double step = 0.5;
    const int steps = static_cast<int>(reach / step);
    if (steps < 2)
        return 0;
    std::vector<float> line(static_cast<std::size_t>(2 * steps + 1));
    float lo = 255, hi = 0;
    for (int i = -steps; i <= steps; ++i) {
        const float g = grey.bilinear(static_cast<float>(centre.x + dir.x * i * step),
                                      static_cast<float>(centre.y + dir.y * i * step));
        if (g < 0)
            return 0;
        line[static_cast<std::size_t>(i + steps)] = g;
        lo = std::min(lo, g);
        hi = std::max(hi, g);
    }
    const float middle = (lo + hi) / 2;
    if (!(line[static_cast<std::size_t>(steps)] < middle))
        return 0;
    int before = steps, after = steps;
    while (before > 0 && line[static_cast<std::size_t>(before - 1)] < middle)
        --before;
    while (after < 2 * steps && line[static_cast<std::size_t>(after + 1)] < middle)
        ++after;
    if (before == 0 || after == 2 * steps)
        return 0;
    return (after - before + 1) * step;
}

std::optional<Projective> centre_affine(int n, const Eyes &e) {
    const double far = n - 3.5;
    return Projective::from_triangles({Position{3.5, 3.5}, Position{far, 3.5}, Position{3.5, far}},
                                      {at(e.corner), at(e.along), at(e.down)});
}

// The fit through the eye outlines and centres; nothing unless all three
// outlines were found.
std::optional<Projective> outline_fit(int n, const Eyes &e) {
    if (!e.outline[0] || !e.outline[1] || !e.outline[2])
        return std::nullopt;
    std::vector<Position> from, to;
    for (const auto &[module, image] : eye_points(e, n)) {
        from.push_back(module);
        to.push_back(image);
    }
    auto fit = Projective::fit(from, to);
    if (!fit || !fit->proper_over(n))
        return std::nullopt;
    return fit;
}

// Per-cell grid between the alignment patterns found around the places the
// whole-symbol map predicts; patterns not found stay where predicted.
Grid cell_grid(const GreyView &grey, const Grid &whole, int version, double contrast) {
    std::vector<int> coords;
    for (int c : alignment_coords(version))
        if (c > 0)
            coords.push_back(c);
    const int k = static_cast<int>(coords.size());
    std::vector<Position> points(static_cast<std::size_t>(k) * k);
    for (int r = 0; r < k; ++r)
        for (int c = 0; c < k; ++c) {
            const Position expected{coords[static_cast<std::size_t>(c)] + 0.5, coords[static_cast<std::size_t>(r)] + 0.5};
            Position p = whole.whole.map(expected);
            const bool on_eye = (r == 0 && c == 0) || (r == 0 && c == k - 1) || (r == k - 1 && c == 0);
            if (!on_eye)
                if (const auto hit = find_alignment(grey, whole.whole, expected, 1.5, contrast * alignment_share))
                    p = hit->image;
            points[static_cast<std::size_t>(r) * k + c] = p;
        }
    Grid g{whole.size, whole.whole, {}, {}};
    for (int c : coords)
        g.cuts.push_back(c + 0.5);
    auto point = [&](int r, int c) { return points[static_cast<std::size_t>(r) * k + c]; };
    for (int r = 0; r + 1 < k; ++r)
        for (int c = 0; c + 1 < k; ++c) {
            const double c0 = g.cuts[static_cast<std::size_t>(c)], c1 = g.cuts[static_cast<std::size_t>(c) + 1];
            const double r0 = g.cuts[static_cast<std::size_t>(r)], r1 = g.cuts[static_cast<std::size_t>(r) + 1];
            const auto cell = Projective::from_quads({Position{c0, r0}, Position{c1, r0}, Position{c1, r1}, Position{c0, r1}},
                                                     {point(r, c), point(r, c + 1), point(r + 1, c + 1), point(r + 1, c)});
            if (!cell)
                return whole;
            g.cells.push_back(*cell);
        }
    return g;
}

} // namespace

std::optional<Eyes> orient_eyes(const Candidate &corner, const Candidate &along, const Candidate &down) {
    Eyes e{corner, along, down, {}, {}, 1, {}};
    const double row_len = std::hypot(along.x - corner.x, along.y - corner.y);
    const double col_len = std::hypot(down.x - corner.x, down.y - corner.y);
    if (!(row_len > 0 && col_len > 0))
        return std::nullopt;
    e.row_dir = {(along.x - corner.x) / row_len, (along.y - corner.y) / row_len};
    e.col_dir = {(down.x - corner.x) / col_len, (down.y - corner.y) / col_len};
    const double turn = std::atan2(e.row_dir.y, e.row_dir.x);
    e.slant = std::max(std::fabs(std::cos(turn)), std::fabs(std::sin(turn)));
    return e;
}

std::vector<std::pair<Position, Position>> eye_points(const Eyes &e, int n) {
    const Position origin[3] = {{0, 0}, {n - 7.0, 0}, {0, n - 7.0}};
    const Candidate *centre[3] = {&e.corner, &e.along, &e.down};
    std::vector<std::pair<Position, Position>> out;
    for (int k = 0; k < 3; ++k) {
        const Position o = origin[k];
        if (e.outline[k]) {
            const Position square[4] = {o, {o.x + 7, o.y}, {o.x + 7, o.y + 7}, {o.x, o.y + 7}};
            for (int i = 0; i < 4; ++i)
                out.emplace_back(square[i], (*e.outline[k])[static_cast<std::size_t>(i)]);
        }
        out.emplace_back(Position{o.x + 3.5, o.y + 3.5}, at(*centre[k]));
    }
    return out;
}

void outline_eye(const std::vector<Position> &traced, Eyes &e, int k) {
    const Candidate *c[3] = {&e.corner, &e.along, &e.down};
    e.outline[k] = fit_outline(traced, at(*c[k]), e.row_dir, e.col_dir, c[k]->module * e.slant);
}

double eye_pattern_contrast(const GreyView &grey, const Eyes &e, int k) {
    const Candidate *eye[3] = {&e.corner, &e.along, &e.down};
    const double mean = (e.corner.module + e.along.module + e.down.module) / 3;
    const Candidate &c = *eye[k];
    double best = 0;
    if (e.outline[k]) {
        // The modules where the outline puts them.
        const auto map = Projective::from_quads({Position{0, 0}, Position{7, 0}, Position{7, 7}, Position{0, 7}}, *e.outline[k]);
        if (map) {
            const Position o = map->map(3.5, 3.5), x = map->map(4.5, 3.5), y = map->map(3.5, 4.5);
            const EyeContrast s = eye_contrast(grey, o, {x.x - o.x, x.y - o.y}, {y.x - o.x, y.y - o.y});
            if (s.separation >= min_separation)
                best = s.difference;
        }
    }
    // Else its own module size (which perspective changes) or the triple's
    // mean (which blur and thin lines distort less) along the symbol's sides.
    for (double size : {static_cast<double>(c.module), mean}) {
        if (best > 0)
            break;
        const double m = size * e.slant;
        const EyeContrast s = eye_contrast(grey, at(c), {e.row_dir.x * m, e.row_dir.y * m},
                                           {e.col_dir.x * m, e.col_dir.y * m});
        if (s.separation >= min_separation)
            best = s.difference;
    }
    // Else, when the legs differ as a slant makes them, modules as long as
    // the eye's dark core measures them along each side: a symbol seen at a
    // slant is foreshortened along one side only, which a module size
    // measured across image rows does not see.
    const double row_leg = std::hypot(e.along.x - e.corner.x, e.along.y - e.corner.y);
    const double col_leg = std::hypot(e.down.x - e.corner.x, e.down.y - e.corner.y);
    if (best == 0 && std::max(row_leg, col_leg) >= slant_legs * std::min(row_leg, col_leg)) {
        const double row = core_width(grey, at(c), e.row_dir, mean * 4) / 3;
        const double col = core_width(grey, at(c), e.col_dir, mean * 4) / 3;
        if (row > 0 && col > 0) {
            const EyeContrast s =
                eye_contrast(grey, at(c), {e.row_dir.x * row, e.row_dir.y * row}, {e.col_dir.x * col, e.col_dir.y * col});
            if (s.separation >= min_separation)
                best = s.difference;
        }
    }
    return best;
}

double eyes_modules_across(const Eyes &e) {
    if (!e.outline[0] || !e.outline[1] || !e.outline[2])
        return modules_across(e.corner, e.along, e.down);
    // Module sizes along the rows and down the columns from the outlines'
    // sides.
    auto side = [](const std::array<Position, 4> &o, int a, int b, int c, int d) {
        return (std::hypot(o[b].x - o[a].x, o[b].y - o[a].y) + std::hypot(o[d].x - o[c].x, o[d].y - o[c].y)) / 14.0;
    };
    const double corner_row = side(*e.outline[0], 0, 1, 3, 2), along_row = side(*e.outline[1], 0, 1, 3, 2);
    const double corner_col = side(*e.outline[0], 0, 3, 1, 2), down_col = side(*e.outline[2], 0, 3, 1, 2);
    const double across_row =
        std::hypot(e.along.x - e.corner.x, e.along.y - e.corner.y) / ((corner_row + along_row) / 2);
    const double across_col = std::hypot(e.down.x - e.corner.x, e.down.y - e.corner.y) / ((corner_col + down_col) / 2);
    return (across_row + across_col) / 2 + 7;
}

std::vector<int> versions_near(double across) {
    const int v0 = std::clamp(static_cast<int>(std::lround((across - 17) / 4)), 1, 40);
    std::vector<int> out{v0};
    const int reach = v0 >= 15 ? 2 : 1;
    for (int d = 1; d <= reach; ++d)
        for (int v : {v0 + d, v0 - d})
            if (v >= 1 && v <= 40)
                out.push_back(v);
    return out;
}

std::optional<Guess> first_guess(const GreyView &grey, const Binary &binary, const Eyes &e, int version) {
    const int n = symbol_size(version);
    std::optional<Guess> best;
    for (const auto &map : {outline_fit(n, e), centre_affine(n, e)}) {
        if (!map)
            continue;
        Guess g{Grid{n, *map, {}, {}}, 0};
        g.timing = timing_agreement(grey, binary, g.grid, guess_timing_reach(n));
        if (!best || g.timing > best->timing)
            best = std::move(g);
    }
    return best;
}

const std::optional<Guess> &Guesses::of(int version) {
    for (const auto &[v, guess] : made_)
        if (v == version)
            return guess;
    made_.emplace_back(version, first_guess(grey_, binary_, eyes_, version));
    return made_.back().second;
}

std::vector<Grid> grids_for(const GreyView &grey, const Eyes &e, const Guess &guess, double contrast) {
    const int n = guess.grid.size;
    const int version = size_version(n);
    std::vector<Grid> out;
    if (version >= 2) {
        const Position expected{n - 6.5, n - 6.5};
        const double radius = std::max(3.0, n / 12.0);
        if (const auto hit = find_alignment(grey, guess.grid.whole, expected, radius, contrast * alignment_share)) {
            const double far = n - 3.5;
            const auto quad = Projective::from_quads({Position{3.5, 3.5}, Position{far, 3.5}, expected, Position{3.5, far}},
                                                     {at(e.corner), at(e.along), hit->image, at(e.down)});
            if (quad && quad->proper_over(n)) {
                Grid g{n, *quad, {}, {}};
                if (version >= 7)
                    out.push_back(cell_grid(grey, g, version, contrast));
                out.push_back(std::move(g));
            }
        }
    }
    // Without an alignment pattern (none found, or one out of place): the
    // guess, its cells for large symbols, and the other map from the eyes.
    if (version >= 7 && out.empty())
        out.push_back(cell_grid(grey, guess.grid, version, contrast));
    out.push_back(guess.grid);
    for (const auto &map : {outline_fit(n, e), centre_affine(n, e)})
        if (map && !(*map == guess.grid.whole))
            out.push_back(Grid{n, *map, {}, {}});
    return out;
}

} // namespace vantor::thorough
