// Bent grids. A module's position round the cylinder is an angle; the
// camera sees the sine of it, projected: the column (or row) coordinate is
// warped by that sine, and a projective map takes the warped square onto
// the picture. The middle of a bulging label stands nearer than its sides,
// so its modules look larger across the other direction too: the bow,
// about the row (or column) level with the camera.
#include "curved.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

#include "1_base/symbol_tables.h"
#include "2_image/known_fit.h"
#include "3_model2/classic/format.h"
#include "codewords.h"
#include "settle.h"

namespace vantor::thorough {
namespace {

// The wrap angles (radians over the symbol's width) a bend starts from.
constexpr double start_angles[] = {0.5, 0.9, 1.5, 2.1};
// The bends whose format strips decide whether a triple is tried at all.
constexpr double gate_angles[] = {0.9, 1.8};
// Bends flatter than this are the projective map's; those past this fold.
constexpr double least_angle = 0.05;
constexpr double most_view = 1.45; // the farthest side's angle from the line of sight
// Climb scales: radians, bow, and share of the symbol per module moved.
constexpr double angle_per_module = 0.2;
constexpr double bow_per_module = 0.2;
constexpr double horizon_per_module = 0.5;
constexpr int climb_rounds = 3;
// Versions a bend is tried at, below and above the one the eyes measure:
// modules crowded at the sides make the eyes look small beside their
// distance, so the symbol looks larger than it is.
constexpr int versions_below = 3;
constexpr int versions_above = 1;
// The fewest modules of either colour a copy of the format information
// must show as printed.
constexpr int min_strip_colour = 2;
// The most bits both copies may be wrong by together.
constexpr int max_strip_errors = 3;
// Modules per side of the cells that carry a bent grid.
constexpr int cell_modules = 3;

struct Bend {
    int n = 0;
    bool columns = true; // the columns crowd (the axis runs down them), else the rows
    double angle = 1;    // wrap over the symbol's width (or height)
    double turn = 0;     // the symbol's middle from the line of sight
    double bow = 0;      // how much nearer the middle stands, as a share
    double horizon = 0;  // the row (or column) level with the camera, share of n
    Projective flat;     // the warped square onto the picture

