// The search: eye pattern candidates pooled from the classic passes and from
// the search's own binarisations, triples formed under geometric gates and
// tried best first, each with the versions its geometry allows and the grids
// its alignment patterns give, decoding as the judge.
#include "search.h"

#include <algorithm>
#include <cmath>

#include "../display_text.h"
#include "../format.h"
#include "../model1/triple.h"
#include "completion.h"
#include "eye_outline.h"
#include "eye_scan.h"
#include "grids.h"
#include "reader.h"
#include "sampling.h"
#include "triples.h"

namespace vantor::thorough {
namespace {

// Grids sampled per image, over all triples, versions and passes.
constexpr int max_grids = 600;
// The sharpened picture is given the triples of the others divided by this.
constexpr int sharpened_triple_divisor = 3;
// An eye pattern must stand out by this many grey levels.
constexpr double min_contrast = 12;
// How far the size the version information names may be from the size the
// eye patterns measure (perspective makes the measure short): modules, and
// share of the measure.
constexpr double version_slack_modules = 8;
constexpr double version_slack_share = 0.12;
// Share of timing pattern modules a grid must read right to be sampled.
constexpr double min_timing = 0.7;
// The same for the first guess of a version, which may be a little off.
constexpr double min_guess_timing = 0.6;
// Quality of a pooled candidate (the share of scan lines through its centre
// that found it, which the classic passes do not tell).
constexpr double pooled_quality = 0.5;
// Third eyes placed by completion per binarisation, and their quality.
constexpr int max_completions = 12;
constexpr double completed_quality = 0.5;
// Gated triples considered per binarisation; a triple whose eye patterns
// fail the contrast test costs little and does not count as tried.
constexpr int max_gated = 4000;

struct Pass {
    const GreyView &grey;
    const Binary &binary;
    int grids_left;
    bool model1;
};

// Versions to try for a triple measuring `across` modules, nearest first.
std::vector<int> versions_near(double across) {
    const int v0 = std::clamp(static_cast<int>(std::lround((across - 17) / 4)), 1, 40);
    std::vector<int> out{v0};
    const int reach = v0 >= 15 ? 2 : 1;
    for (int d = 1; d <= reach; ++d)
        for (int v : {v0 + d, v0 - d})
            if (v >= 1 && v <= 40)
                out.push_back(v);
    return out;
}

// The version the version information of the symbol names, read through
// the first guess of the nearest version; -1 when neither block (nor its
// transpose) is within 3 bits of a version's word.
int named_version(const Pass &pass, const Eyes &eyes, int version) {
    const auto guess = first_guess(pass.grey, pass.binary, eyes, version);
    if (!guess)
        return -1;
    const auto m = sample(pass.grey, pass.binary, guess->grid, Threshold::blocks);
    if (!m)
        return -1;
    const int named = read_version_blocks(*m);
    return named > 0 ? named : read_version_blocks(m->transposed());
}

FoundSymbol found_symbol(Reading &r, const Grid &grid, bool inverted) {
    FoundSymbol s;
    s.bytes = std::move(r.content.bytes);
    s.text = eci_text(Content{s.bytes, r.content.runs, r.content.facts});
    s.version = r.version;
    s.level = level_letter(r.format.level_bits);
    s.mask = r.format.mask;
    const int n = grid.size;
    const Point c[4] = {grid.map(0, 0), grid.map(n, 0), grid.map(n, n), grid.map(0, n)};
    // A mirrored symbol's own upper-right corner is the one seen at the
    // lower left.
    const int order[4] = {0, r.mirrored ? 3 : 1, 2, r.mirrored ? 1 : 3};
    for (int i = 0; i < 4; ++i)
        s.corners[static_cast<std::size_t>(i)] = {static_cast<float>(c[order[i]].x), static_cast<float>(c[order[i]].y)};
    s.corrected = r.corrected;
    s.mirrored = r.mirrored;
    s.inverted = inverted;
    s.facts = r.content.facts;
    return s;
}

std::optional<FoundSymbol> try_triple(Pass &pass, const Eyes &eyes, double contrast) {
    const double across = eyes_modules_across(eyes);
    std::vector<int> versions = versions_near(across);
    // From version 7 the version information names the size; it is adopted
    // when it agrees with the geometry.
    if (versions.front() >= 7) {
        const int named = named_version(pass, eyes, versions.front());
        if (named > 0 && std::fabs(4 * named + 17 - across) <= std::max(version_slack_modules, version_slack_share * across))
            versions = {named};
    }
    for (int version : versions) {
        // A version whose first guess does not show timing patterns is
        // passed over before its alignment patterns are searched for.
        const auto guess = first_guess(pass.grey, pass.binary, eyes, version);
        if (!guess || guess->timing < min_guess_timing)
            continue;
        for (const Grid &grid : grids_for(pass.grey, eyes, *guess, contrast)) {
            // A grid whose timing patterns do not alternate is not this
            // symbol's; it costs a few samples to find out.
            if (timing_agreement(pass.grey, pass.binary, grid) < min_timing)
                continue;
            for (Threshold t : {Threshold::blocks, Threshold::module_window, Threshold::sharpened}) {
                if (pass.grids_left-- <= 0)
                    return std::nullopt;
                const auto m = sample(pass.grey, pass.binary, grid, t);
                if (!m)
                    continue;
                if (auto r = read_matrix(*m))
                    return found_symbol(*r, grid, pass.grey.inverted);
            }
        }
    }
    if (pass.model1)
        if (auto r = model1::read_triple(pass.grey, pass.binary, eyes)) {
            FoundSymbol s = found_symbol(r->reading, r->grid, pass.grey.inverted);
            s.model1 = true;
            return s;
        }
    return std::nullopt;
}

bool inside(const FoundSymbol &s, double x, double y) { return thorough::inside(s.corners, x, y); }

std::array<float, 2> centre(const FoundSymbol &s) {
    float x = 0, y = 0;
    for (const auto &c : s.corners) {
        x += c[0] / 4;
        y += c[1] / 4;
    }
    return {x, y};
}

// The candidates of one binarisation and what the search knows of each.
struct Pool {
    std::vector<Candidate> at;
    std::vector<double> quality;
    std::vector<int> used;       // part of a symbol read
    std::vector<char> synthetic; // placed by completion, not found by the scan
    std::vector<std::optional<std::vector<Point>>> traced; // outline points, when needed

