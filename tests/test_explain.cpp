// --explain: the trace log read back into passes and readings, the block
// layout recovered from the codeword dumps, and the reason given for a
// failure; end to end on images that fail for three different reasons.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "command_run.h"
#include "explain.h"
#include "qr_symbols.h"

namespace fs = std::filesystem;
using vantor::cli::analyse_blocks;
using vantor::cli::explain;
using vantor::cli::failure_stage;
using vantor::cli::parse_trace;
using vantor::cli::Stage;

namespace {

// GF(256) over x^8 + x^4 + x^3 + x^2 + 1, for making valid Reed-Solomon
// blocks to feed the analysis.
struct Gf {
    std::array<std::uint8_t, 512> exp{};
    std::array<int, 256> log{};
    Gf() {
        int v = 1;
        for (int i = 0; i < 255; ++i) {
            exp[i] = exp[i + 255] = static_cast<std::uint8_t>(v);
            log[v] = i;
            v <<= 1;
            if (v & 0x100)
                v ^= 0x11D;
        }
    }
    std::uint8_t mul(std::uint8_t a, std::uint8_t b) const {
        return a && b ? exp[log[a] + log[b]] : 0;
    }
    // data followed by its ec error correction codewords.
    std::vector<std::uint8_t> encode(std::vector<std::uint8_t> data, int ec) const {
        std::vector<std::uint8_t> gen{1};
        for (int i = 0; i < ec; ++i) {
            std::vector<std::uint8_t> next(gen.size() + 1, 0);
            for (std::size_t j = 0; j < gen.size(); ++j) {
                next[j] ^= gen[j];
                next[j + 1] ^= mul(gen[j], exp[i]);
            }
            gen = next;
        }
        std::vector<std::uint8_t> rem(data);
        rem.resize(data.size() + ec, 0);
        for (std::size_t i = 0; i < data.size(); ++i) {
            const std::uint8_t f = rem[i];
            for (std::size_t j = 0; j < gen.size(); ++j)
                rem[i + j] ^= mul(gen[j], f);
        }
        data.insert(data.end(), rem.end() - ec, rem.end());
        return data;
    }
};

// The two dumps of one reading, as the decoder writes them.
struct Dumps {
    std::vector<std::uint8_t> raw;
    std::vector<std::uint8_t> corrected;
};

// Blocks of the given data lengths, all with ec error correction codewords;
// errors[b] codewords of block b are damaged, and the blocks listed in
// repaired are put right in the corrected dump, as a successful correction
// does.
Dumps make_dumps(const std::vector<int> &data_lengths, int ec, const std::vector<int> &errors,
                 const std::vector<bool> &repaired) {
    static const Gf gf;
    const int n = static_cast<int>(data_lengths.size());
    std::vector<std::vector<std::uint8_t>> good, bad;
    std::uint32_t seed = 12345;
    for (int b = 0; b < n; ++b) {
        std::vector<std::uint8_t> data(static_cast<std::size_t>(data_lengths[b]));
        for (auto &d : data)
            d = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
        good.push_back(gf.encode(data, ec));
        bad.push_back(good.back());
        for (int e = 0; e < errors[b]; ++e)
            bad.back()[static_cast<std::size_t>(e * 3 % bad.back().size())] ^= 0x5A;
    }
    Dumps d;
    const int longest = *std::max_element(data_lengths.begin(), data_lengths.end());
    for (int j = 0; j < longest; ++j)
        for (int b = 0; b < n; ++b)
            if (j < data_lengths[b])
                d.raw.push_back(bad[b][j]);
    for (int e = 0; e < ec; ++e)
        for (int b = 0; b < n; ++b)
            d.raw.push_back(bad[b][data_lengths[b] + e]);
    for (int b = 0; b < n; ++b) {
        const auto &src = repaired[b] ? good[b] : bad[b];
        d.corrected.insert(d.corrected.end(), src.begin(), src.begin() + data_lengths[b]);
    }
    for (int b = 0; b < n; ++b)
        d.corrected.insert(d.corrected.end(), bad[b].begin() + data_lengths[b], bad[b].end());
    return d;
}

std::string dump_line(const std::vector<std::uint8_t> &bytes) {
    std::string s;
    char buf[8];
    for (std::uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "0x%02x ", b);
        s += buf;
    }
    return s + "\n";
}

