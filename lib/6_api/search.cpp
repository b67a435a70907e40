// The search: eye pattern candidates pooled from the classic passes and from
// the search's own binarisations, triples formed under geometric gates and
// tried best first, each with the versions its geometry allows and the grids
// its alignment patterns give, decoding as the judge.
#include "search.h"

#include <algorithm>
#include <cmath>

#include "3_model2/classic/format.h"
#include "4_model1/triple.h"
#include "3_model2/search/candidate_pool.h"
#include "3_model2/search/codewords.h"
#include "3_model2/search/completion.h"
#include "3_model2/search/curved.h"
#include "3_model2/search/grids.h"
#include "3_model2/search/reader.h"
#include "3_model2/search/settle.h"
#include "2_image/sampling.h"
#include "3_model2/search/triples.h"

namespace vantor::thorough {
namespace {

// Grids sampled per image, over all triples, versions and passes.
constexpr int max_grids = 600;
// The views a search binarises: the picture, its inverse, the picture
// sharpened, and the same for a dim picture's faint edges.
constexpr int sharpened_view = 2, dim_view = 3;
// The sharpened picture is given the triples of the others divided by this.
constexpr int sharpened_triple_divisor = 3;
// How far the size the version information names may be from the size the
// eye patterns measure (perspective makes the measure short): modules, and
// share of the measure.
constexpr double version_slack_modules = 8;
constexpr double version_slack_share = 0.12;
// Share of timing pattern modules a grid must read right to be sampled.
constexpr double min_timing = 0.7;
// The same for the first guess of a version, which may be a little off.
constexpr double min_guess_timing = 0.6;
// The share a grid must read right to be settled when its data does not:
// the version and the eyes are then surely the symbol's.
constexpr double min_settle_timing = 0.9;
// A flat grid that reads this share of the timing patterns right lies on
// the symbol's modules: no bend is fitted to its eyes.
constexpr double flat_timing_bar = 0.97;
// Every symbol asked for: the candidates a binarisation keeps, and the
// grids granted to its crowd, and for each symbol the crowd reads.
constexpr int max_crowd = 4096;
constexpr int crowd_grids = 200;
constexpr int crowd_grids_per_symbol = 12;
// Triples per image granted bent grids, and the bent grids each samples.
constexpr int max_bent_triples = 3;
constexpr int bent_grids = 2;
// Failed triples per search whose format information is read through a
// bend at all: the strongest come first, and a scene of look-alike eye
// patterns fails hundreds.
constexpr int max_bent_checks = 8;

struct Pass {
    const GreyView &grey;
    const Binary &binary;
    int grids_left;
    bool model1;
    int view;              // 0 the picture, 1 its inverse, 2 sharpened
    SearchMemory *memory;  // the triples tried in vain, when kept
    int &bent_left;        // triples the image may still try bent grids on
    int &bent_checks_left; // failed triples whose format may still be read through a bend
};

// The version the version information of the symbol names, read through
// the first guess of the nearest version; 0 when neither block (nor its
// transpose) is within 3 bits of a version's word.
int named_version(const Pass &pass, Guesses &guesses, int version) {
    const std::optional<Guess> &guess = guesses.of(version);
    if (!guess)
        return 0;
    const std::vector<ModuleAt> blocks = version_block_modules(guess->grid.size);
    const auto m = sample_blocks_at(pass.grey, pass.binary, guess->grid, blocks);
    return m ? as_is_or_transposed(*m, read_version_blocks) : 0;
}

std::optional<Located> try_triple(Pass &pass, const Eyes &eyes, double contrast) {
    const double across = eyes_modules_across(eyes);
    std::vector<int> versions = versions_near(across);
    Guesses guesses(pass.grey, pass.binary, eyes);
    // From version 7 the version information names the size; it is adopted
    // when it agrees with the geometry.
    if (versions.front() >= 7) {
        const int named = named_version(pass, guesses, versions.front());
        if (named > 0 && std::fabs(4 * named + 17 - across) <= std::max(version_slack_modules, version_slack_share * across))
            versions = {named};
    }
    // The grid's greys, sampled once, judged against each threshold;
    // `spent` when the budget ran out.
    bool spent = false;
    auto read_grid = [&](const Grid &grid) -> std::optional<Located> {
        std::optional<std::optional<std::vector<float>>> greys;
        for (Threshold t : {Threshold::blocks, Threshold::module_window, Threshold::sharpened}) {
            if (pass.grids_left-- <= 0) {
                spent = true;
                return std::nullopt;
            }
            if (!greys)
                greys = module_greys(pass.grey, grid);
            if (!*greys)
                continue;
            if (auto r = read_matrix(judge_modules(**greys, pass.binary, grid, t)))
                return located_on(std::move(*r), SymbolKind::model2, grid, pass.grey.inverted);
        }
        return std::nullopt;
    };
    bool flat_timing = false; // some flat grid's timing patterns read right
    for (int version : versions) {
        // A version whose first guess does not show timing patterns is
        // passed over before its alignment patterns are searched for.
        const std::optional<Guess> &guess = guesses.of(version);
        if (!guess || guess->timing < min_guess_timing)
            continue;
        std::optional<Grid> best; // the first grid whose timing patterns read right to settle
        for (const Grid &grid : grids_for(pass.grey, eyes, *guess, contrast)) {
            // A grid whose timing patterns do not alternate is not this
            // symbol's; it costs a few samples to find out.
            const double timing = timing_agreement(pass.grey, pass.binary, grid);
            if (timing < min_timing)
                continue;
            if (!best && timing >= min_settle_timing)
                best = grid;
            flat_timing = flat_timing || timing >= flat_timing_bar;
            if (auto s = read_grid(grid))
                return s;
            if (spent)
                return std::nullopt;
        }
        // Timing patterns that read right through a grid whose data does
        // not: the grid is settled on the symbol's known modules.
        if (best)
            if (const auto settled = settled_grid(pass.grey, pass.binary, *best))
                if (auto s = read_grid(*settled))
                    return s;
        if (spent)
            return std::nullopt;
    }
    // Eyes whose format information reads through a bend, yet no flat grid
    // read the data: the symbol may be wrapped round a cylinder. Not where a
    // flat grid read the timing patterns all but right: a bend would shift
    // the modules across the symbol off such a grid, so the symbol is flat
    // and its data damaged.
    if (pass.bent_checks_left > 0 && !flat_timing) {
        --pass.bent_checks_left;
        for (const Grid &grid :
             curved_grids(pass.grey, pass.binary, eyes, bent_versions(across), bent_grids, pass.bent_left)) {
            if (auto s = read_grid(grid))
                return s;
            if (spent)
                return std::nullopt;
        }
    }
    return pass.model1 ? model1::read_triple(pass.grey, pass.binary, eyes, guesses) : std::nullopt;
}

// try_triple, unless a search before tried the same triple in the same view
// in vain: then its grids are spent again without sampling them. A trial
// the grid budget cut short is not remembered.
std::optional<Located> try_remembered(Pass &pass, const Eyes &eyes, double contrast) {
    if (!pass.memory)
        return try_triple(pass, eyes, contrast);
    for (const SearchMemory::Tried &t : pass.memory->tried)
        if (t.view == pass.view && t.model1 == pass.model1 && t.contrast == contrast && t.eyes == eyes) {
            pass.grids_left -= t.grids;
            return std::nullopt;
        }
    const int before = pass.grids_left;
    auto s = try_triple(pass, eyes, contrast);
    if (!s && pass.grids_left > 0)
        pass.memory->tried.push_back({pass.view, pass.model1, contrast, eyes, before - pass.grids_left});
    return s;
}

bool inside(const Located &s, double x, double y) { return thorough::inside(s.corners, x, y); }

// Takes a symbol read from triple `t` of the pool: the candidates inside it
// and the triple's own are used, and it joins `found` unless it is one
// already there (the same bytes, its centre inside that one: two symbols
// with the same bytes at different places are two).
void keep(Pool &pool, const Triple &t, Located &&s, std::vector<Located> &found) {
    for (std::size_t i = 0; i < pool.at.size(); ++i)
        if (inside(s, pool.at[i].x, pool.at[i].y))
            pool.used[i] = 1;
    for (int i : {t.corner, t.along, t.down})
        pool.used[static_cast<std::size_t>(i)] = 1;
    const Position middle = centroid(s.corners);
    const bool again = std::any_of(found.begin(), found.end(), [&](const Located &o) {
        return o.symbol.content.bytes == s.symbol.content.bytes && inside(o, middle.x, middle.y);
    });
    if (!again)
        found.push_back(std::move(s));
}

// Tries the gated triples of the pool, formed as `formation` says, best
// first: those without a synthetic candidate, or (completing) those with
// exactly one. Found symbols go to `found`; true when the search should
// stop.
bool try_triples(Pass &pass, Pool &pool, bool completing, const SearchOptions &opt, int &tried,
                 std::vector<Located> &found, Formation formation = Formation::every) {
    return for_each_standing(pass.grey, pass.binary, pool, completing, [&](const Triple &t, StandingEyes &standing) {
        if (tried++ >= opt.max_triples)
            return true;
        auto s = try_remembered(pass, standing.eyes, standing.contrast);
        if (pass.grids_left <= 0)
            return true;
        if (!s)
            return false;
        keep(pool, t, std::move(*s), found);
        return !opt.all_symbols;
    }, formation);
}

// Marks the candidates inside a symbol already read: they belong to it.
void mark_read(const GreyView &grey, Pool &pool, std::span<const Located> found) {
    for (std::size_t i = 0; i < pool.at.size(); ++i)
        for (const Located &s : found)
            if (s.inverted == grey.inverted && inside(s, pool.at[i].x, pool.at[i].y))
                pool.used[i] = 1;
}

// Tries the triples of one binarisation, then triples completed by a third
// eye where two strong candidates predict one, then, while no symbol came
// of them, the triples with another corner.
void run_pass(Pass &pass, Pool &pool, const SearchOptions &opt, std::vector<Located> &found) {
    mark_read(pass.grey, pool, found);
    const auto free = std::count(pool.used.begin(), pool.used.end(), 0);
    int tried = 0;
    const std::size_t before = found.size();
    if (free >= 3 && try_triples(pass, pool, false, opt, tried, found))
        return;
    if (free < 2 || pass.grids_left <= 0)
        return;
    for (const Candidate &c : missing_eyes(pass.grey, pool.at, pool.quality, pool.used, max_completions))
        pool.add(c, completed_quality, true);
    if (try_triples(pass, pool, true, opt, tried, found) || found.size() > before || free < 3 || pass.grids_left <= 0)
        return;
    try_triples(pass, pool, false, opt, tried, found, Formation::other_corners);
}

// Every symbol of a crowded picture: the candidates of one binarisation
// past the strongest few the pass took, each forming triples with its
// nearest. The symbols read take their candidates out of the pool, and the
// triples are formed again while that reads more: an eye pattern whose
// nearest were the eyes of its neighbours then meets its own symbol's. The
// work is granted as the crowd reads: it stops after as many triples tried
// in vain in a row as a pass tries in all, and each symbol read grants
// grids.
void run_crowd(Pass &pass, Pool &pool, const SearchOptions &opt, std::vector<Located> &found) {
    mark_read(pass.grey, pool, found);
    if (std::count(pool.used.begin(), pool.used.end(), 0) < 3)
        return;
    pass.grids_left += crowd_grids;
    int in_vain = 0;
    for (std::size_t before = found.size();; before = found.size()) {
        const bool stop = for_each_standing(
            pass.grey, pass.binary, pool, false,
            [&](const Triple &t, StandingEyes &standing) {
                if (in_vain++ >= opt.max_triples)
                    return true;
                auto s = try_remembered(pass, standing.eyes, standing.contrast);
                if (pass.grids_left <= 0)
                    return true;
                if (s) {
                    keep(pool, t, std::move(*s), found);
                    in_vain = 0;
                    pass.grids_left += crowd_grids_per_symbol;
                }
                return false;
            },
            Formation::nearest);
        if (stop || found.size() == before)
            return;
    }
}

// Whether two candidates no symbol read took could be two eyes of one.
bool unread_pair(const GreyView &grey, const Pool &pool) {
    Pool unread;
    for (std::size_t i = 0; i < pool.at.size(); ++i)
        if (!pool.used[i] && !pool.synthetic[i])
            unread.add(pool.at[i], pool.quality[i], false);
    return pair_of_eyes(grey, unread, true);
}

} // namespace

std::vector<Located> search(const std::uint8_t *pixels, int width, int height, int stride,
                            std::span<const Candidate> pooled, const SearchOptions &opt,
                            std::optional<ScannedView> plain, SearchMemory *memory) {
    std::vector<Located> found;
    if (!pixels || width < 21 || height < 21 || stride < width)
        return found;
    int grids_left = max_grids;
    int bent_left = max_bent_triples;
    int bent_checks_left = max_bent_checks;
    SearchMemory passing; // the views of a search that keeps nothing, each freed after its pass
    SearchMemory &kept = memory ? *memory : passing;
    kept.unread_pair = false; // two eyes of an unread symbol, in the picture as it is
    // One binarisation's candidates, triples and grids; false when the
    // search should stop.
    auto search_view = [&](int v, const GreyView &grey, bool pool_classic, const SearchOptions &pass_options,
                           std::optional<ScannedView> scanned) {
        SearchMemory::View &view = kept.views[v];
        // Only views without the classic candidates (whose pool a later
        // search may enlarge) and without a look's triple are replayed.
        const bool replayable = memory && !pool_classic && !scanned && found.empty();
        if (replayable)
            for (const SearchMemory::Vain &t : memory->vain)
                if (t.view == v && t.all_symbols == pass_options.all_symbols && t.model1 == pass_options.model1 &&
                    t.max_triples == pass_options.max_triples) {
                    grids_left -= t.grids;
                    return grids_left > 0;
                }
        const int grids_before = grids_left;
        if (!view.binary) {
            if (scanned) {
                view.binary.emplace(std::move(scanned->binary));
                view.matches = std::move(scanned->matches);
                if (kept.blocks.lo.empty())
                    kept.blocks = std::move(scanned->blocks);
            } else if (v < 2) {
                // The picture and its inverse share their blocks' greys.
                if (kept.blocks.lo.empty())
                    kept.blocks = block_greys(grey);
                view.binary.emplace(grey, kept.blocks);
                view.matches = row_matches(*view.binary);
            } else {
                // The sharpened picture's blocks serve both its views.
                if (kept.sharp_blocks.lo.empty())
                    kept.sharp_blocks = block_greys(grey);
                view.binary.emplace(grey, kept.sharp_blocks, v == dim_view ? FlatRule::by_level : FlatRule::fixed);
                view.matches = row_matches(*view.binary);
            }
        }
        const Binary &binary = *view.binary;
        // Every symbol asked for: the candidates past the strongest are kept
        // for the crowd. The strongest are the first of them all.
        std::vector<ScoredCandidate> scanned_all =
            merge_matches(view.matches, width, height, opt.all_symbols ? max_crowd : opt.max_candidates);
        const std::size_t strongest =
            std::min(scanned_all.size(), static_cast<std::size_t>(std::max(0, opt.max_candidates)));
        Pool candidates = scanned_pool(std::span(scanned_all).first(strongest), 1);
        if (pool_classic)
            add_pooled(candidates, pooled, opt.max_candidates);
        // A dim picture's eye patterns stand out by fewer grey levels.
        if (v == dim_view)
            candidates.min_contrast = dim_min_contrast;
        Pass pass{grey, binary, grids_left, opt.model1, v, memory, bent_left, bent_checks_left};
        // The triple the look saw stand out is most often the symbol's; the
        // search tries it before forming its own. Tried in vain, it leaves
        // the search's grid budget as it was.
        if (scanned && scanned->stood) {
            if (auto s = try_remembered(pass, scanned->stood->eyes, scanned->stood->contrast)) {
                found.push_back(std::move(*s));
                if (!opt.all_symbols)
                    return false;
            } else {
                pass.grids_left = grids_left;
            }
        }
        scanned.reset();
        run_pass(pass, candidates, pass_options, found);
        // A crowd is entered from a symbol read: a picture of decoys, where
        // the strongest candidates read nothing, costs no more.
        if (opt.all_symbols && !found.empty() && scanned_all.size() > strongest) {
            Pool crowd = scanned_pool(scanned_all, 1);
            run_crowd(pass, crowd, pass_options, found);
        }
        grids_left = pass.grids_left;
        if (replayable && found.empty() && grids_left > 0)
            memory->vain.push_back({v, pass_options.all_symbols, pass_options.model1, pass_options.max_triples,
                                    grids_before - grids_left});
        if (opt.all_symbols && !grey.inverted && pool_classic) {
            mark_read(grey, candidates, found); // the crowd's symbols too
            kept.unread_pair = unread_pair(grey, candidates);
        }
        // The sharpened pixels stay for the dim view, which binarises them
        // again.
        if (!memory) {
            view.binary.reset();
            view.matches = {};
        }
        return (found.empty() || opt.all_symbols) && grids_left > 0;
    };
    for (bool inverted : {false, true})
        if (!search_view(inverted ? 1 : 0, GreyView{pixels, width, height, stride, inverted}, !inverted, opt,
                         inverted ? std::nullopt : std::move(plain)))
            return found;
    // A blurred symbol: its eye patterns may show only when sharpened. They
    // then stand out among the candidates, so fewer triples are tried. With
    // every symbol asked for, a blurred one beside those read is looked for
    // there too, when the picture as it is left two eyes of one unread.
    if (found.empty() || (opt.all_symbols && kept.unread_pair)) {
        std::vector<std::uint8_t> &sharp = kept.views[sharpened_view].pixels;
        if (sharp.empty())
            sharp = sharpened(GreyView{pixels, width, height, stride, false});
        SearchOptions sharp_options = opt;
        sharp_options.max_triples = opt.max_triples / sharpened_triple_divisor;
        const GreyView sharp_grey{sharp.data(), width, height, width, false};
        if (!search_view(sharpened_view, sharp_grey, false, sharp_options, std::nullopt))
            return found;
        // A dim picture: its edges span fewer grey levels than the usual
        // binarisation takes for an edge, even sharpened, and its eye
        // patterns stand out by fewer. Looked at last, by the search that
        // follows every pass.
        if (!opt.dim)
            return found;
        if (kept.blocks.lo.empty())
            kept.blocks = block_greys(GreyView{pixels, width, height, stride, false});
        if (dim_picture(kept.blocks))
            search_view(dim_view, sharp_grey, false, sharp_options, std::nullopt);
    }
    return found;
}

std::optional<std::vector<std::uint8_t>> join_structured_append(std::span<const Located> symbols) {
    if (symbols.empty())
        return std::nullopt;
    const Facts &first = symbols.front().symbol.content.facts;
    if (first.sa_index < 0 || first.sa_count < 2 || static_cast<int>(symbols.size()) != first.sa_count)
        return std::nullopt;
    std::vector<const Located *> part(static_cast<std::size_t>(first.sa_count), nullptr);
    for (const Located &s : symbols) {
        const Facts &f = s.symbol.content.facts;
        if (f.sa_count != first.sa_count || f.sa_parity != first.sa_parity || f.sa_index < 0 ||
            f.sa_index >= f.sa_count || part[static_cast<std::size_t>(f.sa_index)])
            return std::nullopt;
        part[static_cast<std::size_t>(f.sa_index)] = &s;
    }
    std::vector<std::uint8_t> out;
    for (const Located *p : part)
        out.insert(out.end(), p->symbol.content.bytes.begin(), p->symbol.content.bytes.end());
    return out;
}

} // namespace vantor::thorough
