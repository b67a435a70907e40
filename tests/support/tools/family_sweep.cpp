// Sweeps Micro QR symbols from libqrencode and zint through the reentrant
// API in photo-like pictures (every version and level, 2.5 to 8 pixels a
// module, any rotation, some mirrored and inverted, blur, noise, uneven
// light, shear and keystone), damage beyond capacity, and pictures without
// a symbol; prints read and wrong counts per version. Not a test: a
// measurement, run by hand.
//
// usage: family_sweep [--cases N] [--seed S] [--verbose] [--dump DIR] [--version V]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include <vantor/vantor.h>

#include "family_symbols.h"

namespace vt = vantor::testing;

namespace {

const std::string digits = "0123456789";
const std::string alnum = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
const std::string printable = "abcdefghijklmnopqrstuvwxyz0123456789 !#&()<>?@[]^_{}~";

struct VersionLevel {
    int version;
    vt::Level level;
};
constexpr VersionLevel all_symbols[] = {{1, vt::Level::L}, {2, vt::Level::L}, {2, vt::Level::M},
                                         {3, vt::Level::L}, {3, vt::Level::M}, {4, vt::Level::L},
                                         {4, vt::Level::M}, {4, vt::Level::Q}};

std::string random_text(std::mt19937 &rng, const std::string &alphabet, int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += alphabet[rng() % alphabet.size()];
    return s;
}

// A symbol of this version and level holding random content that fits.
std::optional<vt::Symbol> random_symbol(std::mt19937 &rng, const VersionLevel &vl) {
    for (int attempt = 0; attempt < 40; ++attempt) {
        const int kind = vl.version == 1 ? 0 : static_cast<int>(rng() % (vl.version == 2 ? 2 : 3));
        const std::string &alphabet = kind == 0 ? digits : kind == 1 ? alnum : printable;
        const int n = 1 + static_cast<int>(rng() % 30);
        const std::string text = random_text(rng, alphabet, n);
        auto s = rng() % 2 ? vt::make_micro_qrencode(text, vl.version, vl.level, vt::Mode::byte)
                           : vt::make_micro_zint(text, vl.version, vl.level);
        if (s)
            return s;
    }
    return std::nullopt;
}

vt::RenderOptions look(std::mt19937 &rng, double module_px, bool photo) {
    vt::RenderOptions o;
    o.module_px = module_px;
    o.quiet_zone = 2 + static_cast<int>(rng() % 3);
    o.rotation_deg = static_cast<double>(rng() % 360);
    o.mirror = rng() % 8 == 0;
    o.seed = rng();
    if (rng() % 10 == 0)
        std::swap(o.dark, o.light);
    if (!photo)
        return o;
    o.skew_x = (static_cast<int>(rng() % 7) - 3) * 0.01;
    o.skew_y = (static_cast<int>(rng() % 5) - 2) * 0.01;
    o.perspective = rng() % 3 == 0 ? 0.0008 : 0.0;
    o.blur_sigma = (rng() % 4) * 0.3 * module_px / 4;
    o.noise_sigma = static_cast<double>(rng() % 16);
    o.light_gradient = (rng() % 5) * 0.1;
    return o;
}

// The symbol with `flips` random modules of its encoding region inverted.
vt::Symbol damaged(vt::Symbol s, int flips, std::mt19937 &rng) {
    for (int i = 0; i < flips;) {
        const int col = 1 + static_cast<int>(rng() % static_cast<unsigned>(s.size - 1));
        const int row = 1 + static_cast<int>(rng() % static_cast<unsigned>(s.size - 1));
        if (row <= 8 && col <= 8)
            continue;
        s.modules[static_cast<std::size_t>(row) * s.size + col] ^= 1;
        ++i;
    }
    return s;
}

struct Tally {
    int cases = 0, read = 0, wrong = 0;
};

// Decodes the picture; 1 read right, 0 nothing, -1 a wrong text.
int decode(const vt::Picture &p, const std::string &want) {
    vantor_results *r = vantor_decode_pixels(p.pixels.data(), p.width, p.height, p.width, 8, nullptr);
    int outcome = 0;
    if (r && vantor_results_count(r) > 0) {
        const vantor_symbol *s = vantor_results_symbol(r, 0);
        outcome = std::string(reinterpret_cast<const char *>(s->bytes), s->length) == want ? 1 : -1;
    }
    vantor_results_free(r);
    return outcome;
}

} // namespace

