// Sweeps Micro QR symbols from libqrencode and zint, rMQR symbols from zint
// (--kind rmqr) or Model 1 symbols from the test encoder (--kind model1)
// through the reentrant API in photo-like pictures (every version or size
// and level, 2.5 to 8 pixels a module, any rotation, some mirrored and
// inverted, blur, noise, uneven light, shear and keystone), damage beyond
// capacity, and pictures without a symbol; prints read and wrong counts per
// version and level. Not a test: a measurement, run by hand. --write DIR
// writes the module matrices of Model 1 symbols of every version, level and
// mode (a header line, then one line of 0/1 a row) for reading by another
// decoder, and stops.
//
// usage: family_sweep [--kind microqr|rmqr|model1] [--cases N] [--damage N] [--seed S] [--verbose]
//                     [--dump DIR] [--save DIR] [--version V] [--module PX] [--motion M] [--write DIR]
// --damage: the damage trials (default 4 per case). --module: every picture
// at that many pixels a module instead of 2.5 to 8. --motion: every photo
// also blurred along a straight line of M/2 to M modules, any direction, as
// a hand moving the camera gives it. --save: every picture
// within capacity as DIR/N.bmp with its text as DIR/N.txt, for reading by
// another reader.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <vantor/vantor.h>

#include "family_symbols.h"
#include "model1_symbols.h"

namespace vt = vantor::testing;

