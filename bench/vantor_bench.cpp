// Decoding speed and memory on pictures made by the test-support library:
// clean symbols, photo-like pictures with a symbol (0.3 to 12 MP), the same
// sizes with no symbol, and dense noise. Every picture is timed with the
// reentrant API at the default and the exhaustive effort (and the fast one
// with --fast), optionally with the classic entry after each value of the
// carried-over Reed-Solomon flag, and with the other readers that the build
// found. Prints one table, then the
// per-set medians and ratios to zxing-cpp.
//
//   vantor_bench [--quick] [--reps N] [--min-time S] [--wall] [--only TEXT]
//                [--ours-only] [--model2-only] [--classic] [--fast] [--flag set|clear]
//   vantor_bench --digest      trace digests of every picture, for checking
//                              that two builds decode alike
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "heap_count.h"
#include "other_readers.h"
#include "qr_symbols.h"
#include "3_model2/classic/state.h"
#include "6_api/classic_entry.h"
#include "3_model2/classic/decode_entry.h"
#include <vantor/vantor.h>

namespace vt = vantor::testing;
namespace vb = vantor_bench;
namespace fs = std::filesystem;

namespace {

struct BenchImage {
    std::string name;
    std::string group;
    vt::Picture picture;
    std::optional<std::string> expected; // nothing: no symbol in the picture
};

struct Options {
    bool quick = false;
    bool wall = false;
    bool digest = false;
    bool ours_only = false;
    bool classic = false; // time decode_image too
    bool model2_only = false; // the API looks for Model 2 alone, not the other QR kinds
    bool fast = false;    // time the fast effort too
    std::string flag; // "set" or "clear": only that path
    int min_reps = 5;
    int max_reps = 41;
    double min_time = 1.0; // seconds of timed calls per figure
    std::string only;
};

[[noreturn]] void fail(const std::string &why) {
    std::fprintf(stderr, "vantor_bench: %s\n", why.c_str());
    std::exit(1);
}

vt::Symbol symbol(const std::string &text, int version, vt::Level level) {
    auto s = vt::make_symbol(text, version, level, vt::Mode::byte);
    if (!s)
        fail("cannot make a version " + std::to_string(version) + " symbol");
    return *s;
}

// The longest text of the pattern that fits the version at level M.
std::string filler_text(int version) {
    const std::string pattern = "https://example.org/vantor/bench/0123456789-abcdefghijklmnopqrstuvwxyz/";
    auto text_of = [&](int n) {
        std::string t;
        for (int i = 0; i < n; ++i)
            t += pattern[static_cast<std::size_t>(i) % pattern.size()];
        return t;
    };
    int lo = 1, hi = 3000; // lo always fits
    if (!vt::make_symbol(text_of(lo), version, vt::Level::M, vt::Mode::byte))
        fail("no text fits version " + std::to_string(version));
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        if (vt::make_symbol(text_of(mid), version, vt::Level::M, vt::Mode::byte))
            lo = mid;
        else
            hi = mid - 1;
    }
    return text_of(lo);
}

