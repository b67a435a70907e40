// The installed tree as a user gets it: `cmake --install` into a temporary
// prefix, then a C program (pkg-config, shared and static) and a C++ program
// (find_package, both targets) built against it and run on an image; and
// the Debian packages made by cpack, their contents and dependencies, and an
// install into a scratch root that leaves the system as it is.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "command_run.h"
#include "qr_symbols.h"

namespace fs = std::filesystem;
namespace vt = vantor::testing;

namespace {

const fs::path build_dir = fs::path(VANTOR_CLI).parent_path();
const fs::path source_dir = VANTOR_SOURCE_DIR;

// Standard error joined to standard output, as a user sees them.
vt::CommandRun sh(const std::string &command) { return vt::run_command("(" + command + ") 2>&1"); }

std::string q(const fs::path &p) { return "'" + p.string() + "'"; }

std::string read_file(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const fs::path &p, const std::string &text) { std::ofstream(p, std::ios::binary) << text; }

// Tests that build, install or package from the build tree take turns.
class BuildTreeLock {
public:
    BuildTreeLock() {
        fd_ = open((build_dir / ".install-test.lock").c_str(), O_CREAT | O_RDWR, 0644);
        if (fd_ >= 0)
            flock(fd_, LOCK_EX);
    }
    ~BuildTreeLock() {
        if (fd_ >= 0)
            close(fd_);
    }
    BuildTreeLock(const BuildTreeLock &) = delete;
    BuildTreeLock &operator=(const BuildTreeLock &) = delete;

private:
    int fd_ = -1;
};

bool cache_has(const std::string &entry) {
    return read_file(build_dir / "CMakeCache.txt").find(entry) != std::string::npos;
}

// A sanitised library needs its runtime in every program that links it.
std::string sanitizer_flags() {
    return cache_has("VANTOR_SANITIZE:BOOL=ON") ? " -fsanitize=address,undefined" : "";
}

bool gui_built() { return fs::exists(build_dir / "vantor-gui"); }

// Everything the install rules name must exist first.
void build_all() {
    vt::CommandRun b = sh("cmake --build " + q(build_dir) + " -j2");
    ASSERT_EQ(b.status, 0) << b.out;
}

fs::path find_file(const fs::path &root, const std::string &name) {
    for (const auto &e : fs::recursive_directory_iterator(root))
        if (e.path().filename() == name)
            return e.path();
    return {};
}

// Width and height from a PNG file's header chunk.
std::pair<int, int> png_size(const fs::path &p) {
    const std::string b = read_file(p);
    if (b.size() < 24 || b.compare(1, 3, "PNG") != 0 || b.compare(12, 4, "IHDR") != 0)
        return {0, 0};
    auto be32 = [&](std::size_t at) {
        return (static_cast<unsigned char>(b[at]) << 24) | (static_cast<unsigned char>(b[at + 1]) << 16) |
               (static_cast<unsigned char>(b[at + 2]) << 8) | static_cast<unsigned char>(b[at + 3]);
    };
    return {be32(16), be32(20)};
}

constexpr const char *c_consumer = R"(#include <stdio.h>
#include <vantor/vantor.h>

int main(int argc, char **argv) {
    if (argc != 2)
        return 64;
    vantor_read_error error;
    vantor_image *image = vantor_image_read(argv[1], &error);
    if (!image) {
        fputs(error.message, stderr);
        return 2;
    }
    vantor_results *results = vantor_decode(image, NULL);
    vantor_image_free(image);
    if (!results)
        return 3;
    const vantor_symbol *symbol = vantor_results_symbol(results, 0);
    if (symbol)
        printf("%s\n", symbol->text);
    else
        fprintf(stderr, "%s\n", vantor_reason_text(vantor_results_reason(results)));
    const int found = symbol != NULL;
    vantor_results_free(results);
    return found ? 0 : 1;
}
)";

constexpr const char *c_project = R"(cmake_minimum_required(VERSION 3.20)
project(c_consumer C)
find_package(Vantor 1.0 REQUIRED)
add_executable(c_cmake_shared reader.c)
target_link_libraries(c_cmake_shared PRIVATE Vantor::vantor)
add_executable(c_cmake_static reader.c)
target_link_libraries(c_cmake_static PRIVATE Vantor::vantor_static)
)";