    bool sound() const {
        return angle >= least_angle && std::fabs(turn) + angle / 2 <= most_view && std::fabs(bow) < 1 &&
               std::fabs(horizon - 0.5) < 2;
    }
    double theta(double t) const { return angle * (t - 0.5) + turn; }
    // The sines and cosines at the edges, which every map takes: set once
    // the angles are.
    void edges() {
        s0 = std::sin(theta(0));
        s1 = std::sin(theta(1));
        c0 = std::cos(theta(0));
        c1 = std::cos(theta(1));
    }
    // The warped coordinate, 0 and n at the symbol's edges.
    double warp(double u) const { return n * (std::sin(theta(u / n)) - s0) / (s1 - s0); }
    // What a map takes from the coordinate across the axis alone (a column
    // when the columns crowd), shared by every point on that line.
    struct Line {
        double u = std::nan("");
        double w = 0; // warp(u)
        Position level;
        double grow = 0;
    };
    Line line(double u) const {
        const double t = u / n, a = theta(t);
        const double w = n * (std::sin(a) - s0) / (s1 - s0); // warp(u), its angle kept for the bulge
        const Position level = columns ? flat.map(w, horizon * n) : flat.map(horizon * n, w);
        // How far the surface stands out of the chord between the edges,
        // about 1 mid-way.
        const double bulge = (std::cos(a) - (c0 + (c1 - c0) * t)) / (angle * angle / 8);
        return {u, w, level, bow * bulge};
    }
    Position map(const Line &l, double v) const {
        const Position p = columns ? flat.map(l.w, v) : flat.map(v, l.w);
        return {p.x + l.grow * (p.x - l.level.x), p.y + l.grow * (p.y - l.level.y)};
    }
    Position map(double col, double row) const {
        return columns ? map(line(col), row) : map(line(row), col);
    }

private:
    double s0 = 0, s1 = 0, c0 = 0, c1 = 0;
};

// The projective part of the bend that best takes the eyes' modules (their
// outlines where found, and centres) where the picture shows them.
bool fit_flat(Bend &b, const Eyes &e) {
    std::vector<Position> from, to;
    b.edges();
    for (const auto &[module, image] : eye_points(e, b.n)) {
        const double w = b.warp(b.columns ? module.x : module.y);
        from.push_back(b.columns ? Position{w, module.y} : Position{module.x, w});
        to.push_back(image);
    }
    const auto fit = from.size() >= 4 ? Projective::fit(from, to)
                                       : Projective::from_triangles({from[0], from[1], from[2]}, {to[0], to[1], to[2]});
    if (!fit || !fit->proper_over(b.n))
        return false;
    b.flat = *fit;
    return true;
}

double fit_score(const GreyView &grey, const Binary &binary, const std::vector<lone_eyes::KnownModule> &known,
                 const Bend &b) {
    // A known module's points lie on three lines across the axis, which its
    // neighbours share: each line is worked out once a score, kept by its
    // coordinate in twentieths of a module (the points lie on that lattice;
    // a line found elsewhere is worked out afresh).
    std::array<Bend::Line, 256> lines;
    return lone_eyes::known_fit(grey, binary, known, [&](double col, double row) {
        const double u = b.columns ? col : row;
        Bend::Line &l = lines[static_cast<std::size_t>(std::llround(u * 20)) & (lines.size() - 1)];
        if (!(l.u == u))
            l = b.line(u);
        return b.map(l, b.columns ? row : col);
    });
}

// A bend of a symbol n modules a side wrapped `angle` round its columns (or
// rows), its horizon mid-way, fitted flat to the eyes.
std::optional<Bend> bend_on(const Eyes &eyes, int n, bool columns, double angle) {
    Bend b;
    b.n = n;
    b.columns = columns;
    b.angle = angle;
    b.horizon = 0.5;
    return fit_flat(b, eyes) ? std::optional<Bend>(b) : std::nullopt;
}

// The bend's parameters climbed with its outer corners on the known modules.
std::optional<Bend> settle_bend(const GreyView &grey, const Binary &binary,
                                const std::vector<lone_eyes::KnownModule> &known, Bend b) {
    const double n = b.n;
    const std::array<Position, 4> square{Position{0, 0}, Position{n, 0}, Position{n, n}, Position{0, n}};
    std::array<Position, 6> points;
    for (std::size_t k = 0; k < 4; ++k)
        points[k] = b.flat.map(square[k]);
    const double module = std::hypot(points[1].x - points[0].x, points[1].y - points[0].y) / n;
    if (!(module > 0))
        return std::nullopt;
    // Each parameter as a coordinate the climb moves by parts of a module.
    const double angle_scale = module / angle_per_module, bow_scale = module / bow_per_module;
    const double horizon_scale = module / horizon_per_module;
    points[4] = {b.angle * angle_scale, b.turn * angle_scale};
    points[5] = {b.bow * bow_scale, b.horizon * horizon_scale};
    auto bend_of = [&]() -> std::optional<Bend> {
        Bend t = b;
        t.angle = points[4].x / angle_scale;
        t.turn = points[4].y / angle_scale;
        t.bow = points[5].x / bow_scale;
        t.horizon = points[5].y / horizon_scale;
        t.edges();
        const auto flat = Projective::from_quads(square, {points[0], points[1], points[2], points[3]});
        if (!t.sound() || !flat || !flat->proper_over(n))
            return std::nullopt;
        t.flat = *flat;
        return t;
    };
    constexpr unsigned moves[] = {1, 2, 4, 8, 16, 32};
    lone_eyes::climb(points, moves, module, climb_rounds, [&] {
        const auto t = bend_of();
        return t ? fit_score(grey, binary, known, *t) : -1e300;
    });
    return bend_of();
}

// The bend carried by projective cells a few modules across.
std::optional<Grid> grid_of(const Bend &b) {
    const int n = b.n;
    Grid g{n, b.flat, {}, {}};
    for (int c = 0; c < n; c += cell_modules)
        g.cuts.push_back(c);
    g.cuts.push_back(n);
    const std::size_t k = g.cuts.size();
    for (std::size_t r = 0; r + 1 < k; ++r)
        for (std::size_t c = 0; c + 1 < k; ++c) {
            const double c0 = g.cuts[c], c1 = g.cuts[c + 1], r0 = g.cuts[r], r1 = g.cuts[r + 1];
            const std::array<Position, 4> from{Position{c0, r0}, Position{c1, r0}, Position{c1, r1}, Position{c0, r1}};
            std::array<Position, 4> to;
            for (std::size_t i = 0; i < 4; ++i)
                to[i] = b.map(from[i].x, from[i].y);
            const auto cell = Projective::from_quads(from, to);
            if (!cell)
                return std::nullopt;
            g.cells.push_back(*cell);
        }
    return g;
}

// Whether both copies of the format information read one word, with few
// bits wrong between them: a random strip would pass the full correction
// of each copy too often. A strip of one colour is taken for none: blank
// paper reads as a valid word.
bool copies_agree(const ModuleMatrix &m) {
    int data = -1, wrong = 0;
    for (int copy = 0; copy < 2; ++copy) {
        const int word = read_format_word(m.modules, m.width, m.width, copy, 1);
        if (word < 0)
            return false;
        const int dark = std::popcount(static_cast<unsigned>(word ^ model2_format_mask));
        if (dark < min_strip_colour || dark > 15 - min_strip_colour)
            return false;
        const FormatBits bits = decode_format_bits(word);
        if (bits.data < 0 || (copy == 1 && bits.data != data))
            return false;
        data = bits.data;
        wrong += bits.reversed_count;
    }
    return wrong <= max_strip_errors;
}

// The modules `wanted` through the bend, each judged at its centre against
// the binarisation's threshold, every other module light; nothing when one
// lies outside the picture.
std::optional<ModuleMatrix> sample_bent(const GreyView &grey, const Binary &binary, const Bend &b,
                                        std::span<const ModuleAt> wanted) {
    ModuleMatrix m{b.n, b.n, std::vector<std::uint8_t>(static_cast<std::size_t>(b.n) * b.n)};
    for (const ModuleAt &at : wanted) {
        const Position p = b.map(at.col + 0.5, at.row + 0.5);
        const float x = static_cast<float>(p.x), y = static_cast<float>(p.y);
        const float g = grey.bilinear(x, y);
        if (g < 0)
            return std::nullopt;
        m.modules[static_cast<std::size_t>(at.row) * b.n + at.col] = g <= binary.threshold(x, y);
    }
    return m;
}

// Whether the bend's format strip reads one word alike in both copies, as
// it stands or transposed.
bool bent_format_agrees(const GreyView &grey, const Binary &binary, const Bend &b) {
    const auto m = sample_bent(grey, binary, b, format_strip_modules(b.n));
    return m && as_is_or_transposed(*m, copies_agree);
}

// The version the bend's version information names, as it stands or
// transposed; 0 when none.
int bent_named_version(const GreyView &grey, const Binary &binary, const Bend &b) {
    const auto m = sample_bent(grey, binary, b, version_block_modules(b.n));
    return m ? as_is_or_transposed(*m, read_version_blocks) : 0;
}

} // namespace

std::vector<int> bent_versions(double across) {
    const int v0 = std::clamp(static_cast<int>(std::lround((across - 17) / 4)), 1, 40);
    std::vector<int> out;
    for (int v = v0 + versions_above; v >= v0 - versions_below; --v)
        if (v >= 1 && v <= 40)
            out.push_back(v);
    return out;
}

std::vector<Grid> curved_grids(const GreyView &grey, const Binary &binary, const Eyes &eyes,
                               std::span<const int> versions, int most, int &budget) {
    if (budget <= 0)
        return {};
    struct Start {
        Bend bend;
        double score;
    };
    // The format strip lies beside the eyes, where the bend moves it
    // little: two bends a version tell whether any will read it, for a
    // triple of the many that fail.
    const auto gate = [&] {
        for (int version : versions)
            for (bool columns : {true, false})
                for (double angle : gate_angles)
                    if (const auto b = bend_on(eyes, symbol_size(std::clamp(version, 1, 40)), columns, angle))
                        if (bent_format_agrees(grey, binary, *b))
                            return true;
        return false;
    };
    if (versions.empty() || !gate())
        return {};
    std::vector<Start> starts;
    int named = -1;
    for (int version : versions) {
        if (version < 1 || version > 40 || (named > 0 && version != named))
            continue;
        for (bool columns : {true, false})
            for (double angle : start_angles) {
                const auto b = bend_on(eyes, symbol_size(version), columns, angle);
                if (!b || !bent_format_agrees(grey, binary, *b))
                    continue;
                // From version 7 the version information, read through a
                // bend whose format reads, names the size.
                if (named < 0 && version >= 7) {
                    const int v = bent_named_version(grey, binary, *b);
                    if (v > 0 && std::find(versions.begin(), versions.end(), v) != versions.end()) {
                        named = v;
                        std::erase_if(starts, [&](const Start &s) { return s.bend.n != symbol_size(v); });
                        if (v != version)
                            break;
                    }
                }
                starts.push_back({*b, 0});
            }
    }
    if (starts.empty())
        return {};
    // The starts whose format reads, best fitting the known modules first.
    std::vector<std::vector<lone_eyes::KnownModule>> knowns(41);
    auto known_of = [&](int n) -> const std::vector<lone_eyes::KnownModule> & {
        auto &k = knowns[static_cast<std::size_t>(size_version(n))];
        if (k.empty())
            k = model2_known_modules(size_version(n));
        return k;
    };
    auto mean_fit = [&](const Bend &b) {
        const auto &known = known_of(b.n);
        return fit_score(grey, binary, known, b) / static_cast<double>(known.size());
    };
    for (Start &s : starts)
        s.score = mean_fit(s.bend);
    std::sort(starts.begin(), starts.end(), [](const Start &a, const Start &b) { return a.score > b.score; });
    // A symbol that fits no bend better than flat was the flat grids' to
    // read (damaged, most often): it is not climbed.
    Bend flat = starts.front().bend;
    flat.angle = least_angle;
    if (!fit_flat(flat, eyes) || mean_fit(flat) >= starts.front().score)
        return {};
    --budget;
    std::vector<Grid> out;
    for (const Start &s : starts) {
        if (static_cast<int>(out.size()) >= most)
            break;
        const auto &known = known_of(s.bend.n);
        if (const auto settled = settle_bend(grey, binary, known, s.bend))
            if (auto grid = grid_of(*settled))
                out.push_back(std::move(*grid));
    }
    return out;
}

} // namespace vantor::thorough
