// Generated symbols written as image files and read back through read_image
// and decode_image: the text must be exactly the symbol's bytes whenever the
// decoder's rules locate the symbol; where they do not (an eye-like data
// structure outscoring a true eye, a version estimate thrown off by a turn,
// an alignment search taking a data structure), a replay of the decode entry
// must show it, and the result must be no text, never a wrong one. Also
// damaged symbols, the trace log of one small symbol checked by hand, and the
// command line's --raw output.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <vantor/image.h>
#include <vantor/vantor.h>

#include "end_to_end_cases.h"
#include "reading_support.h"

namespace fs = std::filesystem;
using namespace e2e;

namespace {

#ifdef __SANITIZE_ADDRESS__
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        dir = vt::temp_dir("end_to_end");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override {
        release_image();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // Reads and decodes the file: the decoded text, or none. The image stays
    // in gray_image for a replay until the next call.
    std::optional<std::string> decode_file(const std::string &path) {
        release_image();
        if (!read_image(path.c_str())) {
            ADD_FAILURE() << "unreadable: " << path << ": " << read_message;
            return std::nullopt;
        }
        const char *text = decode_image(gray_image.pixels, gray_image.width, gray_image.height,
                                        gray_image.depth, nullptr);
        if (!text)
            return std::nullopt;
        return text;
    }

    Replay replay_last(const vt::Symbol &symbol, const std::vector<std::uint8_t> &expected,
                       const vt::RenderOptions &o) {
        return replay(gray_image.pixels, gray_image.width, gray_image.height, gray_image.depth,
                      symbol, expected, o);
    }

    static std::string readings(const Replay &r) {
        std::ostringstream s;
        for (const Reading &x : r.readings)
            s << "\n  pass " << x.pass << " try " << x.j << ": " << name(x.outcome) << " (version "
              << x.version << ", own eyes " << x.own_eyes << ", wrong modules " << x.wrong_modules
              << (x.version_off_rule ? ", version NOT by the rules" : "") << ", alignment searches off the rules " << x.alignment_off_rule
              << ", modules off the rules " << x.off_rule << ")";
        return s.str();
    }

    // The decode of a symbol that gave no text: no reading may have sampled
    // the symbol's matrix or given text, and every stage the replay checks by
    // its rules must have followed them.
    void expect_located_badly(const Replay &r, const std::string &where) {
        EXPECT_NE(r.best(), Outcome::match) << where << ": a reading sampled the matrix" << readings(r);
        EXPECT_FALSE(r.any_text()) << where << readings(r);
        for (const Reading &x : r.readings) {
            EXPECT_FALSE(x.version_off_rule) << where << readings(r);
            EXPECT_EQ(x.alignment_off_rule, 0) << where << readings(r);
            EXPECT_EQ(x.off_rule, 0) << where << readings(r);
        }
    }

    std::string dir;
};

struct Look {
    double module_px;
    double rotation;
    double skew_x;
};

vt::RenderOptions options(const Look &look) {
    vt::RenderOptions o;
    o.module_px = look.module_px;
    o.rotation_deg = look.rotation;
    o.skew_x = look.skew_x;
    return o;
}

std::string where(const vt::Symbol &s, Content content, const vt::RenderOptions &o, const char *file) {
    std::ostringstream w;
    w << "version " << s.version << "-" << name(s.level) << " " << name(content) << ", "
      << o.module_px << " px, " << o.rotation_deg << " deg, skew " << o.skew_x << ", " << file;
    return w.str();
}

} // namespace

