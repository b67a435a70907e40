// Digests of everything the reentrant API returns over a few thousand
// generated pictures, one per set, so that two builds can be compared: a
// speed-up must leave every digest as it was.
//
// Each picture is decoded three times: with the thorough search, without
// it, and with the thorough search and a trace callback (the trace lines go
// into that digest too). A digest covers the reason, the furthest stage,
// every reading's fields and every symbol's bytes, text, version, level,
// mask, corners (exact float bits), corrections, pass and flags.
//
// Every call runs at the effort --effort names, exhaustive unless told: the
// digests of two builds compare at the exhaustive effort, which keeps every
// reading; the other efforts' counts of pictures read compare with it.
// --all asks every call for every symbol.
//
// --verbose prints each picture's digest and the digest of its symbols' bytes.
// usage: api_digest [--set NAME] [--verbose] [--effort fast|default|exhaustive] [--all]
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <vantor/vantor.h>

#include "../../end_to_end_cases.h"

namespace {

using namespace e2e;

struct Hash {
    std::uint64_t h = 0xcbf29ce484222325ull;
    void add(const void *data, std::size_t n) {
        const auto *p = static_cast<const unsigned char *>(data);
        for (std::size_t i = 0; i < n; ++i) {
            h ^= p[i];
            h *= 0x100000001b3ull;
        }
    }
    template <typename T> void add(const T &v) { add(&v, sizeof v); }
};

// The symbols' bytes alone, in order: what --verbose prints beside each
// picture's digest, so that a digest that moved can be told apart from a
// symbol that changed.
std::uint64_t symbol_bytes(const vantor_results *r) {
    Hash h;
    const int count = r ? vantor_results_count(r) : -1;
    h.add(count);
    for (int i = 0; i < count; ++i) {
        const vantor_symbol &s = *vantor_results_symbol(r, i);
        h.add(s.length);
        h.add(s.bytes, s.length);
    }
    return h.h;
}

void add_results(Hash &h, const vantor_results *r) {
    if (!r) {
        h.add(-1);
        return;
    }
    h.add(static_cast<int>(vantor_results_reason(r)));
    h.add(static_cast<int>(vantor_results_stage(r)));
    const int readings = vantor_results_reading_count(r);
    h.add(readings);
    for (int i = 0; i < readings; ++i) {
        const vantor_reading &g = *vantor_results_reading(r, i);
        for (int v : {g.pass, g.reading, static_cast<int>(g.stage), g.candidates, g.version,
                      static_cast<int>(g.level), g.mask, g.blocks, g.blocks_clean, g.blocks_corrected,
                      g.blocks_beyond})
            h.add(v);
    }
    const int count = vantor_results_count(r);
    h.add(count);
    for (int i = 0; i < count; ++i) {
        const vantor_symbol &s = *vantor_results_symbol(r, i);
        h.add(s.length);
        h.add(s.bytes, s.length);
        h.add(s.text_length);
        h.add(s.text, s.text_length);
        for (int v : {s.version, static_cast<int>(s.level), s.mask, s.corrected, s.pass, s.reading, s.mirrored,
                      s.inverted, s.eci, s.sa_index, s.sa_count, s.sa_parity, s.fnc1, s.fnc1_application})
            h.add(v);
        for (const vantor_point &p : s.corners) {
            h.add(p.x);
            h.add(p.y);
        }
    }
}

struct Item {
    vt::Picture picture;
    int depth = 8;
};

struct Set {
    const char *name;
    std::function<std::vector<Item>()> make;
};

void trace_line(const char *line, void *user) { static_cast<Hash *>(user)->add(line, std::strlen(line)); }

vt::RenderOptions look(std::mt19937 &rng, double module_px) {
    vt::RenderOptions o;
    o.module_px = module_px;
    o.rotation_deg = static_cast<double>(rng() % 360);
    o.skew_x = (static_cast<int>(rng() % 7) - 3) * 0.01;
    o.skew_y = (static_cast<int>(rng() % 5) - 2) * 0.01;
    o.perspective = rng() % 3 == 0 ? 0.0004 : 0.0;
    o.blur_sigma = (rng() % 4) * 0.3;
    o.noise_sigma = static_cast<double>(rng() % 16);
    o.light_gradient = (rng() % 5) * 0.1;
    o.mirror = rng() % 10 == 0;
    o.seed = rng();
    return o;
}

std::vector<Set> sets() {
    return {
        {"clean", [] {
             // Every version, level and content, upright at 2 to 4 pixels a module.
             std::vector<Item> out;
             std::mt19937 rng(1);
             for (int v = 1; v <= 40; ++v)
                 for (vt::Level l : all_levels)
                     for (Content c : all_contents)
                         if (auto s = make_case(v, l, c, 0.3 + (rng() % 8) * 0.1, rng)) {
                             vt::RenderOptions o;
                             o.module_px = 2 + (v * 7 + static_cast<int>(c)) % 5 * 0.5;
                             out.push_back({vt::render(*s, o)});
                         }
             return out;
         }},
        {"photo", [] {
             // Turned, sheared, blurred, noisy, unevenly lit, some mirrored.
             std::vector<Item> out;
             std::mt19937 rng(2);
             for (int k = 0; k < 900; ++k) {
                 const int v = 1 + static_cast<int>(rng() % 15);
                 auto s = make_case(v, all_levels[rng() % 4], all_contents[rng() % 5], 0.5, rng);
                 if (!s)
                     continue;
                 vt::RenderOptions o = look(rng, 2.5 + (rng() % 10) * 0.5);
                 if (k % 3 == 0) {
                     o.canvas_width = static_cast<int>((s->size + 8) * o.module_px * 1.6);
                     o.canvas_height = o.canvas_width * 3 / 4 + 40;
                 }
                 vt::Picture p = vt::render(*s, o);
                 if (!p.pixels.empty())
                     out.push_back({std::move(p)});
             }
             return out;
         }},
        {"damaged", [] {
             // Data modules flipped within and beyond the blocks' capacity.
             std::vector<Item> out;
             std::mt19937 rng(3);
             for (int k = 0; k < 500; ++k) {
                 const int v = 1 + static_cast<int>(rng() % 12);
                 const vt::Level l = all_levels[rng() % 4];
                 auto s = make_case(v, l, Content::byte, 0.8, rng);
                 if (!s)
                     continue;
                 const Layout layout = layout_for(v, l);
                 const int flips = static_cast<int>(rng() % (4 + layout.blocks() * layout.capacity[0] * 3));
                 const Damage d = damage(*s, layout, flips, rng);
                 vt::RenderOptions o = look(rng, 3 + (rng() % 4) * 0.5);
                 o.mirror = false;
                 vt::Picture p = vt::render(d.symbol, o);
                 if (!p.pixels.empty())
                     out.push_back({std::move(p)});
             }
             return out;
         }},
        {"bilevel", [] {
             // Two-level pictures read with one binarisation (depth 1) and as grey.
             std::vector<Item> out;
             std::mt19937 rng(4);
             for (int k = 0; k < 300; ++k) {
                 const int v = 1 + static_cast<int>(rng() % 20);
                 auto s = make_case(v, all_levels[rng() % 4], all_contents[rng() % 5], 0.6, rng);
                 if (!s)
                     continue;
                 vt::RenderOptions o;
                 o.module_px = 2 + static_cast<int>(rng() % 4);
                 o.rotation_deg = k % 2 ? static_cast<double>(rng() % 360) : 0.0;
                 vt::Picture p = vt::render(*s, o);
                 for (std::uint8_t &g : p.pixels)
                     g = g < 128 ? 0 : 255;
                 out.push_back({p, 1});
                 out.push_back({std::move(p), 8});
             }
             return out;
         }},
        {"empty", [] {
             // No symbol: blank, noise and stripes of many sizes.
             std::vector<Item> out;
             std::mt19937 rng(5);
             const char *kinds[] = {"blank", "noise", "stripes"};
             for (int k = 0; k < 450; ++k) {
                 const int w = 8 + static_cast<int>(rng() % 400), h = 8 + static_cast<int>(rng() % 300);
                 out.push_back({vt::render_noise(w, h, kinds[k % 3], rng())});
             }
             return out;
         }},
    };
}

} // namespace

