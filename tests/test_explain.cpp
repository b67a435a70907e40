// --explain: the summary built from a decode's readings and reason (pass
// lines, readings, the reason of a failure, the thorough search's part); end
// to end on images that fail for three different reasons.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "command_run.h"
#include "explain.h"
#include "qr_symbols.h"

namespace fs = std::filesystem;
using vantor::report::explain;

namespace {

vantor_reading reading(int pass, int index, vantor_stage stage, int candidates = 3) {
    vantor_reading r{};
    r.pass = pass;
    r.reading = index;
    r.stage = stage;
    r.candidates = candidates;
    r.mask = -1;
    return r;
}

// A reading that read the format of a version 2-M symbol, mask 5, with the
// given block tally.
vantor_reading formatted(int pass, int index, vantor_stage stage, int clean, int corrected, int beyond) {
    vantor_reading r = reading(pass, index, stage);
    r.version = 2;
    r.level = 'M';
    r.mask = 5;
    r.blocks = clean + corrected + beyond;
    r.blocks_clean = clean;
    r.blocks_corrected = corrected;
    r.blocks_beyond = beyond;
    return r;
}

vantor::Results failed(vantor_reason reason, std::vector<vantor_reading> readings) {
    vantor::Results r;
    r.reason = reason;
    r.readings = std::move(readings);
    return r;
}

std::string joined(const std::vector<std::string> &lines) {
    std::string s;
    for (const auto &l : lines)
        s += l + "\n";
    return s;
}

} // namespace

TEST(Explain, PassesThatSawTheSameAreToldTogether) {
    // Passes 0-2 arrange three eye patterns but cannot read a version; pass
    // 3 finds five candidates in no symbol's arrangement; passes 4-6 read the
    // version but not the format.
    std::vector<vantor_reading> rs;
    for (int p = 0; p < 3; ++p)
        for (int k = 0; k < 2; ++k)
            rs.push_back(reading(p, k, VANTOR_STAGE_ARRANGED));
    rs.push_back(reading(3, 0, VANTOR_STAGE_EYES, 5));
    for (int p = 4; p < 7; ++p) {
        vantor_reading r = reading(p, 0, VANTOR_STAGE_GRID, 4);
        r.version = 7;
        rs.push_back(r);
    }
    const auto lines = explain(failed(VANTOR_FORMAT_UNREADABLE, rs), false, VANTOR_EFFORT_EXHAUSTIVE);
    ASSERT_EQ(lines.size(), 7u) << joined(lines);
    EXPECT_EQ(lines[0], "passes 0-2 (global thresholds): 3 eye pattern candidates");
    EXPECT_EQ(lines[1], "  reading 1: version unreadable");
    EXPECT_EQ(lines[2], "  reading 2: version unreadable");
    EXPECT_EQ(lines[3], "pass 3 (local threshold): 5 eye pattern candidates; no three of them lie like "
                        "the corners of a symbol");
    EXPECT_EQ(lines[4], "passes 4-6 (local thresholds): 4 eye pattern candidates");
    EXPECT_EQ(lines[5], "  reading 1: version 7; format information unreadable");
    EXPECT_EQ(lines[6].rfind("reason: unreadable format information", 0), 0u) << lines[6];

    // Passes with a gap between them are not merged.
    const auto gap = explain(failed(VANTOR_VERSION_UNREADABLE, {reading(0, 0, VANTOR_STAGE_ARRANGED),
                                                                reading(2, 0, VANTOR_STAGE_ARRANGED)}),
                             false, VANTOR_EFFORT_EXHAUSTIVE);
    EXPECT_EQ(gap[0].rfind("pass 0 ", 0), 0u) << joined(gap);
    EXPECT_EQ(gap[2].rfind("pass 2 ", 0), 0u) << joined(gap);
}

TEST(Explain, ReadingsTellTheirFormatAndBlocks) {
    vantor_reading beyond = formatted(0, 0, VANTOR_STAGE_FORMAT, 1, 1, 2);
    vantor_reading closer = formatted(1, 0, VANTOR_STAGE_FORMAT, 2, 1, 1);
    vantor::Results searched = failed(VANTOR_TOO_MANY_ERRORS, {beyond, closer});
    searched.searched = true;
    auto lines = explain(searched, true, VANTOR_EFFORT_EXHAUSTIVE);
    EXPECT_EQ(lines[1], "  reading 1: version 2, level M, mask 5; 4 blocks: 1 clean, 1 corrected, 2 beyond repair");
    // The reason quotes the reading that came closest, and the thorough
    // search is said to have failed as well.
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "the thorough search found no symbol either");
    EXPECT_EQ(lines.back(), "reason: too many codeword errors: the format was read, but at best 1 of 4 "
                            "blocks had more errors than its error correction can repair");

    // Intact codewords whose data gives no text.
    lines = explain(failed(VANTOR_UNSUPPORTED_CONTENT, {formatted(0, 1, VANTOR_STAGE_CODEWORDS, 1, 0, 0)}), false, VANTOR_EFFORT_EXHAUSTIVE);
    EXPECT_EQ(lines[1], "  reading 2: version 2, level M, mask 5; 1 block: 1 clean; the data gives no text");
    EXPECT_NE(lines.back().find("the codewords are intact"), std::string::npos) << lines.back();
}

