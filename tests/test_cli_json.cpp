// --json and "-": every output line checked by a strict JSON parser, over
// symbols whose bytes are hostile to naive escaping, and standard input
// spooled through a temporary file that does not outlive the run.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "command_run.h"
#include "1_base/display_text.h"
#include "json_object.h"
#include "json_value.h"
#include "family_symbols.h"
#include "model1_symbols.h"
#include "qr_symbols.h"

namespace fs = std::filesystem;
namespace vt = vantor::testing;

namespace {

using vt::Json;
using vt::json_lines;
using vt::parse;

std::string json_string(std::string_view bytes) {
    std::string out;
    vantor::report::append_json_string(out, bytes);
    return out;
}

const std::string cli = VANTOR_CLI;

} // namespace

TEST(JsonOutput, EscapingAlwaysGivesValidJson) {
    struct Case {
        std::string in;
        std::string decoded; // what a JSON parser reads back
    };
    const std::vector<Case> cases = {
        {"plain", "plain"},
        {"say \"hi\"", "say \"hi\""},
        {"back\\slash\\", "back\\slash\\"},
        {"tab\tline\nfeed\rbell\x07" "esc\x1b" "del\x7f", "tab\tline\nfeed\rbell\x07" "esc\x1b" "del\x7f"},
        {std::string("nul\0mid", 7), std::string("nul\0mid", 7)},
        {"\xE6\xBC\xA2\xE5\xAD\x97", "\xE6\xBC\xA2\xE5\xAD\x97"},           // kanji in UTF-8
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},                           // beyond the BMP
        {"a\x80z", "a\xEF\xBF\xBDz"},                                       // stray continuation
        {"\xFF\xFE", "\xEF\xBF\xBD\xEF\xBF\xBD"},                           // never UTF-8
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                           // overlong '/'
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},           // surrogate
        {"cut\xE6\xBC", "cut\xEF\xBF\xBD\xEF\xBF\xBD"},                     // truncated
        {"\x8A\xBF\x8E\x9A", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}, // Shift JIS bytes
    };
    for (const Case &c : cases) {
        const std::string literal = json_string(c.in);
        auto v = parse(literal);
        ASSERT_TRUE(v) << literal;
        EXPECT_EQ(v->kind, Json::string);
        EXPECT_EQ(v->s, c.decoded) << literal;
    }

    // Every byte string, random ones included, gives a JSON string.
    std::uint32_t seed = 7;
    for (int k = 0; k < 2000; ++k) {
        std::string bytes(static_cast<std::size_t>(k % 40), '\0');
        for (char &ch : bytes)
            ch = static_cast<char>((seed = seed * 1664525u + 1013904223u) >> 24);
        ASSERT_TRUE(parse(json_string(bytes))) << vantor::report::hex_bytes(bytes);
    }

    EXPECT_EQ(vantor::report::hex_bytes(std::string("\x00\x7f\x80\xff", 4)), "007f80ff");
    vantor::report::JsonObject o;
    o.text("file", "a\"b").flag("decoded", false).list("explain", {"x", "y\n"});
    auto obj = parse(o.str());
    ASSERT_TRUE(obj);
    EXPECT_EQ(obj->get("file")->s, "a\"b");
    EXPECT_EQ(obj->get("decoded")->kind, Json::boolean);
    EXPECT_EQ(obj->get("explain")->items.size(), 2u);
}

