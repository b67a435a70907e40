// Reading a Model 1 symbol through an eye pattern triple.
#include "triple.h"

#include <algorithm>
#include <cmath>

#include "../format.h"
#include "../thorough/sampling.h"
#include "reader.h"
#include "symbols.h"

namespace vantor::model1 {
namespace {

// Share of timing pattern modules a grid must read right to be read.
constexpr double min_timing = 0.7;

thorough::FoundSymbol found_symbol(Reading &r, const thorough::Grid &grid, bool inverted) {
    thorough::FoundSymbol s;
    s.bytes = std::move(r.content.bytes);
    s.version = r.version;
    s.level = level_letter(r.level_bits);
    s.mask = r.mask;
    const int n = grid.size;
    const thorough::Point c[4] = {grid.map(0, 0), grid.map(n, 0), grid.map(n, n), grid.map(0, n)};
    // A mirrored symbol's own upper-right corner is the one seen at the
    // lower left.
    const int order[4] = {0, r.mirrored ? 3 : 1, 2, r.mirrored ? 1 : 3};
    for (int i = 0; i < 4; ++i)
        s.corners[static_cast<std::size_t>(i)] = {static_cast<float>(c[order[i]].x), static_cast<float>(c[order[i]].y)};
    s.corrected = r.corrected;
    s.mirrored = r.mirrored;
    s.inverted = inverted;
    s.facts = r.content.facts;
    s.model1 = true;
    return s;
}

} // namespace

std::optional<thorough::FoundSymbol> read_triple(const thorough::GreyView &grey, const thorough::Binary &binary,
                                                 const thorough::Eyes &eyes) {
    const double across = thorough::eyes_modules_across(eyes);
    const int v0 = static_cast<int>(std::lround((across - 17) / 4));
    if (v0 < 0 || v0 > max_version + 1)
        return std::nullopt;
    for (int version : {v0, v0 + 1, v0 - 1}) {
        if (version < 1 || version > max_version)
            continue;
        const auto guess = thorough::first_guess(grey, binary, eyes, version);
        if (!guess || guess->timing < min_timing)
            continue;
        for (auto t : {thorough::Threshold::blocks, thorough::Threshold::module_window}) {
            const auto m = thorough::sample(grey, binary, guess->grid, t);
            if (!m)
                continue;
            if (auto r = read_matrix(*m))
                return found_symbol(*r, guess->grid, grey.inverted);
        }
    }
    return std::nullopt;
}

} // namespace vantor::model1
