// What the sweep tools share: one generated file read at an effort, and the
// counts kept per group of cases.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <vantor/vantor.h>

#include "qr_symbols.h"

namespace vantor::testing {

struct SweepTally {
    int cases = 0, right = 0, wrong = 0;
    double seconds = 0;

    // One case's verdict (1 right, -1 wrong, 0 no text) and its CPU time.
    void add(int verdict, double spent) {
        ++cases;
        right += verdict > 0;
        wrong += verdict < 0;
        seconds += spent;
    }
};

inline double cpu_seconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// Reads the file at `effort` and adds the CPU time to `seconds`: 1 when the
// first symbol's bytes are `want`, -1 when they are other bytes, 0 for none.
inline int read_first_symbol(const std::string &path, vantor_effort effort, const std::string &want,
                             double &seconds) {
    vantor_read_error error;
    const double start = cpu_seconds();
    vantor_image *image = vantor_image_read(path.c_str(), &error);
    if (!image)
        return 0;
    vantor_options *options = vantor_options_new();
    vantor_options_set_effort(options, effort);
    vantor_results *results = vantor_decode(image, options);
    int verdict = 0;
    if (results && vantor_results_count(results) > 0) {
        const vantor_symbol *s = vantor_results_symbol(results, 0);
        verdict = std::string(reinterpret_cast<const char *>(s->bytes), s->length) == want ? 1 : -1;
    }
    vantor_results_free(results);
    vantor_options_free(options);
    vantor_image_free(image);
    seconds += cpu_seconds() - start;
    return verdict;
}

// Writes case `k`, `text` as a version `version` symbol (level M, bytes)
// rendered by `render`, to DIR/imageNNN.jpg, with the text beside it in
// imageNNN.expect when the pictures are kept. The path, or empty (said on
// standard error by `tool`) when it could not be made.
inline std::string write_sweep_case(const char *tool, const std::string &dir, std::size_t k, const std::string &text,
                                    int version, const RenderOptions &render, int quality, bool keep) {
    const auto symbol = make_symbol(text, version, Level::M, Mode::byte);
    const Picture picture = symbol ? vantor::testing::render(*symbol, render) : Picture{};
    char name[64];
    std::snprintf(name, sizeof name, "/image%03zu", k);
    const std::string path = dir + name + ".jpg";
    if (picture.pixels.empty() || !write_jpeg(path, picture, quality)) {
        std::fprintf(stderr, "%s: case %zu (version %d) not made\n", tool, k, version);
        return {};
    }
    if (keep)
        std::ofstream(dir + name + ".expect", std::ios::binary) << text;
    return path;
}

// Deterministic numbers for the cases' looks.
struct Lcg {
    std::uint32_t s;
    double next() {
        s = s * 1664525u + 1013904223u;
        return (s >> 8) / 16777216.0;
    }
    double in(double lo, double hi) { return lo + (hi - lo) * next(); }
};

// The options every sweep tool takes: --effort NAME (repeatable), --versions
// LO-HI, --seed N, --list, --keep DIR.
struct SweepOptions {
    std::vector<vantor_effort> efforts;
    int lo = 1, hi = 10;
    std::uint32_t seed = 1;
    bool list = false;
    std::string keep;
};

// Parses the command line into `o`; a tool's own options go to
// `own(argument, value)` (value null at the end of the line), which returns
// how many of the two it took (0 for an option it does not know). False,
// with `usage` on standard error, for an option nobody knows.
template <class Own>
bool parse_sweep_options(int argc, char **argv, const char *usage, SweepOptions &o, Own own) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        vantor_effort e;
        if (a == "--effort" && value && vantor_effort_from_name(value, &e)) {
            o.efforts.push_back(e);
            ++i;
        } else if (a == "--versions" && value && std::sscanf(value, "%d-%d", &o.lo, &o.hi) == 2 && o.lo >= 1 &&
                   o.hi <= 40 && o.lo <= o.hi) {
            ++i;
        } else if (a == "--seed" && value) {
            o.seed = static_cast<std::uint32_t>(std::strtoul(value, nullptr, 10));
            ++i;
        } else if (a == "--keep" && value) {
            o.keep = value;
            ++i;
        } else if (a == "--list") {
            o.list = true;
        } else if (const int took = own(a, value)) {
            i += took - 1;
        } else {
            std::fprintf(stderr, "%s\n", usage);
            return false;
        }
    }
    return true;
}

// The --count N option of a tool that sweeps N cases, as an `own` for
// parse_sweep_options.
inline auto count_option(int &count) {
    return [&count](const std::string &a, const char *value) {
        return a == "--count" && value && (count = std::atoi(value)) > 0 && count <= 10000 ? 2 : 0;
    };
}

// The folder a sweep's pictures go to: --keep's, or a new scratch folder;
// empty, said on standard error, when none could be made.
inline std::string sweep_folder(const char *tool, const SweepOptions &o) {
    const std::string dir = o.keep.empty() ? temp_dir(tool) : o.keep;
    if (dir.empty())
        std::fprintf(stderr, "%s: no scratch folder\n", tool);
    return dir;
}

// The counts of a sweep: per effort, per group of cases, and in all.
template <class Group>
struct SweepCounts {
    std::vector<std::map<Group, SweepTally>> groups;
    std::vector<SweepTally> totals;
    int made = 0;
};

// Writes each case (with text, version, render and quality) into `dir`,
// reads it at every effort of `o` and counts it under `group_of(k, case)`;
// with --list, one line per case: `describe(case)` and each effort's verdict
// and time. The pictures are removed unless kept.
template <class Group, class Case, class GroupOf, class Describe>
SweepCounts<Group> sweep_cases(const char *tool, const SweepOptions &o, const std::string &dir,
                               const std::vector<Case> &cases, GroupOf group_of, Describe describe) {
    SweepCounts<Group> counts;
    counts.groups.resize(o.efforts.size());
    counts.totals.resize(o.efforts.size());
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const Case &c = cases[k];
        const std::string path = write_sweep_case(tool, dir, k, c.text, c.version, c.render, c.quality, !o.keep.empty());
        if (path.empty())
            continue;
        ++counts.made;
        const Group group = group_of(k, c);
        std::string verdicts;
        for (std::size_t e = 0; e < o.efforts.size(); ++e) {
            double seconds = 0;
            const int v = read_first_symbol(path, o.efforts[e], c.text, seconds);
            for (SweepTally *t : {&counts.groups[e][group], &counts.totals[e]})
                t->add(v, seconds);
            verdicts += v > 0 ? " read" : v < 0 ? " WRONG" : " -";
            verdicts += "(" + std::to_string(static_cast<int>(seconds * 1000)) + " ms)";
        }
        if (o.list)
            std::printf("case %3zu: %s:%s\n", k, describe(c).c_str(), verdicts.c_str());
        if (o.keep.empty())
            std::remove(path.c_str());
    }
    return counts;
}

// The line of an effort's totals, without its end so that a tool can add to it.
inline void print_sweep_total(const SweepTally &t) {
    std::printf("  all: %d cases, %d read, %d wrong, %d no text, %.2f s CPU", t.cases, t.right, t.wrong,
                t.cases - t.right - t.wrong, t.seconds);
}

} // namespace vantor::testing
