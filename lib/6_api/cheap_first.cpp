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
#include <optional>
#include <span>
#include <vector>

#include "readings.h"
#include "3_model2/search/candidate_pool.h"
#include "2_image/eye_scan.h"
#include "3_model2/search/completion.h"
#include "2_image/image.h"
#include "search.h"

namespace vantor {

namespace {

// The fast effort's last classic pass: the global thresholds and the first
// local binarisation.
constexpr int fast_last_pass = 3;

// The first pass's readings take their eye patterns from its strongest
// candidates: three a reading, two readings.
constexpr std::size_t first_pass_eyes = 6;

// Blur that closes the light ring of eye patterns leaves a symbol readable
// only on modules at least this many pixels wide; texture and noise give
// candidates of smaller modules.
constexpr float min_blurred_module = 2.5f;

// The quick look scans every second row: the 3-module centre of an eye
// pattern of the smallest readable modules (1.5 pixels) still spans two.
constexpr int look_row_step = 2;

// What a quick look at one binarisation saw.
enum class Look { nothing, candidates, symbol };

// A quick look at one binarisation, with the candidates `pooled` from the
// first pass: whether its eye pattern candidates could make a symbol, only
// candidates that could not (of modules wide enough that blur may hide
// more), or none that count. Measured, as the search would sample a grid:
// a triple that passes the geometric gates and whose eye patterns stand out
// from the grey around them, a pair of like size that stands out, or a
// triple completed by a third eye that two strong candidates predict.
// Texture and noise show many eye pattern candidates, but their rings do
// not stand out from their own spread. Unmeasured, when no sharpened look
// follows to see blurred rings better, the geometry alone: a gated triple
// or two strong candidates of like size.
// The look takes the row matches of every `look_row_step`th row of `binary`
// from `matches`, which may hold more rows. The first triple that stands out
// goes to `stood`.
Look could_make_symbol(const thorough::GreyView &grey, const thorough::Binary &binary,
                       std::span<const thorough::RowMatch> matches, std::span<const thorough::Candidate> pooled,
                       bool measured, std::optional<thorough::StandingEyes> *stood = nullptr) {
    const int limit = thorough::SearchOptions{}.max_candidates;
    thorough::Pool pool = thorough::scanned_pool(
        thorough::merge_matches(matches, binary.width(), binary.height(), limit, look_row_step), look_row_step);
    // Seen on two scanned rows, as the search's own scan demands: a
    // candidate's quality is the rows that found it over three modules.
    bool scanned = false;
    for (std::size_t i = 0; i < pool.at.size(); ++i)
        scanned = scanned || (pool.at[i].module >= min_blurred_module &&
                              pool.quality[i] * 3 * pool.at[i].module >= 2 * look_row_step - 1e-6);
    thorough::add_pooled(pool, pooled, limit);
    if (!measured)
        return !thorough::form_triples(pool.at, pool.quality, pool.used, 1).empty() ||
                       thorough::pair_of_eyes(grey, pool, false)
                   ? Look::symbol
                   : scanned ? Look::candidates : Look::nothing;
    auto any = [&](const thorough::Triple &, thorough::StandingEyes &eyes) {
        if (stood)
            stood->emplace(std::move(eyes));
        return true;
    };
    if (pool.at.size() >= 3 && thorough::for_each_standing(grey, binary, pool, false, any))
        return Look::symbol;
    if (pool.at.size() >= 2) {
        if (thorough::pair_of_eyes(grey, pool, true))
            return Look::symbol;
        for (const thorough::Candidate &c :
             thorough::missing_eyes(grey, pool.at, pool.quality, pool.used, thorough::max_completions))
            pool.add(c, thorough::completed_quality, true);
        if (thorough::for_each_standing(grey, binary, pool, true, any))
            return Look::symbol;
    }
    return scanned ? Look::candidates : Look::nothing;
}

// Whether the picture may hold a symbol the first pass did not read. With
// `looked`, each polarity of the picture the look saw no symbol in is
// scanned on the odd rows too, near what the even rows showed, and handed to
// it before its binarisation goes. When the picture as it is shows a
// symbol, its binarisation, the matches of its every row and the triple
// that stood out go to `seen`, for the search that follows.
bool evidence_of_symbol(const std::uint8_t *pixels, int width, int height, bool sharpened_look,
                        const vantor_results &first_pass, std::span<const thorough::Candidate> pooled,
                        const PolarityScanned *looked, std::optional<thorough::ScannedView> &seen) {
    // A version determined, with format information read twice alike or a
    // block that checks, is a symbol's structure already. Texture reaches
    // a version too, but no more: then the strongest candidates of the
    // first pass, those its readings took, go to the quick look, when it is
    // measured (a sharpened look follows).
    if (first_pass.stage >= VANTOR_STAGE_VERSION && (first_pass.reason != VANTOR_NO_SYMBOL || !sharpened_look))
        return true;
    if (first_pass.stage < VANTOR_STAGE_VERSION)
        pooled = {};
    pooled = pooled.first(std::min(pooled.size(), first_pass_eyes));
    bool candidates = false;
    for (bool inverted : {false, true}) {
        // Like the search, the first pass's candidates join the plain look.
        const thorough::GreyView grey{pixels, width, height, width, inverted};
        thorough::Binary binary(grey);
        std::vector<thorough::RowMatch> matches = thorough::row_matches(binary, look_row_step);
        std::optional<thorough::StandingEyes> stood;
        const Look look = could_make_symbol(grey, binary, matches,
                                            inverted ? std::span<const thorough::Candidate>{} : pooled, sharpened_look,
                                            &stood);
        if (look == Look::symbol) {
            if (!inverted) {
                std::vector<thorough::RowMatch> every = thorough::row_matches_completed(binary, matches);
                seen.emplace(thorough::ScannedView{std::move(binary), std::move(every), std::move(stood)});
            }
            return true;
        }
        if (looked)
            (*looked)(grey, binary, thorough::row_matches_near(binary, matches));
        candidates = candidates || look == Look::candidates;
    }
    // Blur closes the light ring of eye patterns in any binarisation of the
    // picture as it is; the thorough search sharpens it for that. The
    // sharpened look costs as much as both plain ones, and a picture where
    // they saw not one eye pattern candidate of readable modules (most
    // without a symbol, and noise) skips it: blur that leaves a symbol
    // readable still shows candidates there.
    if (!sharpened_look || !candidates)
        return false;
    const std::vector<std::uint8_t> sharp = thorough::sharpened(thorough::GreyView{pixels, width, height, width, false});
    const thorough::GreyView grey{sharp.data(), width, height, width, false};
    const thorough::Binary binary(grey);
    return could_make_symbol(grey, binary, thorough::row_matches(binary, look_row_step), {}, true) == Look::symbol;
}

} // namespace

void cheap_first_readings(const std::uint8_t *pixels, int width, int height, int depth, const vantor_options &options,
                          vantor_results &results, const PolarityScanned *looked) {
    const bool fast = options.effort == VANTOR_EFFORT_FAST;
    std::vector<ScoredCandidate> pool;
    classic_readings(pixels, width, height, depth, options, 0, results, pool);
    if (results.reason == VANTOR_INVALID_ARGUMENT || results.reason == VANTOR_OUT_OF_MEMORY)
        return;
    std::optional<thorough::ScannedView> seen; // the quick look's, for the search
    if (!results.symbols.empty()) {
        // The exhaustive effort stops at the same reading; it goes on only
        // to search for more symbols: every one when asked, or when eye
        // patterns apart from this one may be another that comes first in
        // reading order.
        const bool more = options.all_symbols || eyes_for_more(pool, results.symbols[0]->view);
        if (!more || fast || !options.thorough)
            return;
    } else if (!evidence_of_symbol(pixels, width, height, !fast && options.thorough, results,
                                   strongest_first(pool), looked, seen)) {
        return; // the first pass's readings and its reason stand
    } else if (!fast && options.thorough) {
        // A symbol the first pass saw but could not read is most often one
        // turned, in perspective or blurred, which the other passes cannot
        // sample either and the search reads. The search runs first, on
        // the first pass's candidates; only when it reads nothing do the
        // other passes and the search with all their candidates follow, as
        // at the exhaustive effort.
        const bool model1 = options.kinds & (1u << VANTOR_KIND_QR_MODEL1);
        thorough_readings(pixels, width, height, strongest_first(pool), options.all_symbols, model1, results,
                          std::move(seen));
        if (!results.symbols.empty()) {
            search_for_more(pixels, width, height, options, std::move(pool), results);
            return;
        }
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
