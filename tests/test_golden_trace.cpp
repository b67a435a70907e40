// Golden trace logs: a handful of small pictures decoded with a log stream,
// the whole trace (and a digest of every debug image the decode writes)
// compared byte for byte with the files committed under tests/golden. Any
// change that alters a threshold, a run, a hit, a candidate, a grid point or a
// sampled pixel shows up here, so speed work can be checked against them.
//
// VANTOR_UPDATE_GOLDEN=1 rewrites the files instead of comparing
// (scripts/record-golden-traces.sh).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "qr_symbols.h"
#include "3_model2/classic/state.h"
#include "6_api/classic_entry.h"
#include "3_model2/classic/decode_entry.h"
#include <vantor/vantor.h>

namespace fs = std::filesystem;
namespace vt = vantor::testing;

namespace {

struct GoldenCase {
    const char *name;
    int rs_flag_before; // rs_below_capacity on entry: it carries over between calls
    std::function<vt::Picture()> picture;
    unsigned short depth = 8;
};

vt::Symbol symbol_or_die(const char *text, int version, vt::Level level) {
    auto s = vt::make_symbol(text, version, level, vt::Mode::byte);
    if (!s)
        std::abort();
    return *s;
}

vt::Picture clean_v1() {
    return vt::render(symbol_or_die("Golden v1", 1, vt::Level::M));
}

vt::Picture rotated_v3() {
    vt::RenderOptions o;
    o.module_px = 3;
    o.rotation_deg = 17;
    return vt::render(symbol_or_die("rotated by seventeen degrees", 3, vt::Level::Q), o);
}

vt::Picture noisy_v2() {
    vt::RenderOptions o;
    o.module_px = 3.5;
    o.blur_sigma = 0.8;
    o.noise_sigma = 14;
    o.light_gradient = 0.55;
    o.rotation_deg = -6;
    o.seed = 7;
    return vt::render(symbol_or_die("noisy, shaded", 2, vt::Level::H), o);
}

// Version information and four cells of alignment patterns.
vt::Picture skewed_v7() {
    vt::RenderOptions o;
    o.module_px = 3;
    o.skew_x = 0.05;
    return vt::render(symbol_or_die("seven: version information and six alignment patterns", 7,
                                    vt::Level::L),
                      o);
}

// Three flipped modules: the Reed-Solomon stage corrects them.
vt::Picture damaged_v2() {
    vt::Symbol s = symbol_or_die("three modules flipped", 2, vt::Level::M);
    for (int k = 0; k < 3; ++k) {
        auto &m = s.modules[static_cast<std::size_t>(s.size - 1 - k) * s.size + (s.size - 1 - 2 * k)];
        m = !m;
    }
    return vt::render(s);
}

vt::Picture noise_only() { return vt::render_noise(96, 72, "noise", 3); }
vt::Picture stripes_only() { return vt::render_noise(80, 60, "stripes", 5); }

// A two-level picture, as a 1-bit file gives it: grey 0 or 255 only.
vt::Picture one_bit_v1() {
    vt::RenderOptions o;
    o.module_px = 3;
    o.rotation_deg = 4;
    vt::Picture p = vt::render(symbol_or_die("one bit", 1, vt::Level::L), o);
    for (auto &g : p.pixels)
        g = g < 128 ? 0 : 255;
    return p;
}

const GoldenCase golden_cases[] = {
    {"clean_v1_flag_clear", 0, clean_v1},
    {"clean_v1_flag_set", 1, clean_v1},
    {"rotated_v3", 0, rotated_v3},
    {"noisy_v2", 0, noisy_v2},
    {"skewed_v7", 0, skewed_v7},
    {"damaged_v2", 0, damaged_v2},
    {"noise_only", 0, noise_only},
    {"stripes_only", 1, stripes_only},
    {"one_bit_v1", 0, one_bit_v1, 1},
};

// 64-bit FNV-1a of a file's bytes.
std::string file_digest(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::istreambuf_iterator<char> it(in), end; it != end; ++it) {
        h ^= static_cast<unsigned char>(*it);
        h *= 0x100000001b3ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

// Decodes the picture with a log stream inside a fresh directory and returns
// the trace: a header with the result and the flag, the log, and one line
// per debug image with its size and digest.
std::string golden_trace(const GoldenCase &c) {
    const vt::Picture picture = c.picture();
    if (picture.pixels.empty())
        return "picture could not be rendered\n";
    const std::string dir = vt::temp_dir(std::string("golden-") + c.name);
    const fs::path previous = fs::current_path();
    fs::current_path(dir);

    char *buf = nullptr;
    std::size_t len = 0;
    std::FILE *log = open_memstream(&buf, &len);
    const int flag_before = c.rs_flag_before;
    vantor::ClassicEntry &classic = vantor::classic_entry();
    const int saved_flag = classic.rs_below_capacity;
    classic.rs_below_capacity = flag_before;
    const char *text = decode_image(picture.pixels.data(), picture.width, picture.height, c.depth, log);
    const int flag_after = classic.rs_below_capacity;
    classic.rs_below_capacity = saved_flag;
    classic.state.trace_file = nullptr; // the classic state keeps it after the call
    std::fclose(log);

    std::ostringstream out;
    out << "image " << picture.width << "x" << picture.height << " depth " << c.depth << "\n";
    out << "rs_below_capacity " << flag_before << " -> " << flag_after << "\n";
    out << "result " << (text ? "\"" + std::string(text) + "\"" : std::string("none")) << "\n";
    out << "--- trace\n" << std::string(buf, len);
    std::free(buf);

    std::vector<fs::path> images;
    for (const auto &entry : fs::directory_iterator(dir))
        images.push_back(entry.path());
    std::sort(images.begin(), images.end());
    out << "--- debug images\n";
    for (const fs::path &p : images)
        out << p.filename().string() << " " << fs::file_size(p) << " " << file_digest(p) << "\n";

    fs::current_path(previous);
    fs::remove_all(dir);
    return out.str();
}

fs::path golden_dir() { return fs::path(VANTOR_SOURCE_DIR) / "tests" / "golden"; }

} // namespace

TEST(GoldenTrace, DecodeTracesMatchTheRecordedLogs) {
    const bool update = std::getenv("VANTOR_UPDATE_GOLDEN") != nullptr;
    for (const GoldenCase &c : golden_cases) {
        SCOPED_TRACE(c.name);
        const std::string trace = golden_trace(c);
        const fs::path file = golden_dir() / (std::string(c.name) + ".log");
        if (update) {
            fs::create_directories(golden_dir());
            std::ofstream(file, std::ios::binary) << trace;
            continue;
        }
        std::ifstream in(file, std::ios::binary);
        ASSERT_TRUE(in) << "missing " << file << " (record with scripts/record-golden-traces.sh)";
        const std::string expected{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        // Line by line first, so a mismatch names the first differing line.
        std::istringstream want(expected), got(trace);
        std::string a, b;
        for (int line = 1; std::getline(want, a); ++line) {
            ASSERT_TRUE(std::getline(got, b)) << "trace ends early at line " << line;
            ASSERT_EQ(b, a) << "first difference at line " << line;
        }
        EXPECT_EQ(trace, expected);
    }
}

// The cases must mean something: the symbols are read (with the expected
// text) and the pictures without a symbol are not, and the two flag values
// really take different paths through the passes.
TEST(GoldenTrace, CasesCoverReadingsFailuresAndBothFlagPaths) {
    auto result_of = [](const GoldenCase &c) {
        const std::string t = golden_trace(c);
        const auto at = t.find("result ");
        return t.substr(at, t.find('\n', at) - at);
    };
    EXPECT_EQ(result_of(golden_cases[0]), "result \"Golden v1\"");
    EXPECT_EQ(result_of(golden_cases[2]), "result \"rotated by seventeen degrees\"");
    EXPECT_EQ(result_of(golden_cases[3]), "result \"noisy, shaded\"");
    EXPECT_EQ(result_of(golden_cases[4]),
              "result \"seven: version information and six alignment patterns\"");
    EXPECT_EQ(result_of(golden_cases[5]), "result \"three modules flipped\"");
    EXPECT_EQ(result_of(golden_cases[6]), "result none");
    EXPECT_EQ(result_of(golden_cases[7]), "result none");
    EXPECT_EQ(result_of(golden_cases[8]), "result \"one bit\"");
    // With the flag clear a clean symbol is read on every pass; with it set
    // the first reading returns.
    const std::string clear = golden_trace(golden_cases[0]);
    const std::string set = golden_trace(golden_cases[1]);
    EXPECT_NE(clear.find("sample1-6.bmp"), std::string::npos);
    EXPECT_EQ(set.find("sample1-1.bmp"), std::string::npos);
}