TEST(JsonCli, SymbolsWithHostileBytes) {
    const std::string dir = vt::temp_dir("json-cli");
    struct Sample {
        std::string name;
        std::vector<vt::Segment> segments;
        std::string bytes; // what the reader can report
    };
    const std::string kanji = "\x8A\xBF\x8E\x9A"; // Shift JIS for two kanji
    const std::vector<Sample> samples = {
        {"quotes", {{vt::Mode::byte, "say \"hi\" \\ back\\slash"}}, "say \"hi\" \\ back\\slash"},
        {"control", {{vt::Mode::byte, "tab\tnl\ncr\rbel\x07" "esc\x1b"}}, "tab\tnl\ncr\rbel\x07" "esc\x1b"},
        // Zero bytes are kept (the classic decoder's text ends at the first).
        {"zero", {{vt::Mode::byte, std::string("before\0after", 12)}}, std::string("before\0after", 12)},
        {"invalid", {{vt::Mode::byte, "bad \xFF\xFE\x80 bytes"}}, "bad \xFF\xFE\x80 bytes"},
        {"kanji", {{vt::Mode::kanji, kanji}}, kanji},
        {"mixed", {{vt::Mode::numeric, "0123"}, {vt::Mode::byte, "\"q\""}, {vt::Mode::kanji, kanji}},
         "0123\"q\"" + kanji},
    };
    std::string args;
    for (const Sample &s : samples) {
        auto sym = vt::make_symbol(s.segments, 0, vt::Level::M);
        ASSERT_TRUE(sym) << s.name;
        ASSERT_TRUE(vt::write_bmp24(dir + "/" + s.name + ".bmp", vt::render(*sym)));
        args += " " + dir + "/" + s.name + ".bmp";
    }
    vt::CommandRun r = vt::run_command(cli + " --json" + args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    auto lines = json_lines(r.out);
    ASSERT_EQ(lines.size(), samples.size()) << r.out;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const Json &o = lines[i];
        const Sample &s = samples[i];
        ASSERT_EQ(o.kind, Json::object);
        EXPECT_EQ(o.get("file")->s, dir + "/" + s.name + ".bmp");
        ASSERT_TRUE(o.get("decoded") && o.get("decoded")->b) << s.name;
        EXPECT_EQ(o.get("bytes_hex")->s, vantor::report::hex_bytes(s.bytes)) << s.name;
        EXPECT_EQ(o.get("text")->s, vantor::text_for_display(s.bytes)) << s.name;
        EXPECT_EQ(o.get("error"), nullptr);
    }
    EXPECT_EQ(lines[4].get("text")->s, "\xE6\xBC\xA2\xE5\xAD\x97"); // the kanji as UTF-8

    // --compat: the classic text, up to the zero byte.
    vt::CommandRun compat = vt::run_command(cli + " --compat --json " + dir + "/zero.bmp");
    EXPECT_EQ(compat.status, 0);
    auto classic = json_lines(compat.out);
    ASSERT_EQ(classic.size(), 1u);
    EXPECT_EQ(classic[0].get("bytes_hex")->s, vantor::report::hex_bytes("before"));
    fs::remove_all(dir);
}

