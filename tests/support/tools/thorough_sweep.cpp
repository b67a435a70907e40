// Sweeps generated pictures through the classic readings and the thorough
// search and prints counts (not a test; run by hand):
//   a  the location cases of the classic sweep (every version at module
//      sizes 2.5..8, fifteen rotations, mild skew): read by the classic
//      readings, by the search after them, by the search alone;
//   h  a hard set: decoy eye patterns in the data area, strong perspective,
//      1.5-2.5 px modules, low contrast, blur, a module-wide scratch, and
//      all of keystone, blur, noise and uneven light at once in a larger
//      picture (photo mix);
//   d  damage: codeword errors within and one beyond a block's capacity,
//      read by the search alone; no wrong text may come out;
//   n  pictures without a symbol (noise, stripes, checks, module textures,
//      three eye patterns around random modules): no text may come out;
//   s  special kinds: mirrored, inverted, two symbols side by side;
//   r  random words through the Reed-Solomon correction of versions 1 and
//      2 at their full capacity: how many come out as codewords, by the
//      corrections they needed, and how many of those give a valid bit
//      stream (the limit of corrections for the smallest symbols).
// With --effort fast|default|exhaustive every picture of a, h, d, n and s is
// read through vantor_decode_pixels at that effort instead (the classic
// readings, then the search with their candidates, as the API orders them),
// so two efforts' counts compare class by class; "search alone" then stays 0
// and "classic" counts symbols read by a classic pass.
// usage: thorough_sweep [a|h|d|n|s|r]... [--versions LO-HI] [--every K]
//                       [--trials N] [--list] [--dump DIR] [--effort NAME]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <vantor/vantor.h>

#include "../../end_to_end_cases.h"
#include "1_base/reed_solomon.h"
#include "3_model2/classic/state.h"
#include "1_base/bitstream.h"
#include "3_model2/search/codewords.h"
#include "6_api/search.h"

