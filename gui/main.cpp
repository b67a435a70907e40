// vantor-gui: an always-on-top dialog that shows the text of the QR Code
// symbol in a dropped image file, or in the file named on the command line.
#include <QApplication>
#include <QFontDatabase>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <vantor/vantor.h>

#include "decode_file.h"
#include "decoder_app.h"

CDecoderApp theApp;

namespace {

constexpr int exit_no_display = 2;

void print_usage() {
    std::fputs("usage: vantor-gui [Qt options] [FILE]\n"
               "Opens an always-on-top dialog that shows the text of the QR Code\n"
               "symbol in a dropped image file, or in FILE.\n"
               "\n"
               "  --version  print the version and exit\n"
               "  --help     print this help and exit\n",
               stdout);
}

// Whether a Qt platform can be had: an X or Wayland display, or a platform
// chosen by environment or option (offscreen, vnc, ...). Without one Qt
// aborts, so the program says so and exits instead.
bool display_available(int argc, char **argv) {
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char *value = std::getenv(name);
        if (value && *value)
            return true;
    }
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strncmp(argv[i], "-platform=", 10) == 0)
            return true;
    return false;
}

// The dialog's texts are Japanese: without a face that holds its glyphs they
// show as empty boxes, so the program says which package brings one.
void warn_without_japanese_font() {
    if (QFontDatabase::families(QFontDatabase::Japanese).isEmpty())
        std::fputs("vantor-gui: no Japanese font is installed, so the dialog's texts show as empty boxes; "
                   "install fonts-ipafont-gothic or fonts-noto-cjk\n",
                   stderr);
}

} // namespace

int main(int argc, char **argv) {
    // Answered before Qt starts, so that they need no display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("vantor-gui %s (decoder %s)\n", VANTOR_PROGRAM_VERSION, decoder_version());
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        print_usage();
        return 0;
    }
    if (!display_available(argc, argv)) {
        std::fputs("vantor-gui: no display to open the dialog on (DISPLAY and WAYLAND_DISPLAY are "
                   "not set); use the command-line reader vantor instead\n",
                   stderr);
        return exit_no_display;
    }
    QApplication application(argc, argv);
    warn_without_japanese_font();
    // Read after Qt has taken its own options (-platform, -style, ...) out
    // of the arguments.
    for (int i = 2; i < argc; ++i)
        std::fprintf(stderr, "vantor-gui: only the first file is read; ignoring %s\n", argv[i]);
    const std::string command_line = vantor::command_line_from_arguments(argc, argv);
    return theApp.InitInstance(command_line);
}
