// Locating Micro QR symbols. A lone eye pattern says little: its outline
// gives a map of the 7 x 7 eye modules, extended over the symbol in each
// of its four possible directions. Only a sampling whose timing patterns
// alternate and whose format information names its size is read.
#include "locate.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "2_image/image.h"
#include "2_image/known_fit.h"
#include "2_image/sampling.h"
#include "format.h"
#include "symbols.h"

namespace vantor::microqr {
namespace {

namespace th = vantor::thorough;
using lone_eyes::KnownModule;

constexpr double min_timing = 0.85;      // share of timing modules that must alternate
constexpr int picture_format_errors = 2; // format bits a symbol in a picture may have wrong

// Share of the timing modules of row 0 and column 0 (beyond the separator)
// that alternate dark, light, ... from module 8.
double timing_share(const vantor::ModuleMatrix &m) {
    int agree = 0, total = 0;
    for (int i = 8; i < m.width; ++i) {
        agree += m.dark(i, 0) == (i % 2 == 0);
        agree += m.dark(0, i) == (i % 2 == 0);
        total += 2;
    }
    return total ? static_cast<double>(agree) / total : 0;
}

// The known modules of a symbol n modules a side (centres in module space).
std::vector<KnownModule> known_modules(int n) {
    std::vector<KnownModule> out;
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 7; ++c) {
            const int ring = std::min(std::min(r, c), std::min(6 - r, 6 - c));
            out.push_back({c + 0.5, r + 0.5, ring != 1});
        }
    for (int i = 0; i < 8; ++i) {
        out.push_back({i + 0.5, 7.5, false}); // separator
        out.push_back({7.5, i + 0.5, false});
    }
    for (int i = 8; i < n; ++i) {
        out.push_back({i + 0.5, 0.5, i % 2 == 0}); // timing
        out.push_back({0.5, i + 0.5, i % 2 == 0});
    }
    for (int i = -1; i <= n; ++i) {
        out.push_back({i + 0.5, -0.5, false}); // quiet zone above and left
        out.push_back({-0.5, i + 0.5, false});
    }
    for (int i = 0; i < 3; ++i) {
        out.push_back({n + 0.5, i + 0.5, false}); // past the timing patterns' ends
        out.push_back({i + 0.5, n + 0.5, false});
    }
    return out;
}

// An affine module grid: the image points of modules (0, 0), (n, 0) and
// (0, n) corners.
struct Frame {
    std::array<Position, 3> at;

