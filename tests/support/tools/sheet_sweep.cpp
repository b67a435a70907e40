// Sweeps generated sheets of many QR Code symbols (20 to 80 of mixed
// versions in one picture, small and large gaps, some payloads repeated,
// 2 to 6 pixels a module; flat, or turned with keystone, blur and noise,
// mildly or roughly) through vantor_decode_pixels asking for every symbol,
// and prints per sheet and in total the symbols placed, read, read with
// another text, read twice and read where none was placed, with the decode
// time. Not a test: a measurement, run by hand.
//
// --hostile instead decodes 4000 x 3000 pictures without a symbol, full of
// eye pattern look-alikes or noise, asking for every symbol: the time the
// search for every symbol may cost where every candidate is a decoy.
//
// usage: sheet_sweep [--size WxH] [--seed S] [--effort default|exhaustive|fast]
//                    [--only N] [--save DIR] [--verbose] [--hostile]
// --only N: the Nth sheet alone. --save DIR: each sheet as DIR/N.png, for
// another reader.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <vantor/vantor.h>

#include "format_files.h"
#include "hostile_images.h"
#include "symbol_sheet.h"

namespace vt = vantor::testing;

namespace {

struct Kind {
    const char *name;
    int min_version, max_version;
};

struct Gaps {
    const char *name;
    int min_gap, max_gap;
};

// Decodes pictures without a symbol asking for every symbol; prints the
// time and what was read (nothing should be).
int hostile(vantor_options *options) {
    struct Case {
        const char *name;
        vt::Picture picture;
    };
    const Case cases[] = {
        {"photo", vt::photo_like(4000, 3000, 11)},
        {"field-2", vt::eye_field(4000, 3000, 2, 2)},
        {"field-4", vt::eye_field(4000, 3000, 4, 3)},
        {"field-jitter", vt::eye_field(4000, 3000, 2, 2, 3, 5)},
        {"noise", vt::render_noise(4000, 3000, "noise", 12)},
    };
    int read = 0;
    for (const Case &c : cases) {
        const auto start = std::chrono::steady_clock::now();
        vantor_results *r = vantor_decode_pixels(c.picture.pixels.data(), c.picture.width, c.picture.height,
                                                 c.picture.width, 8, options);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        std::printf("%-13s %7.0f ms, %d read\n", c.name, ms, vantor_results_count(r));
        read += vantor_results_count(r);
        vantor_results_free(r);
    }
    return read == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
    int width = 3000, height = 2250, only = -1;
    unsigned seed = 1;
    bool verbose = false, run_hostile = false;
    std::string save;
    vantor_effort effort = VANTOR_EFFORT_DEFAULT;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--size" && more && std::sscanf(argv[i + 1], "%dx%d", &width, &height) == 2)
            ++i;
        else if (a == "--seed" && more)
            seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        else if (a == "--only" && more)
            only = std::atoi(argv[++i]);
        else if (a == "--save" && more)
            save = argv[++i];
        else if (a == "--effort" && more) {
            const std::string e = argv[++i];
            effort = e == "exhaustive" ? VANTOR_EFFORT_EXHAUSTIVE : e == "fast" ? VANTOR_EFFORT_FAST : VANTOR_EFFORT_DEFAULT;
        } else if (a == "--verbose")
            verbose = true;
        else if (a == "--hostile")
            run_hostile = true;
        else {
            std::fprintf(stderr, "usage: sheet_sweep [--size WxH] [--seed S] [--effort E] [--only N] [--save DIR] [--verbose] "
                                 "[--hostile]\n");
            return 64;
        }
    }
    const Kind kinds[] = {{"v1-3", 1, 3}, {"v1-8", 1, 8}, {"v4-12", 4, 12}};
    const Gaps gaps[] = {{"gap2-4", 2, 4}, {"gap6-16", 6, 16}};
    const double modules[] = {2, 3, 4, 6};
    vantor_options *options = vantor_options_new();
    if (!options)
        return 1;
    vantor_options_set_all_symbols(options, 1);
    vantor_options_set_effort(options, effort);
    if (run_hostile) {
        const int status = hostile(options);
        vantor_options_free(options);
        return status;
    }
    vt::SheetScore total;
    double total_ms = 0;
    int index = 0, sheets = 0;
    for (const Kind &kind : kinds)
        for (const Gaps &gap : gaps)
            for (double module : modules)
                for (int photo = 0; photo < 3; ++photo, ++index) {
                    if (only >= 0 && index != only)
                        continue;
                    vt::SheetOptions o;
                    o.width = width;
                    o.height = height;
                    o.seed = seed * 1000 + static_cast<unsigned>(index);
                    o.count = 20 + static_cast<int>(o.seed * 2654435761u % 61); // 20..80
                    o.min_version = kind.min_version;
                    o.max_version = kind.max_version;
                    o.module_px = module;
                    o.min_gap = gap.min_gap;
                    o.max_gap = gap.max_gap;
                    o.repeats = o.count / 6;
                    if (photo) {
                        // A phone's view: turned, keystone, slight blur and noise,
                        // modules of one sheet up to a fifth apart in size; or
                        // rougher: more of each.
                        const bool rough = photo == 2;
                        o.rotation_deg = 3 + static_cast<double>(o.seed * 40503u % (rough ? 43 : 23));
                        o.perspective = (o.seed % 2 ? 1 : -1) * 0.00004 * (1 + o.seed % 3) * (rough ? 2 : 1);
                        o.blur_sigma = (rough ? 0.9 : 0.4) + 0.2 * (o.seed % 4);
                        o.noise_sigma = rough ? 9 : 4;
                        o.module_spread = rough ? 1.5 : 1.2;
                    }
                    const vt::Sheet sheet = vt::make_sheet(o);
                    if (sheet.picture.pixels.empty()) {
                        std::printf("sheet %d: not made\n", index);
                        continue;
                    }
                    if (!save.empty())
                        vt::write_bytes(save + "/" + std::to_string(index) + ".png", vt::png_bytes(sheet.picture));
                    const auto start = std::chrono::steady_clock::now();
                    vantor_results *r = vantor_decode_pixels(sheet.picture.pixels.data(), sheet.picture.width,
                                                             sheet.picture.height, sheet.picture.width, 8, options);
                    const double ms =
                        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
                    std::vector<vt::ReadSymbol> read;
                    for (int i = 0; i < vantor_results_count(r); ++i) {
                        const vantor_symbol *s = vantor_results_symbol(r, i);
                        double x = 0, y = 0;
                        for (const vantor_point &c : s->corners)
                            x += c.x / 4, y += c.y / 4;
                        read.push_back({x, y, std::string(reinterpret_cast<const char *>(s->bytes), s->length)});
                    }
                    vantor_results_free(r);
                    const vt::SheetScore s = vt::score_sheet(sheet, read);
                    std::printf("sheet %2d %-6s %-7s %gpx %-5s: %2d of %2d read, %d wrong, %d twice, %d outside, %6.0f ms\n",
                                index, kind.name, gap.name, module, photo == 2 ? "rough" : photo ? "photo" : "flat", s.read, s.placed, s.wrong,
                                s.repeat, s.outside, ms);
                    if (verbose && s.read < s.placed)
                        for (std::size_t i = 0; i < sheet.symbols.size(); ++i) {
                            bool hit = false;
                            for (const vt::ReadSymbol &q : read)
                                hit = hit || vt::sheet_symbol_at(sheet, q.x, q.y) == i;
                            if (!hit)
                                std::printf("    missed v%d at %.0f,%.0f\n", sheet.symbols[i].version,
                                            sheet.symbols[i].corners[0][0], sheet.symbols[i].corners[0][1]);
                        }
                    total.placed += s.placed, total.read += s.read, total.wrong += s.wrong;
                    total.repeat += s.repeat, total.outside += s.outside;
                    total_ms += ms;
                    ++sheets;
                }
    vantor_options_free(options);
    std::printf("total: %d sheets, %d of %d read, %d wrong, %d twice, %d outside, %.0f ms\n", sheets, total.read,
                total.placed, total.wrong, total.repeat, total.outside, total_ms);
    return 0;
}