// Versions across 1..40 (including the count-width steps at 9/10 and
// 26/27), every level and content, upright or nearly so, from 24-bit and
// 1-bit BMP files. Versions 1 to 6 (no version information, one alignment
// pattern) always decode; larger ones decode or, where the rules locate
// something else, give no text.
TEST_F(EndToEnd, UprightSymbolsFromBmpFilesGiveExactlyTheirBytes) {
    const std::vector<int> versions =
        sanitized ? std::vector<int>{1, 2, 4, 6, 7, 10, 14, 27}
                  : std::vector<int>{1, 2, 3, 4, 5, 6, 7, 9, 10, 13, 17, 22, 26, 27, 31, 36, 40};
    constexpr Look looks[] = {{4, 0, 0}, {3, 90, 0}, {5, 180, 0}, {3.5, 270, 0}, {6, 3, 0}, {4.5, -4, 0}};
    std::mt19937 rng(11);
    int files = 0, decoded = 0;
    for (std::size_t vi = 0; vi < versions.size(); ++vi) {
        for (std::size_t li = 0; li < 4; ++li) {
            const int v = versions[vi];
            const Content content = all_contents[(vi + li) % 5];
            auto symbol = make_case(v, all_levels[li], content, 0.5 + 0.5 * (rng() % 100) / 100.0, rng);
            ASSERT_TRUE(symbol) << v;
            ASSERT_EQ(symbol->version, v);
            Look look = looks[(vi * 4 + li) % 6];
            if (v > 20)
                look.module_px = std::min(look.module_px, 4.0); // keeps the pictures small
            const vt::RenderOptions o = options(look);
            const vt::Picture picture = vt::render(*symbol, o);
            for (const char *file : {"24-bit", "1-bit"}) {
                const std::string path = dir + "/symbol.bmp";
                ASSERT_TRUE(file[0] == '2' ? vt::write_bmp24(path, picture) : vt::write_bmp1(path, picture));
                const std::optional<std::string> text = decode_file(path);
                const std::string at = where(*symbol, content, o, file);
                ++files;
                if (text == symbol->text) {
                    ++decoded;
                    continue;
                }
                ASSERT_FALSE(text) << "wrong text: " << at;
                const Replay r = replay_last(*symbol, symbol->modules, o);
                EXPECT_GT(v, 6) << "no text: " << at << readings(r);
                expect_located_badly(r, at);
            }
        }
    }
    // The rules lose a symbol now and then in the larger versions; most
    // still come through.
    EXPECT_GE(decoded * 10, files * 8) << decoded << " of " << files;
    RecordProperty("decoded", decoded);
    RecordProperty("files", files);
}

// Turns between the axes, the smallest module size and skew: the rules lose
// more symbols here, but a symbol never gives a wrong text, and where it
// gives none the replay shows why.
TEST_F(EndToEnd, TurnedAndSkewedSymbolsGiveTheirBytesOrNoText) {
    const std::vector<int> versions = sanitized ? std::vector<int>{2, 8, 15} : std::vector<int>{2, 3, 8, 12, 15, 21, 33};
    constexpr Look looks[] = {{3.5, 33, 0.03}, {4.5, 123, 0}, {2.5, 180, 0}, {5, 45, 0}, {3, 315, 0.02}, {4, 17, -0.03}};
    std::mt19937 rng(12);
    int files = 0, decoded = 0;
    for (std::size_t vi = 0; vi < versions.size(); ++vi) {
        for (std::size_t k = 0; k < 2; ++k) {
            const std::size_t li = (vi + 2 * k) % 4;
            const Content content = all_contents[(vi + k) % 5];
            auto symbol = make_case(versions[vi], all_levels[li], content, 0.7, rng);
            ASSERT_TRUE(symbol);
            const vt::RenderOptions o = options(looks[(vi * 2 + k) % 6]);
            const vt::Picture picture = vt::render(*symbol, o);
            for (const char *file : {"24-bit", "1-bit"}) {
                const std::string path = dir + "/turned.bmp";
                ASSERT_TRUE(file[0] == '2' ? vt::write_bmp24(path, picture) : vt::write_bmp1(path, picture));
                const std::optional<std::string> text = decode_file(path);
                const std::string at = where(*symbol, content, o, file);
                ++files;
                if (text == symbol->text) {
                    ++decoded;
                    continue;
                }
                ASSERT_FALSE(text) << "wrong text: " << at;
                expect_located_badly(replay_last(*symbol, symbol->modules, o), at);
            }
        }
    }
    EXPECT_GE(decoded * 2, files) << decoded << " of " << files;
    RecordProperty("decoded", decoded);
    RecordProperty("files", files);
}