TEST(Explain, ResultSaysWhichReadingOrTheThoroughSearchDecoded) {
    vantor::Results ok;
    ok.readings = {formatted(0, 0, VANTOR_STAGE_FORMAT, 0, 0, 1), formatted(0, 1, VANTOR_STAGE_TEXT, 0, 1, 0)};
    vantor::Symbol s;
    s.pass = 0;
    s.reading = 1;
    ok.symbols.push_back(s);
    auto lines = explain(ok, true, VANTOR_EFFORT_EXHAUSTIVE);
    EXPECT_EQ(lines[2], "  reading 2: version 2, level M, mask 5; 1 block: 1 corrected; text");
    EXPECT_EQ(lines.back(), "result: decoded (pass 0, reading 2)");

    ok.symbols[0].pass = -1;
    EXPECT_EQ(explain(ok, true, VANTOR_EFFORT_DEFAULT).back(),
              "result: decoded by the thorough search, which ran when pass 0 gave no text; passes 1-6 did not run "
              "(--effort exhaustive runs them all)");
    for (int pass = 1; pass <= 6; ++pass)
        ok.readings.push_back(formatted(pass, 0, VANTOR_STAGE_FORMAT, 0, 0, 1));
    EXPECT_EQ(explain(ok, true, VANTOR_EFFORT_EXHAUSTIVE).back(),
              "result: decoded by the thorough search, after the classic readings gave no text");

    // Read in a shrunk copy: its pass is the copy's, not one of those listed.
    ok.symbols[0].copy_factor = 8;
    EXPECT_EQ(explain(ok, true, VANTOR_EFFORT_DEFAULT).back(),
              "result: decoded in a copy of the picture shrunk by 8 (its modules too large to read as they are), by "
              "the thorough search, after the picture as it is gave no text");
    ok.symbols[0].pass = 0;
    EXPECT_EQ(explain(ok, true, VANTOR_EFFORT_DEFAULT).back(),
              "result: decoded in a copy of the picture shrunk by 8 (its modules too large to read as they are), by "
              "pass 0, reading 2, after the picture as it is gave no text");
    ok.symbols[0].copy_factor = 1;
    EXPECT_EQ(explain(ok, true, VANTOR_EFFORT_DEFAULT).back(),
              "result: decoded in a copy of the picture with the fine grid crossing it (a screen's pixels) filled in, "
              "by pass 0, reading 2, after the picture as it is gave no text");
}

TEST(Explain, OtherKindsSayWhetherModel2WasReadBeside) {
    vantor::Results ok;
    ok.readings = {reading(0, -1, VANTOR_STAGE_NONE, 1)};
    vantor::Symbol micro;
    micro.kind = VANTOR_KIND_MICRO_QR;
    micro.version_name = "M3";
    ok.symbols.push_back(micro);
    EXPECT_EQ(explain(ok, true, VANTOR_EFFORT_DEFAULT).back(),
              "result: a Micro QR symbol (M3), read after the Model 2 readings gave no text");
    vantor::Symbol model2;
    model2.kind = VANTOR_KIND_QR;
    ok.symbols.push_back(model2);
    EXPECT_EQ(explain(ok, true, VANTOR_EFFORT_DEFAULT).back(),
              "result: a Micro QR symbol (M3), read beside the Model 2 symbols, as every symbol was asked for");
}

TEST(Explain, SaysWhatTheEffortLeftOut) {
    // The default effort stopped after pass 0: the search did not run, and
    // the explanation says why instead of claiming it found nothing.
    const vantor::Results quick = failed(VANTOR_NO_EYE_PATTERNS, {reading(0, -1, VANTOR_STAGE_NONE, 1)});
    auto lines = explain(quick, true, VANTOR_EFFORT_DEFAULT);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_NE(lines[lines.size() - 2].find("a quick look"), std::string::npos) << joined(lines);
    EXPECT_EQ(joined(lines).find("found no symbol either"), std::string::npos) << joined(lines);
    lines = explain(quick, true, VANTOR_EFFORT_FAST);
    EXPECT_NE(lines[lines.size() - 2].find("fast effort"), std::string::npos) << joined(lines);
    // Without the search asked for, nothing is said of it.
    EXPECT_EQ(explain(quick, false, VANTOR_EFFORT_DEFAULT).size(), 2u);
}

