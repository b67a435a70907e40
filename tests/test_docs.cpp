// The error lines, options and examples the README and the manual page
// show, checked against what the command-line reader does, so that the
// documents cannot drift from the program again.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <cstring>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "command_run.h"
#include "qr_symbols.h"

namespace fs = std::filesystem;
namespace vt = vantor::testing;

namespace {

std::vector<std::string> lines_of(const std::string &path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The README's lines "vantor: NAME: ..." in the code block under "### Errors",
// and the warning line it quotes in backticks after it.
struct ReadmeErrors {
    std::vector<std::string> lines;
    std::string warning;
};

ReadmeErrors readme_errors() {
    const std::vector<std::string> readme = lines_of(std::string(VANTOR_SOURCE_DIR) + "/README.md");
    ReadmeErrors out;
    std::size_t i = 0;
    while (i < readme.size() && readme[i] != "### Errors")
        ++i;
    while (i < readme.size() && readme[i] != "```")
        ++i;
    for (++i; i < readme.size() && readme[i] != "```"; ++i)
        out.lines.push_back(readme[i]);
    const std::regex quoted("`(vantor: FILE: warning: [^`]*)`");
    for (; i < readme.size() && out.warning.empty(); ++i)
        if (std::smatch m; std::regex_search(readme[i], m, quoted))
            out.warning = m[1];
    return out;
}

// The manual page's lines "vantor: ..." between .nf and .fi under
// DIAGNOSTICS, with the troff escapes for '-' undone.
std::vector<std::string> manual_lines() {
    const std::vector<std::string> page = lines_of(std::string(VANTOR_SOURCE_DIR) + "/docs/vantor.1");
    std::vector<std::string> out;
    bool in_section = false, in_block = false;
    for (std::string line : page) {
        if (line.rfind(".SH", 0) == 0)
            in_section = line == ".SH DIAGNOSTICS";
        else if (in_section && line == ".nf")
            in_block = true;
        else if (in_section && line == ".fi")
            in_block = false;
        else if (in_block && line.rfind("vantor: ", 0) == 0) {
            for (std::size_t at; (at = line.find("\\-")) != std::string::npos;)
                line.replace(at, 2, "-");
            out.push_back(line);
        }
    }
    return out;
}

// A documented line as a pattern: FILE and FOLDER stand for a name, MESSAGE
// for the reader's text.
std::regex pattern_of(const std::string &line) {
    std::string p;
    for (char c : line)
        p += std::string(std::strchr(".^$|()[]{}*+?\\/", c) && c ? "\\" : "") + c;
    for (const auto &[word, what] : {std::pair{"FILE", "[^:]+"}, {"FOLDER", "[^:]+"}, {"MESSAGE", ".+"}})
        for (std::size_t at; (at = p.find(word)) != std::string::npos;)
            p.replace(at, std::strlen(word), what);
    return std::regex(p);
}

std::string name_in(const std::string &line) {
    const std::size_t start = std::strlen("vantor: ");
    return line.substr(start, line.find(": ", start) - start);
}

} // namespace

TEST(Docs, EveryDocumentedErrorLineIsWhatTheReaderPrints) {
    const ReadmeErrors readme = readme_errors();
    const std::vector<std::string> manual = manual_lines();
    ASSERT_GE(readme.lines.size(), 5u) << "no error lines found in the README";
    ASSERT_FALSE(readme.warning.empty()) << "no warning line found in the README";
    ASSERT_GE(manual.size(), 5u) << "no error lines found in the manual page";

    vt::TempDir dir("docs");
    const std::string d = dir.path();
    // How to make each file the README names; a name without a recipe is a
    // documented case this test does not know, and fails.
    const std::map<std::string, std::function<bool(const std::string &)>> recipes = {
        {"scan.bmp", [](const std::string &) { return true; }}, // missing
        {"private.jpg",
         [](const std::string &p) {
             return vt::write_bytes(p, vt::jpeg_bytes(vt::render_noise(40, 40, "blank"))) &&
                    chmod(p.c_str(), 0) == 0;
         }},
        {"blank.png", [](const std::string &p) { return std::ofstream(p).good(); }},
        {"notes.txt", [](const std::string &p) { return bool(std::ofstream(p) << "some notes\n"); }},
        {"cut.jpg",
         [](const std::string &p) {
             const std::uint8_t no_image[] = {0xFF, 0xD8, 0xFF, 0xD9};
             return vt::write_bytes(p, no_image);
         }},
        {"photos/", [](const std::string &p) { return fs::create_directories(p + "empty"); }},
    };
    std::vector<std::string> printed;
    for (const std::string &line : readme.lines) {
        const std::string name = name_in(line);
        const auto recipe = recipes.find(name);
        ASSERT_NE(recipe, recipes.end()) << "no file made for the documented line: " << line;
        ASSERT_TRUE(recipe->second(d + "/" + name)) << name;
        // Root reads any file: permission cannot be denied to it.
        if (name == "private.jpg" && geteuid() == 0)
            continue;
        const vt::CommandRun run = vt::run_command("cd '" + d + "' && " + VANTOR_CLI + " '" + name + "'");
        EXPECT_EQ(run.err, line + "\n") << "README line differs from the output";
        EXPECT_EQ(run.status, 2) << line;
        printed.push_back(line);
    }

    // A JPEG cut short that still reads: its warning line.
    std::vector<std::uint8_t> jpeg = vt::jpeg_bytes(vt::render_noise(200, 200, "noise"));
    jpeg.resize(jpeg.size() * 2 / 3);
    ASSERT_TRUE(vt::write_bytes(d + "/short.jpg", jpeg));
    const vt::CommandRun cut = vt::run_command("cd '" + d + "' && " + VANTOR_CLI + " short.jpg");
    std::string warning = readme.warning;
    warning.replace(warning.find("FILE"), 4, "short.jpg");
    EXPECT_EQ(cut.err.substr(0, cut.err.find('\n')), warning) << cut.err;
    printed.push_back(warning);

    // The lines the manual page gives beside the errors: the hint towards
    // the exhaustive effort, a skipped picture file, a failed write.
    ASSERT_TRUE(vt::write_bmp24(d + "/noise.bmp", vt::render_noise(400, 300, "noise")));
    const vt::CommandRun hint = vt::run_command("cd '" + d + "' && " + VANTOR_CLI + " noise.bmp");
    ASSERT_GT(hint.err.size(), 1u);
    printed.push_back(hint.err.substr(hint.err.rfind('\n', hint.err.size() - 2) + 1, std::string::npos));
    printed.back().pop_back();
    fs::create_directories(d + "/album");
    ASSERT_TRUE(bool(std::ofstream(d + "/album/x.png") << "not a picture\n"));
    ASSERT_TRUE(vt::write_bmp24(d + "/album/y.bmp", vt::render_noise(40, 40, "blank")));
    const vt::CommandRun skipped = vt::run_command("cd '" + d + "' && " + VANTOR_CLI + " album");
    printed.push_back(skipped.err.substr(0, skipped.err.find('\n')));
    EXPECT_EQ(printed.back().rfind("vantor: album/x.png: skipped: ", 0), 0u) << skipped.err;
    const vt::CommandRun full = vt::run_command(std::string(VANTOR_CLI) + " '" + VANTOR_SOURCE_DIR +
                                                "/examples/hello.bmp' > /dev/full");
    EXPECT_EQ(full.status, 2);
    printed.push_back(full.err.substr(0, full.err.find('\n')));

    // Every line of the manual page stands for a line printed above, and
    // every line printed is one the manual page gives.
    for (const std::string &documented : manual) {
        const std::regex p = pattern_of(documented);
        bool seen = documented.find("permission denied") != std::string::npos && geteuid() == 0;
        for (const std::string &line : printed)
            seen = seen || std::regex_match(line, p);
        EXPECT_TRUE(seen) << "the manual page's line matches no output: " << documented;
    }
    for (const std::string &line : printed) {
        bool documented = false;
        for (const std::string &m : manual)
            documented = documented || std::regex_match(line, pattern_of(m));
        EXPECT_TRUE(documented) << "the manual page does not give: " << line;
    }
}

namespace {

// The long options a text names: "--name" and "\\-\\-name" (troff), each once.
std::set<std::string> long_options(const std::string &text) {
    std::string plain = text;
    for (std::size_t at; (at = plain.find("\\-")) != std::string::npos;)
        plain.replace(at, 2, "-");
    std::set<std::string> out;
    const std::regex option("(^|[^-\\w])(--[a-z][a-z0-9-]*)");
    for (std::sregex_iterator it(plain.begin(), plain.end(), option), end; it != end; ++it)
        out.insert((*it)[2]);
    return out;
}

std::string text_of(const std::string &path) {
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The README's command lines of the reader: code lines from "vantor " on,
// backticked spans that start with it, and the prose of the sections about
// the reader.
std::string readme_reader_text() {
    std::string out;
    bool reader_section = false, in_code = false;
    const std::regex span("`(vantor [^`]*)`");
    for (const std::string &line : lines_of(std::string(VANTOR_SOURCE_DIR) + "/README.md")) {
        if (line.rfind("## ", 0) == 0)
            reader_section = line == "## Command-line reader" || line.rfind("## Scripting", 0) == 0 ||
                             line.rfind("## Why a photo failed", 0) == 0;
        if (line.rfind("```", 0) == 0) {
            in_code = !in_code;
            continue;
        }
        if (const std::size_t at = line.find("vantor "); in_code && at != std::string::npos &&
                                                         (at == 0 || line[at - 1] == ' '))
            out += line.substr(at) + "\n";
        else if (reader_section && !in_code)
            out += line + "\n";
        for (std::sregex_iterator it(line.begin(), line.end(), span), end; it != end; ++it)
            out += (*it)[1].str() + "\n";
    }
    return out;
}

} // namespace

TEST(Docs, EveryDocumentedOptionIsOneTheReaderTakes) {
    const std::set<std::string> manual = long_options(text_of(std::string(VANTOR_SOURCE_DIR) + "/docs/vantor.1"));
    const std::set<std::string> readme = long_options(readme_reader_text());
    const vt::CommandRun help = vt::run_command(std::string(VANTOR_CLI) + " --help");
    const std::set<std::string> helped = long_options(help.out);
    ASSERT_GE(manual.size(), 12u);
    ASSERT_GE(readme.size(), 12u);
    // The help and the manual page name the same options.
    EXPECT_EQ(manual, helped);
    // Every option the README or the manual page shows is taken: none is an
    // unknown option.
    std::set<std::string> shown = manual;
    shown.insert(readme.begin(), readme.end());
    for (const std::string &option : shown) {
        const vt::CommandRun r = vt::run_command(std::string(VANTOR_CLI) + " " + option + " /nonexistent.bmp");
        EXPECT_EQ(r.err.find("unknown option"), std::string::npos) << option << " is documented but refused";
    }
}

TEST(Docs, TheReadmesExamplesAreWhatTheReaderPrints) {
    const std::vector<std::string> readme = lines_of(std::string(VANTOR_SOURCE_DIR) + "/README.md");
    // The JSON row of the bundled kanji example, byte for byte.
    std::string documented;
    for (const std::string &line : readme)
        if (line.rfind("{\"file\":\"examples/kanji.bmp\"", 0) == 0)
            documented = line;
    ASSERT_FALSE(documented.empty());
    const vt::CommandRun json =
        vt::run_command(std::string("cd '") + VANTOR_SOURCE_DIR + "' && " + VANTOR_CLI + " --json examples/kanji.bmp");
    EXPECT_EQ(json.out, documented + "\n");
    // --compat's classic messages for a missing file, as the README quotes them.
    std::string prose;
    for (const std::string &line : readme)
        prose += line + " ";
    const vt::CommandRun compat = vt::run_command(std::string(VANTOR_CLI) + " --compat NAME");
    ASSERT_EQ(compat.status, 2);
    std::istringstream lines(compat.err);
    for (std::string line; std::getline(lines, line);)
        EXPECT_NE(prose.find("`" + line + "`"), std::string::npos) << "the README does not quote: " << line;
    // --compat refuses what the README and the manual page say it refuses.
    const vt::CommandRun refused = vt::run_command(std::string(VANTOR_CLI) + " --compat --formats qr x.bmp");
    EXPECT_NE(refused.err.find("--all, --no-thorough, --formats, --effort and --explain do not apply"),
              std::string::npos) << refused.err;
    EXPECT_NE(prose.find("`--all`, `--no-thorough`, `--formats`, `--effort` and `--explain` do not apply"),
              std::string::npos);
}
