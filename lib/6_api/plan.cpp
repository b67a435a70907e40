// The plan: the classic passes, a quick look, the search and the other kinds,
// as the effort orders them. At the exhaustive effort every classic pass runs
// and then the search, with the default effort's first search between the
// first pass and the others; at the default and fast efforts the first pass
// runs alone, and the rest only where the quick look finds reason to, going
// on from the first pass rather than starting again, and reading a large
// picture's shrunk copies before the other passes.
#include "plan.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "2_image/eye_scan.h"
#include "2_image/image.h"
#include "2_image/lone_eyes.h"
#include "2_image/screen_grid.h"
#include "api_family.h"
#include "pyramid.h"
#include "quick_look.h"
#include "readings.h"
#include "search.h"

namespace vantor {
namespace {

// The fast effort's last classic pass: the global thresholds and the first
// local binarisation.
constexpr int fast_last_pass = 3;

struct Picture {
    const std::uint8_t *pixels;
    int width, height, depth;
};

bool failed(const Found &r) { return r.reason == VANTOR_INVALID_ARGUMENT || r.reason == VANTOR_OUT_OF_MEMORY; }

// The one-eye kinds read in one polarity of the picture while the quick look
// holds its binarisation; the inverse is not read once the picture gave the
// one symbol asked for.
void read_lone_eyes(const thorough::GreyView &grey, const thorough::Binary &binary,
                    std::span<const thorough::RowMatch> matches, const vantor_options &options,
                    LoneEyeFinds &finds) {
    if (grey.inverted && finds[0] && !finds[0]->empty() && !options.all_symbols)
        return;
    finds[grey.inverted ? 1 : 0] = lone_eye_symbols(grey, binary, matches, options);
}

// Whether the picture may hold a Model 2 symbol the first pass did not read.
// Each polarity the look saw no symbol in is handed, scanned on the odd rows
// too near what the even rows showed, to the one-eye kinds' pass (when
// `lone_eyes`) before its binarisation goes. When the picture as it is shows
// a symbol, its binarisation, the matches of its every row and the triple
// that stood out go to `seen`, for the search that follows.
bool worth_going_on(const Picture &pic, const vantor_options &options, const Plan &plan, const Found &first_pass,
                    std::span<const thorough::Candidate> strongest, bool lone_eyes, LoneEyeFinds &finds,
                    std::optional<thorough::ScannedView> &seen) {
    if (first_pass_decides(first_pass, plan.sharpened))
        return true;
    const std::span<const thorough::Candidate> pooled = eyes_to_look_at(first_pass, strongest);
    bool candidates = false, clutter = false;
    thorough::BlockGreys blocks = thorough::block_greys({pic.pixels, pic.width, pic.height, pic.width, false});
    for (bool inverted : {false, true}) {
        // Like the search, the first pass's candidates join the plain look.
        const thorough::GreyView grey{pic.pixels, pic.width, pic.height, pic.width, inverted};
        thorough::Binary binary(grey, blocks);
        std::vector<thorough::RowMatch> matches = thorough::row_matches(binary, look_row_step);
        std::optional<thorough::StandingEyes> stood;
        const Look look = could_make_symbol(grey, binary, matches,
                                            inverted ? std::span<const thorough::Candidate>{} : pooled,
                                            plan.sharpened, &stood);
        if (look == Look::symbol) {
            if (!inverted) {
                std::vector<thorough::RowMatch> every = thorough::row_matches_completed(binary, matches);
                seen.emplace(
                    thorough::ScannedView{std::move(binary), std::move(every), std::move(stood), std::move(blocks)});
            }
            return true;
        }
        if (lone_eyes)
            read_lone_eyes(grey, binary, thorough::row_matches_near(binary, matches), options, finds);
        candidates = candidates || look == Look::candidates;
        clutter = clutter || look == Look::clutter;
    }
    // The sharpened look costs as much as both plain ones, and a picture
    // where they saw not one eye pattern candidate of readable modules (most
    // without a symbol, and noise) skips it: blur that leaves a symbol
    // readable still shows candidates there. So does a picture of sharp
    // look-alikes that stand out by the score: it is not blurred. A dim
    // picture, whose symbols' edges the plain looks may not take for edges,
    // is looked at sharpened and binarised for faint edges.
    const bool usual = candidates && !clutter;
    const bool dim = plan.sharpened && thorough::dim_picture(blocks);
    return plan.sharpened && (usual || dim) &&
           sharpened_look_sees_symbol(pic.pixels, pic.width, pic.height, usual, dim);
}

void read_copies(const Picture &pic, const vantor_options &options, const Plan &plan, Found &found);

// The Model 2 steps of the plan, adding to `found`; the one-eye kinds' reads
// of the polarities the quick look scanned go to `finds`, and what the
// searches made to `searched`, for the searches after them. `copies_read`
// tells whether the shrunk copies were read among them.
void read_model2(const Picture &pic, const vantor_options &options, const Plan &plan, Found &found,
                 LoneEyeFinds &finds, thorough::SearchMemory &searched, bool &copies_read) {
    const bool model1 = options.kinds & (1u << VANTOR_KIND_QR_MODEL1);
    ClassicReadings classic(pic.pixels, pic.width, pic.height, pic.depth, options);
    if (plan.classic)
        classic.run_through(plan.first_pass, found);
    else
        found.reason = VANTOR_NO_SYMBOL;
    if (failed(found))
        return;
    if (plan.look) {
        if (!found.symbols.empty()) {
            // Going on only to search for more symbols: every one when
            // asked, or when eye patterns apart from this one may be another
            // that comes first in reading order.
            if (!plan.more_after_symbol ||
                !(options.all_symbols || eyes_for_more(classic.pool(), found.symbols[0]->view)))
                return;
        } else {
            std::optional<thorough::ScannedView> seen; // the quick look's, for the search
            const bool lone_eyes = lone_eye_kinds(options) && lone_eyes::fits(pic.width, pic.height);
            // The first pass's candidates, strongest first: the look takes the
            // strongest, the search that follows all of them.
            const std::vector<thorough::Candidate> strongest = strongest_first(classic.pool());
            if (!worth_going_on(pic, options, plan, found, strongest, lone_eyes, finds, seen))
                return; // the first pass's readings and its reason stand
            if (plan.search_first) {
                search_symbols(pic.pixels, pic.width, pic.height, strongest,
                                  options.all_symbols, model1, found, std::move(seen), &searched);
                // When every symbol is asked for, the first pass missed eye
                // patterns of those read and the search left two eyes of
                // what may be one more, the other passes and the search
                // over their candidates follow: the picture may hold
                // symbols only a local binarisation shows.
                if (!found.symbols.empty() && (!options.all_symbols || !searched.unread_pair ||
                                               passes_saw_symbols(classic.pool(), found.symbols))) {
                    search_for_more(pic.pixels, pic.width, pic.height, options, classic.pool(), found, &searched);
                    return;
                }
                // Where the picture's eye patterns read as no symbol, they
                // are most often the large modules of one that a shrunk
                // copy reads: the copies come before the other passes, which
                // cost several times as much on a large picture.
                if (found.symbols.empty()) {
                    read_copies(pic, options, plan, found);
                    copies_read = true;
                    if (!found.symbols.empty() || failed(found))
                        return;
                }
            }
        }
    }
    if (plan.early_search && found.symbols.empty() && found.reason != VANTOR_OK) {
        // The default effort's first search, made alike: over the first
        // passes' strongest candidates, with the look's view and the triple
        // that stood out; the one-eye kinds read later, in their own pass.
        std::optional<thorough::ScannedView> seen;
        LoneEyeFinds unused;
        const std::vector<thorough::Candidate> strongest = strongest_first(classic.pool());
        if (worth_going_on(pic, options, plan, found, strongest, false, unused, seen))
            search_symbols(pic.pixels, pic.width, pic.height, strongest, options.all_symbols, model1, found,
                           std::move(seen), &searched);
    }
    if (plan.classic)
        classic.run_through(plan.last_pass, found);
    if (!plan.search)
        return;
    // The search reads what the passes could not, or every symbol when all
    // are asked for; Model 1 is looked for only while Model 2 gave nothing.
    if (found.symbols.empty() ? !failed(found) && found.reason != VANTOR_OK : options.all_symbols)
        search_symbols(pic.pixels, pic.width, pic.height, strongest_first(classic.pool()), options.all_symbols,
                       found.symbols.empty() && model1, found, std::nullopt, &searched, true);
    if (plan.more_after_symbol)
        search_for_more(pic.pixels, pic.width, pic.height, options, classic.pool(), found, &searched);
}

// The plan a shrunk copy is read with. An exhaustive plan reads it whole.
// The others read it only where a look at it showed eye patterns, with the
// first pass and then the search over that pass's candidates: what reads a
// symbol a look has seen; the other passes add little on a copy and cost
// much on one that does not read.
Plan copy_plan(const Plan &plan) {
    if (!plan.look)
        return plan;
    Plan copy = plan;
    copy.search = plan.search || plan.search_first;
    copy.look = copy.sharpened = copy.search_first = copy.more_after_symbol = false;
    copy.first_pass = copy.last_pass = plan.copy_last_pass;
    return copy;
}

// When the picture as it is gave no Model 2 symbol (and the call did not
// fail), reads its shrunk copies where a look sees eye patterns that stand
// out, coarsest first, until one gives a symbol. A plan that reads every
// copy reads them beside the symbols found when every symbol is asked for:
// a copy shows symbols whose modules are too large for the picture's
// binarisations. A picture still without a symbol and crossed by a screen's
// fine grid is read once more with the grid filled in, where a look there
// sees eye patterns. The copies' readings are not listed and never traced.
void read_copies(const Picture &pic, const vantor_options &options, const Plan &plan, Found &found) {
    if (failed(found) || (!found.symbols.empty() && !(plan.every_copy && options.all_symbols)))
        return;
    const std::vector<thorough::Downscaled> copies =
        pyramid_copies(pic.pixels, pic.width, pic.height, pyramid_factors(pic.width, pic.height));
    vantor_options quiet = options;
    quiet.trace_file = nullptr;
    quiet.trace_fn = nullptr;
    quiet.trace_user = nullptr;
    quiet.debug_dir.clear();
    const Plan plan_of_copy = copy_plan(plan);
    // Reads a copy into `found`; whether that ends the copies' reading (a
    // symbol read, or memory ran out).
    auto read = [&](const thorough::Downscaled &copy) {
        Found in_copy;
        LoneEyeFinds none;
        thorough::SearchMemory of_copy;
        bool unused = false;
        read_model2(Picture{copy.pixels.data(), copy.width, copy.height, 8}, quiet, plan_of_copy, in_copy, none,
                    of_copy, unused);
        found.searched = found.searched || in_copy.searched;
        if (in_copy.reason == VANTOR_OUT_OF_MEMORY) {
            found.reason = VANTOR_OUT_OF_MEMORY;
            return true;
        }
        if (in_copy.symbols.empty())
            return false;
        take_copy_symbols(in_copy, copy.factor, found);
        found.reason = VANTOR_OK;
        found.stage = VANTOR_STAGE_TEXT;
        return true;
    };
    int shown = 0;
    for (std::size_t i = 0; i < copies.size(); ++i) {
        const thorough::Downscaled &copy = copies[i];
        // The finest copy, with the most pixels, is looked at only when a
        // coarser one showed a symbol (its modules, shrunk twice as much
        // there, still show) or when it is the only copy.
        const bool finest_unseen = !shown && i + 1 == copies.size() && copies.size() > 1;
        if (!plan.every_copy && (finest_unseen || shown >= max_copies_read))
            break;
        if (!copy_shows_symbol(copy))
            continue;
        ++shown;
        if (read(copy))
            return;
    }
    const thorough::GreyView grey{pic.pixels, pic.width, pic.height, pic.width, false};
    if (!found.symbols.empty() || !thorough::shows_fine_grid(grey))
        return;
    const thorough::Downscaled filled{thorough::grid_filled(grey), pic.width, pic.height, 1};
    if (copy_shows_symbol(filled))
        read(filled);
}

// The symbols in reading order of their centres: top to bottom, then left to
// right. Symbols whose centres lie closer in height than half the height of
// the row's first symbol (its left side, the short one of an rMQR symbol)
// are one row, read left to right.
void reading_order(std::vector<std::unique_ptr<OwnedSymbol>> &symbols) {
    struct Placed {
        float x, y, half;
        std::unique_ptr<OwnedSymbol> symbol;
    };
    std::vector<Placed> placed;
    for (std::unique_ptr<OwnedSymbol> &s : symbols) {
        const vantor_point *c = s->view.corners;
        const float height = std::hypot(c[3].x - c[0].x, c[3].y - c[0].y);
        placed.push_back({(c[0].x + c[2].x) / 2, (c[0].y + c[2].y) / 2, height / 2, std::move(s)});
    }
    std::stable_sort(placed.begin(), placed.end(), [](const Placed &a, const Placed &b) { return a.y < b.y; });
    for (std::size_t row = 0; row < placed.size();) {
        std::size_t end = row + 1;
        while (end < placed.size() && placed[end].y - placed[row].y < placed[row].half)
            ++end;
        const auto first = placed.begin() + static_cast<std::ptrdiff_t>(row);
        std::stable_sort(first, placed.begin() + static_cast<std::ptrdiff_t>(end),
                         [](const Placed &a, const Placed &b) { return a.x < b.x; });
        row = end;
    }
    symbols.clear();
    for (Placed &p : placed)
        symbols.push_back(std::move(p.symbol));
}

} // namespace

Plan plan_for(const vantor_options &options, int width, int height) {
    Plan plan;
    plan.classic = classic_fits(width, height);
    const bool traced = options.trace_file || options.trace_fn || !options.debug_dir.empty();
    if (options.effort == VANTOR_EFFORT_EXHAUSTIVE || traced || !plan.classic) {
        plan.search = options.thorough || !plan.classic;
        plan.early_search = plan.classic && options.thorough;
        plan.first_pass = plan.early_search ? 0 : last_classic_pass;
        plan.last_pass = last_classic_pass;
        plan.sharpened = options.thorough;
        return plan;
    }
    const bool fast = options.effort == VANTOR_EFFORT_FAST;
    plan.first_pass = 0;
    plan.look = true;
    // Both efforts decide alike whether to go on, and make the same first
    // search, so that the fast effort never goes on where the default stops;
    // it then goes on for less: no more than the first four passes, and no
    // search over them. Its steps are the first of the default's, so it
    // never costs more; like the default's, its first search looks for the
    // other symbols when it read one beside other eye patterns, so that the
    // symbol given is the first in reading order.
    plan.sharpened = options.thorough;
    plan.search_first = options.thorough;
    plan.search = plan.more_after_symbol = !fast && options.thorough;
    plan.every_copy = false;
    plan.copy_last_pass = 0;
    plan.last_pass = fast ? fast_last_pass : last_classic_pass;
    return plan;
}

Found decode_as_planned(const std::uint8_t *pixels, int width, int height, int depth, const vantor_options &options,
                          const Plan &plan) {
    Found found;
    LoneEyeFinds finds;
    // The searches' binarisations of the picture, which the one-eye kinds'
    // pass takes too.
    thorough::SearchMemory searched;
    if (options.kinds & (1u << VANTOR_KIND_QR)) {
        const Picture picture{pixels, width, height, depth};
        bool copies_read = false;
        read_model2(picture, options, plan, found, finds, searched, copies_read);
        if (!copies_read)
            read_copies(picture, options, plan, found);
    } else
        found.reason = VANTOR_NO_EYE_PATTERNS;
    // The other kinds are looked for when Model 2 gave nothing, or beside
    // it when every symbol is asked for.
    if (!failed(found) && (found.symbols.empty() || options.all_symbols) &&
        family_symbols(pixels, width, height, options, found, std::move(finds), &searched)) {
        found.reason = VANTOR_OK;
        found.stage = VANTOR_STAGE_TEXT;
    }
    // The first symbol is the first in reading order.
    reading_order(found.symbols);
    if (!options.all_symbols && found.symbols.size() > 1)
        found.symbols.resize(1);
    name_model2_symbols(found);
    return found;
}

} // namespace vantor