TEST(Explain, SaysNothingThatIsNotSo) {
    // Model 2 not looked for: no pass ran, which is said, and the reason
    // names the kinds that were looked for, not missing eye patterns.
    const unsigned family = (1u << VANTOR_KIND_MICRO_QR) | (1u << VANTOR_KIND_RMQR);
    auto lines = explain(failed(VANTOR_NO_EYE_PATTERNS, {}), true, VANTOR_EFFORT_DEFAULT, false, family);
    EXPECT_EQ(joined(lines), "QR Code Model 2 was not looked for, so no binarisation pass ran; only Micro QR or "
                             "rMQR symbols were\nreason: no Micro QR or rMQR symbol found\n");
    // A format read from one copy, its block beyond repair: the reason
    // does not deny the format line above it.
    lines = explain(failed(VANTOR_NO_SYMBOL, {formatted(0, 0, VANTOR_STAGE_FORMAT, 0, 0, 1)}), false,
                    VANTOR_EFFORT_EXHAUSTIVE);
    EXPECT_EQ(lines[1], "  reading 1: version 2, level M, mask 5; 1 block: 1 beyond repair");
    EXPECT_EQ(lines.back(), "reason: no symbol found: the format information was read from one copy only (the two "
                            "copies differ) and no block of codewords checked, so no reading was taken for a symbol");
    lines = explain(failed(VANTOR_NO_SYMBOL, {reading(0, 0, VANTOR_STAGE_ARRANGED)}), false, VANTOR_EFFORT_EXHAUSTIVE);
    EXPECT_NE(lines.back().find("no reading got as far as a plausible symbol"), std::string::npos);
    // A two-level picture has one binarisation: why passes 1-6 are missing.
    const vantor::Results bilevel = failed(VANTOR_EYES_NOT_A_SYMBOL, {reading(0, 0, VANTOR_STAGE_EYES, 4)});
    lines = explain(bilevel, true, VANTOR_EFFORT_EXHAUSTIVE, false, VANTOR_KINDS_ALL, true);
    EXPECT_NE(joined(lines).find("passes 1-6 did not run: the picture is two-level"), std::string::npos)
        << joined(lines);
    EXPECT_EQ(joined(explain(bilevel, true, VANTOR_EFFORT_EXHAUSTIVE)).find("two-level"), std::string::npos);
    vantor::Results searched = bilevel;
    searched.reason = VANTOR_OK;
    searched.symbols.emplace_back().pass = -1;
    EXPECT_EQ(explain(searched, true, VANTOR_EFFORT_DEFAULT, false, VANTOR_KINDS_ALL, true).back(),
              "result: decoded by the thorough search, after the classic readings gave no text");
}

TEST(Explain, EveryReasonGetsAReasonLine) {
    // Nothing located: no pass line, only the reason.
    auto blank = explain(failed(VANTOR_NO_EYE_PATTERNS, {}), false, VANTOR_EFFORT_EXHAUSTIVE);
    ASSERT_EQ(blank.size(), 1u);
    EXPECT_EQ(blank[0].rfind("reason: no eye patterns: no pass found any", 0), 0u) << blank[0];
    auto few = explain(failed(VANTOR_NO_EYE_PATTERNS, {reading(4, 0, VANTOR_STAGE_NONE, 2)}), false, VANTOR_EFFORT_EXHAUSTIVE);
    EXPECT_EQ(few[0], "pass 4 (local threshold): 2 eye pattern candidates, three needed");
    EXPECT_NE(few.back().find("at most 2 eye patterns were found"), std::string::npos) << few.back();

    for (vantor_reason reason :
         {VANTOR_EYES_NOT_A_SYMBOL, VANTOR_VERSION_UNREADABLE, VANTOR_GRID_FAILED, VANTOR_FORMAT_UNREADABLE,
          VANTOR_TOO_MANY_ERRORS, VANTOR_UNSUPPORTED_CONTENT, VANTOR_BAD_DATA, VANTOR_INVALID_ARGUMENT,
          VANTOR_OUT_OF_MEMORY}) {
        const auto lines = explain(failed(reason, {}), true, VANTOR_EFFORT_EXHAUSTIVE);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().rfind("reason: ", 0), 0u) << reason;
        EXPECT_GT(lines.back().size(), 20u) << reason;
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

    // The classic readings alone: the thorough search may still read these.
    vt::CommandRun b = run("--explain --no-thorough " + dir + "/format.bmp");
    EXPECT_EQ(b.status, 1);
    // Without its format information the symbol is not told from noise:
    // the readings say how far they got, the reason names no stage.
    EXPECT_NE(b.out.find("format information unreadable"), std::string::npos) << b.out;
    EXPECT_NE(b.out.find("reason: no symbol found"), std::string::npos) << b.out;

    vt::CommandRun c = run("--explain --no-thorough " + dir + "/errors.bmp");
    EXPECT_EQ(c.status, 1);
    EXPECT_NE(c.out.find("reason: too many codeword errors"), std::string::npos) << c.out;

    vt::CommandRun good = run("--explain " + dir + "/good.bmp");
    EXPECT_EQ(good.status, 0);
    EXPECT_EQ(good.out.rfind("codeword errors\n", 0), 0u) << good.out;
    EXPECT_NE(good.out.find("result: decoded"), std::string::npos) << good.out;
    EXPECT_NE(good.out.find("reading 1: version 1, level L, mask "), std::string::npos) << good.out;

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