// A few symbols through the JPEG and GIF readers.
TEST_F(EndToEnd, JpegAndGifFilesGiveExactlyTheirBytes) {
    std::mt19937 rng(13);
    struct Pick {
        int version;
        vt::Level level;
        Content content;
        Look look;
    };
    constexpr Pick picks[] = {{1, vt::Level::H, Content::byte, {4, 0, 0}},
                              {5, vt::Level::M, Content::kanji, {5, 90, 0}},
                              {8, vt::Level::Q, Content::mixed, {4, 2, 0}},
                              {16, vt::Level::L, Content::alphanumeric, {3, 180, 0}}};
    for (const Pick &p : picks) {
        auto symbol = make_case(p.version, p.level, p.content, 0.8, rng);
        ASSERT_TRUE(symbol);
        const vt::RenderOptions o = options(p.look);
        const vt::Picture picture = vt::render(*symbol, o);
        const std::string jpeg = dir + "/symbol.jpg", gif = dir + "/symbol.gif";
        ASSERT_TRUE(vt::write_jpeg(jpeg, picture, 90));
        vt::GifOptions interlaced;
        interlaced.interlaced = true;
        ASSERT_TRUE(vt::write_gif(gif, picture, interlaced));
        EXPECT_EQ(decode_file(jpeg), symbol->text) << where(*symbol, p.content, o, "JPEG");
        EXPECT_EQ(decode_file(gif), symbol->text) << where(*symbol, p.content, o, "GIF");
    }
}

// Data modules flipped at random: within every block's capacity the symbol
// decodes; beyond it the result is the right text or none, never a wrong
// one. (The sweep tool runs more than a thousand such trials.)
TEST_F(EndToEnd, DamagedSymbolsDecodeWithinCapacityAndNeverGiveAWrongText) {
    constexpr int versions[] = {1, 2, 3, 4, 5, 6, 7};
    constexpr Look looks[] = {{4, 0, 0}, {3, 90, 0}, {5, 180, 0}, {3.5, 3, 0}};
    const int trials = sanitized ? 40 : 160;
    std::mt19937 rng(77);
    int within = 0, within_decoded = 0, beyond = 0, beyond_right = 0, beyond_none = 0;
    for (int trial = 0; trial < trials; ++trial) {
        const int v = versions[rng() % 7];
        const vt::Level level = all_levels[rng() % 4];
        const Content content = all_contents[rng() % 5];
        auto symbol = make_case(v, level, content, 0.8, rng);
        ASSERT_TRUE(symbol);
        const Layout layout = layout_for(v, level);
        int capacity = 0;
        for (int b = 0; b < layout.blocks(); ++b)
            capacity += layout.capacity[b < layout.data_blocks[0] ? 0 : 1];
        const int flips = 1 + static_cast<int>(rng() % static_cast<unsigned>(2 * capacity + 2));
        const Damage d = damage(*symbol, layout, flips, rng);
        const vt::RenderOptions o = options(looks[rng() % 4]);
        const bool one_bit = rng() % 2;
        const vt::Picture picture = vt::render(d.symbol, o);
        const std::string path = dir + "/damaged.bmp";
        ASSERT_TRUE(one_bit ? vt::write_bmp1(path, picture) : vt::write_bmp24(path, picture));
        const std::optional<std::string> text = decode_file(path);
        const std::string at = "trial " + std::to_string(trial) + ", " + std::to_string(flips) +
                               " flips, " + where(*symbol, content, o, one_bit ? "1-bit" : "24-bit");
        ASSERT_TRUE(!text || *text == symbol->text) << "wrong text: " << at;
        if (d.within) {
            ++within;
            within_decoded += text.has_value();
            if (!text)
                expect_located_badly(replay_last(*symbol, d.symbol.modules, o), at);
        } else {
            ++beyond;
            beyond_right += text.has_value();
            beyond_none += !text;
        }
    }
    // Both sides of the capacity are exercised, and damage to the data
    // area seldom misleads the eye pattern search.
    EXPECT_GE(within, trials / 4);
    EXPECT_GE(beyond_none, trials / 4);
    EXPECT_GE(within_decoded * 20, within * 19) << within_decoded << " of " << within;
    RecordProperty("within", within);
    RecordProperty("beyond", beyond);
    RecordProperty("beyond_right", beyond_right);
}

