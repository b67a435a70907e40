// The error lines the README and the manual page show, checked against what
// the command-line reader prints for the same files, so that the documents
// cannot drift from the program again.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <cstring>
#include <regex>
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