std::vector<BenchImage> make_images(const Options &opt) {
    std::vector<BenchImage> images;
    auto wanted = [&](const std::string &name) { return opt.only.empty() || name.find(opt.only) != std::string::npos; };

    for (int v : {1, 5, 10, 20, 30, 40}) {
        const std::string name = "clean v" + std::to_string(v) + " 4px";
        if (!wanted(name))
            continue;
        const std::string text = filler_text(v);
        const vt::Symbol s = symbol(text, v, vt::Level::M);
        images.push_back({name, "clean", vt::render(s), text});
    }

    struct Size {
        int w, h;
        const char *label;
    };
    std::vector<Size> sizes = {{640, 480, "640x480"},
                               {1280, 960, "1280x960"},
                               {1920, 1080, "1920x1080"},
                               {2592, 1944, "2592x1944"},
                               {4000, 3000, "4000x3000"}};
    if (opt.quick)
        sizes.pop_back();
    const std::string photo_text = "https://example.org/vantor/photo?id=2718281828";
    const vt::Symbol photo_symbol = symbol(photo_text, 6, vt::Level::M);
    for (const Size &sz : sizes) {
        const std::string name = std::string("photo ") + sz.label;
        if (!wanted(name))
            continue;
        std::fprintf(stderr, "rendering %s\n", name.c_str());
        // The symbol takes about 45% of the picture's height, turned,
        // slightly sheared, blurred, noisy and unevenly lit.
        vt::RenderOptions o;
        o.module_px = 0.45 * sz.h / (photo_symbol.size + 8);
        o.rotation_deg = 11;
        o.skew_x = 0.03;
        o.blur_sigma = 0.15 * o.module_px;
        o.noise_sigma = 9;
        o.light_gradient = 0.45;
        o.canvas_width = sz.w;
        o.canvas_height = sz.h;
        o.seed = 11;
        vt::Picture pic = vt::render(photo_symbol, o);
        if (pic.pixels.empty())
            fail("cannot render " + name);
        images.push_back({name, "photo", std::move(pic), photo_text});
    }
    for (const Size &sz : sizes) {
        const std::string name = std::string("no symbol ") + sz.label;
        if (!wanted(name))
            continue;
        std::fprintf(stderr, "rendering %s\n", name.c_str());
        images.push_back({name, "empty", vt::render_noise(sz.w, sz.h, "scene", 21), std::nullopt});
    }
    for (const Size &sz : sizes) {
        const std::string name = std::string("noise ") + sz.label;
        if (!wanted(name))
            continue;
        images.push_back({name, "noise", vt::render_noise(sz.w, sz.h, "noise", 31), std::nullopt});
    }
    return images;
}

// --- The carried-over flag ------------------------------------------------
//
// rs_below_capacity keeps the value the last corrected block left, across
// calls. Before each timed call a small primer symbol is decoded that leaves
// it set (one wrong codeword: corrected below capacity) or clear (as many
// wrong codewords as the block can correct).

struct Primer {
    vt::Picture picture;
    int flag_after;
};

vt::Picture primer_picture(int wrong_codewords) {
    vt::Symbol s = symbol("primer", 1, vt::Level::L);
    // Codewords 0, 2, 4, ... start at the bottom right and go up the
    // rightmost column pair, four module rows each: one flipped module each.
    for (int k = 0; k < wrong_codewords; ++k) {
        const int row = s.size - 1 - 8 * k;
        auto &m = s.modules[static_cast<std::size_t>(row) * s.size + (s.size - 1)];
        m = !m;
    }
    return vt::render(s);
}

Primer make_primer(bool set) {
    Primer p{primer_picture(set ? 1 : 2), set ? -1 : 0};
    vantor::classic_entry().rs_below_capacity = set ? 0 : -1;
    const char *text = decode_image(p.picture.pixels.data(), p.picture.width, p.picture.height, 8, nullptr);
    if (!text || std::strcmp(text, "primer") != 0 || vantor::classic_entry().rs_below_capacity != p.flag_after)
        fail(std::string("the primer that leaves the flag ") + (set ? "set" : "clear") + " does not");
    return p;
}

void prime(const Primer &p) {
    decode_image(p.picture.pixels.data(), p.picture.width, p.picture.height, 8, nullptr);
    if (vantor::classic_entry().rs_below_capacity != p.flag_after)
        fail("primer left the wrong flag");
}

// --- Timing ------------------------------------------------------------------