int main(int argc, char **argv) {
    int cases = 200;
    unsigned seed = 1;
    bool verbose = false;
    int only_version = 0; // --version: that Micro QR version alone
    std::string dump; // where missed pictures are written, when given
    int missed = 0;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--cases") && i + 1 < argc)
            cases = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--seed") && i + 1 < argc)
            seed = static_cast<unsigned>(std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--dump") && i + 1 < argc)
            dump = argv[++i];
        else if (!std::strcmp(argv[i], "--version") && i + 1 < argc)
            only_version = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--verbose"))
            verbose = true;
        else {
            std::fprintf(stderr, "usage: family_sweep [--cases N] [--seed S] [--verbose] [--dump DIR] [--version V]\n");
            return 64;
        }
    }
    std::mt19937 rng(seed);
    const double sizes[] = {2.5, 3, 3.5, 4, 5, 6, 8};
    for (bool photo : {false, true}) {
        Tally per[8];
        for (int k = 0; k < cases; ++k) {
            for (int i = 0; i < 8; ++i) {
                if (only_version && all_symbols[i].version != only_version)
                    continue;
                const auto s = random_symbol(rng, all_symbols[i]);
                if (!s)
                    continue;
                const vt::RenderOptions ro = look(rng, sizes[rng() % 7], photo);
                const vt::Picture p = vt::render(*s, ro);
                const int o = decode(p, s->text);
                if (!dump.empty() && o != 1) {
                    const std::string base = dump + "/missed-" + std::to_string(missed++);
                    vt::write_bmp24(base + ".bmp", p);
                    if (std::FILE *f = std::fopen((base + ".txt").c_str(), "w")) {
                        for (int r = 0; r < s->size; ++r) {
                            for (int c = 0; c < s->size; ++c)
                                std::fputc(s->dark(c, r) ? '#' : '.', f);
                            std::fputc('\n', f);
                        }
                        std::fclose(f);
                    }
                }
                if (verbose && o != 1)
                    std::printf("  missed M%d %.1f px, %.0f deg, quiet %d%s%s, blur %.2f, noise %.0f, keystone %g\n",
                                s->version, ro.module_px, ro.rotation_deg, ro.quiet_zone, ro.mirror ? ", mirrored" : "",
                                ro.dark > ro.light ? ", inverted" : "", ro.blur_sigma, ro.noise_sigma, ro.perspective);
                ++per[i].cases;
                per[i].read += o == 1;
                per[i].wrong += o == -1;
            }
        }
        for (int i = 0; i < 8; ++i)
            std::printf("%s M%d-%c: %d of %d read (%.1f%%), %d wrong\n", photo ? "photo" : "clean",
                        all_symbols[i].version, "LMQH"[static_cast<int>(all_symbols[i].level)], per[i].read,
                        per[i].cases, 100.0 * per[i].read / std::max(1, per[i].cases), per[i].wrong);
        std::fflush(stdout);
    }
    // Damage beyond capacity: far more flipped modules than any level corrects.
    Tally beyond[5];
    for (int k = 0; k < cases * 4; ++k) {
        const VersionLevel &vl = all_symbols[k % 8];
        if (only_version && vl.version != only_version)
            continue;
        const auto s = random_symbol(rng, vl);
        if (!s)
            continue;
        const int flips = 4 + static_cast<int>(rng() % 30);
        const vt::Picture p = vt::render(damaged(*s, flips, rng), look(rng, sizes[rng() % 7], true));
        const int o = decode(p, s->text);
        ++beyond[vl.version].cases;
        beyond[vl.version].read += o == 1;
        beyond[vl.version].wrong += o == -1;
    }
    for (int v = 1; v <= 4; ++v)
        std::printf("damaged M%d: %d trials, %d read, %d wrong\n", v, beyond[v].cases, beyond[v].read,
                    beyond[v].wrong);
    // Pictures without a symbol.
    const char *kinds[] = {"blank", "noise", "stripes"};
    int empty_read = 0;
    for (int k = 0; k < cases * 4; ++k) {
        const int w = 8 + static_cast<int>(rng() % 400), h = 8 + static_cast<int>(rng() % 300);
        const vt::Picture p = vt::render_noise(w, h, kinds[k % 3], rng());
        empty_read += decode(p, "\x01no text") != 0;
    }
    std::printf("empty: %d pictures, %d gave text\n", cases * 4, empty_read);
    return 0;
}