// The block layout these tests count errors with is the one the decoder
// reads: same blocks, same capacities (read off the encoder's matrix).
TEST_F(EndToEnd, DamageLayoutIsTheDecodersBlockLayout) {
    vantor::DecoderState state;
    std::mt19937 rng(5);
    for (int v : {1, 2, 5, 7, 14, 21, 36, 40}) {
        for (vt::Level level : all_levels) {
            auto symbol = make_case(v, level, Content::byte, 0.5, rng);
            ASSERT_TRUE(symbol);
            const Layout l = layout_for(v, level);
            const std::size_t count = symbol->modules.size();
            state.version = v;
            state.matrix_width = state.matrix_height = symbol->size;
            ASSERT_TRUE(state.module_matrix.allocate(count));
            ASSERT_TRUE(state.function_map.allocate_zeroed((count + 7) / 8));
            for (std::size_t i = 0; i < count; ++i)
                state.module_matrix[i] = symbol->modules[i] ? 64 : 0;
            vantor::read_format_info(state, state);
            vantor::unmask(state);
            vantor::reorder_codewords(state, state, &state);
            const char *text = vantor::decode_data(state, state.version, state);
            EXPECT_TRUE(text && symbol->text == text) << v << name(level);
            const vantor::BlockGroup *g = state.block_groups;
            EXPECT_EQ(g[0].block_count, l.data_blocks[0]) << v << name(level);
            EXPECT_EQ(g[0].data_codewords, l.data_words[0]) << v << name(level);
            EXPECT_EQ(g[0].block_codewords - g[0].data_codewords, l.check_words) << v << name(level);
            EXPECT_EQ(g[0].correctable, l.capacity[0]) << v << name(level);
            EXPECT_EQ(g[1].block_count, l.data_blocks[1]) << v << name(level);
            if (l.data_blocks[1]) {
                EXPECT_EQ(g[1].data_codewords, l.data_words[1]) << v << name(level);
                EXPECT_EQ(g[1].correctable, l.capacity[1]) << v << name(level);
            }
            // Every codeword is carried by eight modules.
            std::vector<int> modules(l.block_of.size(), 0);
            for (int c : l.codeword_of)
                if (c >= 0)
                    ++modules[static_cast<std::size_t>(c)];
            EXPECT_EQ(std::count(modules.begin(), modules.end(), 8), static_cast<long>(modules.size())) << v;
            EXPECT_EQ(static_cast<int>(modules.size()), state.codeword_count) << v;
            vantor::release_codewords(state);
            state.module_matrix.reset();
            state.function_map.reset();
        }
    }
}