TEST(JsonCli, FailuresStandardInputAndExplain) {
    const std::string dir = vt::temp_dir("json-fail");
    auto sym = vt::make_symbol("from a pipe", 0, vt::Level::M, vt::Mode::byte);
    ASSERT_TRUE(sym);
    ASSERT_TRUE(vt::write_bmp24(dir + "/good.bmp", vt::render(*sym)));
    ASSERT_TRUE(vt::write_bmp24(dir + "/blank.bmp", vt::render_noise(64, 64, "blank")));
    const std::string spool = dir + "/spool";
    fs::create_directories(spool);

    // Unreadable, symbol-free and piped files, in one run.
    vt::CommandRun r = vt::run_command("TMPDIR=" + spool + " " + cli + " --json " + dir + "/missing.bmp " +
                                       dir + "/blank.bmp - < " + dir + "/good.bmp");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "");
    auto lines = json_lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_FALSE(lines[0].get("decoded")->b);
    EXPECT_EQ(lines[0].get("error")->s, "unreadable");
    EXPECT_EQ(lines[0].get("cause")->s, "no_such_file");
    EXPECT_EQ(lines[0].get("message")->s, "no such file");
    EXPECT_EQ(lines[1].get("error")->s, "no symbol");
    EXPECT_EQ(lines[1].get("reason")->s, "no eye patterns found");
    EXPECT_EQ(lines[2].get("file")->s, "-");
    EXPECT_TRUE(lines[2].get("decoded")->b);
    EXPECT_EQ(lines[2].get("text")->s, "from a pipe");
    EXPECT_TRUE(fs::is_empty(spool)) << "the spooled copy of standard input was left behind";

    // Standard input that is no image.
    vt::CommandRun bad = vt::run_command("echo not an image | TMPDIR=" + spool + " " + cli + " --json -");
    EXPECT_EQ(bad.status, 2);
    lines = json_lines(bad.out);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].get("cause")->s, "unknown_format");
    EXPECT_EQ(lines[0].get("message")->s.rfind("not an image format Vantor reads (BMP, JPEG, GIF, PNG", 0), 0u);
    EXPECT_TRUE(fs::is_empty(spool));
    // --compat keeps the classic reader's message, naming "-" and not the
    // temporary file.
    bad = vt::run_command("echo not an image | TMPDIR=" + spool + " " + cli + " --compat --json -");
    lines = json_lines(bad.out);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].get("message")->s, "file - is not BMP,JPEG.");
    EXPECT_TRUE(fs::is_empty(spool));

    // Plain output from a pipe, as `cat photo | vantor -`.
    vt::CommandRun plain = vt::run_command("cat " + dir + "/good.bmp | " + cli + " -");
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out, "from a pipe\n");

    // --explain adds its lines to the object.
    vt::CommandRun ex = vt::run_command(cli + " --json --explain " + dir + "/blank.bmp");
    EXPECT_EQ(ex.status, 1);
    lines = json_lines(ex.out);
    ASSERT_EQ(lines.size(), 1u);
    const Json *explain = lines[0].get("explain");
    ASSERT_TRUE(explain && explain->kind == Json::array && !explain->items.empty());
    EXPECT_EQ(explain->items.back().s.rfind("reason: no eye patterns", 0), 0u);

    EXPECT_EQ(vt::run_command(cli + " --json --raw " + dir + "/good.bmp").status, 64);
    fs::remove_all(dir);
}

// A Model 1 symbol: its format name and version name, read with model1 among
// the kinds and not without it, and --explain says how it was read.
TEST(JsonCli, Model1FormatNameAndExplain) {
    const std::string dir = vt::temp_dir("json-model1");
    const auto symbol = vt::make_model1("OLD LABEL 7", 7, vt::Level::Q, vt::Mode::alphanumeric, 3);
    ASSERT_TRUE(symbol);
    vt::RenderOptions o;
    o.module_px = 4;
    o.rotation_deg = 30;
    const std::string file = dir + "/model1.bmp";
    ASSERT_TRUE(vt::write_bmp24(file, vt::render(*symbol, o)));
    for (const char *formats : {"", " --formats model1", " --formats qr,model1"}) {
        const vt::CommandRun r = vt::run_command(cli + " --json --explain" + formats + " " + file);
        EXPECT_EQ(r.status, 0) << formats << ": " << r.err;
        const auto lines = json_lines(r.out);
        ASSERT_EQ(lines.size(), 1u) << r.out;
        EXPECT_EQ(lines[0].get("format")->s, "QRCodeModel1");
        EXPECT_EQ(lines[0].get("version_name")->s, "7");
        EXPECT_EQ(lines[0].get("text")->s, "OLD LABEL 7");
        const Json *explain = lines[0].get("explain");
        ASSERT_TRUE(explain && !explain->items.empty());
        EXPECT_EQ(explain->items.back().s.rfind("result: a QR Code Model 1 symbol (version 7)", 0), 0u)
            << explain->items.back().s;
    }
    EXPECT_EQ(vt::run_command(cli + " --formats qr,microqr " + file).status, 1);
    fs::remove_all(dir);
}