int main(int argc, char **argv) {
    std::string only;
    bool verbose = false;
    vantor_effort effort = VANTOR_EFFORT_EXHAUSTIVE;
    bool all_symbols = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--set") && i + 1 < argc)
            only = argv[++i];
        else if (!std::strcmp(argv[i], "--verbose"))
            verbose = true;
        else if (!std::strcmp(argv[i], "--all"))
            all_symbols = true;
        else if (!std::strcmp(argv[i], "--effort") && i + 1 < argc && vantor_effort_from_name(argv[i + 1], &effort))
            ++i;
        else {
            std::fprintf(stderr, "usage: api_digest [--set NAME] [--verbose] [--effort fast|default|exhaustive] [--all]\n");
            return 64;
        }
    }
    vantor_options *off = vantor_options_new();
    vantor_options_set_thorough(off, 0);
    vantor_options *on = vantor_options_new();
    vantor_options *traced = vantor_options_new();
    for (vantor_options *o : {off, on, traced}) {
        vantor_options_set_effort(o, effort);
        vantor_options_set_all_symbols(o, all_symbols);
    }
    for (const Set &set : sets()) {
        if (!only.empty() && only != set.name)
            continue;
        const std::vector<Item> items = set.make();
        Hash with, without, with_trace;
        double seconds[3] = {};
        int read = 0;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const Item &it = items[i];
            Hash one;
            std::uint64_t bytes = 0;
            vantor_options *opts[3] = {on, off, traced};
            Hash *into[3] = {&with, &without, &with_trace};
            for (int k = 0; k < 3; ++k) {
                if (k == 2)
                    vantor_options_set_trace_callback(traced, trace_line, &with_trace);
                const auto t0 = std::chrono::steady_clock::now();
                vantor_results *r = vantor_decode_pixels(it.picture.pixels.data(), it.picture.width,
                                                         it.picture.height, it.picture.width, it.depth, opts[k]);
                seconds[k] += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
                add_results(*into[k], r);
                if (verbose && k == 0) {
                    add_results(one, r);
                    bytes = symbol_bytes(r);
                }
                if (k == 0)
                    read += vantor_results_count(r) > 0;
                vantor_results_free(r);
            }
            if (verbose)
                std::printf("  %s %zu %dx%d depth %d: %016llx symbols %016llx\n", set.name, i, it.picture.width,
                            it.picture.height, it.depth, static_cast<unsigned long long>(one.h),
                            static_cast<unsigned long long>(bytes));
        }
        std::printf("%-8s %4zu pictures, %4d read: thorough %016llx, classic only %016llx, traced %016llx"
                    "  (%.1f s, %.1f s, %.1f s)\n",
                    set.name, items.size(), read, static_cast<unsigned long long>(with.h),
                    static_cast<unsigned long long>(without.h), static_cast<unsigned long long>(with_trace.h),
                    seconds[0], seconds[1], seconds[2]);
        std::fflush(stdout);
    }
    vantor_options_free(off);
    vantor_options_free(on);
    vantor_options_free(traced);
    return 0;
}
