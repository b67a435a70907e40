// The pass loop on states of its own: the readings it reports, the callback
// trace and debug folder against the classic entry's stream and current
// directory, the module-to-image mapping of the grid, and two decodes at
// once on two states.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "3_model2/classic/grid.h"
#include "qr_symbols.h"
#include "3_model2/classic/state.h"
#include "6_api/classic_entry.h"
#include "3_model2/classic/decode_entry.h"
#include <vantor/vantor.h>

using namespace vantor;
namespace fs = std::filesystem;
namespace vt = vantor::testing;

namespace {

vt::Symbol symbol_or_die(const char *text, int version, vt::Level level) {
    auto s = vt::make_symbol(text, version, level, vt::Mode::byte);
    if (!s)
        std::abort();
    return *s;
}

struct Reading {
    ReadingOutcome outcome;
    std::string bytes;
    Vec2f corners[4];
    int version;

    bool operator==(const Reading &o) const {
        auto same = [](const ReadingOutcome &a, const ReadingOutcome &b) {
            return a.pass == b.pass && a.try_index == b.try_index && a.stage == b.stage &&
                   a.candidates == b.candidates && a.blocks.blocks == b.blocks.blocks &&
                   a.blocks.clean == b.blocks.clean && a.blocks.corrected == b.blocks.corrected &&
                   a.blocks.beyond == b.blocks.beyond &&
                   a.blocks.codewords_corrected == b.blocks.codewords_corrected &&
                   a.format_read == b.format_read && a.text_length == b.text_length;
        };
        for (int i = 0; i < 4; ++i)
            if (!(corners[i].x == o.corners[i].x || (std::isnan(corners[i].x) && std::isnan(o.corners[i].x))))
                return false;
        return same(outcome, o.outcome) && bytes == o.bytes && version == o.version;
    }
};

// Every reading of a decode on a fresh state (with its trace, when asked).
std::vector<Reading> readings_of(const vt::Picture &p, unsigned short depth = 8,
                                 std::vector<std::string> *trace_lines = nullptr,
                                 const std::string &debug_dir = "") {
    DecoderState s;
    if (trace_lines) {
        s.trace_fn = [](const char *line, void *user) {
            static_cast<std::vector<std::string> *>(user)->push_back(line);
        };
        s.trace_user = trace_lines;
        s.debug_dir = debug_dir;
    }
    std::vector<Reading> out;
    const RunResult r = run_passes(s, p.pixels.data(), p.width, p.height, depth,
                                   [&](const DecoderState &st, const ReadingOutcome &o) {
                                       Reading rd{o, o.bytes ? std::string(o.bytes, o.text_length) : "", {}, 0};
                                       rd.version = o.stage >= ReadingStage::grid ? st.version : 0;
                                       const float n = static_cast<float>(4 * st.version + 17);
                                       const float at[4][2] = {{-0.5f, -0.5f}, {n - 0.5f, -0.5f},
                                                               {n - 0.5f, n - 0.5f}, {-0.5f, n - 0.5f}};
                                       for (int i = 0; i < 4; ++i)
                                           rd.corners[i] = o.stage >= ReadingStage::grid
                                                               ? grid_module_centre(st, at[i][0], at[i][1])
                                                               : Vec2f{NAN, NAN};
                                       out.push_back(rd);
                                       return ReadingAction::go_on;
                                   });
    EXPECT_EQ(r, RunResult::done);
    return out;
}

std::string read_file(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(RunPasses, ReadingsOfACleanADamagedAndAnEmptyPicture) {
    const vt::Picture clean = vt::render(symbol_or_die("run passes", 1, vt::Level::M));
    const std::vector<Reading> c = readings_of(clean);
    ASSERT_EQ(c.size(), 14u) << "seven passes, two tries each";
    for (std::size_t i = 0; i < c.size(); ++i) {
        const ReadingOutcome &o = c[i].outcome;
        EXPECT_EQ(o.pass, static_cast<int>(i / 2));
        EXPECT_EQ(o.try_index, static_cast<int>(i % 2));
        EXPECT_EQ(o.stage, ReadingStage::text);
        EXPECT_GE(o.candidates, 3);
        EXPECT_EQ(o.blocks.blocks, 1);
        EXPECT_EQ(o.blocks.clean, 1);
        EXPECT_EQ(o.blocks.codewords_corrected, 0);
        EXPECT_EQ(c[i].bytes, "run passes");
        EXPECT_EQ(c[i].version, 1);
    }

    // Four flipped modules in two codewords of the version 2-M block.
    vt::Symbol damaged = symbol_or_die("four modules flipped", 2, vt::Level::M);
    for (int k = 0; k < 4; ++k) {
        auto &m = damaged.modules[static_cast<std::size_t>(damaged.size - 1 - k / 2) * damaged.size +
                                  (damaged.size - 1 - k % 2)];
        m = !m;
    }
    const std::vector<Reading> d = readings_of(vt::render(damaged));
    ASSERT_FALSE(d.empty());
    bool corrected = false;
    for (const Reading &r : d) {
        if (r.outcome.stage != ReadingStage::text)
            continue;
        EXPECT_EQ(r.bytes, "four modules flipped");
        EXPECT_EQ(r.outcome.blocks.corrected, 1);
        EXPECT_EQ(r.outcome.blocks.codewords_corrected, 1) << "the four modules lie in one codeword";
        corrected = true;
    }
    EXPECT_TRUE(corrected);

    const std::vector<Reading> e = readings_of(vt::render_noise(96, 72, "blank"));
    ASSERT_EQ(e.size(), 7u) << "one report per pass without eye patterns";
    for (const Reading &r : e) {
        EXPECT_EQ(r.outcome.try_index, -1);
        EXPECT_EQ(r.outcome.stage, ReadingStage::none);
        EXPECT_EQ(r.outcome.text, nullptr);
    }
    EXPECT_EQ(readings_of(vt::render_noise(96, 72, "blank"), 1).size(), 1u) << "depth 1: one pass";
}

TEST(RunPasses, StopEndsTheLoopAndBadInputIsRefused) {
    const vt::Picture p = vt::render(symbol_or_die("stop", 1, vt::Level::L));
    DecoderState s;
    int calls = 0;
    auto stop_at_second = [&](const DecoderState &, const ReadingOutcome &) {
        return ++calls == 2 ? ReadingAction::stop : ReadingAction::go_on;
    };
    EXPECT_EQ(run_passes(s, p.pixels.data(), p.width, p.height, 8, stop_at_second), RunResult::stopped);
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(s.work_bitmap) << "the pass buffers are released";
    auto never = [](const DecoderState &, const ReadingOutcome &) {
        ADD_FAILURE() << "no reading for bad input";
        return ReadingAction::go_on;
    };
    EXPECT_EQ(run_passes(s, nullptr, 10, 10, 8, never), RunResult::invalid_argument);
    EXPECT_EQ(run_passes(s, p.pixels.data(), 0, 10, 8, never), RunResult::invalid_argument);
    EXPECT_EQ(run_passes(s, p.pixels.data(), 40000, 1, 8, never), RunResult::invalid_argument);
}

// The pass loop run in steps reports what one run reports: every split of
// the seven passes, with and without repeated passes reported from their
// record, on a clean, a damaged, an empty, a small and a bilevel picture.
TEST(RunPasses, StepsReportWhatOneRunReports) {
    vt::Symbol damaged = symbol_or_die("damaged in steps", 2, vt::Level::M);
    for (int k = 0; k < 6; ++k) {
        auto &m = damaged.modules[static_cast<std::size_t>(damaged.size - 1 - k) * damaged.size + 9];
        m = !m;
    }
    vt::RenderOptions small;
    small.module_px = 1;
    small.quiet_zone = 2;
    struct Case {
        vt::Picture picture;
        unsigned short depth;
    };
    const Case cases[] = {{vt::render(symbol_or_die("clean in steps", 1, vt::Level::L)), 8},
                          {vt::render(damaged), 8},
                          {vt::render_noise(96, 72, "blank"), 8},
                          {vt::render(symbol_or_die("small", 1, vt::Level::L), small), 8},
                          {vt::render_noise(96, 72, "blank"), 1}};
    auto record = [](std::vector<ReadingOutcome> &out) {
        return [&out](const DecoderState &, const ReadingOutcome &o) {
            out.push_back(o);
            return ReadingAction::go_on;
        };
    };
    auto same = [](const ReadingOutcome &a, const ReadingOutcome &b) {
        return a.pass == b.pass && a.try_index == b.try_index && a.stage == b.stage && a.candidates == b.candidates &&
               a.blocks.corrected == b.blocks.corrected && a.format_read == b.format_read &&
               a.text_length == b.text_length;
    };
    for (const Case &c : cases) {
        const vt::Picture &p = c.picture;
        for (bool repeats : {false, true}) {
            std::vector<ReadingOutcome> whole;
            DecoderState one;
            ASSERT_EQ(run_passes(one, p.pixels.data(), p.width, p.height, c.depth, record(whole), repeats),
                      RunResult::done);
            for (int split = 0; split < PassLoop::pass_count - 1; ++split) {
                std::vector<ReadingOutcome> stepped;
                DecoderState s;
                PassLoop loop(s, p.pixels.data(), p.width, p.height, c.depth, repeats);
                EXPECT_EQ(loop.run_through(split, record(stepped)), RunResult::done);
                EXPECT_EQ(loop.more(), c.depth == 8) << "passes remain after pass " << split;
                EXPECT_EQ(loop.run_through(PassLoop::pass_count - 1, record(stepped)), RunResult::done);
                EXPECT_FALSE(loop.more());
                EXPECT_FALSE(s.work_bitmap) << "the pass buffers are released at the end";
                ASSERT_EQ(stepped.size(), whole.size()) << "split after pass " << split;
                for (std::size_t i = 0; i < whole.size(); ++i)
                    EXPECT_TRUE(same(stepped[i], whole[i])) << "split after pass " << split << ", reading " << i;
            }
        }
    }
}

// The symbol's outer corners through the grid: an upright rendering puts
// them at the quiet zone's inner edge; a version 7 symbol maps through its
// alignment cells.
TEST(RunPasses, GridMapsModulesToTheirImagePositions) {
    for (int version : {1, 7}) {
        vt::RenderOptions o;
        o.module_px = 5;
        const vt::Picture p = vt::render(symbol_or_die("corners", version, vt::Level::L), o);
        const std::vector<Reading> r = readings_of(p);
        ASSERT_FALSE(r.empty());
        ASSERT_EQ(r[0].outcome.stage, ReadingStage::text) << version;
        const double lo = o.quiet_zone * o.module_px;
        const double hi = lo + (4 * version + 17) * o.module_px;
        const double want[4][2] = {{lo, lo}, {hi, lo}, {hi, hi}, {lo, hi}};
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(r[0].corners[i].x, want[i][0], 1.5) << version << " corner " << i;
            EXPECT_NEAR(r[0].corners[i].y, want[i][1], 1.5) << version << " corner " << i;
        }
    }
    DecoderState none;
    EXPECT_TRUE(std::isnan(grid_module_centre(none, 3, 3).x)) << "no grid";
}

// A callback sink gets the classic trace line by line, and the debug images
// land in the state's folder with the classic names and contents.
TEST(RunPasses, CallbackTraceAndDebugFolderMatchTheClassicEntry) {
    vt::RenderOptions o;
    o.module_px = 3;
    o.rotation_deg = 17;
    const vt::Picture p = vt::render(symbol_or_die("rotated by seventeen degrees", 3, vt::Level::Q), o);

    vt::TempDir classic_dir("classic-debug");
    char *buf = nullptr;
    std::size_t len = 0;
    std::FILE *log = open_memstream(&buf, &len);
    ASSERT_NE(log, nullptr);
    const fs::path previous = fs::current_path();
    fs::current_path(classic_dir.path());
    ClassicEntry &classic = classic_entry();
    const int saved_flag = classic.rs_below_capacity;
    classic.rs_below_capacity = 0;
    const char *text = decode_image(p.pixels.data(), p.width, p.height, 8, log);
    classic.rs_below_capacity = saved_flag;
    classic.state.trace_file = nullptr;
    fs::current_path(previous);
    std::fclose(log);
    const std::string classic_trace(buf, len);
    std::free(buf);
    ASSERT_NE(text, nullptr);

    vt::TempDir own_dir("own-debug");
    std::vector<std::string> lines;
    readings_of(p, 8, &lines, own_dir.path());
    std::string joined;
    for (const std::string &l : lines) {
        ASSERT_FALSE(l.empty());
        EXPECT_EQ(l.find('\n'), l.size() - 1) << "one whole line per call";
        joined += l;
    }
    EXPECT_EQ(joined, classic_trace);

    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(classic_dir.path()))
        names.push_back(e.path().filename().string());
    ASSERT_FALSE(names.empty());
    std::size_t own_count = 0;
    for (const auto &e : fs::directory_iterator(own_dir.path())) {
        (void)e;
        ++own_count;
    }
    EXPECT_EQ(own_count, names.size());
    for (const std::string &n : names)
        EXPECT_EQ(read_file(fs::path(own_dir.path()) / n), read_file(fs::path(classic_dir.path()) / n)) << n;
}