// The trace of one small symbol, every value worked out by hand. Version 2
// (25 modules), 4 px a module, quiet zone 4 modules, upright: the eye
// patterns' 3x3 centre blocks cover pixels 24..35 (corner) and 96..107, so
// their centres are 29.5 and 101.5 (floor of the mean pixel index, plus
// 0.5), their row and column hits 28 px long. The eyes are 72 px apart:
// ceil(72 / ((28 + 28) / 14)) = 18 modules, version (18 - 10) / 4 = 2, one
// module 4 px. The alignment pattern at module (18, 18) is predicted at
// 29.5 + 15 x 4 = 89.5; its dark centre runs over pixels 88..91, centre 90.
// Level M with mask 5; the data "01234567" in numeric mode.
TEST_F(EndToEnd, TraceLogOfASmallSymbolHasEveryStageInOrderWithHandCheckedValues) {
    const auto symbol = vt::make_symbol("01234567", 2, vt::Level::M, vt::Mode::numeric, 5);
    ASSERT_TRUE(symbol);
    vt::RenderOptions o;
    o.module_px = 4;
    const vt::Picture picture = vt::render(*symbol, o);
    ASSERT_EQ(picture.width, (25 + 8) * 4);
    const std::string path = dir + "/trace.bmp";
    ASSERT_TRUE(vt::write_bmp24(path, picture));
    ASSERT_TRUE(read_image(path.c_str()));

    // Data: mode 0001, count 8 in 10 bits, 012 345 67 as 10, 10 and 7 bits,
    // terminator, then the pad codewords 0xEC 0x11 to 28 data codewords;
    // then 16 check codewords.
    std::vector<std::uint8_t> data = {0x10, 0x20, 0x0C, 0x56, 0x61, 0x80};
    while (data.size() < 28)
        data.push_back(data.size() % 2 ? 0x11 : 0xEC);
    const std::vector<std::uint8_t> block = reading_test::rs_encode(data, 16);
    std::string dump;
    char hex[8];
    for (std::uint8_t c : block) {
        std::snprintf(hex, sizeof hex, "0x%02x ", c);
        dump += hex;
    }

    // The error-free symbol leaves rs_below_capacity as it was: at 0 the
    // decode goes through every reading; at -1 it returns after the first.
    const fs::path previous = fs::current_path();
    fs::current_path(dir); // the debug images go into the current directory
    std::string log, short_log;
    const char *text, *short_text;
    {
        reading_test::LogCapture capture(vantor::classic_entry().state);
        vantor::classic_entry().rs_below_capacity = -1;
        short_text = decode_image(gray_image.pixels, gray_image.width, gray_image.height,
                                  gray_image.depth, vantor::classic_entry().state.trace_file);
        short_log = capture.text();
    }
    {
        reading_test::LogCapture capture(vantor::classic_entry().state);
        vantor::classic_entry().rs_below_capacity = 0;
        text = decode_image(gray_image.pixels, gray_image.width, gray_image.height, gray_image.depth,
                            vantor::classic_entry().state.trace_file);
        log = capture.text();
    }
    fs::current_path(previous);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), "01234567");
    ASSERT_NE(short_text, nullptr);
    EXPECT_EQ(std::string(short_text), "01234567");
    // Seven passes of two readings each, the same on this clean picture.
    std::size_t readings = 0;
    for (std::size_t at = 0; (at = log.find("Error Correction Level 0, mask pattern 5\n", at)) != std::string::npos; ++at)
        ++readings;
    EXPECT_EQ(readings, 14u);
    EXPECT_EQ(log.compare(0, short_log.size(), short_log), 0) << "the short log is the first reading";

    // The first reading (pass 0, try 0), line by line.
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    std::size_t i = 0;
    auto next = [&]() { return i < lines.size() ? lines[i++] : std::string("(end of log)"); };
    std::string line = next();
    int labels = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "cross %d ", &labels), 1) << line;
    EXPECT_EQ(line, "cross " + std::to_string(labels) + " ");
    EXPECT_GE(labels, 3);
    // One "Cross" line per candidate; the three picked ones starred, each at
    // a true eye centre with 28 px hits.
    std::vector<std::string> starred;
    for (line = next(); line.find("Cross ") != std::string::npos; line = next()) {
        if (line.rfind("*", 0) == 0) {
            EXPECT_EQ(line.rfind("*Cross ", 0), 0u) << "one star per pick: " << line;
            starred.push_back(line.substr(line.find('(')));
        }
    }
    ASSERT_EQ(starred.size(), 3u) << log;
    for (const char *eye : {"(29.500000,29.500000)-(28.000000,28.000000) ",
                            "(101.500000,29.500000)-(28.000000,28.000000) ",
                            "(29.500000,101.500000)-(28.000000,28.000000) "}) {
        bool seen = false;
        for (const std::string &s : starred)
            seen = seen || s.rfind(eye, 0) == 0;
        EXPECT_TRUE(seen) << eye << "\n" << log;
    }
    EXPECT_EQ(line, "x_unit(4.000000, 0.000000)");
    EXPECT_EQ(next(), "y_unit(0.000000, 4.000000)");
    EXPECT_EQ(next(), "version 2");
    EXPECT_EQ(next(), "grid(90.000000, 90.000000)");
    // Level M is 00 in the format information.
    EXPECT_EQ(next(), "Error Correction Level 0, mask pattern 5");
    // One block: the codewords as read and as corrected are the same.
    EXPECT_EQ(next(), dump);
    EXPECT_EQ(next(), dump);
    // Try 1 measures the eyes by their centre blocks: 12 x 12 px, diagonal
    // 12 sqrt(2), times 7 / (3 sqrt(2)): again 28 px.
    EXPECT_EQ(next(), "x_unit(4.000000, 0.000000)");
    EXPECT_EQ(next(), "y_unit(0.000000, 4.000000)");
    EXPECT_EQ(next(), "version 2");
    EXPECT_EQ(next(), "grid(90.000000, 90.000000)");
    EXPECT_EQ(log.find("error at"), std::string::npos);
    EXPECT_EQ(log.find("BCH reverse"), std::string::npos);
    // The early return: the short log ends with the first reading's dumps.
    EXPECT_EQ(short_log.size(), log.find("x_unit", log.find("x_unit") + 1)) << short_log;

    // The debug images of that reading: the sampled matrix is the symbol's;
    // the marked work bitmap shows the sampled pixel of module (0, 0) at
    // 29.5 - 3 x 4 = 17.5, pixel 17, inverted (dark read: white), and its
    // unsampled neighbour as it was.
    ASSERT_TRUE(read_image((dir + "/sample2-0-0.bmp").c_str()));
    ASSERT_EQ(gray_image.width, 25);
    ASSERT_EQ(gray_image.height, 25);
    for (int r = 0; r < 25; ++r)
        for (int c = 0; c < 25; ++c)
            ASSERT_EQ(gray_image.pixels[r * 25 + c] == 0, symbol->dark(c, r)) << c << "," << r;
    ASSERT_TRUE(read_image((dir + "/sample3-0-0.bmp").c_str()));
    ASSERT_EQ(gray_image.width, picture.width);
    EXPECT_EQ(gray_image.pixels[17 * gray_image.width + 17], 255);
    EXPECT_EQ(gray_image.pixels[18 * gray_image.width + 18], 0);
    EXPECT_TRUE(fs::exists(dir + "/sample1-0.bmp"));
}