constexpr const char *picked_eyes =
    "cross 4 \n"
    "*Cross 0 (20.500000,20.500000)-(28.000000,28.000000) 0\n"
    "*Cross 1 (104.500000,20.500000)-(28.000000,28.000000) 0\n"
    "*Cross 2 (20.500000,104.500000)-(28.000000,28.000000) 0\n";

std::string joined(const std::vector<std::string> &lines) {
    std::string s;
    for (const auto &l : lines)
        s += l + "\n";
    return s;
}

} // namespace

TEST(ExplainBlocks, LayoutAndRepairReadBackFromTheDumps) {
    // Version 5-Q: two blocks of 15 data codewords, two of 16, 18 error
    // correction codewords each. Block 1 was corrected, block 3 could not be.
    Dumps d = make_dumps({15, 15, 16, 16}, 18, {0, 3, 0, 12}, {true, true, true, false});
    ASSERT_EQ(d.raw.size(), 134u);
    auto r = analyse_blocks(d.raw, d.corrected);
    ASSERT_TRUE(r.known);
    EXPECT_EQ(r.blocks, 4);
    EXPECT_EQ(r.clean, 2);
    EXPECT_EQ(r.corrected, 1);
    EXPECT_EQ(r.beyond, 1);

    // One block (version 1-M): 16 data and 10 error correction codewords.
    Dumps one = make_dumps({16}, 10, {9}, {false});
    r = analyse_blocks(one.raw, one.corrected);
    ASSERT_TRUE(r.known);
    EXPECT_EQ(r.blocks, 1);
    EXPECT_EQ(r.beyond, 1);
    Dumps fixed = make_dumps({16}, 10, {2}, {true});
    r = analyse_blocks(fixed.raw, fixed.corrected);
    EXPECT_EQ(r.blocks, 1);
    EXPECT_EQ(r.corrected, 1);
    EXPECT_EQ(r.beyond, 0);

    // Dumps that do not belong together are not analysed.
    EXPECT_FALSE(analyse_blocks(d.raw, one.corrected).known);
    EXPECT_FALSE(analyse_blocks({}, {}).known);
}

TEST(ExplainTrace, NoEyePatternsOnAnyPass) {
    std::string log;
    for (int pass = 0; pass < 7; ++pass)
        log += "cross " + std::to_string(pass == 4 ? 3 : 0) + " \nonly " +
               std::to_string(pass == 4 ? 2 : 0) + " eye pattern found.\n";
    auto trace = parse_trace(log);
    ASSERT_EQ(trace.passes.size(), 7u);
    EXPECT_EQ(trace.passes[4].only_found, 2);
    EXPECT_EQ(failure_stage(trace), Stage::no_eye_patterns);
    auto lines = explain(trace, false);
    // Passes that saw the same are told together.
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "passes 0-3 (global and local thresholds): 0 eye pattern candidates, three needed");
    EXPECT_EQ(lines[1], "pass 4 (local threshold): 2 eye pattern candidates, three needed");
    EXPECT_EQ(lines[2], "passes 5-6 (local thresholds): 0 eye pattern candidates, three needed");
    EXPECT_NE(lines.back().find("reason: no eye patterns: at most 2 eye patterns"), std::string::npos)
        << lines.back();

    auto blank = parse_trace("cross 0 \nonly 0 eye pattern found.\n");
    EXPECT_NE(explain(blank, false).back().find("no pass found any"), std::string::npos);
}

