// The search: eye pattern candidates pooled from the classic passes and from
// the search's own binarisations, triples formed under geometric gates and
// tried best first, each with the versions its geometry allows and the grids
// its alignment patterns give, decoding as the judge.
#include "search.h"

#include <algorithm>
#include <cmath>

#include "alignment.h"
#include "finder_scan.h"
#include "grid.h"
#include "reader.h"
#include "sampling.h"
#include "triples.h"

namespace vantor::thorough {
namespace {

// Grids sampled per image, over all triples, versions and passes.
constexpr int max_grids = 600;
// An eye pattern must stand out by this many grey levels.
constexpr double min_contrast = 12;
// Alignment matches must reach this share of the eyes' contrast.
constexpr double alignment_share = 0.3;
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

Point at(const Candidate &c) { return {c.x, c.y}; }

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

// The map through the three eye centres, for a symbol of n modules.
std::optional<Projective> eye_affine(int n, const Candidate &tl, const Candidate &tr, const Candidate &bl) {
    const double far = n - 3.5;
    return Projective::from_triangles({Point{3.5, 3.5}, Point{far, 3.5}, Point{3.5, far}}, {at(tl), at(tr), at(bl)});
}

// Per-cell grid between the alignment patterns found around the places the
// whole-symbol map predicts; patterns not found stay where predicted.
Grid cell_grid(const GreyView &grey, const Grid &whole, int version, double contrast) {
    const auto coords = alignment_coords(version);
    std::vector<int> at_coords;
    for (int c : coords)
        if (c > 0)
            at_coords.push_back(c);
    const int k = static_cast<int>(at_coords.size());
    const int n = whole.size;
    std::vector<Point> points(static_cast<std::size_t>(k) * k);
    for (int r = 0; r < k; ++r)
        for (int c = 0; c < k; ++c) {
            const Point expected{at_coords[static_cast<std::size_t>(c)] + 0.5, at_coords[static_cast<std::size_t>(r)] + 0.5};
            Point p = whole.whole.map(expected);
            const bool on_eye = (r == 0 && c == 0) || (r == 0 && c == k - 1) || (r == k - 1 && c == 0);
            if (!on_eye) {
                if (const auto hit = find_alignment(grey, whole.whole, expected, 1.5, contrast * alignment_share))
                    p = hit->image;
            }
            points[static_cast<std::size_t>(r) * k + c] = p;
        }
    Grid g;
    g.size = n;
    g.whole = whole.whole;
    for (int c : at_coords)
        g.cuts.push_back(c + 0.5);
    for (int r = 0; r + 1 < k; ++r)
        for (int c = 0; c + 1 < k; ++c) {
            const auto idx = [&](int rr, int cc) { return points[static_cast<std::size_t>(rr) * k + cc]; };
            const Point m00{g.cuts[static_cast<std::size_t>(c)], g.cuts[static_cast<std::size_t>(r)]};
            const Point m11{g.cuts[static_cast<std::size_t>(c) + 1], g.cuts[static_cast<std::size_t>(r) + 1]};
            const auto cell = Projective::from_quads({m00, Point{m11.x, m00.y}, m11, Point{m00.x, m11.y}},
                                                     {idx(r, c), idx(r, c + 1), idx(r + 1, c + 1), idx(r + 1, c)});
            if (!cell)
                return whole;
            g.cells.push_back(*cell);
        }
    return g;
}

// The grids to try for one version of a triple, best first.
std::vector<Grid> grids_for(const GreyView &grey, int version, const Candidate &tl, const Candidate &tr,
                            const Candidate &bl, double contrast) {
    const int n = 4 * version + 17;
    std::vector<Grid> out;
    const auto affine = eye_affine(n, tl, tr, bl);
    if (!affine)
        return out;
    if (version >= 2) {
        const Point expected{n - 6.5, n - 6.5};
        const double radius = std::max(3.0, n / 10.0);
        if (const auto hit = find_alignment(grey, *affine, expected, radius, contrast * alignment_share)) {
            const double far = n - 3.5;
            const auto quad = Projective::from_quads({Point{3.5, 3.5}, Point{far, 3.5}, expected, Point{3.5, far}},
                                                     {at(tl), at(tr), hit->image, at(bl)});
            if (quad && quad->proper_over(n)) {
                Grid g{n, *quad, {}, {}};
                if (version >= 7)
                    out.push_back(cell_grid(grey, g, version, contrast));
                out.push_back(std::move(g));
            }
        }
    }
    out.push_back(Grid{n, *affine, {}, {}});
    return out;
}

// The weakest contrast of the triple's eye patterns, each measured with its
// own module size along the directions of the symbol's sides.
double triple_contrast(const GreyView &grey, const Candidate &tl, const Candidate &tr, const Candidate &bl) {
    const double row_len = std::hypot(tr.x - tl.x, tr.y - tl.y), col_len = std::hypot(bl.x - tl.x, bl.y - tl.y);
    if (!(row_len > 0 && col_len > 0))
        return 0;
    const Point row_dir{(tr.x - tl.x) / row_len, (tr.y - tl.y) / row_len};
    const Point col_dir{(bl.x - tl.x) / col_len, (bl.y - tl.y) / col_len};
    const double turn = std::atan2(row_dir.y, row_dir.x);
    const double slant = std::max(std::fabs(std::cos(turn)), std::fabs(std::sin(turn)));
    double weakest = 1e9;
    for (const Candidate *c : {&tl, &tr, &bl}) {
        const double m = c->module * slant;
        weakest = std::min(weakest, eye_contrast(grey, at(*c), {row_dir.x * m, row_dir.y * m}, {col_dir.x * m, col_dir.y * m}));
    }
    return weakest;
}

std::optional<FoundSymbol> try_triple(Pass &pass, const Candidate &tl, const Candidate &tr, const Candidate &bl,
                                      double contrast) {    std::vector<int> versions = versions_near(modules_across(tl, tr, bl));
    // From version 7 the version information names the size; adopt it when
    // it agrees with the geometry.
    if (versions.front() >= 7 || versions.size() > 1) {
        for (int v : versions) {
            if (v < 7)
                continue;
            const int n = 4 * v + 17;
            const auto affine = eye_affine(n, tl, tr, bl);
            if (!affine)
                break;
            const auto m = sample(pass.grey, pass.binary, Grid{n, *affine, {}, {}}, Threshold::blocks);
            if (!m)
                break;
            int named = read_version_blocks(*m);
            if (named < 0)
                named = read_version_blocks(m->transposed());
            if (named > 0 && std::abs(named - versions.front()) <= (versions.front() >= 15 ? 2 : 1)) {
                versions = {named};
            }
            break;
        }
    }
    for (int version : versions) {
        const int n = 4 * version + 17;
        const auto affine = eye_affine(n, tl, tr, bl);
        if (!affine)
            continue;
        for (const Grid &grid : grids_for(pass.grey, version, tl, tr, bl, contrast)) {
            for (Threshold t : {Threshold::blocks, Threshold::module_window}) {
                if (pass.grids_left-- <= 0)
                    return std::nullopt;
                const auto m = sample(pass.grey, pass.binary, grid, t);
                if (!m)
                    continue;
                auto r = read_matrix(*m);
                if (!r)
                    continue;
                FoundSymbol s;
                s.bytes = std::move(r->content.bytes);
                s.text = eci_text(Content{s.bytes, r->content.runs, r->content.facts});
                s.version = r->version;
                s.level = "MLHQ"[r->format.level_bits & 3];
                s.mask = r->format.mask;
                const Point c[4] = {grid.map(0, 0), grid.map(n, 0), grid.map(n, n), grid.map(0, n)};
                // A mirrored symbol's own upper-right corner is the one we
                // saw at the lower left.
                const int order[4] = {0, r->mirrored ? 3 : 1, 2, r->mirrored ? 1 : 3};
                for (int i = 0; i < 4; ++i)
                    s.corners[static_cast<std::size_t>(i)] = {static_cast<float>(c[order[i]].x), static_cast<float>(c[order[i]].y)};
                s.corrected = r->corrected;
                s.mirrored = r->mirrored;
                s.inverted = pass.grey.inverted;
                s.facts = r->content.facts;
                return s;
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
    std::vector<char> used(candidates.size(), 0);
    // Candidates inside a symbol already read belong to it.
    for (std::size_t i = 0; i < candidates.size(); ++i)
        for (const FoundSymbol &s : found)
            if (s.inverted == pass.grey.inverted && inside(s, candidates[i].x, candidates[i].y))
                used[i] = 1;
    if (std::count(used.begin(), used.end(), 0) < 3)
        return;
    const std::vector<Triple> triples = form_triples(candidates, quality, used, max_gated);
    int tried = 0;
    for (const Triple &t : triples) {
        if (used[static_cast<std::size_t>(t.tl)] || used[static_cast<std::size_t>(t.tr)] ||
            used[static_cast<std::size_t>(t.bl)])
            continue;
        const Candidate &tl = candidates[static_cast<std::size_t>(t.tl)];
        const Candidate &tr = candidates[static_cast<std::size_t>(t.tr)];
        const Candidate &bl = candidates[static_cast<std::size_t>(t.bl)];
        const double contrast = triple_contrast(pass.grey, tl, tr, bl);
        if (contrast < min_contrast)
            continue;
        if (tried++ >= opt.max_triples)
            return;
        auto s = try_triple(pass, tl, tr, bl, contrast);
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