// Two decodes at once, each on its own state, give what they give one after
// the other.
TEST(RunPasses, TwoStatesDecodeAtOnce) {
    vt::RenderOptions skewed;
    skewed.module_px = 3;
    skewed.skew_x = 0.05;
    vt::RenderOptions noisy;
    noisy.module_px = 3.5;
    noisy.blur_sigma = 0.8;
    noisy.noise_sigma = 14;
    noisy.rotation_deg = -6;
    const vt::Picture a = vt::render(symbol_or_die("first of two threads", 7, vt::Level::L), skewed);
    const vt::Picture b = vt::render(symbol_or_die("second", 2, vt::Level::H), noisy);
    const std::vector<Reading> alone_a = readings_of(a), alone_b = readings_of(b);
    for (int round = 0; round < 3; ++round) {
        std::vector<Reading> got_a, got_b;
        std::thread ta([&] { got_a = readings_of(a); });
        std::thread tb([&] { got_b = readings_of(b); });
        ta.join();
        tb.join();
        EXPECT_TRUE(got_a == alone_a);
        EXPECT_TRUE(got_b == alone_b);
    }
    ASSERT_FALSE(alone_a.empty());
    EXPECT_EQ(alone_a[0].bytes, "first of two threads");
}

// Debug images follow the state's choice: with a trace (the classic way),
// always, or never.
TEST(RunPasses, DebugImagesWhenTheStateAsks) {
    const vt::Picture p = vt::render(symbol_or_die("images", 1, vt::Level::L));
    auto count_files = [](const std::string &dir) {
        std::size_t n = 0;
        for (const auto &e : fs::directory_iterator(dir)) {
            (void)e;
            ++n;
        }
        return n;
    };
    auto go_on = [](const DecoderState &, const ReadingOutcome &) { return ReadingAction::go_on; };
    auto ignore = [](const char *, void *) {};

    vt::TempDir never_dir("images-never");
    DecoderState traced;
    traced.trace_fn = ignore;
    traced.debug_dir = never_dir.path();
    traced.debug_images = TraceSink::DebugImages::never;
    run_passes(traced, p.pixels.data(), p.width, p.height, 8, go_on);
    EXPECT_EQ(count_files(never_dir.path()), 0u);

    vt::TempDir always_dir("images-always");
    DecoderState quiet;
    quiet.debug_dir = always_dir.path();
    quiet.debug_images = TraceSink::DebugImages::always;
    run_passes(quiet, p.pixels.data(), p.width, p.height, 8, go_on);
    EXPECT_TRUE(fs::exists(fs::path(always_dir.path()) / "sample1-0.bmp"));
    EXPECT_TRUE(fs::exists(fs::path(always_dir.path()) / "sample2-0-0.bmp"));

    vt::TempDir untraced_dir("images-untraced");
    DecoderState plain;
    plain.debug_dir = untraced_dir.path();
    run_passes(plain, p.pixels.data(), p.width, p.height, 8, go_on);
    EXPECT_EQ(count_files(untraced_dir.path()), 0u) << "by default only with a trace";
}