namespace {

using vantor::testing::random_kanji;
using vantor::testing::random_text;

const std::string &digits = vantor::testing::digit_chars;
const std::string &alnum = vantor::testing::alnum_chars;
const std::string printable = "abcdefghijklmnopqrstuvwxyz0123456789 !#&()<>?@[]^_{}~";

struct VersionLevel {
    int version;
    vt::Level level;
};
constexpr VersionLevel all_symbols[] = {{1, vt::Level::L}, {2, vt::Level::L}, {2, vt::Level::M},
                                         {3, vt::Level::L}, {3, vt::Level::M}, {4, vt::Level::L},
                                         {4, vt::Level::M}, {4, vt::Level::Q}};


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

// An rMQR symbol of this size and level holding random content that fits:
// any length up to the capacity, in the modes zint picks.
std::optional<vt::Symbol> random_rmqr(std::mt19937 &rng, int version, char level) {
    int most = 1 + static_cast<int>(rng() % 120);
    for (int attempt = 0; attempt < 40; ++attempt, most = std::max(1, most * 2 / 3)) {
        const int kind = static_cast<int>(rng() % 3);
        const std::string &alphabet = kind == 0 ? digits : kind == 1 ? alnum : printable;
        if (auto s = vt::make_rmqr_zint(random_text(rng, alphabet, 1 + static_cast<int>(rng() % most)), version, level))
            return vt::as_symbol(*s);
    }
    return std::nullopt;
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

// The symbols swept together and reported on one line.
struct Group {
    std::string name;    // "M2-L", "R13x77-H"
    std::string damaged; // the line its damage trials are reported on
    std::function<std::optional<vt::Symbol>(std::mt19937 &)> make;
};

std::vector<Group> micro_groups() {
    std::vector<Group> out;
    for (const VersionLevel &vl : all_symbols)
        out.push_back({"M" + std::to_string(vl.version) + "-" + "LMQH"[static_cast<int>(vl.level)],
                       "M" + std::to_string(vl.version),
                       [vl](std::mt19937 &rng) { return random_symbol(rng, vl); }});
    return out;
}

std::vector<Group> rmqr_groups() {
    static const int heights[] = {7, 7, 7, 7, 7, 9, 9, 9, 9, 9, 11, 11, 11, 11, 11, 11,
                                  13, 13, 13, 13, 13, 13, 15, 15, 15, 15, 15, 17, 17, 17, 17, 17};
    static const int widths[] = {43, 59, 77, 99, 139, 43, 59, 77, 99, 139, 27, 43, 59, 77, 99, 139,
                                 27, 43, 59, 77, 99, 139, 43, 59, 77, 99, 139, 43, 59, 77, 99, 139};
    std::vector<Group> out;
    for (int v = 1; v <= 32; ++v)
        for (const char level : {'M', 'H'})
            out.push_back({"R" + std::to_string(heights[v - 1]) + "x" + std::to_string(widths[v - 1]) + "-" + level,
                           std::string("rMQR level ") + level,
                           [v, level](std::mt19937 &rng) { return random_rmqr(rng, v, level); }});
    return out;
}

std::vector<Group> model1_groups() {
    std::vector<Group> out;
    for (int v = 1; v <= 14; ++v)
        for (vt::Level l : {vt::Level::L, vt::Level::M, vt::Level::Q, vt::Level::H}) {
            const VersionLevel vl{v, l};
            out.push_back({std::to_string(v) + "-" + "LMQH"[static_cast<int>(l)], "Model 1 version " + std::to_string(v),
                           [vl](std::mt19937 &rng) { return random_model1(rng, vl); }});
        }
    return out;
}

// Writes the matrices of Model 1 symbols of every version, level and mode
// with two masks into dir; 0 when all were written.
int write_model1(const std::string &dir) {
    std::mt19937 rng(3);
    int written = 0;
    for (int v = 1; v <= 14; ++v)
        for (vt::Level l : {vt::Level::L, vt::Level::M, vt::Level::Q, vt::Level::H})
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

// A picture's look. The keystone is given per pixel; over a symbol wider
// than the largest Micro QR symbol with its quiet zone (25 modules) it is
// scaled down to shrink the far side as much as it does there: at the
// per-pixel value, a 139-module symbol's ends would differ 2.7-fold in
// scale, a view no photo of a label gives.
vt::RenderOptions look(std::mt19937 &rng, double module_px, bool photo, int extent = 25) {
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
    o.perspective = rng() % 3 == 0 ? 0.0008 * std::min(1.0, 25.0 / extent) : 0.0;
    o.blur_sigma = (rng() % 4) * 0.3 * module_px / 4;
    o.noise_sigma = static_cast<double>(rng() % 16);
    o.light_gradient = (rng() % 5) * 0.1;
    return o;
}

// The symbol with `flips` random modules of its encoding region (outside
// the eye's corner; for Model 1 outside its three eye patterns, format
// information and timing patterns too) inverted.
vt::Symbol damaged(vt::Symbol s, int flips, bool model1, std::mt19937 &rng) {
    const int n = s.size, rows = s.rows ? s.rows : s.size;
    for (int i = 0; i < flips;) {
        const int col = 1 + static_cast<int>(rng() % static_cast<unsigned>(n - 1));
        const int row = 1 + static_cast<int>(rng() % static_cast<unsigned>(rows - 1));
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

} // namespace

int main(int argc, char **argv) {
    int cases = 200;
    int damage_trials = -1;
    unsigned seed = 1;
    bool verbose = false;
    std::string kind = "microqr";
    std::string write_dir;
    int only_version = 0; // --version: that version (Micro QR) or size number + 1 (rMQR) alone
    std::string dump; // where missed pictures are written, when given
    std::string save; // where every picture within capacity is written, when given
    int saved = 0;
    int missed = 0;
    double only_module = 0; // --module: that module width alone
    double motion = 0; // --motion: photos moved along a straight line of up to that many modules
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--cases") && i + 1 < argc)
            cases = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--damage") && i + 1 < argc)
            damage_trials = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--seed") && i + 1 < argc)
            seed = static_cast<unsigned>(std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--dump") && i + 1 < argc)
            dump = argv[++i];
        else if (!std::strcmp(argv[i], "--version") && i + 1 < argc)
            only_version = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--save") && i + 1 < argc)
            save = argv[++i];
        else if (!std::strcmp(argv[i], "--module") && i + 1 < argc)
            only_module = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--motion") && i + 1 < argc)
            motion = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--kind") && i + 1 < argc &&
                 (!std::strcmp(argv[i + 1], "rmqr") || !std::strcmp(argv[i + 1], "microqr") ||
                  !std::strcmp(argv[i + 1], "model1")))
            kind = argv[++i];
        else if (!std::strcmp(argv[i], "--write") && i + 1 < argc)
            write_dir = argv[++i];
        else if (!std::strcmp(argv[i], "--verbose"))
            verbose = true;
        else {
            std::fprintf(stderr, "usage: family_sweep [--kind microqr|rmqr|model1] [--cases N] [--damage N] [--seed S] "
                                 "[--verbose] [--dump DIR] [--save DIR] [--version V] [--module PX] [--motion MODULES] "
                                 "[--write DIR]\n");
            return 64;
        }
    }
    std::mt19937 rng(seed);
    const double sizes[] = {2.5, 3, 3.5, 4, 5, 6, 8};
    if (!write_dir.empty())
        return write_model1(write_dir);
    const bool rmqr = kind == "rmqr", model1 = kind == "model1";
    std::vector<Group> groups = rmqr ? rmqr_groups() : model1 ? model1_groups() : micro_groups();
    if (only_version) {
        const std::size_t per_version = rmqr ? 2 : 4;
        std::vector<Group> kept;
        for (std::size_t i = 0; i < groups.size(); ++i)
            if (rmqr || model1 ? i / per_version + 1 == static_cast<std::size_t>(only_version)
                               : all_symbols[i].version == only_version)
                kept.push_back(groups[i]);
        groups = kept;
    }
    for (bool photo : {false, true}) {
        std::vector<Tally> per(groups.size());
        for (int k = 0; k < cases; ++k) {
            for (std::size_t i = 0; i < groups.size(); ++i) {
                const auto s = groups[i].make(rng);
                if (!s)
                    continue;
                // Model 1 is swept at the per-pixel keystone, as Model 2 is.
                vt::RenderOptions ro = look(rng, only_module > 0 ? only_module : sizes[rng() % 7], photo, model1 ? 25 : s->size + 4);
                if (photo && motion > 0) {
                    ro.motion_px = ro.module_px * motion * (0.5 + 0.5 * (rng() % 1000) / 1000.0);
                    ro.motion_deg = static_cast<double>(rng() % 180);
                }
                const vt::Picture p = vt::render(*s, ro);
                const int o = decode(p, s->text);
                if (!save.empty()) {
                    const std::string base = save + "/" + std::to_string(saved++);
                    vt::write_bmp24(base + ".bmp", p);
                    vt::write_bytes(base + ".txt", {reinterpret_cast<const std::uint8_t *>(s->text.data()), s->text.size()});
                }
                if (!dump.empty() && o != 1) {
                    const std::string base = dump + "/missed-" + std::to_string(missed++);
                    vt::write_bmp24(base + ".bmp", p);
                    if (std::FILE *f = std::fopen((base + ".txt").c_str(), "w")) {
                        for (int r = 0; r < (s->rows ? s->rows : s->size); ++r) {
                            for (int c = 0; c < s->size; ++c)
                                std::fputc(s->dark(c, r) ? '#' : '.', f);
                            std::fputc('\n', f);
                        }
                        std::fclose(f);
                    }
                }
                if (verbose && o != 1)
                    std::printf("  missed (%d) %s %.1f px, %.0f deg, quiet %d%s%s, blur %.2f, noise %.0f, keystone %g\n",
                                o, groups[i].name.c_str(), ro.module_px, ro.rotation_deg, ro.quiet_zone,
                                ro.mirror ? ", mirrored" : "", ro.dark > ro.light ? ", inverted" : "", ro.blur_sigma,
                                ro.noise_sigma, ro.perspective);
                ++per[i].cases;
                per[i].read += o == 1;
                per[i].wrong += o == -1;
            }
        }
        Tally all;
        for (std::size_t i = 0; i < groups.size(); ++i) {
            std::printf("%s %s: %d of %d read (%.1f%%), %d wrong\n", photo ? "photo" : "clean", groups[i].name.c_str(),
                        per[i].read, per[i].cases, 100.0 * per[i].read / std::max(1, per[i].cases), per[i].wrong);
            all.cases += per[i].cases;
            all.read += per[i].read;
            all.wrong += per[i].wrong;
        }
        std::printf("%s all: %d of %d read (%.1f%%), %d wrong\n", photo ? "photo" : "clean", all.read, all.cases,
                    100.0 * all.read / std::max(1, all.cases), all.wrong);
        std::fflush(stdout);
    }
    // Damage beyond capacity: far more flipped modules than any level
    // corrects (Micro QR: 4..33; rMQR: up to a fifth of its modules; Model
    // 1: more modules than the level corrects codewords).
    std::map<std::string, Tally> beyond;
    for (int k = 0; k < (damage_trials < 0 ? cases * 4 : damage_trials) && !groups.empty(); ++k) {
        const Group &g = groups[static_cast<std::size_t>(k) % groups.size()];
        const auto s = g.make(rng);
        if (!s)
            continue;
        const int modules = s->size * (s->rows ? s->rows : s->size);
        const int correctable = model1 ? vt::model1_check_codewords(s->version, s->level) / 2 : 0;
        const int flips = rmqr     ? 4 + static_cast<int>(rng() % static_cast<unsigned>(modules / 5))
                          : model1 ? correctable + 1 + static_cast<int>(rng() % static_cast<unsigned>(correctable + 8))
                                   : 4 + static_cast<int>(rng() % 30);
        const vt::Picture p =
            vt::render(damaged(*s, flips, model1, rng), look(rng, sizes[rng() % 7], true, model1 ? 25 : s->size + 4));
        const int o = decode(p, s->text);
        Tally &t = beyond[g.damaged];
        ++t.cases;
        t.read += o == 1;
        t.wrong += o == -1;
    }
    for (const auto &[name, t] : beyond)
        std::printf("damaged %s: %d trials, %d read, %d wrong\n", name.c_str(), t.cases, t.read, t.wrong);
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