    void add(const Candidate &c, double q, bool made) {
        at.push_back(c);
        quality.push_back(q);
        used.push_back(0);
        synthetic.push_back(made);
        traced.emplace_back();
    }
};

// Adds candidates from elsewhere, but not one within 1.5 modules of one
// already there.
// Pooled candidates arrive strongest first; at most `limit` distinct ones
// join, which keeps the triples formed from them (cubic in their number)
// bounded whatever the pictures give.
void add_pooled(Pool &pool, std::span<const Candidate> more, int limit) {
    int added = 0;
    for (const Candidate &c : more) {
        if (added >= limit)
            break;
        if (!(c.module > 0) || !std::isfinite(c.x) || !std::isfinite(c.y))
            continue;
        const bool seen = std::any_of(pool.at.begin(), pool.at.end(), [&](const Candidate &o) {
            const float m = std::max(o.module, c.module);
            return std::hypot(o.x - c.x, o.y - c.y) <= 1.5f * m && m <= 1.5f * std::min(o.module, c.module);
        });
        if (!seen) {
            pool.add(c, pooled_quality, false);
            ++added;
        }
    }
}

// Tries the gated triples of the pool best first: those without a synthetic
// candidate, or (completing) those with exactly one. Found symbols go to
// `found`; true when the search should stop.
bool try_triples(Pass &pass, Pool &pool, bool completing, const SearchOptions &opt, int &tried,
                 std::vector<FoundSymbol> &found) {
    for (const Triple &t : form_triples(pool.at, pool.quality, pool.used, max_gated)) {
        const std::size_t k[3] = {static_cast<std::size_t>(t.corner), static_cast<std::size_t>(t.along),
                                  static_cast<std::size_t>(t.down)};
        if (pool.used[k[0]] || pool.used[k[1]] || pool.used[k[2]])
            continue;
        const int made = pool.synthetic[k[0]] + pool.synthetic[k[1]] + pool.synthetic[k[2]];
        if (made != (completing ? 1 : 0))
            continue;
        auto eyes = orient_eyes(pool.at[k[0]], pool.at[k[1]], pool.at[k[2]]);
        if (!eyes)
            continue;
        // The triple's contrast is that of its weakest eye pattern; a
        // synthetic eye was matched by template already and may be too
        // damaged for the test. Each eye is outlined and judged in turn, and
        // the first too weak settles it: the others' work cannot matter.
        double contrast = 1e9;
        for (int n = 0; n < 3 && !(contrast < min_contrast); ++n) {
            const std::size_t i = k[n];
            if (!pool.traced[i])
                pool.traced[i] = trace_eye(pass.binary, {pool.at[i].x, pool.at[i].y}, pool.at[i].module);
            outline_eye(*pool.traced[i], *eyes, n);
            if (!pool.synthetic[i])
                contrast = std::min(contrast, eye_pattern_contrast(pass.grey, *eyes, n));
        }
        if (contrast < min_contrast)
            continue;
        if (tried++ >= opt.max_triples)
            return true;
        auto s = try_triple(pass, *eyes, contrast);
        if (pass.grids_left <= 0)
            return true;
        if (!s)
            continue;
        for (std::size_t i = 0; i < pool.at.size(); ++i)
            if (inside(*s, pool.at[i].x, pool.at[i].y))
                pool.used[i] = 1;
        for (std::size_t i : k)
            pool.used[i] = 1;
        const auto middle = centre(*s);
        const bool again = std::any_of(found.begin(), found.end(), [&](const FoundSymbol &o) {
            return o.bytes == s->bytes && inside(o, middle[0], middle[1]);
        });
        if (!again)
            found.push_back(std::move(*s));
        if (!opt.all_symbols)
            return true;
    }
    return false;
}

// Tries the triples of one binarisation, then triples completed by a third
// eye where two strong candidates predict one.
void run_pass(Pass &pass, Pool &pool, const SearchOptions &opt, std::vector<FoundSymbol> &found) {
    // Candidates inside a symbol already read belong to it.
    for (std::size_t i = 0; i < pool.at.size(); ++i)
        for (const FoundSymbol &s : found)
            if (s.inverted == pass.grey.inverted && inside(s, pool.at[i].x, pool.at[i].y))
                pool.used[i] = 1;
    const auto free = std::count(pool.used.begin(), pool.used.end(), 0);
    int tried = 0;
    if (free >= 3 && try_triples(pass, pool, false, opt, tried, found))
        return;
    if (free < 2 || pass.grids_left <= 0)
        return;
    for (const Candidate &c : missing_eyes(pass.grey, pool.at, pool.quality, pool.used, max_completions))
        pool.add(c, completed_quality, true);
    try_triples(pass, pool, true, opt, tried, found);
}

} // namespace

bool inside(const std::array<std::array<float, 2>, 4> &corners, double x, double y) {
    // The corners go round the symbol one way; inside is on the same side
    // of all four edges.
    int sign = 0;
    for (int i = 0; i < 4; ++i) {
        const auto &a = corners[static_cast<std::size_t>(i)];
        const auto &b = corners[static_cast<std::size_t>((i + 1) % 4)];
        const double cross = (b[0] - a[0]) * (y - a[1]) - (b[1] - a[1]) * (x - a[0]);
        const int side = cross > 0 ? 1 : cross < 0 ? -1 : 0;
        if (side != 0) {
            if (sign != 0 && side != sign)
                return false;
            sign = side;
        }
    }
    return true;
}

std::vector<FoundSymbol> search(const std::uint8_t *pixels, int width, int height, int stride,
                                std::span<const Candidate> pooled, const SearchOptions &opt) {
    std::vector<FoundSymbol> found;
    if (!pixels || width < 21 || height < 21 || stride < width)
        return found;
    int grids_left = max_grids;
    // One binarisation's candidates, triples and grids; false when the
    // search should stop.
    auto search_view = [&](const GreyView &grey, bool pool_classic, const SearchOptions &pass_options) {
        const Binary binary(grey);
        Pool candidates;
        for (const ScoredCandidate &c : scan_eyes(binary, opt.max_candidates))
            // A single scan line is what noise gives; every scan line
            // through the 3-module centre finds a true eye.
            if (c.hits >= 2)
                candidates.add(c.at, std::min(1.0, c.hits / (3.0 * c.at.module)), false);
        if (pool_classic)
            add_pooled(candidates, pooled, opt.max_candidates);
        Pass pass{grey, binary, grids_left, opt.model1};
        run_pass(pass, candidates, pass_options, found);
        grids_left = pass.grids_left;
        return (found.empty() || opt.all_symbols) && grids_left > 0;
    };
    for (bool inverted : {false, true})
        if (!search_view(GreyView{pixels, width, height, stride, inverted}, !inverted, opt))
            return found;
    // A blurred symbol: its eye patterns may show only when sharpened. They
    // then stand out among the candidates, so fewer triples are tried.
    if (found.empty()) {
        const std::vector<std::uint8_t> sharp = sharpened(GreyView{pixels, width, height, stride, false});
        SearchOptions sharp_options = opt;
        sharp_options.max_triples = opt.max_triples / sharpened_triple_divisor;
        search_view(GreyView{sharp.data(), width, height, width, false}, false, sharp_options);
    }
    return found;
}

std::optional<std::vector<std::uint8_t>> join_structured_append(std::span<const FoundSymbol> symbols) {
    if (symbols.empty())
        return std::nullopt;
    const Facts &first = symbols.front().facts;
    if (first.sa_index < 0 || first.sa_count < 2 || static_cast<int>(symbols.size()) != first.sa_count)
        return std::nullopt;
    std::vector<const FoundSymbol *> part(static_cast<std::size_t>(first.sa_count), nullptr);
    for (const FoundSymbol &s : symbols) {
        const Facts &f = s.facts;
        if (f.sa_count != first.sa_count || f.sa_parity != first.sa_parity || f.sa_index < 0 ||
            f.sa_index >= f.sa_count || part[static_cast<std::size_t>(f.sa_index)])
            return std::nullopt;
        part[static_cast<std::size_t>(f.sa_index)] = &s;
    }
    std::vector<std::uint8_t> out;
    for (const FoundSymbol *p : part)
        out.insert(out.end(), p->bytes.begin(), p->bytes.end());
    return out;
}

} // namespace vantor::thorough
