// The quick look of the default and fast efforts. A picture without a
// symbol is most of a batch, and the exhaustive effort spends seven
// binarisation passes and the thorough search on each. After the first pass,
// the search's local binarisation of the picture and of its inverse is
// scanned for eye patterns; only when those show patterns that could be
// corners of one symbol does the call go on.
#include "quick_look.h"

#include <algorithm>
#include <optional>
#include <span>
#include <vector>

#include "3_model2/search/candidate_pool.h"
#include "2_image/eye_scan.h"
#include "3_model2/search/completion.h"
#include "2_image/image.h"
#include "search.h"

namespace vantor {
namespace {

// The first pass's readings take their eye patterns from its strongest
// candidates: three a reading, two readings.
constexpr std::size_t first_pass_eyes = 6;

// Blur that closes the light ring of eye patterns leaves a symbol readable
// only on modules at least this many pixels wide; texture and noise give
// candidates of smaller modules.
constexpr float min_blurred_module = 2.5f;

// The share of timing pattern modules that must read right through the
// first guess of a grid from a triple's eyes (or, for a pair, with the third
// placed where it would be): a symbol's read right even damaged or at a
// slant, while look-alike eye patterns in texture read near chance, and
// above it only by luck on the few timing modules of the smallest versions.
constexpr double look_min_timing = 0.85;
// Blur leaves a symbol's timing modules too faint for a threshold, but each
// still darker or lighter than its neighbours: this share of them must
// alternate so, over at least this many (versions 3 and up; look-alikes
// alternate so on fewer by luck).
constexpr double look_min_alternation = 0.9;
constexpr int min_alternating_modules = 26;
// A view where fewer triples than this stand out is no clutter of
// look-alikes: any of them sends the call on, timing patterns or not (a
// symbol at a strong slant reads its timing patterns poorly through a first
// guess). Texture shows hundreds.
constexpr int clutter_triples = 20;

// Whether at least `look_min_alternation` of the timing pattern modules
// through `grid` alternate as they should: each darker (even) or lighter
// (odd) than the mean of its two neighbours along the pattern. Blur weakens
// the alternation but keeps its sign, where a threshold misjudges faint
// modules. False off the picture, or over fewer modules than
// `min_alternating_modules`. Stops as soon as too many have failed: most
// grids judged are look-alikes', which alternate near chance.
bool alternates(const thorough::GreyView &grey, const thorough::Grid &grid) {
    const int n = grid.size;
    const int reach = thorough::guess_timing_reach(n);
    auto counted = [&](int i) { return reach == 0 || i - 8 < reach || n - 9 - i < reach; };
    int total = 0;
    for (int i = 8; i <= n - 9; ++i)
        total += counted(i) ? 2 : 0;
    if (total < min_alternating_modules)
        return false;
    // The fewest alternating modules that reach the share, as the division
    // judges it.
    int need = 0;
    while (static_cast<double>(need) / total < look_min_alternation)
        ++need;
    int missed = 0;
    for (int i = 8; i <= n - 9; ++i) {
        if (!counted(i))
            continue;
        for (int axis = 0; axis < 2; ++axis) {
            float g[3];
            for (int d = -1; d <= 1; ++d) {
                const double along = i + d + 0.5;
                const Position p = axis == 0 ? grid.map(along, 6.5) : grid.map(6.5, along);
                g[d + 1] = grey.bilinear(static_cast<float>(p.x), static_cast<float>(p.y));
                if (g[d + 1] < 0)
                    return false;
            }
            const bool darker = g[1] < (g[0] + g[2]) / 2;
            if (darker != (i % 2 == 0) && total - ++missed < need)
                return false;
        }
    }
    return true;
}

// Whether the first guess of a grid through the eyes, at a version near the
// size they measure (those the search tries), shows timing patterns: read
// right against the threshold, or alternating under blur.
bool shows_timing(const thorough::GreyView &grey, const thorough::Binary &binary, const thorough::Eyes &eyes) {
    thorough::Guesses guesses(grey, binary, eyes);
    for (int v : thorough::versions_near(thorough::eyes_modules_across(eyes)))
        if (const auto &g = guesses.of(v))
            if (g->timing >= look_min_timing || alternates(grey, g->grid))
                return true;
    return false;
}

// Whether the symbol two eye patterns may be two of shows timing patterns,
// the third eye placed where an upright square symbol would have it: at a
// right angle from either end of their side, to either side, or off either
// side of the middle of their diagonal.
bool pair_shows_timing(const thorough::GreyView &grey, const thorough::Binary &binary, const thorough::Candidate &a,
                       const thorough::Candidate &b) {
    const float m = (a.module + b.module) / 2;
    const float dx = b.x - a.x, dy = b.y - a.y;
    auto shows = [&](const thorough::Candidate &corner, const thorough::Candidate &along,
                     const thorough::Candidate &down) {
        const auto eyes = thorough::orient_eyes(corner, along, down);
        return eyes && shows_timing(grey, binary, *eyes);
    };
    for (float side : {1.0f, -1.0f})
        if (shows(a, b, {a.x - side * dy, a.y + side * dx, m}) || shows(b, a, {b.x - side * dy, b.y + side * dx, m}) ||
            shows({(a.x + b.x - side * dy) / 2, (a.y + b.y + side * dx) / 2, m}, a, b))
            return true;
    return false;
}

} // namespace

std::vector<thorough::ScoredCandidate> seen_twice_when_small(std::vector<thorough::ScoredCandidate> scanned,
                                                             std::size_t limit) {
    if (scanned.size() < limit)
        return scanned;
    std::erase_if(scanned, [](const thorough::ScoredCandidate &c) {
        return c.hits < 2 && c.at.module < min_lone_row_module;
    });
    return scanned;
}

// A quick look at one binarisation, with the candidates `pooled` from the
// first pass: whether its eye pattern candidates could make a symbol, only
// candidates that could not (of modules wide enough that blur may hide
// more), or none that count. Measured, as the search would sample a grid:
// a triple that passes the geometric gates and whose eye patterns stand out
// from the grey around them, a pair of like size that stands out, or a
// triple completed by a third eye that two strong candidates predict; each
// only where the first guess of a grid through it reads timing patterns.
// Texture and noise show many eye pattern candidates, but their rings do
// not stand out from their own spread, and where look-alikes do, no timing
// pattern runs between them. Unmeasured, when no sharpened look
// follows to see blurred rings better, the geometry alone: a gated triple
// or two strong candidates of like size.
Look could_make_symbol(const thorough::GreyView &grey, const thorough::Binary &binary,
                       std::span<const thorough::RowMatch> matches, std::span<const thorough::Candidate> pooled,
                       bool measured, std::optional<thorough::StandingEyes> *stood, double min_contrast) {
    const int limit = thorough::SearchOptions{}.max_candidates;
    thorough::Pool pool = thorough::scanned_pool(
        seen_twice_when_small(thorough::merge_matches(matches, binary.width(), binary.height(), limit, look_row_step),
                              static_cast<std::size_t>(limit)),
        look_row_step);
    pool.min_contrast = min_contrast;
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
    // Among many triples whose eyes stand out, those count only where a grid
    // through them shows timing patterns; among few, the first counts. Once
    // clutter_triples have stood out without timing patterns the view is a
    // clutter of look-alikes, and no more triples are judged: a symbol's
    // triple, of like eyes at right angles, comes among the first, and a
    // textured picture spent a third of its time judging up to the search's
    // 60. Its pairs are still judged: a blurred symbol among look-alikes may
    // show two eyes that stand out where the third does not.
    int standing = 0;
    bool seen = false;
    std::optional<thorough::StandingEyes> first;
    auto any = [&](const thorough::Triple &, thorough::StandingEyes &eyes) {
        if (++standing > clutter_triples)
            return true;
        if (!shows_timing(grey, binary, eyes.eyes)) {
            if (!first)
                first.emplace(eyes);
            return false;
        }
        seen = true;
        if (stood)
            stood->emplace(std::move(eyes));
        return true;
    };
    // Whether few triples stood out, none with timing patterns: the first
    // then counts.
    auto few = [&] {
        if (seen || !first || standing >= clutter_triples)
            return false;
        if (stood)
            stood->emplace(std::move(*first));
        return true;
    };
    if (pool.at.size() >= 3)
        thorough::for_each_standing(grey, binary, pool, false, any);
    if (seen)
        return Look::symbol;
    if (pool.at.size() >= 2) {
        if (thorough::pair_of_eyes(grey, pool, true, [&](const thorough::Candidate &a, const thorough::Candidate &b) {
                return pair_shows_timing(grey, binary, a, b);
            }))
            return Look::symbol;
        for (const thorough::Candidate &c :
             thorough::missing_eyes(grey, pool.at, pool.quality, pool.used, thorough::max_completions))
            pool.add(c, thorough::completed_quality, true);
        // In a clutter no completed triple could count any more.
        if (standing < clutter_triples)
            thorough::for_each_standing(grey, binary, pool, true, any);
        // Triples with another corner, as the search tries them, where few
        // stood: a clutter of look-alikes stands with every corner.
        if (!seen && standing < clutter_triples && pool.at.size() >= 3)
            thorough::for_each_standing(grey, binary, pool, false, any, thorough::Formation::other_corners);
        if (seen || few())
            return Look::symbol;
    } else if (few())
        return Look::symbol;
    if (standing >= clutter_triples)
        return Look::clutter;
    return scanned ? Look::candidates : Look::nothing;
}

bool first_pass_decides(const Found &first_pass, bool sharpened_look) {
    return first_pass.stage >= VANTOR_STAGE_VERSION &&
           (first_pass.reason != VANTOR_NO_SYMBOL || !sharpened_look);
}

std::span<const thorough::Candidate> eyes_to_look_at(const Found &first_pass,
                                                     std::span<const thorough::Candidate> strongest) {
    if (first_pass.stage < VANTOR_STAGE_VERSION)
        return {};
    return strongest.first(std::min(strongest.size(), first_pass_eyes));
}

bool sharpened_look_sees_symbol(const std::uint8_t *pixels, int width, int height, bool usual, bool dim) {
    if (!usual && !dim)
        return false;
    const std::vector<std::uint8_t> sharp = thorough::sharpened(thorough::GreyView{pixels, width, height, width, false});
    const thorough::GreyView grey{sharp.data(), width, height, width, false};
    const thorough::BlockGreys blocks = thorough::block_greys(grey);
    auto sees = [&](thorough::FlatRule rule, double min_contrast) {
        const thorough::Binary binary(grey, blocks, rule);
        return could_make_symbol(grey, binary, thorough::row_matches(binary, look_row_step), {}, true, nullptr,
                                 min_contrast) == Look::symbol;
    };
    return (usual && sees(thorough::FlatRule::fixed, thorough::min_eye_contrast)) ||
           (dim && sees(thorough::FlatRule::by_level, thorough::dim_min_contrast));
}

} // namespace vantor
