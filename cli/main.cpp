// vantor: prints the text of the QR Code symbol in each image file.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "display_text.h"
#include <vantor/image.h>
#include <vantor/vantor.h>

namespace {

constexpr const char *program_version = "1.0.0";

enum ExitStatus { exit_ok = 0, exit_no_symbol = 1, exit_unreadable = 2, exit_usage = 64 };

void print_usage(std::FILE *out) {
    std::fputs("usage: vantor [options] FILE...\n"
               "Prints the text of the QR Code symbol in each image file\n"
               "(JPEG, GIF, BMP 24-bit or 1-bit).\n"
               "\n"
               "options:\n"
               "  --raw            write the symbol's exact bytes, no newline\n"
               "  --log            trace the decoder on standard error and write\n"
               "                   its debug images\n"
               "  --debug-dir DIR  where --log writes the debug images\n"
               "                   (default: the current directory)\n"
               "  --version        print the version and exit\n"
               "  --help           print this help and exit\n"
               "\n"
               "exit status: 0 every file gave text, 1 a file had no symbol,\n"
               "2 a file could not be read, 64 usage error\n",
               out);
}

struct Options {
    bool raw = false;
    bool log = false;
    std::string debug_dir;
    std::vector<std::string> files;
};

// Runs decode_image with the debug images going into debug_dir.
const char *decode_in(const Options &opt) {
    FILE *log = opt.log ? stderr : nullptr;
    if (!opt.log || opt.debug_dir.empty())
        return decode_image(gray_image.pixels, gray_image.width, gray_image.height,
                            gray_image.depth, log);
    int here = open(".", O_RDONLY | O_DIRECTORY);
    if (here < 0 || chdir(opt.debug_dir.c_str()) != 0) {
        std::fprintf(stderr, "vantor: cannot write into %s: %s\n", opt.debug_dir.c_str(),
                     std::strerror(errno));
        if (here >= 0)
            close(here);
        return decode_image(gray_image.pixels, gray_image.width, gray_image.height,
                            gray_image.depth, nullptr);
    }
    const char *text = decode_image(gray_image.pixels, gray_image.width, gray_image.height,
                                    gray_image.depth, log);
    if (fchdir(here) != 0)
        std::perror("vantor");
    close(here);
    return text;
}

} // namespace

int main(int argc, char **argv) {
    Options opt;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (options_done || arg.empty() || arg[0] != '-' || arg == "-") {
            opt.files.emplace_back(arg);
        } else if (arg == "--") {
            options_done = true;
        } else if (arg == "--raw") {
            opt.raw = true;
        } else if (arg == "--log") {
            opt.log = true;
        } else if (arg == "--debug-dir") {
            if (++i >= argc) {
                std::fputs("vantor: --debug-dir needs a directory\n", stderr);
                print_usage(stderr);
                return exit_usage;
            }
            opt.debug_dir = argv[i];
        } else if (arg.starts_with("--debug-dir=")) {
            opt.debug_dir = std::string(arg.substr(12));
        } else if (arg == "--version") {
            std::printf("vantor %s (decoder %s)\n", program_version, decoder_version());
            return exit_ok;
        } else if (arg == "--help" || arg == "-h") {
            print_usage(stdout);
            return exit_ok;
        } else {
            std::fprintf(stderr, "vantor: unknown option %s\n", argv[i]);
            print_usage(stderr);
            return exit_usage;
        }
    }
    if (opt.files.empty()) {
        print_usage(stderr);
        return exit_usage;
    }

    int status = exit_ok;
    const bool several = opt.files.size() > 1;
    for (const std::string &path : opt.files) {
        if (!read_image(path.c_str())) {
            if (read_message[0] != '\0')
                std::fputs(read_message, stderr);
            std::fprintf(stderr, "%s%sunsupported format: JPEG, GIF, BMP (24-bit, 1-bit)\n",
                         several ? path.c_str() : "", several ? ": " : "");
            release_image();
            status = exit_unreadable;
            continue;
        }
        const char *text = decode_in(opt);
        if (!text) {
            std::fprintf(stderr, "%s%sno QR Code found\n", several ? path.c_str() : "",
                         several ? ": " : "");
            if (status == exit_ok)
                status = exit_no_symbol;
        } else if (opt.raw) {
            std::fwrite(text, 1, std::strlen(text), stdout);
        } else {
            std::string shown = vantor::text_for_display(text);
            if (several)
                std::printf("%s: %s\n", path.c_str(), shown.c_str());
            else
                std::printf("%s\n", shown.c_str());
        }
        release_image();
    }
    return std::fflush(stdout) == 0 ? status : exit_unreadable;
}