namespace {

using namespace e2e;
namespace th = vantor::thorough;

int first_version = 1, last_version = 40;
// --dump DIR: failing pictures written there as PGM, with the text they hold.
std::string dump_dir;
int dumped = 0;

void dump(const vt::Picture &p, const vt::Symbol &symbol, const char *what) {
    const std::string &text = symbol.text;
    if (dump_dir.empty())
        return;
    const std::string base = dump_dir + "/" + std::to_string(dumped++);
    if (std::FILE *f = std::fopen((base + ".pgm").c_str(), "wb")) {
        std::fprintf(f, "P5\n%d %d\n255\n", p.width, p.height);
        std::fwrite(p.pixels.data(), 1, p.pixels.size(), f);
        std::fclose(f);
    }
    if (std::FILE *f = std::fopen((base + ".txt").c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    if (std::FILE *f = std::fopen((base + ".mat").c_str(), "wb")) {
        std::fprintf(f, "%d\n", symbol.size);
        for (std::uint8_t m : symbol.modules)
            std::fputc('0' + m, f);
        std::fclose(f);
    }
    std::printf("    written %s.pgm (%s)\n", base.c_str(), what);
}
int every = 1; // part a: every k-th case
// --effort NAME: pictures read through the API at that effort.
bool through_api = false;
vantor_effort api_effort = VANTOR_EFFORT_DEFAULT;
bool list_all = false;

double seconds_since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

enum class Result { classic, search, none, wrong };

struct Tally {
    int cases = 0, classic = 0, search = 0, none = 0, wrong = 0, search_alone = 0;
    void add(Result r, bool alone) {
        ++cases;
        classic += r == Result::classic;
        search += r == Result::search;
        none += r == Result::none;
        wrong += r == Result::wrong;
        search_alone += alone;
    }
    int read() const { return classic + search; }
};

void print_table(const char *title, const std::map<std::string, Tally> &rows) {
    std::printf("| %s | cases | classic | + search | read | %% | search alone | no text | WRONG |\n"
                "|---|---|---|---|---|---|---|---|---|\n",
                title);
    for (const auto &[k, t] : rows)
        std::printf("| %s | %d | %d | %d | %d | %.1f | %d | %d | %d |\n", k.c_str(), t.cases, t.classic, t.search,
                    t.read(), 100.0 * t.read() / std::max(1, t.cases), t.search_alone, t.none, t.wrong);
}

std::string bytes_of(const vantor::Located &s) {
    return std::string(s.symbol.content.bytes.begin(), s.symbol.content.bytes.end());
}

// What the API read from a picture at --effort, in the search's terms; a
// symbol a classic pass read has no corners here.
struct ApiSymbol {
    std::string bytes;
    bool classic = false;
    bool mirrored = false;
    bool inverted = false;
    int version = 0;
    char level = 0;
    int corrected = 0;
};

std::vector<ApiSymbol> api_read(const vt::Picture &p, bool all_symbols) {
    vantor_options *o = vantor_options_new();
    vantor_options_set_effort(o, api_effort);
    vantor_options_set_all_symbols(o, all_symbols);
    vantor_results *r = vantor_decode_pixels(p.pixels.data(), p.width, p.height, p.width, 8, o);
    std::vector<ApiSymbol> out;
    for (int i = 0; i < vantor_results_count(r); ++i) {
        const vantor_symbol *s = vantor_results_symbol(r, i);
        out.push_back({std::string(reinterpret_cast<const char *>(s->bytes), s->length), s->pass >= 0,
                       s->mirrored != 0, s->inverted != 0, s->version, s->level, s->corrected});
    }
    vantor_results_free(r);
    vantor_options_free(o);
    return out;
}

// The search alone, or the API at --effort, as the search's symbols.
std::vector<ApiSymbol> search_read(const vt::Picture &p, bool all_symbols) {
    if (through_api)
        return api_read(p, all_symbols);
    th::SearchOptions opt;
    opt.all_symbols = all_symbols;
    std::vector<ApiSymbol> out;
    for (const vantor::Located &f : th::search(p.pixels.data(), p.width, p.height, p.width, {}, opt))
        out.push_back({bytes_of(f), false, f.symbol.mirrored, f.inverted, f.symbol.version, f.symbol.level,
                       f.symbol.corrected});
    return out;
}

// The classic readings, then the search when they give no text; and the
// search alone, to measure it by itself.
Result read_picture(const vt::Picture &p, const std::string &want, bool &alone_right, bool &alone_wrong) {
    if (through_api) {
        alone_right = alone_wrong = false;
        const std::vector<ApiSymbol> found = api_read(p, false);
        if (found.empty())
            return Result::none;
        if (found.front().bytes != want)
            return Result::wrong;
        return found.front().classic ? Result::classic : Result::search;
    }
    const char *text = decode_image(p.pixels.data(), p.width, p.height, 8, nullptr);
    const auto found = th::search(p.pixels.data(), p.width, p.height, p.width, {}, {});
    alone_right = !found.empty() && bytes_of(found.front()) == want;
    alone_wrong = !found.empty() && bytes_of(found.front()) != want;
    if (text)
        return want == text ? Result::classic : Result::wrong;
    if (found.empty())
        return Result::none;
    return alone_right ? Result::search : Result::wrong;
}

// --- a ------------------------------------------------------------------------------

void sweep_location() {
    const auto started = std::chrono::steady_clock::now();
    constexpr double sizes[] = {2.5, 3, 3.5, 4, 5, 6, 8};
    constexpr double rotations[] = {0, 5, 17, 30, 45, 60, 90, 112, 135, 180, 205, 250, 270, 315, 340};
    struct Skew {
        double x, y;
    };
    constexpr Skew skews[] = {{0, 0}, {0.04, 0}, {-0.03, 0.03}};
    std::map<std::string, Tally> by_band, by_size, by_rotation, total;
    std::mt19937 rng(3); // the classic sweep's cases, symbol for symbol
    int index = 0, alone_wrong_count = 0;
    double search_seconds = 0;
    for (int v = 1; v <= 40; ++v) {
        int look = 0;
        for (double size : sizes)
            for (double rotation : rotations) {
                const Skew skew = skews[static_cast<std::size_t>(look++ % 3)];
                auto symbol = make_case(v, vt::Level::M, Content::byte, 0.4 + 0.6 * (rng() % 100) / 100.0, rng);
                if (!symbol || v < first_version || v > last_version || index++ % every != 0)
                    continue;
                vt::RenderOptions o;
                o.module_px = size;
                o.rotation_deg = rotation;
                o.skew_x = skew.x;
                o.skew_y = skew.y;
                const vt::Picture picture = vt::render(*symbol, o);
                if (picture.pixels.empty())
                    continue;
                bool alone = false, alone_wrong = false;
                const auto t0 = std::chrono::steady_clock::now();
                const Result r = read_picture(picture, symbol->text, alone, alone_wrong);
                search_seconds += seconds_since(t0);
                alone_wrong_count += alone_wrong;
                char band[32];
                std::snprintf(band, sizeof band, "%02d-%02d", (v - 1) / 10 * 10 + 1, (v - 1) / 10 * 10 + 10);
                by_band[band].add(r, alone);
                char px[16];
                std::snprintf(px, sizeof px, "%.1f px", size);
                by_size[px].add(r, alone);
                by_rotation[std::fmod(rotation, 90) == 0 ? "multiples of 90" : "other angles"].add(r, alone);
                total["all"].add(r, alone);
                if (list_all && (r == Result::none || r == Result::wrong)) {
                    std::printf("  a: version %d, %.1f px, %g deg, skew %g/%g: %s\n", v, size, rotation, skew.x,
                                skew.y, r == Result::none ? "no text" : "WRONG");
                    dump(picture, *symbol, "location");
                }
            }
        std::fprintf(stderr, "a: version %d done, %.0f s\n", v, seconds_since(started));
    }
    std::printf("\n(a) location cases: versions %d-%d, every %d of the classic sweep's 4,200, level M byte\n",
                first_version, last_version, every);
    print_table("all", total);
    print_table("versions", by_band);
    print_table("module", by_size);
    print_table("rotation", by_rotation);
    std::printf("search alone gave a wrong text: %d; decode time (classic + search) %.1f s\n", alone_wrong_count,
                search_seconds);
}


// --- shared -------------------------------------------------------------------------

// The modules of each raw codeword (indices into the matrix).
std::vector<std::vector<int>> modules_of_codewords(const Layout &l) {
    std::vector<std::vector<int>> out(l.block_of.size());
    for (int m = 0; m < l.n * l.n; ++m) {
        const int cw = l.codeword_of[static_cast<std::size_t>(m)];
        if (cw >= 0)
            out[static_cast<std::size_t>(cw)].push_back(m);
    }
    return out;
}

// Whether a changed copy of the symbol keeps every block within capacity.
bool within_capacity(const vt::Symbol &original, const vt::Symbol &changed, const Layout &l) {
    std::vector<char> hit(l.block_of.size(), 0);
    for (int m = 0; m < l.n * l.n; ++m)
        if (original.modules[static_cast<std::size_t>(m)] != changed.modules[static_cast<std::size_t>(m)]) {
            const int cw = l.codeword_of[static_cast<std::size_t>(m)];
            if (cw >= 0)
                hit[static_cast<std::size_t>(cw)] = 1;
        }
    std::vector<int> errors(static_cast<std::size_t>(l.blocks()), 0);
    for (std::size_t i = 0; i < hit.size(); ++i)
        errors[static_cast<std::size_t>(l.block_of[i])] += hit[i];
    for (int b = 0; b < l.blocks(); ++b)
        if (errors[static_cast<std::size_t>(b)] > l.capacity[b < l.data_blocks[0] ? 0 : 1])
            return false;
    return true;
}

double uniform(std::mt19937 &rng, double lo, double hi) {
    return lo + (hi - lo) * static_cast<double>(rng() % 100000) / 100000.0;
}

vt::Level random_level(std::mt19937 &rng) { return all_levels[rng() % 4]; }

// --- h: hard set ----------------------------------------------------------------------

// Writes an eye pattern with its light border (9 x 9 modules) with its
// corner at (c, r).
void put_decoy(vt::Symbol &s, int c, int r) {
    for (int j = 0; j < 9; ++j)
        for (int i = 0; i < 9; ++i) {
            const int ring = std::max(std::abs(i - 4), std::abs(j - 4));
            s.modules[static_cast<std::size_t>(r + j) * s.size + c + i] = ring != 2 && ring != 4;
        }
}

// Sets the modules within half a module of a line through the symbol.
void put_scratch(vt::Symbol &s, double angle, double offset, bool dark) {
    const double nx = -std::sin(angle), ny = std::cos(angle), c = s.size / 2.0;
    for (int r = 0; r < s.size; ++r)
        for (int col = 0; col < s.size; ++col) {
            const double d = (col + 0.5 - c) * nx + (r + 0.5 - c) * ny - offset;
            if (std::fabs(d) < 0.5)
                s.modules[static_cast<std::size_t>(r) * s.size + col] = dark;
        }
}

void sweep_hard(int per_class) {
    const auto started = std::chrono::steady_clock::now();
    const char *classes[] = {"decoy eyes in data", "strong perspective", "modules 1.5-2.5 px", "low contrast",
                             "blur", "module-wide scratch", "photo mix"};
    std::map<std::string, Tally> all, within;
    std::mt19937 rng(11);
    int alone_wrong = 0;
    for (int k = 0; k < 7; ++k) {
        for (int i = 0; i < per_class; ++i) {
            int v = 1 + static_cast<int>(rng() % 30);
            vt::Level level = random_level(rng);
            if (k == 0) {
                v = 7 + static_cast<int>(rng() % 34);
                level = all_levels[1 + rng() % 3];
            }
            const Content content = all_contents[rng() % 5];
            auto symbol = make_case(v, level, content, uniform(rng, 0.5, 1.0), rng);
            if (!symbol)
                continue;
            vt::Symbol shown = *symbol;
            const Layout layout = layout_for(v, level);
            vt::RenderOptions o;
            o.module_px = uniform(rng, 3, 6);
            o.rotation_deg = uniform(rng, 0, 360);
            o.noise_sigma = 2;
            o.seed = rng();
            switch (k) {
            case 0:
                for (int d = 0; d < 2; ++d) {
                    // Somewhere every module of the pattern carries data.
                    for (int tries = 0; tries < 200; ++tries) {
                        const int c = static_cast<int>(rng() % static_cast<unsigned>(shown.size - 8));
                        const int r = static_cast<int>(rng() % static_cast<unsigned>(shown.size - 8));
                        bool data = true;
                        for (int j = 0; j < 9 && data; ++j)
                            for (int x = 0; x < 9 && data; ++x)
                                data = layout.codeword_of[static_cast<std::size_t>(r + j) * shown.size + c + x] >= 0;
                        if (data) {
                            put_decoy(shown, c, r);
                            break;
                        }
                    }
                }
                break;
            case 1: {
                const double half = (shown.size + 8) * o.module_px / 2;
                o.perspective = uniform(rng, 0.15, 0.3) / half;
                break;
            }
            case 2: o.module_px = uniform(rng, 1.5, 2.5); break;
            case 3: {
                const int dark = static_cast<int>(uniform(rng, 70, 130));
                o.dark = static_cast<std::uint8_t>(dark);
                o.light = static_cast<std::uint8_t>(dark + static_cast<int>(uniform(rng, 30, 50)));
                break;
            }
            case 4: o.blur_sigma = o.module_px * uniform(rng, 0.3, 0.5); break;
            case 6: {
                // A phone photo: the symbol a part of a larger picture, a
                // little keystone, soft focus, sensor noise, uneven light.
                o.module_px = uniform(rng, 2.5, 6);
                const double side = (shown.size + 8) * o.module_px;
                o.perspective = uniform(rng, 0, 0.12) / (side / 2);
                o.blur_sigma = uniform(rng, 0.3, 1.0);
                o.noise_sigma = uniform(rng, 3, 10);
                o.light_gradient = uniform(rng, 0.2, 0.6);
                o.canvas_width = static_cast<int>(side * uniform(rng, 1.6, 3));
                o.canvas_height = static_cast<int>(side * uniform(rng, 1.6, 3));
                break;
            }
            default:
                put_scratch(shown, uniform(rng, 0, 3.14159), uniform(rng, -0.2, 0.2) * shown.size, rng() % 2);
                break;
            }
            const vt::Picture picture = vt::render(shown, o);
            if (picture.pixels.empty())
                continue;
            bool alone = false, wrong_alone = false;
            const Result r = read_picture(picture, symbol->text, alone, wrong_alone);
            alone_wrong += wrong_alone;
            all[classes[k]].add(r, alone);
            all["(all classes)"].add(r, alone);
            if (within_capacity(*symbol, shown, layout)) {
                within[classes[k]].add(r, alone);
                within["(all classes)"].add(r, alone);
                if (list_all && r != Result::classic && r != Result::search) {
                    std::printf("  h: %s: version %d-%c %s, %.2f px, %.0f deg, persp %.5f, contrast %d-%d, blur %.2f: %s\n",
                                classes[k], v, name(level), name(content), o.module_px, o.rotation_deg, o.perspective,
                                o.dark, o.light, o.blur_sigma, r == Result::none ? "no text" : "WRONG");
                    dump(picture, *symbol, classes[k]);
                }
            }
        }
        std::fprintf(stderr, "h: %s done, %.0f s\n", classes[k], seconds_since(started));
    }
    std::printf("\n(h) hard set: %d cases per class, versions 1-30 (decoys 7-40, levels M-H), every level and "
                "content, random turn, noise 2\n",
                per_class);
    print_table("class, all cases", all);
    print_table("class, within capacity", within);
    std::printf("search alone gave a wrong text: %d; (h) took %.0f s\n", alone_wrong, seconds_since(started));
}

// --- d: damage ------------------------------------------------------------------------

void sweep_damage(int trials) {
    const auto started = std::chrono::steady_clock::now();
    constexpr int versions[] = {1, 1, 2, 2, 3, 4, 5, 6, 7, 8, 10, 12, 15, 20};
    const char *kinds[] = {"within capacity", "one beyond in a block", "heavy (up to 3 x capacity)"};
    struct Count {
        int trials = 0, right = 0, none = 0, wrong = 0;
    };
    std::map<std::string, Count> by_kind, by_small;
    std::vector<std::string> faults;
    std::mt19937 rng(2025);
    for (int t = 0; t < trials; ++t) {
        const int v = versions[rng() % (sizeof versions / sizeof versions[0])];
        const vt::Level level = random_level(rng);
        const Content content = all_contents[rng() % 5];
        auto symbol = make_case(v, level, content, uniform(rng, 0.3, 1.0), rng);
        if (!symbol)
            continue;
        const Layout l = layout_for(v, level);
        const auto cw_modules = modules_of_codewords(l);
        const int kind = static_cast<int>(rng() % 3);
        vt::Symbol shown = *symbol;
        // Codeword errors per block: within capacity, or t + 1 in one block.
        std::vector<int> hit_count(static_cast<std::size_t>(l.blocks()), 0);
        std::vector<std::vector<int>> of_block(static_cast<std::size_t>(l.blocks()));
        for (std::size_t i = 0; i < l.block_of.size(); ++i)
            of_block[static_cast<std::size_t>(l.block_of[i])].push_back(static_cast<int>(i));
        const int beyond_block = static_cast<int>(rng() % static_cast<unsigned>(l.blocks()));
        for (int b = 0; b < l.blocks(); ++b) {
            const int cap = l.capacity[b < l.data_blocks[0] ? 0 : 1];
            int errors = static_cast<int>(rng() % static_cast<unsigned>(cap + 1));
            if (kind == 1 && b == beyond_block)
                errors = cap + 1;
            if (kind == 2)
                errors = static_cast<int>(rng() % static_cast<unsigned>(3 * cap + 1));
            auto &cws = of_block[static_cast<std::size_t>(b)];
            std::shuffle(cws.begin(), cws.end(), rng);
            errors = std::min<int>(errors, static_cast<int>(cws.size()));
            for (int e = 0; e < errors; ++e) {
                const auto &mods = cw_modules[static_cast<std::size_t>(cws[static_cast<std::size_t>(e)])];
                // One to three bits of the codeword.
                const int bits = 1 + static_cast<int>(rng() % 3);
                for (int bit = 0; bit < bits; ++bit)
                    shown.modules[static_cast<std::size_t>(mods[rng() % mods.size()])] ^= 1;
            }
        }
        const bool within = within_capacity(*symbol, shown, l);
        vt::RenderOptions o;
        o.module_px = uniform(rng, 3, 5);
        o.rotation_deg = uniform(rng, 0, 360);
        o.mirror = rng() % 8 == 0;
        const vt::Picture picture = vt::render(shown, o);
        if (picture.pixels.empty())
            continue;
        const auto found = search_read(picture, false);
        const std::string key = within ? kinds[0] : kinds[kind == 0 ? 2 : kind];
        Count &c = by_kind[key];
        ++c.trials;
        const bool right = !found.empty() && found.front().bytes == symbol->text;
        const bool wrong = !found.empty() && !right;
        c.right += right;
        c.none += found.empty();
        c.wrong += wrong;
        if (v <= 2) {
            Count &s = by_small[std::string("version ") + std::to_string(v) + "-" + name(level) + (within ? " within" : " beyond")];
            ++s.trials;
            s.right += right;
            s.none += found.empty();
            s.wrong += wrong;
        }
        if (wrong)
            faults.push_back("WRONG TEXT: trial " + std::to_string(t) + ", version " + std::to_string(v) + "-" +
                             name(level) + ", " + key + ", corrected " + std::to_string(found.front().corrected));
        if (within && !right && list_all)
            std::printf("  d: trial %d, version %d-%c %s: within capacity, no text\n", t, v, name(level), name(content));
    }
    std::printf("\n(d) damage, search alone: %d trials over versions 1-8, 10, 12, 15, 20 (1 and 2 twice as often), "
                "every level and content, 3-5 px, turned, one in eight mirrored\n",
                trials);
    std::printf("| damage | trials | right | no text | WRONG |\n|---|---|---|---|---|\n");
    for (const auto &[k, c] : by_kind)
        std::printf("| %s | %d | %d | %d | %d |\n", k.c_str(), c.trials, c.right, c.none, c.wrong);
    std::printf("| version 1-2 | trials | right | no text | WRONG |\n|---|---|---|---|---|\n");
    for (const auto &[k, c] : by_small)
        std::printf("| %s | %d | %d | %d | %d |\n", k.c_str(), c.trials, c.right, c.none, c.wrong);
    for (const std::string &f : faults)
        std::printf("  %s\n", f.c_str());
    std::printf("(d) took %.0f s\n", seconds_since(started));
}

// --- n: no symbol -----------------------------------------------------------------------

// A matrix with the eye patterns, separators and timing patterns of a
// version and random modules everywhere else.
vt::Symbol fake_symbol(int version, std::mt19937 &rng) {
    vt::Symbol s;
    s.version = version;
    s.size = 4 * version + 17;
    s.modules.resize(static_cast<std::size_t>(s.size) * s.size);
    for (auto &m : s.modules)
        m = rng() % 2;
    auto set = [&](int c, int r, bool d) { s.modules[static_cast<std::size_t>(r) * s.size + c] = d; };
    for (int i = 8; i < s.size - 8; ++i) {
        set(i, 6, i % 2 == 0);
        set(6, i, i % 2 == 0);
    }
    for (const auto &[c0, r0] : {std::pair{0, 0}, std::pair{s.size - 7, 0}, std::pair{0, s.size - 7}})
        for (int j = -1; j <= 7; ++j)
            for (int i = -1; i <= 7; ++i) {
                const int c = c0 + i, r = r0 + j;
                if (c < 0 || r < 0 || c >= s.size || r >= s.size)
                    continue;
                const int ring = std::max(std::abs(i - 3), std::abs(j - 3));
                set(c, r, ring != 2 && ring != 4);
            }
    return s;
}

void sweep_no_symbol(int pictures) {
    const auto started = std::chrono::steady_clock::now();
    const char *kinds[] = {"noise", "stripes", "checks", "module texture", "eyes around random modules",
                           "eye patterns scattered"};
    std::map<std::string, std::pair<int, int>> counts; // pictures, with a text
    std::map<std::string, double> kind_seconds, classic_seconds;
    std::mt19937 rng(99);
    double seconds = 0;
    for (int i = 0; i < pictures; ++i) {
        const int kind = i % 6;
        vt::Picture p;
        const int w = 200 + static_cast<int>(rng() % 400), h = 200 + static_cast<int>(rng() % 400);
        if (kind == 0 || kind == 1) {
            p = vt::render_noise(w, h, kind == 0 ? "noise" : "stripes", rng());
        } else if (kind == 2) {
            const int cell = 2 + static_cast<int>(rng() % 10);
            p = {w, h, std::vector<std::uint8_t>(static_cast<std::size_t>(w) * h)};
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    p.pixels[static_cast<std::size_t>(y) * w + x] = ((x / cell + y / cell) % 2) ? 255 : 0;
        } else if (kind == 3 || kind == 4) {
            const int v = 1 + static_cast<int>(rng() % 15);
            vt::Symbol s = fake_symbol(v, rng);
            if (kind == 3)
                for (auto &m : s.modules)
                    m = rng() % 2;
            vt::RenderOptions o;
            o.module_px = uniform(rng, 2.5, 6);
            o.rotation_deg = uniform(rng, 0, 360);
            o.mirror = rng() % 2;
            p = vt::render(s, o);
        } else {
            p = vt::render_noise(w, h, "blank", 1);
            std::fill(p.pixels.begin(), p.pixels.end(), 230);
            for (int e = 0; e < 12; ++e) {
                const int m = 2 + static_cast<int>(rng() % 6);
                const int x0 = static_cast<int>(rng() % static_cast<unsigned>(std::max(1, w - 7 * m)));
                const int y0 = static_cast<int>(rng() % static_cast<unsigned>(std::max(1, h - 7 * m)));
                for (int y = 0; y < 7 * m && y0 + y < h; ++y)
                    for (int x = 0; x < 7 * m && x0 + x < w; ++x) {
                        const int ring = std::max(std::abs(x / m - 3), std::abs(y / m - 3));
                        if (ring != 2)
                            p.pixels[static_cast<std::size_t>(y0 + y) * w + x0 + x] = 20;
                    }
            }
        }
        if (p.pixels.empty())
            continue;
        const auto c0 = std::chrono::steady_clock::now();
        const char *classic = through_api ? nullptr : decode_image(p.pixels.data(), p.width, p.height, 8, nullptr);
        classic_seconds[kinds[kind]] += seconds_since(c0);
        if (classic)
            std::printf("  classic text from %s picture %d\n", kinds[kind], i);
        const auto t0 = std::chrono::steady_clock::now();
        const auto found = search_read(p, false);
        seconds += seconds_since(t0);
        kind_seconds[kinds[kind]] += seconds_since(t0);
        auto &c = counts[kinds[kind]];
        ++c.first;
        c.second += !found.empty();
        if (!found.empty())
            std::printf("  WRONG TEXT from %s picture %d: version %d-%c, %d corrected\n", kinds[kind], i,
                        found.front().version, found.front().level, found.front().corrected);
    }
    std::printf("\n(n) pictures without a symbol, search alone: %d\n", pictures);
    std::printf("| picture | count | gave text | search ms a picture | classic readings ms |\n|---|---|---|---|---|\n");
    for (const auto &[k, c] : counts)
        std::printf("| %s | %d | %d | %.1f | %.1f |\n", k.c_str(), c.first, c.second,
                    1000 * kind_seconds[k] / std::max(1, c.first), 1000 * classic_seconds[k] / std::max(1, c.first));
    std::printf("search time %.1f s (%.1f ms a picture); (n) took %.0f s\n", seconds, 1000 * seconds / std::max(1, pictures),
                seconds_since(started));
}

// --- s: special kinds -----------------------------------------------------------------

// Two pictures side by side on one light canvas.
vt::Picture beside(const vt::Picture &a, const vt::Picture &b) {
    vt::Picture p{a.width + b.width, std::max(a.height, b.height), {}};
    p.pixels.assign(static_cast<std::size_t>(p.width) * p.height, 255);
    for (int y = 0; y < a.height; ++y)
        std::copy_n(a.pixels.begin() + static_cast<std::ptrdiff_t>(y) * a.width, a.width,
                    p.pixels.begin() + static_cast<std::ptrdiff_t>(y) * p.width);
    for (int y = 0; y < b.height; ++y)
        std::copy_n(b.pixels.begin() + static_cast<std::ptrdiff_t>(y) * b.width, b.width,
                    p.pixels.begin() + static_cast<std::ptrdiff_t>(y) * p.width + a.width);
    return p;
}

void sweep_special() {
    const auto started = std::chrono::steady_clock::now();
    std::mt19937 rng(7);
    std::map<std::string, std::array<int, 3>> counts; // cases, right, wrong
    for (int v = first_version; v <= last_version; ++v) {
        for (int k = 0; k < 3; ++k) {
            auto symbol = make_case(v, random_level(rng), all_contents[rng() % 5], uniform(rng, 0.4, 1.0), rng);
            auto other = make_case(1 + static_cast<int>(rng() % 20), random_level(rng), Content::byte, 0.5, rng);
            if (!symbol || !other)
                continue;
            vt::RenderOptions o;
            o.module_px = uniform(rng, 2.5, 6);
            o.rotation_deg = uniform(rng, 0, 360);
            // Mirrored.
            {
                o.mirror = true;
                const vt::Picture p = vt::render(*symbol, o);
                o.mirror = false;
                const auto f = search_read(p, false);
                auto &c = counts["mirrored"];
                ++c[0];
                c[1] += !f.empty() && f.front().bytes == symbol->text && f.front().mirrored;
                c[2] += !f.empty() && f.front().bytes != symbol->text;
            }
            // Inverted.
            {
                vt::RenderOptions inv = o;
                inv.dark = 255;
                inv.light = 0;
                const vt::Picture p = vt::render(*symbol, inv);
                const auto f = search_read(p, false);
                auto &c = counts["inverted"];
                ++c[0];
                c[1] += !f.empty() && f.front().bytes == symbol->text && f.front().inverted;
                c[2] += !f.empty() && f.front().bytes != symbol->text;
            }
            // Side by side: every symbol asked for.
            {
                vt::RenderOptions o2;
                o2.module_px = uniform(rng, 2.5, 6);
                o2.rotation_deg = uniform(rng, 0, 360);
                const vt::Picture p = beside(vt::render(*symbol, o), vt::render(*other, o2));
                const auto f = search_read(p, true);
                int right = 0, wrong = 0;
                for (const auto &s : f) {
                    const std::string &b = s.bytes;
                    right += b == symbol->text || b == other->text;
                    wrong += b != symbol->text && b != other->text;
                }
                auto &c = counts["two side by side (both read)"];
                ++c[0];
                c[1] += right == 2 && f.size() == 2;
                c[2] += wrong;
            }
        }
    }
    std::printf("\n(s) special kinds, search alone: versions %d-%d, three symbols each, 2.5-6 px, turned\n",
                first_version, last_version);
    std::printf("| kind | cases | right | WRONG |\n|---|---|---|---|\n");
    for (const auto &[k, c] : counts)
        std::printf("| %s | %d | %d | %d |\n", k.c_str(), c[0], c[1], c[2]);
    std::printf("(s) took %.0f s\n", seconds_since(started));
}


// --- r: random words, versions 1 and 2 ------------------------------------------------

void sweep_random_words(long words) {
    const auto started = std::chrono::steady_clock::now();
    std::mt19937 rng(31);
    std::printf("\n(r) random words through the correction at full capacity (half the check codewords), "
                "%ld per version and level\n",
                words);
    std::printf("| symbol | n | check | t | codewords after k corrections: k = t, t-1, t-2, less | of those, valid bit "
                "streams | search limit |\n|---|---|---|---|---|---|---|\n");
    for (int v = 1; v <= 2; ++v)
        for (vt::Level level : all_levels) {
            const Layout l = layout_for(v, level);
            const int n = l.data_words[0] + l.check_words, ec = l.check_words, t = ec / 2;
            long by_k[4] = {0, 0, 0, 0}, valid = 0;
            std::vector<std::uint8_t> block(static_cast<std::size_t>(n));
            for (long i = 0; i < words; ++i) {
                for (auto &b : block)
                    b = static_cast<std::uint8_t>(rng());
                const vantor::BlockCorrection fix = vantor::rs_correct_block(block.data(), n, t);
                if (!fix.corrected || !vantor::rs_syndromes_zero(block.data(), n, ec))
                    continue;
                ++by_k[std::min(3, t - fix.errors)];
                valid += vantor::parse_bitstream(std::span(block.data(), static_cast<std::size_t>(l.data_words[0])), v)
                             .has_value();
            }
            std::printf("| %d-%c | %d | %d | %d | %ld, %ld, %ld, %ld | %ld | %d |\n", v, name(level), n, ec, t, by_k[0],
                        by_k[1], by_k[2], by_k[3], valid, th::small_symbol_limit(v, static_cast<int>(level)));
            std::fflush(stdout);
        }
    std::printf("(r) took %.0f s\n", seconds_since(started));
}

} // namespace

int main(int argc, char **argv) {
    std::vector<std::string> parts;
    int trials = 2000;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--versions" && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%d-%d", &first_version, &last_version) != 2)
                return 64;
        } else if (arg == "--every" && i + 1 < argc) {
            every = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--trials" && i + 1 < argc) {
            trials = std::atoi(argv[++i]);
        } else if (arg == "--effort" && i + 1 < argc) {
            through_api = vantor_effort_from_name(argv[++i], &api_effort) != 0;
            if (!through_api) {
                std::fprintf(stderr, "thorough_sweep: --effort takes fast, default or exhaustive\n");
                return 64;
            }
        } else if (arg == "--dump" && i + 1 < argc) {
            dump_dir = argv[++i];
        } else if (arg == "--list") {
            list_all = true;
        } else if (arg.size() == 1 && std::string("ahdnsr").find(arg) != std::string::npos) {
            parts.push_back(arg);
        } else {
            std::fprintf(stderr, "usage: thorough_sweep [a|h|d|n|s|r]... [--versions LO-HI] [--every K] "
                                 "[--trials N] [--list] [--dump DIR] [--effort fast|default|exhaustive]\n");
            return 64;
        }
    }
    if (through_api)
        std::printf("every picture of a, h, d, n and s read through vantor_decode_pixels at effort %s "
                    "(\"search alone\" in the titles below: the API instead)\n",
                    vantor_effort_name(api_effort));
    for (const std::string &p : parts) {
        if (p == "a")
            sweep_location();
        else if (p == "h")
            sweep_hard(std::max(1, trials / 10));
        else if (p == "d")
            sweep_damage(trials);
        else if (p == "n")
            sweep_no_symbol(trials / 2);
        else if (p == "r")
            sweep_random_words(static_cast<long>(trials) * 1000);
        else
            sweep_special();
        std::fflush(stdout);
    }
    return 0;
}
