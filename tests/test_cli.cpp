// The command-line reader as a user runs it, and the display conversion.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "command_run.h"
#include "1_base/display_text.h"

namespace fs = std::filesystem;

namespace {

using CliRun = vantor::testing::CommandRun;

CliRun run_cli(const std::string &args) {
    return vantor::testing::run_command(std::string(VANTOR_CLI) + " " + args);
}

// A plain white 24-bit BMP: readable, and holds no symbol.
fs::path white_bmp() {
    fs::path p = fs::temp_directory_path() / ("vantor-cli-white-" + std::to_string(getpid()) + ".bmp");
    const int w = 24, h = 24, row = w * 3;
    std::vector<unsigned char> b(54 + row * h, 0xFF);
    auto put32 = [&](int at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, b.size());
    put32(6, 0);
    put32(10, 54);
    put32(14, 40);
    put32(18, w);
    put32(22, h);
    put32(26, 1 | 24 << 16);
    for (int at = 30; at < 54; at += 4)
        put32(at, 0);
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<char *>(b.data()), b.size());
    return p;
}

} // namespace

TEST(Cli, UsageVersionAndHelp) {
    CliRun none = run_cli("");
    EXPECT_EQ(none.status, 64);
    EXPECT_EQ(none.err, "vantor: no file given\nTry 'vantor --help' for the options.\n");
    // A usage error: its one line and a pointer to --help, not the help.
    CliRun unknown = run_cli("--frobnicate x.bmp");
    EXPECT_EQ(unknown.status, 64);
    EXPECT_EQ(unknown.err, "vantor: unknown option --frobnicate\nTry 'vantor --help' for the options.\n");
    EXPECT_EQ(run_cli("-j 0 x.bmp").err.rfind("vantor: -j needs a number of jobs from 1 to 1024\n", 0), 0u);
    // --debug-dir: only with --log, and only into a folder that exists.
    EXPECT_EQ(run_cli("--debug-dir /tmp x.bmp").err.rfind("vantor: --debug-dir goes with --log\n", 0), 0u);
    CliRun nowhere = run_cli("--log --debug-dir /nonexistent/dir x.bmp");
    EXPECT_EQ(nowhere.status, 64);
    EXPECT_EQ(nowhere.err.rfind("vantor: --debug-dir /nonexistent/dir: no such folder\n", 0), 0u) << nowhere.err;
    EXPECT_EQ(run_cli("--debug-dir").status, 64);
    for (const char *bad : {"-j 0 x.bmp", "-j x.bmp", "--jobs=2000 x.bmp", "-0 x.bmp", "--compat --all x.bmp",
                            "--compat --explain x.bmp", "--compat --no-thorough x.bmp", "--effort", "--effort slow x.bmp",
                            "--effort= x.bmp", "--compat --effort exhaustive x.bmp"})
        EXPECT_EQ(run_cli(bad).status, 64) << bad;

    CliRun version = run_cli("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.out.find("decoder 1.2"), std::string::npos);
    CliRun help = run_cli("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--raw"), std::string::npos);
}

TEST(Cli, UnreadableAndSymbolFreeFilesSetTheExitStatus) {
    CliRun missing = run_cli("/nonexistent/none.bmp");
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "vantor: /nonexistent/none.bmp: no such file\n");
    EXPECT_EQ(missing.out, "");
    // --compat keeps the classic reader's messages.
    CliRun classic = run_cli("--compat /nonexistent/none.bmp");
    EXPECT_EQ(classic.status, 2);
    EXPECT_EQ(classic.err, "file /nonexistent/none.bmp open error.\n"
                           "unsupported format: JPEG, GIF, BMP (24-bit, 1-bit)\n");

    fs::path white = white_bmp();
    CliRun blank = run_cli(white.string());
    EXPECT_EQ(blank.status, 1);
    EXPECT_EQ(blank.err, "no QR Code found\n");

    // Every effort gives the same answer here; --explain tells what ran.
    for (const char *effort : {"--effort fast ", "--effort=default ", "--effort exhaustive "})
        EXPECT_EQ(run_cli(effort + white.string()).status, 1) << effort;
    const CliRun quick = run_cli("--explain " + white.string());
    EXPECT_NE(quick.out.find("a quick look"), std::string::npos) << quick.out;
    const CliRun full = run_cli("--explain --effort exhaustive " + white.string());
    EXPECT_NE(full.out.find("passes 0-6"), std::string::npos) << full.out;
    EXPECT_NE(full.out.find("the thorough search found no symbol either"), std::string::npos) << full.out;

    // Several files: each reported by name; an unreadable one outranks.
    CliRun both = run_cli(white.string() + " /nonexistent/none.bmp");
    EXPECT_EQ(both.status, 2);
    EXPECT_NE(both.err.find(white.string() + ": no QR Code found"), std::string::npos);
    fs::remove(white);
}

TEST(Cli, LogWritesDebugImagesIntoTheDebugDirectory) {
    fs::path white = white_bmp();
    fs::path dir = fs::temp_directory_path() / ("vantor-cli-dbg-" + std::to_string(getpid()));
    fs::create_directories(dir);
    CliRun r = run_cli("--log --debug-dir " + dir.string() + " " + white.string());
    EXPECT_EQ(r.status, 1);
    for (int pass = 0; pass < 7; ++pass)
        EXPECT_TRUE(fs::exists(dir / ("sample1-" + std::to_string(pass) + ".bmp"))) << pass;
    EXPECT_EQ(fs::file_size(dir / "sample1-0.bmp"), 62u + 24 * 4);
    fs::remove_all(dir);
    fs::remove(white);
}

TEST(DisplayText, Utf8KeptShiftJisConvertedLatin1Fallback) {
    EXPECT_EQ(vantor::text_for_display("plain ASCII"), "plain ASCII");
    EXPECT_EQ(vantor::text_for_display("caf\xC3\xA9"), "caf\xC3\xA9");
    // Shift JIS for "漢字" (0x8ABF 0x8E9A).
    EXPECT_EQ(vantor::text_for_display("\x8A\xBF\x8E\x9A"), "\xE6\xBC\xA2\xE5\xAD\x97");
    // Not UTF-8 and not Shift JIS (a lone 0x80 lead): Latin-1.
    EXPECT_EQ(vantor::text_for_display("a\x80\xFF"), "a\xC2\x80\xC3\xBF");
    // Overlong and truncated sequences are not taken for UTF-8 (these bytes
    // are half-width katakana in Shift JIS).
    EXPECT_EQ(vantor::text_for_display("\xC0\xAF"), "\xEF\xBE\x80\xEF\xBD\xAF");
    EXPECT_EQ(vantor::text_for_display("ab\xE6"), "ab\xC3\xA6");
}

// The dialog's informational options answer without a display, and a start
// without one ends with a message instead of Qt's abort.
TEST(GuiCommandLine, AnswersWithoutADisplay) {
    const fs::path gui = fs::path(VANTOR_CLI).parent_path() / "vantor-gui";
    if (!fs::exists(gui))
        GTEST_SKIP() << "the dialog is not built";
    const std::string bare = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" + gui.string() + "'";
    CliRun help = vantor::testing::run_command(bare + " --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: vantor-gui"), std::string::npos);
    CliRun version = vantor::testing::run_command(bare + " --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("vantor-gui ", 0), 0u);
    CliRun start = vantor::testing::run_command(bare + " some.bmp");
    EXPECT_EQ(start.status, 2);
    EXPECT_NE(start.err.find("no display"), std::string::npos) << start.err;
}
