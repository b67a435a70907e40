// Sweeps Micro QR symbols from libqrencode and zint, or (--kind model1)
// Model 1 symbols from the test encoder, through the reentrant API in
// photo-like pictures (every version and level, 2.5 to 8 pixels a module,
// any rotation, some mirrored and inverted, blur, noise, uneven light, shear
// and keystone), damage beyond capacity, and pictures without a symbol;
// prints read and wrong counts per version and level. Not a test: a
// measurement, run by hand. --write DIR writes the module matrices of Model 1
// symbols of every version, level and mode (a header line, then one line of
// 0/1 a row) for reading by another decoder, and stops.
//
// usage: family_sweep [--kind micro|model1] [--cases N] [--trials N] [--seed S] [--verbose]
//                     [--dump DIR] [--version V] [--write DIR]
// --cases: pictures per version and level and look; --trials: damaged
// pictures (default 4 x cases).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <vantor/vantor.h>

#include "family_symbols.h"
#include "model1_symbols.h"

namespace vt = vantor::testing;

namespace {

const std::string digits = "0123456789";
const std::string alnum = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
const std::string printable = "abcdefghijklmnopqrstuvwxyz0123456789 !#&()<>?@[]^_{}~";

struct VersionLevel {
    int version;
    vt::Level level;
};
constexpr VersionLevel micro_symbols[] = {{1, vt::Level::L}, {2, vt::Level::L}, {2, vt::Level::M},
                                           {3, vt::Level::L}, {3, vt::Level::M}, {4, vt::Level::L},
                                           {4, vt::Level::M}, {4, vt::Level::Q}};
constexpr vt::Level all_levels[] = {vt::Level::L, vt::Level::M, vt::Level::Q, vt::Level::H};

bool model1 = false; // --kind model1

std::vector<VersionLevel> all_symbols() {
    if (!model1)
        return {std::begin(micro_symbols), std::end(micro_symbols)};
    std::vector<VersionLevel> out;
    for (int v = 1; v <= 14; ++v)
        for (vt::Level l : all_levels)
            out.push_back({v, l});
    return out;
}

std::string name(const VersionLevel &vl) {
    return (model1 ? "" : "M") + std::to_string(vl.version) + "-" + "LMQH"[static_cast<int>(vl.level)];
}

std::string random_text(std::mt19937 &rng, const std::string &alphabet, int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += alphabet[rng() % alphabet.size()];
    return s;
}

// A Model 1 symbol of this version and level holding random content of a
// random mode, up to its capacity.
std::optional<vt::Symbol> random_model1(std::mt19937 &rng, const VersionLevel &vl) {
    const int bits = vt::model1_data_codewords(vl.version, vl.level) * 8 - 40;
    const int share = 5 + static_cast<int>(rng() % 96); // percent of the capacity
    const int kind = static_cast<int>(rng() % 3);
    const int per_char = kind == 0 ? 4 : kind == 1 ? 6 : 8;
    const int n = std::max(1, bits * share / 100 / per_char);
    const std::string &alphabet = kind == 0 ? digits : kind == 1 ? alnum : printable;
    const vt::Mode mode = kind == 0 ? vt::Mode::numeric : kind == 1 ? vt::Mode::alphanumeric : vt::Mode::byte;
    return vt::make_model1(random_text(rng, alphabet, n), vl.version, vl.level, mode, static_cast<int>(rng() % 8));
}

// A symbol of this version and level holding random content that fits.
std::optional<vt::Symbol> random_symbol(std::mt19937 &rng, const VersionLevel &vl) {
    if (model1)
        return random_model1(rng, vl);
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

// The symbol with `flips` random modules of its encoding region (outside
// the eye patterns, format information and timing patterns) inverted.
vt::Symbol damaged(vt::Symbol s, int flips, std::mt19937 &rng) {
    const int n = s.size;
    for (int i = 0; i < flips;) {
        const int col = 1 + static_cast<int>(rng() % static_cast<unsigned>(n - 1));
        const int row = 1 + static_cast<int>(rng() % static_cast<unsigned>(n - 1));
        if ((row <= 8 && col <= 8) || (model1 && (col == 6 || row == 6 || (row <= 8 && col >= n - 8) ||
                                                  (col <= 8 && row >= n - 8))))
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

// Writes the matrices of Model 1 symbols of every version, level and mode
// with two masks into dir; 0 when all were written.
int write_model1(const std::string &dir) {
    std::mt19937 rng(3);
    int written = 0;
    for (int v = 1; v <= 14; ++v)
        for (vt::Level l : all_levels)
            for (int kind = 0; kind < 3; ++kind)
                for (int mask : {static_cast<int>(rng() % 4), 4 + static_cast<int>(rng() % 4)}) {
                    const std::string &alphabet = kind == 0 ? digits : kind == 1 ? alnum : printable;
                    const vt::Mode mode = kind == 0 ? vt::Mode::numeric : kind == 1 ? vt::Mode::alphanumeric : vt::Mode::byte;
                    const int per_char = kind == 0 ? 4 : kind == 1 ? 6 : 8;
                    // Full to about nine tenths, so every block holds data.
                    const int n = (vt::model1_data_codewords(v, l) * 8 - 40) * 9 / 10 / per_char;
                    const auto s = vt::make_model1(random_text(rng, alphabet, n), v, l, mode, mask);
                    if (!s)
                        return 1;
                    const std::string path = dir + "/m1-" + std::to_string(written++) + ".txt";
                    std::FILE *f = std::fopen(path.c_str(), "w");
                    if (!f)
                        return 1;
                    std::fprintf(f, "%d %c %d %d %s\n", v, "LMQH"[static_cast<int>(l)], kind, mask, s->text.c_str());
                    for (int r = 0; r < s->size; ++r) {
                        for (int c = 0; c < s->size; ++c)
                            std::fputc(s->dark(c, r) ? '1' : '0', f);
                        std::fputc('\n', f);
                    }
                    std::fclose(f);
                }
    std::printf("%d matrices written\n", written);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    int cases = 200;
    unsigned seed = 1;
    bool verbose = false;
    int only_version = 0; // --version: that Micro QR version alone
    std::string dump; // where missed pictures are written, when given
    std::string write_dir;
    int trials = -1;
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
        else if (!std::strcmp(argv[i], "--trials") && i + 1 < argc)
            trials = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--kind") && i + 1 < argc)
            model1 = !std::strcmp(argv[++i], "model1");
        else if (!std::strcmp(argv[i], "--write") && i + 1 < argc)
            write_dir = argv[++i];
        else {
            std::fprintf(stderr, "usage: family_sweep [--kind micro|model1] [--cases N] [--trials N] [--seed S] "
                                 "[--verbose] [--dump DIR] [--version V] [--write DIR]\n");
            return 64;
        }
    }
    if (!write_dir.empty())
        return write_model1(write_dir);
    const std::vector<VersionLevel> symbols = all_symbols();
    const std::size_t count = symbols.size();
    std::mt19937 rng(seed);
    const double sizes[] = {2.5, 3, 3.5, 4, 5, 6, 8};
    for (bool photo : {false, true}) {
        std::vector<Tally> per(count);
        for (int k = 0; k < cases; ++k) {
            for (std::size_t i = 0; i < count; ++i) {
                if (only_version && symbols[i].version != only_version)
                    continue;
                const auto s = random_symbol(rng, symbols[i]);
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
                    std::printf("  missed %s %.1f px, %.0f deg, quiet %d%s%s, blur %.2f, noise %.0f, keystone %g\n",
                                name(symbols[i]).c_str(), ro.module_px, ro.rotation_deg, ro.quiet_zone, ro.mirror ? ", mirrored" : "",
                                ro.dark > ro.light ? ", inverted" : "", ro.blur_sigma, ro.noise_sigma, ro.perspective);
                ++per[i].cases;
                per[i].read += o == 1;
                per[i].wrong += o == -1;
            }
        }
        Tally sum;
        for (std::size_t i = 0; i < count; ++i) {
            if (per[i].cases)
                std::printf("%s %s: %d of %d read (%.1f%%), %d wrong\n", photo ? "photo" : "clean",
                            name(symbols[i]).c_str(), per[i].read, per[i].cases,
                            100.0 * per[i].read / std::max(1, per[i].cases), per[i].wrong);
            sum.cases += per[i].cases;
            sum.read += per[i].read;
            sum.wrong += per[i].wrong;
        }
        std::printf("%s all: %d of %d read (%.1f%%), %d wrong\n", photo ? "photo" : "clean", sum.read, sum.cases,
                    100.0 * sum.read / std::max(1, sum.cases), sum.wrong);
        std::fflush(stdout);
    }
    // Damage beyond capacity: far more flipped modules than any level corrects.
    // For Model 1, more modules than the level corrects codewords.
    Tally beyond[15];
    for (int k = 0; k < (trials < 0 ? cases * 4 : trials); ++k) {
        const VersionLevel &vl = symbols[static_cast<std::size_t>(k) % count];
        if (only_version && vl.version != only_version)
            continue;
        const auto s = random_symbol(rng, vl);
        if (!s)
            continue;
        const int correctable = vt::model1_check_codewords(vl.version, vl.level) / 2;
        const int flips = model1 ? correctable + 1 + static_cast<int>(rng() % static_cast<unsigned>(correctable + 8))
                                 : 4 + static_cast<int>(rng() % 30);
        const vt::Picture p = vt::render(damaged(*s, flips, rng), look(rng, sizes[rng() % 7], true));
        const int o = decode(p, s->text);
        ++beyond[vl.version].cases;
        beyond[vl.version].read += o == 1;
        beyond[vl.version].wrong += o == -1;
    }
    Tally all_beyond;
    for (int v = 1; v <= (model1 ? 14 : 4); ++v) {
        std::printf("damaged %s%d: %d trials, %d read, %d wrong\n", model1 ? "" : "M", v, beyond[v].cases,
                    beyond[v].read, beyond[v].wrong);
        all_beyond.cases += beyond[v].cases;
        all_beyond.read += beyond[v].read;
        all_beyond.wrong += beyond[v].wrong;
    }
    std::printf("damaged all: %d trials, %d read, %d wrong\n", all_beyond.cases, all_beyond.read, all_beyond.wrong);
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
