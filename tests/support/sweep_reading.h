// What the sweep tools share: one generated file read at an effort, and the
// counts kept per group of cases.
#pragma once

#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>

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

} // namespace vantor::testing