constexpr const char *cpp_consumer = R"(#include <iostream>
#include <string>

#include <vantor/vantor.hpp>

int main(int argc, char **argv) {
    if (argc != 2)
        return 64;
    try {
        const vantor::Results results = vantor::decode(vantor::Image::read(argv[1]));
        if (!results)
            return 1;
        std::cout << results.symbols[0].text << " (decoder " << vantor_version() << ")\n";
        return 0;
    } catch (const vantor::ReadError &e) {
        std::cerr << e.reader_message();
        return 2;
    }
}
)";

constexpr const char *cpp_project = R"(cmake_minimum_required(VERSION 3.20)
project(consumer CXX)
set(CMAKE_CXX_STANDARD 20)
find_package(Vantor 1.0 REQUIRED)
add_executable(reader_shared main.cpp)
target_link_libraries(reader_shared PRIVATE Vantor::vantor)
add_executable(reader_static main.cpp)
target_link_libraries(reader_static PRIVATE Vantor::vantor_static)
)";

} // namespace

TEST(Install, ConsumersBuildAgainstTheInstalledTree) {
    BuildTreeLock lock;
    build_all();
    const fs::path tmp = vt::temp_dir("install");
    const fs::path prefix = tmp / "prefix";
    vt::CommandRun inst = sh("cmake --install " + q(build_dir) + " --prefix " + q(prefix));
    ASSERT_EQ(inst.status, 0) << inst.out;

    // Library, headers, programs, package files, manual page.
    const fs::path pc = find_file(prefix, "vantor.pc");
    ASSERT_FALSE(pc.empty()) << inst.out;
    const fs::path libdir = pc.parent_path().parent_path();
    EXPECT_TRUE(fs::exists(libdir / "libvantor.a"));
    EXPECT_TRUE(fs::exists(libdir / "libvantor.so.1"));
    EXPECT_TRUE(fs::is_symlink(libdir / "libvantor.so"));
    EXPECT_TRUE(fs::exists(prefix / "include/vantor/vantor.h"));
    EXPECT_TRUE(fs::exists(prefix / "include/vantor/image.h"));
    EXPECT_TRUE(fs::exists(prefix / "include/vantor/vantor.hpp"));
    EXPECT_TRUE(fs::exists(libdir / "cmake/Vantor/VantorConfig.cmake"));
    EXPECT_TRUE(fs::exists(prefix / "share/man/man1/vantor.1.gz"));
    vt::CommandRun version = sh(q(prefix / "bin/vantor") + " --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "vantor 1.0.0 (decoder 1.2)\n");

    // Only the public C API is exported by the shared library.
    vt::CommandRun symbols = sh("nm -D --defined-only " + q(libdir / "libvantor.so.1") + " | awk '{print $3}' | sort");
    std::istringstream exported(symbols.out);
    std::string classic, name;
    int api_functions = 0;
    while (std::getline(exported, name)) {
        if (name.rfind("vantor_", 0) == 0)
            ++api_functions;
        else
            classic += name + "\n";
    }
    EXPECT_EQ(classic, "decode_image\ndecoder_version\ngray_image\nread_image\nread_message\nrelease_image\n");
    EXPECT_GE(api_functions, 30);

    if (gui_built()) {
        EXPECT_TRUE(fs::exists(prefix / "bin/vantor-gui"));
        EXPECT_TRUE(fs::exists(prefix / "share/man/man1/vantor-gui.1.gz"));
        const std::string desktop = read_file(prefix / "share/applications/vantor-gui.desktop");
        EXPECT_NE(desktop.find("MimeType=image/jpeg;image/gif;image/bmp;"), std::string::npos);
        EXPECT_NE(desktop.find("Icon=vantor-gui"), std::string::npos);
        for (int size : {16, 24, 32, 48, 64, 128, 256}) {
            const std::string dim = std::to_string(size);
            const auto [w, h] = png_size(prefix / ("share/icons/hicolor/" + dim + "x" + dim + "/apps/vantor-gui.png"));
            EXPECT_EQ(w, size);
            EXPECT_EQ(h, size);
        }
    }

    // The image the consumers read: a fresh symbol, and the bundled example.
    const fs::path image = tmp / "installed.bmp";
    auto sym = vt::make_symbol("installed tree", 0, vt::Level::M, vt::Mode::byte);
    ASSERT_TRUE(sym);
    ASSERT_TRUE(vt::write_bmp24(image.string(), vt::render(*sym)));
    const fs::path example = source_dir / "examples/hello.bmp";

    // C through pkg-config: the shared library, then the static one with
    // the private libraries it needs.
    write_file(tmp / "reader.c", c_consumer);
    const std::string env = "PKG_CONFIG_PATH=" + q(pc.parent_path()) + " ";
    const std::string flags = sanitizer_flags();
    vt::CommandRun c_shared = sh("cc -Wall -Wextra -Werror" + flags + " " + q(tmp / "reader.c") + " -o " +
                                 q(tmp / "c_shared") + " $(" + env + "pkg-config --cflags --libs vantor) -Wl,-rpath," +
                                 q(libdir));
    ASSERT_EQ(c_shared.status, 0) << c_shared.out;
    vt::CommandRun libs = sh(env + "pkg-config --static --libs vantor");
    ASSERT_EQ(libs.status, 0) << libs.out;
    EXPECT_NE(libs.out.find("-ljpeg"), std::string::npos);
    EXPECT_NE(libs.out.find("-lgif"), std::string::npos);
    std::string static_libs = libs.out;
    static_libs.replace(static_libs.find("-lvantor"), 8, "-l:libvantor.a");
    vt::CommandRun c_static = sh("cc -Wall -Wextra -Werror" + flags + " " + q(tmp / "reader.c") + " -o " +
                                 q(tmp / "c_static") + " $(" + env + "pkg-config --cflags vantor) " + static_libs);
    ASSERT_EQ(c_static.status, 0) << c_static.out;
    EXPECT_NE(sh("ldd " + q(tmp / "c_shared")).out.find("libvantor.so.1"), std::string::npos);
    EXPECT_EQ(sh("ldd " + q(tmp / "c_static")).out.find("libvantor"), std::string::npos);

    // C++ through find_package: Vantor::vantor and Vantor::vantor_static.
    fs::create_directories(tmp / "cpp");
    write_file(tmp / "cpp/main.cpp", cpp_consumer);
    write_file(tmp / "cpp/CMakeLists.txt", cpp_project);
    vt::CommandRun configure = sh("cmake -S " + q(tmp / "cpp") + " -B " + q(tmp / "cpp/build") +
                                  " -DCMAKE_PREFIX_PATH=" + q(prefix) + " -DCMAKE_CXX_FLAGS='-Wall" + flags +
                                  "' -DCMAKE_EXE_LINKER_FLAGS='" + flags + "'");
    ASSERT_EQ(configure.status, 0) << configure.out;
    vt::CommandRun build = sh("cmake --build " + q(tmp / "cpp/build"));
    ASSERT_EQ(build.status, 0) << build.out;

    // C through find_package, in a project that enables only C: the static
    // target brings the C++ runtime and libm with it.
    fs::create_directories(tmp / "c");
    write_file(tmp / "c/reader.c", c_consumer);
    write_file(tmp / "c/CMakeLists.txt", c_project);
    vt::CommandRun c_configure = sh("cmake -S " + q(tmp / "c") + " -B " + q(tmp / "c/build") +
                                    " -DCMAKE_PREFIX_PATH=" + q(prefix) + " -DCMAKE_C_FLAGS='-Wall" + flags +
                                    "' -DCMAKE_EXE_LINKER_FLAGS='" + flags + "'");
    ASSERT_EQ(c_configure.status, 0) << c_configure.out;
    vt::CommandRun c_build = sh("cmake --build " + q(tmp / "c/build"));
    ASSERT_EQ(c_build.status, 0) << c_build.out;
    fs::copy_file(tmp / "c/build/c_cmake_shared", tmp / "c_cmake_shared");
    fs::copy_file(tmp / "c/build/c_cmake_static", tmp / "c_cmake_static");

    for (const char *program : {"c_shared", "c_static", "c_cmake_shared", "c_cmake_static"}) {
        vt::CommandRun run = sh(q(tmp / program) + " " + q(image));
        EXPECT_EQ(run.status, 0) << program << ": " << run.out;
        EXPECT_EQ(run.out, "installed tree\n") << program;
        if (fs::exists(example)) {
            vt::CommandRun hello = sh(q(tmp / program) + " " + q(example));
            EXPECT_EQ(hello.out, "Hello, Vantor!\n") << program;
        }
        vt::CommandRun missing = sh(q(tmp / program) + " " + q(tmp / "none.bmp"));
        EXPECT_EQ(missing.status, 2);
        EXPECT_EQ(missing.out, "file " + (tmp / "none.bmp").string() + " open error.\n");
    }
    for (const char *program : {"reader_shared", "reader_static"}) {
        vt::CommandRun run = sh(q(tmp / "cpp/build" / program) + " " + q(image));
        EXPECT_EQ(run.status, 0) << program << ": " << run.out;
        EXPECT_EQ(run.out, "installed tree (decoder 1.2)\n") << program;
    }
    EXPECT_NE(sh("ldd " + q(tmp / "cpp/build/reader_shared")).out.find(libdir.string() + "/libvantor.so.1"),
              std::string::npos);
    fs::remove_all(tmp);
}

TEST(Install, DebianPackages) {
    BuildTreeLock lock;
    build_all();
    const fs::path tmp = vt::temp_dir("deb");
    vt::CommandRun pack = sh("cd " + q(tmp) + " && cpack -G DEB --config " + q(build_dir / "CPackConfig.cmake") +
                             " -B " + q(tmp / "out"));
    ASSERT_EQ(pack.status, 0) << pack.out;
    std::vector<std::string> names{"vantor", "libvantor1", "libvantor-dev"};
    if (gui_built())
        names.push_back("vantor-gui");
    std::map<std::string, fs::path> deb;
    std::map<std::string, std::string> depends, files;
    for (const std::string &name : names) {
        deb[name] = tmp / ("out/" + name + "_1.0.0_amd64.deb");
        ASSERT_TRUE(fs::exists(deb[name])) << name << ": " << pack.out;
        depends[name] = sh("dpkg-deb -f " + q(deb[name]) + " Depends").out;
        files[name] = sh("dpkg-deb -c " + q(deb[name])).out;
        // Every package has its copyright file.
        EXPECT_NE(files[name].find("./usr/share/doc/" + name + "/copyright\n"), std::string::npos) << files[name];
    }
    auto holds = [&](const std::string &name, const std::string &part) {
        return files[name].find(part) != std::string::npos;
    };

    // The command-line reader alone: the library is linked in, no Qt.
    for (const char *lib : {"libc6", "libjpeg62-turbo", "libgif7", "libstdc++6"})
        EXPECT_NE(depends["vantor"].find(lib), std::string::npos) << lib << " missing from: " << depends["vantor"];
    EXPECT_EQ(depends["vantor"].find("qt6"), std::string::npos) << depends["vantor"];
#ifdef VANTOR_WITH_VIDEO
    // FFmpeg's libraries, loaded only for a video, are named all the same.
    for (const char *lib : {"libavformat", "libavcodec", "libswscale", "libavutil"})
        EXPECT_NE(depends["vantor"].find(lib), std::string::npos) << lib << " missing from: " << depends["vantor"];
#endif
    EXPECT_EQ(depends["vantor"].find("libvantor1"), std::string::npos) << depends["vantor"];
    EXPECT_TRUE(holds("vantor", "./usr/bin/vantor\n"));
    EXPECT_TRUE(holds("vantor", "./usr/share/man/man1/vantor.1.gz\n")) << files["vantor"];
    for (const char *elsewhere : {"vantor-gui", "libvantor.so", "include/"})
        EXPECT_FALSE(holds("vantor", elsewhere)) << elsewhere;
    EXPECT_TRUE(holds("libvantor1", "libvantor.so.1.0.0"));
    EXPECT_FALSE(holds("libvantor1", "/bin/"));
    EXPECT_NE(depends["libvantor-dev"].find("libvantor1 (= 1.0.0)"), std::string::npos) << depends["libvantor-dev"];
    EXPECT_NE(depends["libvantor-dev"].find("libgif-dev"), std::string::npos);
    for (const char *part : {"./usr/include/vantor/vantor.h", "libvantor.a", "pkgconfig/vantor.pc",
                             "cmake/Vantor/VantorConfig.cmake"})
        EXPECT_TRUE(holds("libvantor-dev", part)) << part;
    if (gui_built()) {
        EXPECT_NE(depends["vantor-gui"].find("libqt6widgets6"), std::string::npos) << depends["vantor-gui"];
        // A face with the dialog's Japanese glyphs.
        EXPECT_NE(depends["vantor-gui"].find("fonts-ipafont-gothic | fonts-noto-cjk"), std::string::npos)
            << depends["vantor-gui"];
        for (const char *part : {"./usr/bin/vantor-gui\n", "./usr/share/man/man1/vantor-gui.1.gz\n",
                                 "./usr/share/applications/vantor-gui.desktop",
                                 "./usr/share/icons/hicolor/48x48/apps/vantor-gui.png"})
            EXPECT_TRUE(holds("vantor-gui", part)) << part;
    }

    // Installed with dpkg into a scratch root (its own package database, the
    // dependencies left to the system's): the files land, the manual pages
    // are whole gzip files, and the reader runs from there.
    const fs::path root = tmp / "root";
    fs::create_directories(root / "var/lib/dpkg/info");
    fs::create_directories(root / "var/lib/dpkg/updates");
    std::ofstream(root / "var/lib/dpkg/status").close();
    std::string all_debs;
    for (const std::string &name : names)
        all_debs += " " + q(deb[name]);
    // The library's maintainer scripts run ldconfig; outside a chroot that
    // would be the system's, so a stand-in that does nothing comes first.
    const fs::path stand_in = tmp / "bin";
    fs::create_directories(stand_in);
    std::ofstream(stand_in / "ldconfig") << "#!/bin/sh\ntouch " + q(tmp / "ldconfig-ran") + "\n";
    fs::permissions(stand_in / "ldconfig", fs::perms::owner_all);
    vt::CommandRun install = sh("PATH=" + q(stand_in) + ":\"$PATH\" dpkg --root=" + q(root) +
                                " --force-not-root --force-depends --force-script-chrootless"
                                " --log=/dev/null --no-triggers -i" + all_debs);
    ASSERT_EQ(install.status, 0) << install.out;
    EXPECT_TRUE(fs::exists(tmp / "ldconfig-ran")) << "the library's scripts ran the system's ldconfig";
    const std::string listed = sh("dpkg-query --admindir=" + q(root / "var/lib/dpkg") + " -W -f='${Package}\\n'").out;
    for (const std::string &name : names)
        EXPECT_NE(listed.find(name + "\n"), std::string::npos) << listed;
    vt::CommandRun man = sh("gzip -dc " + q(root / "usr/share/man/man1/vantor.1.gz") + " | head -1");
    EXPECT_EQ(man.out.rfind(".TH VANTOR 1 ", 0), 0u) << man.out;
    vt::CommandRun version = sh(q(root / "usr/bin/vantor") + " --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "vantor 1.0.0 (decoder 1.2)\n");
    if (gui_built()) {
        vt::CommandRun gui_version = sh(q(root / "usr/bin/vantor-gui") + " --version");
        EXPECT_EQ(gui_version.out, "vantor-gui 1.0.0 (decoder 1.2)\n");
        // Every library the dialog needs resolves.
        vt::CommandRun ldd = sh("ldd " + q(root / "usr/bin/vantor-gui"));
        EXPECT_EQ(ldd.status, 0);
        EXPECT_EQ(ldd.out.find("not found"), std::string::npos) << ldd.out;
    }
    // The dependencies resolve on this system: apt only simulates.
    vt::CommandRun simulate = sh("apt-get -s -o Debug::NoLocking=1 install" + all_debs);
    EXPECT_EQ(simulate.status, 0) << simulate.out;
    fs::remove_all(tmp);
}