// --json names each symbol's kind and version; --formats chooses the kinds
// looked for, and refuses names it does not know.
TEST(JsonCli, FormatAndVersionNameOfEveryKind) {
    const std::string dir = vt::temp_dir("json-formats");
    const auto model2 = vt::make_symbol("model two", 3, vt::Level::M, vt::Mode::byte);
    const auto micro = vt::make_micro_zint("MICRO 7", 3, vt::Level::M);
    ASSERT_TRUE(model2 && micro);
    vt::RenderOptions o;
    o.module_px = 4;
    ASSERT_TRUE(vt::write_bmp24(dir + "/model2.bmp", vt::render(*model2, o)));
    ASSERT_TRUE(vt::write_bmp24(dir + "/micro.bmp", vt::render(*micro, o)));
    const std::string files = " " + dir + "/model2.bmp " + dir + "/micro.bmp";

    const vt::CommandRun all = vt::run_command(cli + " --json" + files);
    EXPECT_EQ(all.status, 0) << all.err;
    auto lines = json_lines(all.out);
    ASSERT_EQ(lines.size(), 2u) << all.out;
    EXPECT_EQ(lines[0].get("format")->s, "QRCode");
    EXPECT_EQ(lines[0].get("version_name")->s, "3");
    EXPECT_EQ(lines[0].get("version")->n, 3);
    EXPECT_EQ(lines[1].get("format")->s, "MicroQRCode");
    EXPECT_EQ(lines[1].get("version_name")->s, "M3");
    EXPECT_EQ(lines[1].get("text")->s, "MICRO 7");

    // Model 2 only: the Micro QR symbol is not looked for.
    const vt::CommandRun qr = vt::run_command(cli + " --json --formats qr" + files);
    EXPECT_EQ(qr.status, 1);
    lines = json_lines(qr.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].get("decoded")->b);
    EXPECT_FALSE(lines[1].get("decoded")->b);
    // Micro QR only: the Model 2 symbol is not read.
    const vt::CommandRun mq = vt::run_command(cli + " --json --formats=microqr,rmqr" + files);
    lines = json_lines(mq.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_FALSE(lines[0].get("decoded")->b);
    EXPECT_TRUE(lines[1].get("decoded")->b);

    for (const char *bad : {"--formats qr,,microqr", "--formats datamatrix", "--formats ''", "--formats"}) {
        const vt::CommandRun r = vt::run_command(cli + " " + bad + files);
        EXPECT_EQ(r.status, 64) << bad;
        EXPECT_NE(r.err.find("--formats"), std::string::npos) << bad << ": " << r.err;
    }
    EXPECT_EQ(vt::run_command(cli + " --compat --formats qr" + files).status, 64);
    // --explain names what it read.
    const vt::CommandRun explained = vt::run_command(cli + " --explain " + dir + "/micro.bmp");
    EXPECT_NE(explained.out.find("a Micro QR symbol (M3)"), std::string::npos) << explained.out;

    // An rMQR symbol: its format, size name and level, found only when rmqr
    // is among the formats.
    const auto rect = vt::make_rmqr_zint("RECT 11", 12, 'H');
    ASSERT_TRUE(rect);
    ASSERT_TRUE(vt::write_bmp24(dir + "/rmqr.bmp", vt::render(vt::as_symbol(*rect), o)));
    const vt::CommandRun rq = vt::run_command(cli + " --json --formats rmqr " + dir + "/rmqr.bmp");
    EXPECT_EQ(rq.status, 0) << rq.err;
    lines = json_lines(rq.out);
    ASSERT_EQ(lines.size(), 1u) << rq.out;
    EXPECT_EQ(lines[0].get("format")->s, "rMQRCode");
    EXPECT_EQ(lines[0].get("version_name")->s, "R11x43");
    EXPECT_EQ(lines[0].get("level")->s, "H");
    EXPECT_EQ(lines[0].get("text")->s, "RECT 11");
    EXPECT_EQ(vt::run_command(cli + " --formats qr,microqr " + dir + "/rmqr.bmp").status, 1);
    const vt::CommandRun explained_rect = vt::run_command(cli + " --explain " + dir + "/rmqr.bmp");
    EXPECT_NE(explained_rect.out.find("an rMQR symbol (R11x43)"), std::string::npos) << explained_rect.out;
    fs::remove_all(dir);
}
