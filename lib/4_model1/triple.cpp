// Reading a Model 1 symbol through an eye pattern triple.
#include "triple.h"

#include <algorithm>
#include <cmath>

#include "2_image/projective.h"
#include "2_image/sampling.h"
#include "3_model2/search/codewords.h"
#include "reader.h"
#include "symbols.h"

namespace vantor::model1 {
namespace {

// Share of timing pattern modules the first guess of a version must read
// right to be read.
constexpr double min_timing = 0.6;
// Format bits a first sampling may have wrong for the grid to be refined,
// and the timing pattern share the guess must read right to allow that
// many: a random word lies within 3 bits of a format word more than half
// the time, so such a format counts only beside timing patterns that read
// well; with weaker timing it must be within 1 bit (1 in 60 by chance).
constexpr int gate_format_errors = 3;
constexpr int near_format_errors = 1;
constexpr double sure_timing = 0.75;
// How far (modules, along rows and columns) the lower-right corner is moved
// about the first guess; without alignment patterns nothing else fixes it.
constexpr double corner_steps[] = {0, -0.6, 0.6, -1.2, 1.2};

// The grids whose lower-right eye-less corner lies about where the guess
// puts it: maps through the three eye centres and the moved corner, the
// guess itself first.
std::vector<thorough::Grid> corner_grids(const thorough::Eyes &e, const thorough::Grid &guess) {
    const int n = guess.size;
    std::vector<thorough::Grid> out{guess};
    const double far = n - 3.5;
    const Position corner = guess.map(far, far);
    const double module = (e.corner.module + e.along.module + e.down.module) / 3;
    for (double dr : corner_steps)
        for (double dc : corner_steps) {
            if (dr == 0 && dc == 0)
                continue;
            const Position moved{corner.x + module * (dc * e.row_dir.x + dr * e.col_dir.x),
                                        corner.y + module * (dc * e.row_dir.y + dr * e.col_dir.y)};
            const auto map = thorough::Projective::from_quads(
                {Position{3.5, 3.5}, Position{far, 3.5}, Position{far, far},
                 Position{3.5, far}},
                {Position{e.corner.x, e.corner.y}, Position{e.along.x, e.along.y}, moved,
                 Position{e.down.x, e.down.y}});
            if (map && map->proper_over(n))
                out.push_back(thorough::Grid{n, *map, {}, {}});
        }
    return out;
}

} // namespace

std::optional<Located> read_triple(const thorough::GreyView &grey, const thorough::Binary &binary,
                                   const thorough::Eyes &eyes, thorough::Guesses &guesses) {
    const double across = thorough::eyes_modules_across(eyes);
    const int v0 = static_cast<int>(std::lround((across - 17) / 4));
    if (v0 < 0 || v0 > max_version + 1)
        return std::nullopt;
    for (int version : {v0, v0 + 1, v0 - 1}) {
        if (version < 1 || version > max_version)
            continue;
        const std::optional<thorough::Guess> &guess = guesses.of(version);
        if (!guess || guess->timing < min_timing)
            continue;
        // The format information lies by the eyes, where the guess is
        // good: without a Model 1 format there, the version is passed over.
        // Its modules alone are sampled.
        const auto first = thorough::sample_blocks_at(grey, binary, guess->grid,
                                                      thorough::format_strip_modules(guess->grid.size));
        if (!first)
            continue;
        int errors = gate_format_errors + 1;
        for (const auto &f : {read_format(*first, gate_format_errors), read_format(first->transposed(), gate_format_errors)})
            if (f)
                errors = std::min(errors, f->bit_errors);
        if (errors > gate_format_errors || (errors > near_format_errors && guess->timing < sure_timing))
            continue;
        // Each grid's greys are sampled once and judged against both
        // thresholds.
        for (const thorough::Grid &grid : corner_grids(eyes, guess->grid)) {
            const auto greys = thorough::module_greys(grey, grid);
            if (!greys)
                continue;
            for (auto t : {thorough::Threshold::blocks, thorough::Threshold::module_window})
                if (auto r = model1::read_matrix(thorough::judge_modules(*greys, binary, grid, t)))
                    return thorough::located_on(std::move(*r), SymbolKind::model1, grid, grey.inverted);
        }
    }
    return std::nullopt;
}

} // namespace vantor::model1