TEST(ExplainTrace, OrientationVersionAndGridFailures) {
    // Three candidates whose orientation is undecided: no reading follows.
    auto unoriented = parse_trace(picked_eyes);
    EXPECT_EQ(unoriented.passes[0].picked, 3);
    EXPECT_EQ(failure_stage(unoriented), Stage::orientation);

    // Version information that matches no version, then eye patterns too
    // close together: the version stage.
    auto version = parse_trace(std::string(picked_eyes) +
                               "x_unit(4.000000, 0.000000)\ny_unit(0.000000, 4.000000)\n"
                               "version info bit 0x3ffff\nversion info bit 0x00000\nversion -1\n"
                               "x_unit(4.000000, 0.000000)\ny_unit(0.000000, 4.000000)\nversion 0\n");
    ASSERT_EQ(version.passes[0].readings.size(), 2u);
    EXPECT_EQ(version.passes[0].readings[0].version_info.size(), 2u);
    EXPECT_EQ(failure_stage(version), Stage::version);
    auto lines = explain(version, false);
    EXPECT_NE(joined(lines).find("version information unreadable"), std::string::npos);
    EXPECT_NE(joined(lines).find("too close"), std::string::npos);

    // A version but no sampled grid.
    auto grid = parse_trace(std::string(picked_eyes) + "x_unit(4.0, 0.0)\ny_unit(0.0, 4.0)\nversion 2\n");
    EXPECT_EQ(failure_stage(grid), Stage::grid);
}