// The command line's --raw writes the symbol's bytes exactly: bytes that
// are not UTF-8, and kanji as Shift JIS pairs.
TEST_F(EndToEnd, RawOutputIsExactlyTheSymbolsBytes) {
    std::mt19937 rng(21);
    std::vector<std::pair<vt::Symbol, std::string>> cases;
    auto bytes = vt::make_symbol("\xff\xfe\x80 raw \xc3\x28 \x01\x7f\xa0", 0, vt::Level::Q, vt::Mode::byte);
    ASSERT_TRUE(bytes);
    cases.push_back({*bytes, "bytes"});
    for (Content content : {Content::kanji, Content::mixed, Content::byte}) {
        auto s = make_case(content == Content::byte ? 12 : 4, vt::Level::M, content, 0.9, rng);
        ASSERT_TRUE(s);
        cases.push_back({*s, name(content)});
    }
    for (const auto &[symbol, what] : cases) {
        const std::string path = dir + "/raw.bmp";
        ASSERT_TRUE(vt::write_bmp24(path, vt::render(symbol)));
        const std::string cmd = std::string(VANTOR_CLI) + " --raw " + path;
        std::FILE *p = popen(cmd.c_str(), "r");
        ASSERT_NE(p, nullptr);
        std::string out;
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
            out.append(buf, n);
        const int status = pclose(p);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << what;
        EXPECT_EQ(out, symbol.text) << what;
    }
}