    Position map(double col, double row, int n) const {
        const double u = col / n, v = row / n;
        return {at[0].x + (at[1].x - at[0].x) * u + (at[2].x - at[0].x) * v,
                at[0].y + (at[1].y - at[0].y) * u + (at[2].y - at[0].y) * v};
    }
};

// The frame moved point by point, coordinate by coordinate, while the known
// modules fit better.
Frame fitted_frame(const th::GreyView &grey, const th::Binary &binary, Frame f, int n, double module) {
    const std::vector<KnownModule> known = known_modules(n);
    constexpr unsigned moves[] = {1, 2, 4};
    lone_eyes::climb(f.at, moves, module, 2, [&] {
        return lone_eyes::known_fit(grey, binary, known, [&](double col, double row) { return f.map(col, row, n); });
    });
    return f;
}

// Whether timing modules 8..10, which every size has, alternate along row 0
// and column 0 of the frame (a symbol of 11 modules): the direction the
// symbol runs from its eye. The eye's outline measures the module
// coarsely, so each axis may run a little shorter or longer.
bool timing_starts(const th::GreyView &grey, const th::Binary &binary, const Frame &f) {
    for (int axis = 0; axis < 2; ++axis) {
        int agree = 0;
        for (double scale : {1.0, 0.95, 1.05, 0.9, 1.1}) {
            agree = 0;
            for (int i = 8; i <= 10; ++i) {
                const double along = (i + 0.5) * scale;
                const Position p = axis == 0 ? f.map(along, 0.5, 11) : f.map(0.5, along, 11);
                const float g = grey.bilinear(static_cast<float>(p.x), static_cast<float>(p.y));
                if (g < 0)
                    return false;
                agree += (g <= binary.threshold(static_cast<float>(p.x), static_cast<float>(p.y))) == (i % 2 == 0);
            }
            if (agree == 3)
                break;
        }
        if (agree != 3)
            return false;
    }
    return true;
}

// The frame of a symbol n modules a side fitted to its known modules,
// starting from the eye's outline.
Frame frame_for(const th::GreyView &grey, const th::Binary &binary, const std::array<Position, 4> &eye, int n,
                double module) {
    // The outline spans 7 of the symbol's n modules along each side.
    auto along = [&](int k) {
        const Position o = eye[0], e = eye[static_cast<std::size_t>(k)];
        return Position{o.x + (e.x - o.x) * n / 7.0, o.y + (e.y - o.y) * n / 7.0};
    };
    return fitted_frame(grey, binary, Frame{{eye[0], along(1), along(3)}}, n, module);
}

// The map of a symbol n modules a side whose corners (0, 0), (n, 0), (n, n)
// and (0, n) lie at `at`.
std::optional<th::Projective> quad_map(const std::array<Position, 4> &at, int n) {
    const double far = n;
    return th::Projective::from_quads({{{0, 0}, {far, 0}, {far, far}, {0, far}}}, at);
}

// The symbol read through the map of its corners, when timing, format
// information naming this version and Reed-Solomon agree.
std::optional<Located> read_quad(const th::GreyView &grey, const th::Binary &binary,
                                            const std::array<Position, 4> &corners, int version) {
    const int n = symbol_size(version);
    const double far = n;
    const auto map = quad_map(corners, n);
    if (!map || !map->proper_over(far))
        return std::nullopt;
    ReadLimits limits;
    limits.format_bit_errors = picture_format_errors;
    const th::Grid grid{n, *map, {}, {}};
    for (th::Threshold threshold : {th::Threshold::blocks, th::Threshold::module_window}) {
        const auto m = th::sample(grey, binary, grid, threshold);
        if (!m)
            return std::nullopt;
        // A mirrored symbol samples transposed: its timing patterns too.
        if (timing_share(*m) < min_timing)
            continue;
        auto r = read_matrix(*m, limits);
        if (!r || r->version != version)
            continue;
        Located out{std::move(*r), SymbolKind::micro, {}, grey.inverted};
        const Position at[4] = {map->map(0, 0), map->map(far, 0), map->map(far, far), map->map(0, far)};
        for (int k = 0; k < 4; ++k) {
            // Read transposed, the symbol's own top-right is the grid's
            // bottom-left.
            const int from = out.symbol.mirrored && (k == 1 || k == 3) ? 4 - k : k;
            out.corners[static_cast<std::size_t>(k)] = at[from];
        }
        return out;
    }
    return std::nullopt;
}

// The symbol read through the frame, its far corner (which no known module
// pins) moved by `shift` modules along the frame's axes off the
// parallelogram: a picture taken at a slant is no parallelogram.
std::optional<Located> read_framed(const th::GreyView &grey, const th::Binary &binary, const Frame &f, int version,
                                   Position shift = {0, 0}) {
    const int n = symbol_size(version);
    const Position across{f.at[1].x - f.at[0].x, f.at[1].y - f.at[0].y}, down{f.at[2].x - f.at[0].x, f.at[2].y - f.at[0].y};
    const Position corner{f.at[1].x + down.x + (shift.x * across.x + shift.y * down.x) / n,
                           f.at[1].y + down.y + (shift.x * across.y + shift.y * down.y) / n};
    return read_quad(grey, binary, {f.at[0], f.at[1], corner, f.at[2]}, version);
}

// A symbol seen at a steep slant: its frame as a projective map of four
// corners fitted together on the known modules, the far corner starting
// where the eye's own perspective puts it. Under a keystone the timing
// modules' spacing changes along each side, which an affine frame cannot
// follow, and that spacing is what pins the far corner.
std::optional<Located> read_keystoned(const th::GreyView &grey, const th::Binary &binary, const Frame &f,
                                                 const th::Projective &eye_map, int version, double module) {
    const int n = symbol_size(version);
    std::array<Position, 4> at{f.at[0], f.at[1], eye_map.map(n, n), f.at[2]};
    const std::vector<KnownModule> known = known_modules(n);
    const auto fit = [&] {
        const auto map = quad_map(at, n);
        if (!map || !map->proper_over(n))
            return -1e300;
        return lone_eyes::known_fit(grey, binary, known, [&](double col, double row) { return map->map(col, row); });
    };
    constexpr unsigned moves[] = {1, 2, 4, 8};
    lone_eyes::climb(at, moves, module, 2, fit);
    return read_quad(grey, binary, at, version);
}

// The symbol through one eye outline, whose corner `first` is the
// symbol's outer corner. The format information lies within the smallest
// size's modules: read there, it names the size to fit and read.
std::optional<Located> read_oriented(const th::GreyView &grey, const th::Binary &binary,
                                     const std::array<Position, 4> &outline, int first, double module) {
    std::array<Position, 4> eye;
    for (std::size_t k = 0; k < 4; ++k)
        eye[k] = outline[(static_cast<std::size_t>(first) + k) % 4];
    const int smallest = symbol_size(1);
    const auto start_map = th::Projective::from_quads({{{0, 0}, {7, 0}, {7, 7}, {0, 7}}}, eye);
    if (!start_map)
        return std::nullopt;
    const Frame start{{eye[0], start_map->map(smallest, 0), start_map->map(0, smallest)}};
    if (!timing_starts(grey, binary, start))
        return std::nullopt;
    const Frame f = frame_for(grey, binary, eye, smallest, module);
    const double far = smallest;
    const auto map = th::Projective::from_triangles({{{0, 0}, {far, 0}, {0, far}}}, f.at);
    if (!map)
        return std::nullopt;
    const auto corner = th::sample(grey, binary, th::Grid{smallest, *map, {}, {}}, th::Threshold::blocks);
    if (!corner)
        return std::nullopt;
    const auto format = as_is_or_transposed(
        *corner, [](const vantor::ModuleMatrix &m) { return microqr::read_format(m, picture_format_errors); });
    const auto variant = format ? symbol_variant(format->symbol) : std::nullopt;
    if (!variant)
        return std::nullopt;
    const Frame sized = variant->version == 1 ? f : frame_for(grey, binary, eye, symbol_size(variant->version), module);
    if (auto s = read_framed(grey, binary, sized, variant->version))
        return s;
    // Keystone: the far corner up to a module off the parallelogram, in half
    // modules, nearest first. M1 is too small for it to matter.
    if (variant->version == 1)
        return std::nullopt;
    for (const double reach : {0.5, 1.0})
        for (const double dx : {-reach, 0.0, reach})
            for (const double dy : {-reach, 0.0, reach}) {
                if (std::max(std::fabs(dx), std::fabs(dy)) != reach)
                    continue;
                if (auto s = read_framed(grey, binary, sized, variant->version, {dx, dy}))
                    return s;
            }
    return read_keystoned(grey, binary, sized, *start_map, variant->version, module);
}
} // namespace

std::optional<Located> read_outline(const lone_eyes::Outline &o) {
    for (int first = 0; first < 4; ++first)
        if (auto s = read_oriented(o.grey, o.binary, o.corners, first, o.module))
            return s;
    return std::nullopt;
}

} // namespace vantor::microqr