TEST(ExplainTrace, UnreadableFormatAndTooManyCodewordErrors) {
    const std::string reading = "x_unit(4.0, 0.0)\ny_unit(0.0, 4.0)\nversion 1\n";
    Dumps broken = make_dumps({16}, 10, {9}, {false});

    // No format line, and the codewords read with a stale level do not check
    // out: the format is what failed.
    auto format = parse_trace(std::string(picked_eyes) + reading + dump_line(broken.raw) +
                              dump_line(broken.corrected));
    EXPECT_EQ(failure_stage(format), Stage::format);
    EXPECT_NE(explain(format, false).back().find("reason: unreadable format information"),
              std::string::npos);

    // The format read (one bit corrected), and the block beyond repair.
    auto codewords = parse_trace(std::string(picked_eyes) + reading +
                                 "BCH reverse 12 bit\nError Correction Level 0, mask pattern 5\n" +
                                 dump_line(broken.raw) + dump_line(broken.corrected));
    const auto &r = codewords.passes[0].readings[0];
    EXPECT_EQ(r.ecc_level, 0);
    EXPECT_EQ(r.mask, 5);
    EXPECT_EQ(r.format_bits_fixed, std::vector<int>{12});
    EXPECT_EQ(r.raw.size(), 26u);
    EXPECT_EQ(failure_stage(codewords), Stage::codewords);
    auto lines = explain(codewords, false);
    EXPECT_NE(lines[1].find("format level M, mask 5 (1 bit corrected)"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find("1 beyond repair"), std::string::npos) << lines[1];
    EXPECT_EQ(lines.back(), "reason: too many codeword errors: the format was read, but at best 1 of 1 "
                            "block had more errors than its error correction can repair");

    // The furthest stage of all readings decides: a later pass that reads
    // the format outranks an earlier one that did not.
    auto both = parse_trace(std::string(picked_eyes) + reading + dump_line(broken.raw) +
                            dump_line(broken.corrected) + picked_eyes + reading +
                            "Error Correction Level 1, mask pattern 2\n" + dump_line(broken.raw) +
                            dump_line(broken.corrected));
    EXPECT_EQ(both.passes.size(), 2u);
    EXPECT_EQ(failure_stage(both), Stage::codewords);
}

TEST(ExplainTrace, CorrectedBlocksAndIntactData) {
    const std::string reading = "x_unit(4.0, 0.0)\ny_unit(0.0, 4.0)\nversion 1\n"
                                "Error Correction Level 1, mask pattern 0\n";
    Dumps fixed = make_dumps({19}, 7, {2}, {true});
    auto trace = parse_trace(std::string(picked_eyes) + reading + dump_line(fixed.raw) +
                             "error at 25 val 90\nerror at 22 val 90\ntotal 2 errors\n" +
                             dump_line(fixed.corrected));
    const auto &r = trace.passes[0].readings[0];
    EXPECT_EQ(r.block_errors, std::vector<int>{2});
    EXPECT_EQ(r.blocks.corrected, 1);
    auto lines = explain(trace, true);
    EXPECT_NE(lines[1].find("1 corrected (2 errors)"), std::string::npos) << lines[1];
    EXPECT_EQ(lines.back(), "result: decoded");

    // Several corrected blocks: the errors of each.
    Dumps two = make_dumps({15, 15, 16, 16}, 18, {3, 0, 1, 0}, {true, true, true, true});
    auto multi = parse_trace(std::string(picked_eyes) + "x_unit(4.0, 0.0)\ny_unit(0.0, 4.0)\nversion 5\n"
                             "Error Correction Level 3, mask pattern 1\n" + dump_line(two.raw) +
                             "total 3 errors\ntotal 1 errors\n" + dump_line(two.corrected));
    lines = explain(multi, true);
    EXPECT_NE(lines[1].find("format level Q, mask 1; 134 codewords in 4 blocks: 2 clean, 2 corrected (3 + 1 errors)"),
              std::string::npos)
        << lines[1];

    // Intact codewords whose data opens with an ECI header give no text.
    std::vector<std::uint8_t> data(19, 0xEC);
    data[0] = 0x70;
    const auto eci = Gf().encode(data, 7);
    auto t = parse_trace(std::string(picked_eyes) + reading + dump_line(eci) + dump_line(eci));
    EXPECT_EQ(failure_stage(t), Stage::data);
    EXPECT_NE(explain(t, false).back().find("uses ECI"), std::string::npos);
}

TEST(ExplainTrace, AnyLogIsSummarisedWithoutHarm) {
    // Trace lines in any order, with odd numbers and dumps of any length,
    // truncated lines included: the parser must cope (run under the
    // sanitizers too).
    const char *vocabulary[] = {"cross %d \n", "only %d eye pattern found.\n", "**Cross %d (1,2)-(3,4) -1\n",
                                "x_unit(%d, 0)\n", "version info bit 0x%x\n", "version bit different %d bits.\n",
                                "version %d\n", "grid(%d, 1)\n", "BCH reverse %d bit\n",
                                "Error Correction Level %d, mask pattern 9\n", "total %d errors\n",
                                "malloc() failed.\n", "0x%x 0xzz 0x100 \n"};
    std::uint32_t seed = 99;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    for (int round = 0; round < 300; ++round) {
        std::string log;
        const int lines = static_cast<int>(next() % 40);
        for (int i = 0; i < lines; ++i) {
            const int pick = static_cast<int>(next() % 14);
            if (pick == 13) {
                std::vector<std::uint8_t> bytes(next() % 300);
                for (auto &v : bytes)
                    v = static_cast<std::uint8_t>(next() >> 16);
                log += dump_line(bytes);
                continue;
            }
            char buf[128];
            std::snprintf(buf, sizeof buf, vocabulary[pick], static_cast<int>(next() % 200) - 100);
            log += buf;
        }
        log.resize(log.size() - std::min<std::size_t>(log.size(), next() % 5));
        const auto trace = parse_trace(log);
        const auto summary = explain(trace, next() % 2 == 0);
        EXPECT_FALSE(summary.empty());
    }
}

// ---- end to end ----------------------------------------------------------

namespace {

namespace vt = vantor::testing;

vt::CommandRun run(const std::string &args) {
    return vt::run_command(std::string(VANTOR_CLI) + " " + args);
}

constexpr int format_mask = 0x5412;

// Remainder of a bit polynomial divided by another.
int poly_mod(int value, int divisor) {
    const int degree = 31 - __builtin_clz(static_cast<unsigned>(divisor));
    for (int bit = 30; bit >= degree; --bit)
        if (value & (1 << bit))
            value ^= divisor << (bit - degree);
    return value;
}

// A 15-bit word, as the symbol carries it, that no format decoding accepts:
// at least 4 bits away from every BCH(15,5) code word, and not passed as
// error-free either (which happens when x^4 + x + 1 divides the unmasked
// word).
int unreadable_format_word() {
    for (int w = 0; w < 1 << 15; ++w) {
        const int unmasked = w ^ format_mask;
        if (poly_mod(unmasked, 0x13) == 0)
            continue;
        bool far = true;
        for (int data = 0; data < 32 && far; ++data) {
            const int code = (data << 10) | poly_mod(data << 10, 0x537);
            far = __builtin_popcount(static_cast<unsigned>(unmasked ^ code)) >= 4;
        }
        if (far)
            return w;
    }
    return -1;
}

// Writes a 15-bit word into both format copies of the symbol.
void set_format(vt::Symbol &s, int word) {
    const int n = s.size;
    const int first[15][2] = {{8, 0}, {8, 1}, {8, 2}, {8, 3}, {8, 4}, {8, 5}, {8, 7}, {8, 8},
                              {7, 8}, {5, 8}, {4, 8}, {3, 8}, {2, 8}, {1, 8}, {0, 8}};
    for (int i = 0; i < 15; ++i) {
        const bool bit = (word >> (14 - i)) & 1;
        s.modules[static_cast<std::size_t>(first[i][0] * n + first[i][1])] = bit;
        const int row = i < 7 ? n - 1 - i : 8;
        const int col = i < 7 ? 8 : n - 15 + i;
        s.modules[static_cast<std::size_t>(row * n + col)] = bit;
    }
}

} // namespace

TEST(ExplainCli, SaysWhyEachOfThreeImagesFails) {
    const std::string dir = vt::temp_dir("explain-cli");

    // (a) no symbol at all.
    ASSERT_TRUE(vt::write_bmp24(dir + "/blank.bmp", vt::render_noise(160, 120, "blank")));

    // (b) both format copies replaced by a word at least 4 bits away from
    // every format code word, which no correction can reach.
    // Level Q and mask 3, unlike the level and mask the decoder starts with,
    // so that a reading with those cannot succeed by chance.
    auto sym = vt::make_symbol("format test", 2, vt::Level::Q, vt::Mode::byte, 3);
    ASSERT_TRUE(sym);
    const int far_word = unreadable_format_word();
    ASSERT_GE(far_word, 0);
    vt::Symbol no_format = *sym;
    set_format(no_format, far_word);
    ASSERT_TRUE(vt::write_bmp24(dir + "/format.bmp", vt::render(no_format)));

    // (c) a version 1-L symbol (two errors per block at most) with a band of
    // its data area inverted: far more codeword errors than that.
    auto small = vt::make_symbol("codeword errors", 1, vt::Level::L, vt::Mode::byte);
    ASSERT_TRUE(small);
    vt::Symbol damaged = *small;
    for (int row = 9; row < 21; ++row)
        for (int col = 13; col < 21; ++col)
            damaged.modules[static_cast<std::size_t>(row * damaged.size + col)] ^= 1;
    ASSERT_TRUE(vt::write_bmp24(dir + "/errors.bmp", vt::render(damaged)));

    // The undamaged symbol decodes, and the explanation says so.
    ASSERT_TRUE(vt::write_bmp24(dir + "/good.bmp", vt::render(*small)));

    vt::CommandRun a = run("--explain " + dir + "/blank.bmp");
    EXPECT_EQ(a.status, 1);
    EXPECT_NE(a.out.find("reason: no eye patterns"), std::string::npos) << a.out;

    vt::CommandRun b = run("--explain " + dir + "/format.bmp");
    EXPECT_EQ(b.status, 1);
    EXPECT_NE(b.out.find("reason: unreadable format information"), std::string::npos) << b.out;

    vt::CommandRun c = run("--explain " + dir + "/errors.bmp");
    EXPECT_EQ(c.status, 1);
    EXPECT_NE(c.out.find("reason: too many codeword errors"), std::string::npos) << c.out;

    vt::CommandRun good = run("--explain " + dir + "/good.bmp");
    EXPECT_EQ(good.status, 0);
    EXPECT_EQ(good.out.rfind("codeword errors\n", 0), 0u) << good.out;
    EXPECT_NE(good.out.find("result: decoded"), std::string::npos) << good.out;
    EXPECT_NE(good.out.find("version 1 from the eye pattern distance"), std::string::npos) << good.out;

    // --explain writes no debug image into the current directory.
    const fs::path here = fs::current_path();
    const fs::path work = fs::path(dir) / "cwd";
    fs::create_directories(work);
    fs::current_path(work);
    vt::CommandRun quiet = run("--explain ../blank.bmp");
    fs::current_path(here);
    EXPECT_EQ(quiet.status, 1);
    EXPECT_TRUE(fs::is_empty(work));
    fs::remove_all(dir);
}
