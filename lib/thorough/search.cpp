// The search: eye pattern candidates pooled from the classic passes and from
// the search's own binarisations, triples formed under geometric gates and
// tried best first, each with the versions its geometry allows and the grids
// its alignment patterns give, decoding as the judge.
#include "search.h"

#include <algorithm>
#include <cmath>

#include "eye_outline.h"
#include "finder_scan.h"
#include "grids.h"
#include "reader.h"
#include "sampling.h"
#include "triples.h"

namespace vantor::thorough {
namespace {

// Grids sampled per image, over all triples, versions and passes.
constexpr int max_grids = 600;
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
constexpr int max_side = 32767;
// Quality of a pooled candidate (the share of scan lines through its centre
// that found it, which the classic passes do not tell).
constexpr double pooled_quality = 0.5;
// Gated triples considered per binarisation; a triple whose eye patterns
// fail the contrast test costs little and does not count as tried.
constexpr int max_gated = 4000;

struct Pass {
    const GreyView &grey;
    const Binary &binary;
    int grids_left;
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
    s.level = "MLHQ"[r.format.level_bits & 3];
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
    return std::nullopt;
}

bool inside(const FoundSymbol &s, double x, double y) {
    // The corners go round the symbol one way; inside is on the same side
    // of all four edges.
    int sign = 0;
    for (int i = 0; i < 4; ++i) {
        const auto &a = s.corners[static_cast<std::size_t>(i)];
        const auto &b = s.corners[static_cast<std::size_t>((i + 1) % 4)];
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

std::array<float, 2> centre(const FoundSymbol &s) {
    float x = 0, y = 0;
    for (const auto &c : s.corners) {
        x += c[0] / 4;
        y += c[1] / 4;
    }
    return {x, y};
}

// Adds the candidates of one side, merging those within 1.5 modules of one
// already there.
void pool(std::vector<Candidate> &into, std::vector<double> &quality, std::span<const Candidate> more) {
    for (const Candidate &c : more) {
        if (!(c.module > 0) || !std::isfinite(c.x) || !std::isfinite(c.y))
            continue;
        const bool seen = std::any_of(into.begin(), into.end(), [&](const Candidate &o) {
            const float m = std::max(o.module, c.module);
            return std::hypot(o.x - c.x, o.y - c.y) <= 1.5f * m && m <= 1.5f * std::min(o.module, c.module);
        });
        if (!seen) {
            into.push_back(c);
            quality.push_back(pooled_quality);
        }
    }
}

// Tries the triples of one binarisation; found symbols go to `found`.
void run_pass(Pass &pass, const std::vector<Candidate> &candidates, const std::vector<double> &quality,
              const SearchOptions &opt, std::vector<FoundSymbol> &found) {
    if (candidates.size() < 3)
        return;
    std::vector<int> used;
    used.assign(candidates.size(), 0);
    // Candidates inside a symbol already read belong to it.
    for (std::size_t i = 0; i < candidates.size(); ++i)
        for (const FoundSymbol &s : found)
            if (s.inverted == pass.grey.inverted && inside(s, candidates[i].x, candidates[i].y))
                used[i] = 1;
    if (std::count(used.begin(), used.end(), 0) < 3)
        return;
    const std::vector<Triple> triples = form_triples(candidates, quality, used, max_gated);
    int tried = 0;
    // Each candidate's outline points, traced when a triple first needs them.
    std::vector<std::optional<std::vector<Point>>> traced(candidates.size());
    for (const Triple &t : triples) {
        if (used[static_cast<std::size_t>(t.tl)] || used[static_cast<std::size_t>(t.tr)] ||
            used[static_cast<std::size_t>(t.bl)])
            continue;
        auto eyes = orient_eyes(candidates[static_cast<std::size_t>(t.tl)], candidates[static_cast<std::size_t>(t.tr)],
                                candidates[static_cast<std::size_t>(t.bl)]);
        if (!eyes)
            continue;
        for (int k : {t.tl, t.tr, t.bl})
            if (!traced[static_cast<std::size_t>(k)]) {
                const Candidate &c = candidates[static_cast<std::size_t>(k)];
                traced[static_cast<std::size_t>(k)] = trace_eye(pass.binary, {c.x, c.y}, c.module);
            }
        const std::vector<Point> *const eye_points[3] = {&*traced[static_cast<std::size_t>(t.tl)],
                                                         &*traced[static_cast<std::size_t>(t.tr)],
                                                         &*traced[static_cast<std::size_t>(t.bl)]};
        outline_eyes(eye_points, *eyes);
        const double contrast = eyes_contrast(pass.grey, *eyes);
        if (contrast < min_contrast)
            continue;
        if (tried++ >= opt.max_triples)
            return;
        auto s = try_triple(pass, *eyes, contrast);
        if (pass.grids_left <= 0)
            return;
        if (!s)
            continue;
        used[static_cast<std::size_t>(t.tl)] = used[static_cast<std::size_t>(t.tr)] = used[static_cast<std::size_t>(t.bl)] = 1;
        for (std::size_t i = 0; i < candidates.size(); ++i)
            if (inside(*s, candidates[i].x, candidates[i].y))
                used[i] = 1;
        const auto middle = centre(*s);
        const bool again = std::any_of(found.begin(), found.end(), [&](const FoundSymbol &o) {
            return o.bytes == s->bytes && inside(o, middle[0], middle[1]);
        });
        if (!again)
            found.push_back(std::move(*s));
        if (!opt.all_symbols)
            return;
    }
}

} // namespace

std::vector<FoundSymbol> search(const std::uint8_t *pixels, int width, int height, int stride,
                                std::span<const Candidate> pooled, const SearchOptions &opt) {
    std::vector<FoundSymbol> found;
    if (!pixels || width < 21 || height < 21 || width > max_side || height > max_side || stride < width)
        return found;
    int grids_left = max_grids;
    for (bool inverted : {false, true}) {
        const GreyView grey{pixels, width, height, stride, inverted};
        const Binary binary(grey);
        std::vector<Candidate> candidates;
        std::vector<double> quality;
        for (const ScoredCandidate &c : scan_finders(binary, opt.max_candidates)) {
            // A single scan line is what noise gives.
            if (c.hits < 2)
                continue;
            candidates.push_back(c.at);
            // Every scan line through the 3-module centre finds a true eye.
            quality.push_back(std::min(1.0, c.hits / (3.0 * c.at.module)));
        }
        if (!inverted)
            pool(candidates, quality, pooled);
        Pass pass{grey, binary, grids_left};
        run_pass(pass, candidates, quality, opt, found);
        grids_left = pass.grids_left;
        if ((!found.empty() && !opt.all_symbols) || grids_left <= 0)
            break;
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
