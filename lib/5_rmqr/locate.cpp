// Locating rMQR symbols from their eye pattern. The symbol may be twenty
// times as long as the eye, so its frame is fitted in steps: to the
// eye's neighbourhood first, then over ever longer stretches of the
// symbol (each step doubles the length, so the timing patterns, which repeat
// every two modules, cannot slip by a period), and last to the whole.
#include "locate.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "2_image/known_fit.h"
#include "2_image/projective.h"
#include "format.h"
#include "patterns.h"
#include "symbols.h"

namespace vantor::rmqr {
namespace {

namespace th = vantor::thorough;
using lone_eyes::KnownModule;

constexpr int picture_format_errors = 2; // format bits a symbol in a picture may have wrong
constexpr double min_agreement = 0.8;    // share of known modules a fitted stretch must show right
constexpr double several_points_from = 3.0; // modules at least this wide (pixels) are sampled at five points
constexpr double spread = 0.22;             // those points' offsets from the centre, in modules
constexpr int first_stretch = 12;           // columns fitted before the size is known

// The image points of module-space corners (first, 0), (first + cols, 0),
// (first + cols, rows) and (first, rows).
struct Frame {
    std::array<Position, 4> at;
    double cols;
    double rows;
    double first = 0;

    std::optional<th::Projective> map() const {
        const double last = first + cols;
        return th::Projective::from_quads({{{first, 0}, {last, 0}, {last, rows}, {first, rows}}}, at);
    }
};

float grey_at(const th::GreyView &grey, Position p) {
    return grey.bilinear(static_cast<float>(p.x), static_cast<float>(p.y));
}

bool dark_at(const th::GreyView &grey, const th::Binary &binary, Position p, bool &inside) {
    const float g = grey_at(grey, p);
    inside = g >= 0;
    return g <= binary.threshold(static_cast<float>(p.x), static_cast<float>(p.y));
}

// The modules around the eye that every size shares: the eye, its
// separator (or, at height 7, the quiet zone below), the start of the top
// timing pattern, and the quiet zone above and to the left.
std::vector<KnownModule> eye_modules() {
    std::vector<KnownModule> out;
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 7; ++c)
            out.push_back({c + 0.5, r + 0.5, function_dark(7, 43, c, r)}); // the eye, alike in every size
    for (int i = 0; i < 8; ++i) {
        out.push_back({7.5, i + 0.5, false});
        out.push_back({i + 0.5, 7.5, false});
        out.push_back({-0.5, i + 0.5, false});
    }
    for (int c = 8; c < first_stretch; ++c)
        out.push_back({c + 0.5, 0.5, c % 2 == 0});
    for (int c = -1; c <= first_stretch; ++c)
        out.push_back({c + 0.5, -0.5, false});
    return out;
}

// The known modules of a size in columns first..last - 1: function
// patterns outside the format information, and the quiet zone around them.
std::vector<KnownModule> size_modules(int h, int w, int first, int last) {
    std::vector<KnownModule> out;
    for (int r = 0; r < h; ++r)
        for (int c = first; c < last; ++c)
            if (function_module(h, w, c, r) && !format_module(h, w, c, r))
                out.push_back({c + 0.5, r + 0.5, function_dark(h, w, c, r)});
    for (int c = first == 0 ? -1 : first; c <= (last == w ? w : last - 1); ++c) {
        out.push_back({c + 0.5, -0.5, false});
        out.push_back({c + 0.5, h + 0.5, false});
    }
    for (int r = 0; r < h; ++r) {
        if (first == 0)
            out.push_back({-0.5, r + 0.5, false});
        if (last == w)
            out.push_back({w + 0.5, r + 0.5, false});
    }
    return out;
}

// How well the frame puts the known modules on their colours.
double fit_score(const th::GreyView &grey, const th::Binary &binary, const Frame &f,
                 const std::vector<KnownModule> &known) {
    const auto map = f.map();
    return map ? lone_eyes::known_fit(grey, binary, known, [&](double col, double row) { return map->map(col, row); })
               : -1e30;
}

// Share of the known modules inside the picture whose centres show their
// colour.
double agreement(const th::GreyView &grey, const th::Binary &binary, const th::Projective &map,
                 const std::vector<KnownModule> &known) {
    int agree = 0, total = 0;
    for (const KnownModule &k : known) {
        bool inside = false;
        const bool dark = dark_at(grey, binary, map.map(k.col, k.row), inside);
        if (!inside)
            continue;
        agree += dark == k.dark;
        ++total;
    }
    return total ? static_cast<double>(agree) / total : 0;
}

// The frame's corners moved, each alone and the far and near sides as
// pairs (which turns and stretches the frame without shearing it), while
// the known modules fit better.
Frame fitted(const th::GreyView &grey, const th::Binary &binary, Frame f, const std::vector<KnownModule> &known,
             double module) {
    constexpr unsigned moves[] = {1, 2, 4, 8, 2 | 4, 1 | 8};
    constexpr int max_rounds = 6;
    lone_eyes::climb(f.at, moves, module, max_rounds, [&] { return fit_score(grey, binary, f, known); });
    return f;
}

// The frame with its far side slid along the long axis to where the known
// modules fit best, up to `reach` modules either way in quarter modules,
// and its far side's height scaled as perspective does: an extrapolated
// far side may be off by more than a timing pattern's period, where a
// local search would settle on the wrong phase.
Frame slid(const th::GreyView &grey, const th::Binary &binary, const Frame &f, const std::vector<KnownModule> &known,
           double reach) {
    const Position top{(f.at[1].x - f.at[0].x) / f.cols, (f.at[1].y - f.at[0].y) / f.cols};
    const Position bottom{(f.at[2].x - f.at[3].x) / f.cols, (f.at[2].y - f.at[3].y) / f.cols};
    Frame best = f;
    double best_score = -1e30;
    for (const double height : {1.0, 0.85, 1.15, 0.7})
        for (double t = -reach; t <= reach + 1e-9; t += 0.25) {
            Frame trial = f;
            trial.at[1] = {f.at[1].x + t * top.x, f.at[1].y + t * top.y};
            const Position far_bottom{f.at[2].x + t * bottom.x, f.at[2].y + t * bottom.y};
            trial.at[2] = {trial.at[1].x + (far_bottom.x - trial.at[1].x) * height,
                           trial.at[1].y + (far_bottom.y - trial.at[1].y) * height};
            const double score = fit_score(grey, binary, trial, known);
            if (score > best_score) {
                best_score = score;
                best = trial;
            }
        }
    return best;
}

// The frame over `cols` x `rows` modules, its top and bottom edges
// extended in a straight line at the spacing each has: a projective map
// fitted to a short stretch of a thin symbol measures perspective too
// poorly to extrapolate.
std::optional<Frame> extended(const Frame &f, double cols, double rows) {
    const auto map = f.map();
    if (!map)
        return std::nullopt;
    const Position top = map->map(0, 0), bottom = map->map(0, rows);
    const Position top_end = map->map(f.cols, 0), bottom_end = map->map(f.cols, rows);
    const double k = cols / f.cols;
    return Frame{{top,
                  {top.x + (top_end.x - top.x) * k, top.y + (top_end.y - top.y) * k},
                  {bottom.x + (bottom_end.x - bottom.x) * k, bottom.y + (bottom_end.y - bottom.y) * k},
                  bottom},
                 cols, rows};
}

// Whether the timing pattern starts along the frame's top row (modules 8..11
// alternate) with the separator before it and below the eye, and the
// quiet zone lies above and to the left (a part cut off by the picture's
// edge counts as light); the eye's outline measures the module coarsely,
// so the long axis may run a little shorter or longer.
bool timing_starts(const th::GreyView &grey, const th::Binary &binary, const th::Projective &eye) {
    const auto light_at = [&](double col, double row) {
        bool inside = false;
        const bool dark = dark_at(grey, binary, eye.map(col, row), inside);
        return !dark || !inside;
    };
    for (const double scale : {1.0, 0.95, 1.05, 0.9, 1.1}) {
        bool ok = true;
        for (int c = 7; c < first_stretch && ok; ++c) {
            bool inside = false;
            const bool dark = dark_at(grey, binary, eye.map((c + 0.5) * scale, 0.5), inside);
            ok = inside && dark == (c % 2 == 0);
        }
        if (!ok)
            continue;
        int light = 0, quiet = 0;
        for (int i = 1; i < 6; ++i)
            light += light_at(7.5 * scale, i + 0.5) + light_at(i + 0.5, 7.5);
        for (int i = 0; i < 7; ++i)
            quiet += light_at(-0.5, i + 0.5) + light_at((i + 0.5) * scale, -0.5);
        return light >= 9 && quiet >= 12;
    }
    return false;
}

// A map that holds for the columns first..last - 1.
struct Piece {
    int first;
    int last;
    th::Projective map;
};

// The module matrix through the pieces' maps: each module's grey (five
// points for modules of 3 pixels and more) against the binarisation's
// threshold, or against the mean grey of the 7 x 7 modules around it.
std::optional<ModuleMatrix> sample(const th::GreyView &grey, const th::Binary &binary, const std::vector<Piece> &pieces, int w,
                             int h, bool window) {
    const th::Projective &middle = pieces[pieces.size() / 2].map;
    const double cx = (pieces[pieces.size() / 2].first + pieces[pieces.size() / 2].last) / 2.0;
    const Position a = middle.map(cx, h / 2.0), b = middle.map(cx + 1, h / 2.0), c = middle.map(cx, h / 2.0 + 1);
    const bool several = std::sqrt(std::hypot(b.x - a.x, b.y - a.y) * std::hypot(c.x - a.x, c.y - a.y)) >= several_points_from;
    const auto at = [](int r, int col, int width) {
        return static_cast<std::size_t>(r) * static_cast<std::size_t>(width) + static_cast<std::size_t>(col);
    };
    std::vector<float> greys(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    std::vector<float> thresholds(greys.size());
    for (const Piece &piece : pieces)
        for (int r = 0; r < h; ++r)
            for (int col = piece.first; col < piece.last; ++col) {
                constexpr double offsets[5][2] = {{0, 0}, {-spread, 0}, {spread, 0}, {0, -spread}, {0, spread}};
                float sum = 0;
                const int points = several ? 5 : 1;
                for (int k = 0; k < points; ++k) {
                    const float g = grey_at(grey, piece.map.map(col + 0.5 + offsets[k][0], r + 0.5 + offsets[k][1]));
                    if (g < 0)
                        return std::nullopt;
                    sum += g;
                }
                greys[at(r, col, w)] = sum / points;
                const Position p = piece.map.map(col + 0.5, r + 0.5);
                thresholds[at(r, col, w)] = static_cast<float>(binary.threshold(static_cast<float>(p.x), static_cast<float>(p.y)));
            }
    ModuleMatrix m{w, h, std::vector<std::uint8_t>(greys.size())};
    for (int r = 0; r < h; ++r)
        for (int col = 0; col < w; ++col) {
            float threshold = thresholds[at(r, col, w)];
            if (window) {
                double total = 0;
                int n = 0;
                for (int rr = std::max(0, r - 3); rr <= std::min(h - 1, r + 3); ++rr)
                    for (int cc = std::max(0, col - 3); cc <= std::min(w - 1, col + 3); ++cc, ++n)
                        total += greys[at(rr, cc, w)];
                threshold = static_cast<float>(total / n);
            }
            m.modules[at(r, col, w)] = greys[at(r, col, w)] <= threshold;
        }
    return m;
}

// The whole frame's map, and one refitted for each stretch between
// alignment columns: a long symbol on a bent or slanted surface is no
// single plane.
std::vector<std::vector<Piece>> piece_sets(const th::GreyView &grey, const th::Binary &binary, const Frame &whole, int h,
                                           int w, double module) {
    std::vector<std::vector<Piece>> sets;
    const auto map = whole.map();
    if (!map)
        return sets;
    sets.push_back({Piece{0, w, *map}});
    const auto columns = alignment_columns(w);
    if (columns.empty())
        return sets;
    std::vector<Piece> pieces;
    int first = 0;
    for (std::size_t i = 0; i <= columns.size(); ++i) {
        const int last = i < columns.size() ? columns[i] : w;
        // The stretch and the alignment columns at its ends.
        const int fit_first = std::max(0, first - 2), fit_last = std::min(w, last + 2);
        Frame f{{map->map(fit_first, 0), map->map(fit_last, 0), map->map(fit_last, h), map->map(fit_first, h)},
                static_cast<double>(fit_last - fit_first), static_cast<double>(h), static_cast<double>(fit_first)};
        f = fitted(grey, binary, f, size_modules(h, w, fit_first, fit_last), module);
        const auto local = f.map();
        pieces.push_back(Piece{first, last, local ? *local : *map});
        first = last;
    }
    sets.push_back(std::move(pieces));
    return sets;
}

// The symbol whose outer corner and first edges are the eye quad's
// (outer corner, along the long side, opposite, along the short side).
std::optional<Located> read_oriented(const th::GreyView &grey, const th::Binary &binary,
                                     const std::array<Position, 4> &eye, double module, bool mirrored) {
    const auto eye_map = th::Projective::from_quads({{{0, 0}, {7, 0}, {7, 7}, {0, 7}}}, eye);
    if (!eye_map || !timing_starts(grey, binary, *eye_map))
        return std::nullopt;
    // The eye's neighbourhood, then the format copy beside it.
    Frame f{{eye[0], eye_map->map(first_stretch, 0), eye_map->map(first_stretch, 8), eye_map->map(0, 8)},
            first_stretch, 8};
    f = fitted(grey, binary, f, eye_modules(), module);
    const auto near_map = f.map();
    if (!near_map)
        return std::nullopt;
    const auto corner = sample(grey, binary, {Piece{0, first_stretch, *near_map}}, first_stretch, 6, false);
    const auto format = corner ? read_format_copy(*corner, FormatCopy::eye, picture_format_errors) : std::nullopt;
    const auto size = format ? symbol_size(format->symbol) : std::nullopt;
    if (!size)
        return std::nullopt;
    const int w = size->width, h = size->height;
    // Ever longer stretches of the symbol, each fitted and checked.
    for (int cols = 2 * first_stretch;; cols = std::min(w, 2 * cols)) {
        const auto longer = extended(f, cols, h);
        if (!longer)
            return std::nullopt;
        const std::vector<KnownModule> known = size_modules(h, w, 0, cols);
        f = fitted(grey, binary, slid(grey, binary, *longer, known, 0.1 * cols), known, module);
        const auto map = f.map();
        if (!map || agreement(grey, binary, *map, known) < min_agreement)
            return std::nullopt;
        if (cols == w)
            break;
    }
    const auto map = f.map();
    if (!map)
        return std::nullopt;
    ReadLimits limits;
    limits.format_bit_errors = picture_format_errors;
    for (const std::vector<Piece> &pieces : piece_sets(grey, binary, f, h, w, module))
        for (const bool window : {false, true}) {
            const auto m = sample(grey, binary, pieces, w, h, window);
            if (!m)
                return std::nullopt;
            auto r = read_matrix(*m, limits);
            if (!r || r->version != format->symbol + 1)
                continue;
            r->mirrored = mirrored;
            Located out{std::move(*r), SymbolKind::rmqr, {}, grey.inverted};
            const Position at[4] = {map->map(0, 0), map->map(w, 0), map->map(w, h), map->map(0, h)};
            std::copy(std::begin(at), std::end(at), out.corners.begin());
            return out;
        }
    return std::nullopt;
}

} // namespace

std::optional<Located> read_outline(const lone_eyes::Outline &o) {
    for (int first = 0; first < 4; ++first)
        for (const bool mirrored : {false, true}) {
            // The outline goes round the pattern as a symbol's corners do;
            // a mirrored symbol goes round the other way.
            std::array<Position, 4> eye;
            for (int k = 0; k < 4; ++k)
                eye[static_cast<std::size_t>(k)] = o.corners[static_cast<std::size_t>((first + (mirrored ? 4 - k : k)) % 4)];
            if (auto s = read_oriented(o.grey, o.binary, eye, o.module, mirrored))
                return s;
        }
    return std::nullopt;
}

} // namespace vantor::rmqr