double now_seconds(bool wall) {
    timespec ts{};
    clock_gettime(wall ? CLOCK_MONOTONIC : CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

struct Figure {
    double ms = 0;          // median per call
    double heap_per_px = 0; // peak heap growth during the call, bytes per pixel
    std::string verdict;    // ok, miss, WRONG, false
};

std::string verdict(const std::optional<std::string> &got, const std::optional<std::string> &expected) {
    if (!expected)
        return got ? "false" : "ok";
    if (!got)
        return "miss";
    return *got == *expected ? "ok" : "WRONG";
}

// Times `call` (optionally after `before`, untimed) until enough samples.
Figure measure(const Options &opt, const BenchImage &img, const std::function<void()> &before,
               const std::function<std::optional<std::string>()> &call) {
    std::vector<double> samples;
    double total = 0;
    Figure f;
    const double pixels = static_cast<double>(img.picture.width) * img.picture.height;
    while (static_cast<int>(samples.size()) < opt.min_reps ||
           (total < opt.min_time && static_cast<int>(samples.size()) < opt.max_reps)) {
        if (before)
            before();
        const std::size_t base = vb::heap_current();
        vb::heap_reset_peak();
        const double t0 = now_seconds(opt.wall);
        const std::optional<std::string> got = call();
        const double t1 = now_seconds(opt.wall);
        if (samples.empty()) {
            f.verdict = verdict(got, img.expected);
            f.heap_per_px = static_cast<double>(vb::heap_peak() - base) / pixels;
        }
        samples.push_back(t1 - t0);
        total += t1 - t0;
    }
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    const double median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    f.ms = median * 1e3;
    return f;
}

// Not inlined, so a profiler can count this call alone (callgrind
// --toggle-collect=timed_decode).
extern "C" __attribute__((noinline)) const char *timed_decode(const vt::Picture &p) {
    return decode_image(p.pixels.data(), p.width, p.height, 8, nullptr);
}

extern "C" __attribute__((noinline)) vantor_results *timed_api_decode(const vt::Picture &p,
                                                                      const vantor_options *options) {
    return vantor_decode_pixels(p.pixels.data(), p.width, p.height, p.width, 8, options);
}

std::optional<std::string> ours(const vt::Picture &p) {
    const char *text = timed_decode(p);
    return text ? std::optional<std::string>(text) : std::nullopt;
}

// --- Digest mode ------------------------------------------------------------

std::uint64_t fnv(std::uint64_t h, const void *data, std::size_t n) {
    const auto *p = static_cast<const unsigned char *>(data);
    for (std::size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 0x100000001b3ull;
    }
    return h;
}

// The trace and every debug image of one decode, as one digest.
int print_digests(const Options &opt) {
    const std::vector<BenchImage> images = make_images(opt);
    const Primer set = make_primer(true), clear = make_primer(false);
    const std::string dir = vt::temp_dir("bench-digest");
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    for (const BenchImage &img : images) {
        for (const Primer *p : {&set, &clear}) {
            prime(*p);
            char *buf = nullptr;
            std::size_t len = 0;
            std::FILE *log = open_memstream(&buf, &len);
            const char *text = decode_image(img.picture.pixels.data(), img.picture.width,
                                            img.picture.height, 8, log);
            const std::string result = text ? text : "(none)";
            vantor::classic_entry().state.trace_file = nullptr; // the classic state keeps it after the call
            std::fclose(log);
            std::uint64_t h = fnv(0xcbf29ce484222325ull, buf, len);
            std::free(buf);
            std::vector<fs::path> files;
            for (const auto &e : fs::directory_iterator(fs::current_path()))
                files.push_back(e.path());
            std::sort(files.begin(), files.end());
            for (const fs::path &f : files) {
                std::ifstream in(f, std::ios::binary);
                const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
                h = fnv(h, f.filename().c_str(), f.filename().string().size());
                h = fnv(h, bytes.data(), bytes.size());
                fs::remove(f);
            }
            std::printf("%-22s flag %-5s trace %6zu bytes, %2zu images, digest %016llx, flag after %d, %s\n",
                        img.name.c_str(), p == &set ? "set" : "clear", len, files.size(),
                        static_cast<unsigned long long>(h), vantor::classic_entry().rs_below_capacity,
                        result.c_str());
            std::fflush(stdout);
        }
    }
    fs::current_path(previous);
    fs::remove_all(dir);
    return 0;
}

// --- Table ------------------------------------------------------------------

std::string fixed(double v, int decimals) {
    char s[32];
    std::snprintf(s, sizeof s, "%.*f", decimals, v);
    return s;
}

std::string ms_text(double ms) { return fixed(ms, ms < 10 ? 2 : ms < 100 ? 1 : 0); }

// The 1-, 5- and 15-minute load averages, as the kernel reports them.
std::string load_average() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    if (!(in >> one >> five >> fifteen))
        return "unknown";
    return one + " " + five + " " + fifteen;
}

// One column of the table: a decoder and how it is called.
struct Column {
    std::string name;
    std::function<void()> before; // untimed, before each call
    std::function<std::optional<std::string>(const vt::Picture &)> call;
};

std::optional<std::string> api_text(const vt::Picture &p, const vantor_options *options) {
    vantor_results *r = timed_api_decode(p, options);
    std::optional<std::string> text;
    if (const vantor_symbol *s = vantor_results_symbol(r, 0))
        text = std::string(reinterpret_cast<const char *>(s->bytes), s->length);
    vantor_results_free(r);
    return text;
}

double median_of(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The figures of one picture, one per column.
struct Row {
    const BenchImage *image;
    std::vector<Figure> figures;
};

// Per-set medians of every column, and of every column's ratio to the
// reference reader (per picture, then the median). For sets with a symbol
// the ratios count only pictures that both read.
void print_summary(const std::vector<Column> &columns, const std::vector<Row> &rows, int reference) {
    struct SetOf {
        const char *name;
        std::function<bool(const BenchImage &)> in;
    };
    const std::vector<SetOf> sets = {
        {"with a symbol", [](const BenchImage &i) { return i.expected.has_value(); }},
        {"  clean", [](const BenchImage &i) { return i.group == "clean"; }},
        {"  photo-like", [](const BenchImage &i) { return i.group == "photo"; }},
        {"without a symbol", [](const BenchImage &i) { return i.group == "empty"; }},
        {"noise", [](const BenchImage &i) { return i.group == "noise"; }},
        {"dense 12 MP noise", [](const BenchImage &i) { return i.group == "noise" && i.picture.width >= 4000; }},
    };
    std::printf("\nPer-set medians (ms), the median of the per-picture ratios to %s in brackets,\n"
                "and the highest B/px of the set:\n",
                reference >= 0 ? columns[static_cast<std::size_t>(reference)].name.c_str() : "(no reference)");
    std::printf("%-18s %4s", "set", "pics");
    for (const Column &c : columns)
        std::printf(" | %-24s", c.name.c_str());
    std::printf("\n");
    for (const SetOf &set : sets) {
        std::vector<const Row *> members;
        for (const Row &r : rows)
            if (set.in(*r.image))
                members.push_back(&r);
        if (members.empty())
            continue;
        std::printf("%-18s %4zu", set.name, members.size());
        for (std::size_t c = 0; c < columns.size(); ++c) {
            std::vector<double> ms, ratios;
            double worst_heap = 0;
            for (const Row *r : members) {
                const Figure &f = r->figures[c];
                ms.push_back(f.ms);
                worst_heap = std::max(worst_heap, f.heap_per_px);
                if (reference < 0)
                    continue;
                const Figure &ref = r->figures[static_cast<std::size_t>(reference)];
                if (r->image->expected && (f.verdict != "ok" || ref.verdict != "ok"))
                    continue;
                ratios.push_back(f.ms / ref.ms);
            }
            const std::string ratio = ratios.empty() ? "-" : fixed(median_of(ratios), 2) + "x";
            std::printf(" | %8s [%6s] %5s B/px", ms_text(median_of(ms)).c_str(), ratio.c_str(),
                        vb::heap_counting() ? fixed(worst_heap, 2).c_str() : "-");
        }
        std::printf("\n");
    }
}

int run_table(const Options &opt) {
    const std::vector<BenchImage> images = make_images(opt);
    const Primer set = make_primer(true), clear = make_primer(false);
    const std::vector<vb::OtherReader *> others = opt.ours_only ? std::vector<vb::OtherReader *>{} : vb::other_readers();

    vantor_options *by_effort[3] = {vantor_options_new(), vantor_options_new(), vantor_options_new()};
    const vantor_effort efforts[3] = {VANTOR_EFFORT_DEFAULT, VANTOR_EFFORT_EXHAUSTIVE, VANTOR_EFFORT_FAST};
    std::vector<Column> columns;
    for (int k = 0; k < (opt.fast ? 3 : 2); ++k) {
        vantor_options_set_effort(by_effort[k], efforts[k]);
        if (opt.model2_only)
            vantor_options_set_kinds(by_effort[k], 1u << VANTOR_KIND_QR);
        vantor_options *o = by_effort[k];
        columns.push_back({vantor_effort_name(efforts[k]), nullptr, [o](const vt::Picture &p) { return api_text(p, o); }});
    }
    if (opt.classic) {
        for (const Primer *pr : {&set, &clear}) {
            if (!opt.flag.empty() && opt.flag != (pr == &set ? "set" : "clear"))
                continue;
            columns.push_back({std::string("classic ") + (pr == &set ? "set" : "clear"), [pr] { prime(*pr); },
                               [](const vt::Picture &p) { return ours(p); }});
        }
    }
    int reference = -1;
    for (vb::OtherReader *r : others) {
        if (std::string(r->name()) == "zxing-cpp 3.1")
            reference = static_cast<int>(columns.size());
        columns.push_back({r->name(), nullptr, [r](const vt::Picture &p) {
                               return r->read(vb::GreyView{p.pixels.data(), p.width, p.height});
                           }});
    }

    std::printf("Vantor %s, median of %d..%d calls (at least %.1f s) per figure, %s time.\n", vantor_version(),
                opt.min_reps, opt.max_reps, opt.min_time, opt.wall ? "wall-clock" : "process CPU");
    std::printf("Machine: %ld cores online; other processes may be sharing them (load average at start: %s).\n",
                sysconf(_SC_NPROCESSORS_ONLN), load_average().c_str());
    std::printf("default, exhaustive, fast (--fast): vantor_decode_pixels at that effort, thorough search on;\n"
                "each looks for every QR kind unless --model2-only.\n"
                "classic set/clear (--classic): decode_image after a primer that leaves the carried-over\n"
                "Reed-Solomon flag set or clear.\n");
    if (others.empty())
        std::printf("No other reader compared (configure with -DVANTOR_BENCH_COMPARE=ON and install them).\n");
    std::printf("B/px: peak heap growth during one call per image pixel. text: ok, miss (no text),\n"
                "WRONG (other text), false (text from a picture without a symbol). [x]: ratio to %s.\n\n",
                reference >= 0 ? columns[static_cast<std::size_t>(reference)].name.c_str() : "(none)");

    std::printf("%-18s %6s", "picture", "Mpx");
    for (const Column &c : columns)
        std::printf(" | %-29s", c.name.c_str());
    std::printf("\n%s\n", std::string(25 + columns.size() * 32, '-').c_str());

    std::vector<Row> rows;
    for (const BenchImage &img : images) {
        std::fprintf(stderr, "timing %s\n", img.name.c_str());
        const double mpx = static_cast<double>(img.picture.width) * img.picture.height / 1e6;
        Row row{&img, {}};
        for (const Column &c : columns)
            row.figures.push_back(measure(opt, img, c.before, [&] { return c.call(img.picture); }));
        std::printf("%-18s %6s", img.name.c_str(), fixed(mpx, mpx < 1 ? 3 : 1).c_str());
        for (const Figure &f : row.figures) {
            const std::string ratio =
                reference >= 0 ? fixed(f.ms / row.figures[static_cast<std::size_t>(reference)].ms, 2) + "x" : "-";
            std::printf(" | %8s %7s %5s %6s", ms_text(f.ms).c_str(),
                        vb::heap_counting() ? (fixed(f.heap_per_px, 2) + "B").c_str() : "-", f.verdict.c_str(),
                        ratio.c_str());
        }
        std::printf("\n");
        std::fflush(stdout);
        rows.push_back(std::move(row));
    }
    print_summary(columns, rows, reference);
    std::printf("\nLoad average at the end: %s.\n", load_average().c_str());
    for (vantor_options *o : by_effort)
        vantor_options_free(o);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    Options opt;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                fail(a + " needs a value");
            return argv[++i];
        };
        if (a == "--quick") {
            opt.quick = true;
            opt.min_reps = 3;
            opt.min_time = 0.2;
        } else if (a == "--wall") {
            opt.wall = true;
        } else if (a == "--flag") {
            opt.flag = value();
            if (opt.flag != "set" && opt.flag != "clear")
                fail("--flag takes set or clear");
        } else if (a == "--fast") {
            opt.fast = true;
        } else if (a == "--classic") {
            opt.classic = true;
        } else if (a == "--ours-only") {
            opt.ours_only = true;
        } else if (a == "--model2-only") {
            opt.model2_only = true;
        } else if (a == "--digest") {
            opt.digest = true;
        } else if (a == "--reps") {
            opt.min_reps = std::max(1, std::atoi(value().c_str()));
            opt.max_reps = std::max(opt.max_reps, opt.min_reps);
        } else if (a == "--min-time") {
            opt.min_time = std::atof(value().c_str());
        } else if (a == "--only") {
            opt.only = value();
        } else {
            std::fprintf(stderr,
                         "usage: vantor_bench [--quick] [--reps N] [--min-time S] [--wall] [--only TEXT] [--ours-only] [--model2-only] [--classic] [--fast] [--flag set|clear] [--digest]\n");
            return 2;
        }
    }
    return opt.digest ? print_digests(opt) : run_table(opt);
}
