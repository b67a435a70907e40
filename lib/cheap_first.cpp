// The cheap-first strategy. A picture without a symbol is most of a batch,
// and the exhaustive effort spends seven binarisation passes and the
// thorough search on each. Here the first pass runs alone (it reads most
// clean symbols by itself), then the search's local binarisation of the
// picture and of its inverse is scanned for eye patterns. Only when those
// show patterns that could be corners of one symbol does the call go on, and
// then it runs exactly what the exhaustive effort runs, so a picture that
// escalates gets the exhaustive results and readings.
#include "cheap_first.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "api_readings.h"
#include "thorough/eye_scan.h"
#include "thorough/image.h"
#include "thorough/triples.h"

namespace vantor {

namespace {

// A candidate found on one scan line only is what texture gives; the search
// itself takes only candidates with at least this many.
constexpr int min_hits = 2;
// Two candidates can be two corners of one symbol, with the third spoilt
// (the search then places it by template), when they are strong (quality as
// the search measures it), of like size, and as far apart as two eye
// patterns of a symbol of version 1 to 40 can be, in modules.
constexpr double pair_quality = 0.5;
constexpr double pair_size_ratio = 1.5;
constexpr double pair_min_modules = 10;
constexpr double pair_max_modules = 177 * 1.3 * 1.5;
// The fast effort's last classic pass: the global thresholds and the first
// local binarisation.
constexpr int fast_last_pass = 3;

// What a quick look at one binarisation saw.
enum class Look { nothing, candidates, symbol };

// A quick look at one binarisation (keeping as many candidates as the
// search keeps): whether it finds eye patterns that could make a symbol
// (three that pass the search's geometric gates for a triple, or two that
// the search could complete), only candidates that cannot, or none.
Look could_make_symbol(const thorough::GreyView &grey) {
    const thorough::Binary binary(grey);
    std::vector<thorough::Candidate> at;
    std::vector<double> quality;
    for (const thorough::ScoredCandidate &c : thorough::scan_eyes(binary, thorough::SearchOptions{}.max_candidates)) {
        if (c.hits < min_hits)
            continue;
        at.push_back(c.at);
        quality.push_back(std::min(1.0, c.hits / (3.0 * c.at.module)));
    }
    if (at.empty())
        return Look::nothing;
    if (at.size() < 2)
        return Look::candidates;
    for (std::size_t i = 0; i < at.size(); ++i) {
        for (std::size_t j = i + 1; j < at.size(); ++j) {
            if (quality[i] < pair_quality || quality[j] < pair_quality)
                continue;
            const double big = std::max(at[i].module, at[j].module), small = std::min(at[i].module, at[j].module);
            if (!(big <= pair_size_ratio * small))
                continue;
            const double modules = std::hypot(at[i].x - at[j].x, at[i].y - at[j].y) / ((big + small) / 2);
            if (modules >= pair_min_modules && modules <= pair_max_modules)
                return Look::symbol;
        }
    }
    if (at.size() < 3)
        return Look::candidates;
    const std::vector<int> unused(at.size(), 0);
    return thorough::form_triples(at, quality, unused, 1).empty() ? Look::candidates : Look::symbol;
}

// Whether the picture may hold a symbol the first pass did not read.
bool evidence_of_symbol(const std::uint8_t *pixels, int width, int height, bool sharpened_look,
                        const vantor_results &first_pass) {
    // A version determined is a symbol's structure already.
    if (first_pass.stage >= VANTOR_STAGE_VERSION)
        return true;
    bool candidates = false;
    for (bool inverted : {false, true}) {
        const Look look = could_make_symbol(thorough::GreyView{pixels, width, height, width, inverted});
        if (look == Look::symbol)
            return true;
        candidates = candidates || look == Look::candidates;
    }
    // Blur closes the light ring of eye patterns in any binarisation of the
    // picture as it is; the thorough search sharpens it for that. The
    // sharpened look costs as much as both plain ones, and a picture where
    // they saw not one eye pattern candidate (most without a symbol) skips
    // it: blur that leaves a symbol readable still shows candidates there.
    if (!sharpened_look || !candidates)
        return false;
    const std::vector<std::uint8_t> sharp = thorough::sharpened(thorough::GreyView{pixels, width, height, width, false});
    return could_make_symbol(thorough::GreyView{sharp.data(), width, height, width, false}) == Look::symbol;
}

} // namespace

void cheap_first_readings(const std::uint8_t *pixels, int width, int height, int depth, const vantor_options &options,
                          vantor_results &results) {
    const bool fast = options.effort == VANTOR_EFFORT_FAST;
    std::vector<ScoredCandidate> pool;
    classic_readings(pixels, width, height, depth, options, 0, results, pool);
    if (results.reason == VANTOR_INVALID_ARGUMENT || results.reason == VANTOR_OUT_OF_MEMORY)
        return;
    if (!results.symbols.empty()) {
        // The exhaustive effort stops at the same reading; it goes on only
        // to search for more symbols: every one when asked, or when eye
        // patterns apart from this one may be another that comes first in
        // reading order.
        const bool more = options.all_symbols || eyes_for_more(pool, results.symbols[0]->view);
        if (!more || fast || !options.thorough)
            return;
    } else if (!evidence_of_symbol(pixels, width, height, !fast && options.thorough, results)) {
        return; // the first pass's readings and its reason stand
    }
    results = vantor_results{};
    pool.clear();
    if (fast) {
        classic_readings(pixels, width, height, depth, options, fast_last_pass, results, pool);
        return;
    }
    exhaustive_readings(pixels, width, height, depth, options, results);
}

} // namespace vantor
