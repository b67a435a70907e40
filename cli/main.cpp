// vantor: prints the text of the QR Code symbol in each image file.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decode_run.h"
#include "explain.h"
#include "json_out.h"
#include "stdin_spool.h"
#include <vantor/image.h>
#include <vantor/vantor.hpp>

namespace {

constexpr const char *program_version = VANTOR_PROGRAM_VERSION;

enum ExitStatus { exit_ok = 0, exit_no_symbol = 1, exit_unreadable = 2, exit_usage = 64 };

void print_usage(std::FILE *out) {
    std::fputs("usage: vantor [options] FILE...\n"
               "Prints the text of the QR Code symbol in each image file\n"
               "(JPEG, GIF, BMP 24-bit or 1-bit); FILE - reads standard input.\n"
               "\n"
               "options:\n"
               "  --raw            write the symbol's exact bytes, no newline\n"
               "  --json           one JSON object per file and line: file, decoded,\n"
               "                   text (UTF-8), bytes_hex (the exact bytes), error\n"
               "  --explain        tell what the decoder saw, pass by pass, and why\n"
               "                   a file gave no text\n"
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
    bool json = false;
    bool explain = false;
    std::string debug_dir;
    std::vector<std::string> files;
};

// The outcome of one file.
struct FileResult {
    std::string name;     // as given; "-" for standard input
    bool readable = false;
    std::string message;  // the reader's reason when not readable
    bool decoded = false;
    std::string bytes;    // the symbol's bytes up to the first zero byte
    std::vector<std::string> explanation;
};

// Reads and decodes one file ("-": standard input).
FileResult process(const Options &opt, const std::string &path) {
    FileResult r;
    r.name = path;
    std::optional<vantor::cli::SpooledInput> spool;
    std::string read_path = path;
    if (path == "-") {
        spool.emplace(stdin);
        if (!spool->ok()) {
            r.message = "standard input: " + spool->error() + "\n";
            return r;
        }
        read_path = spool->path();
    }
    r.readable = read_image(read_path.c_str()) != 0;
    r.message = read_message;
    if (spool) {
        // Messages name the file as the user gave it, not the spool file.
        for (std::size_t at; (at = r.message.find(read_path)) != std::string::npos;)
            r.message.replace(at, read_path.size(), "-");
        spool.reset();
    }
    if (!r.readable) {
        release_image();
        if (opt.explain)
            r.explanation.push_back("reason: the file could not be read, so the decoder did not run");
        return r;
    }

    const char *text;
    if (opt.explain) {
        std::string trace;
        text = vantor::cli::decode_traced(opt.log, opt.debug_dir, trace);
        if (opt.log)
            std::fwrite(trace.data(), 1, trace.size(), stderr);
        if (trace.empty())
            r.explanation.push_back("no trace could be taken");
        else
            r.explanation = vantor::cli::explain(vantor::cli::parse_trace(trace), text != nullptr);
    } else {
        text = vantor::cli::decode_plain(opt.log, opt.debug_dir);
    }
    r.decoded = text != nullptr;
    if (text)
        r.bytes = text;
    release_image();
    return r;
}

void print_json(const FileResult &r) {
    vantor::cli::JsonObject o;
    o.text("file", r.name).flag("decoded", r.decoded);
    if (r.decoded) {
        o.text("text", vantor::display_text(r.bytes)).text("bytes_hex", vantor::cli::hex_bytes(r.bytes));
    } else if (!r.readable) {
        std::string message = r.message;
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
            message.pop_back();
        o.text("error", "unreadable").text("message", message);
    } else {
        o.text("error", "no symbol");
    }
    if (!r.explanation.empty())
        o.list("explain", r.explanation);
    std::printf("%s\n", o.str().c_str());
}

void print_text(const Options &opt, const FileResult &r, bool several) {
    const char *prefix = several ? r.name.c_str() : "";
    const char *sep = several ? ": " : "";
    if (!r.readable) {
        if (!r.message.empty())
            std::fputs(r.message.c_str(), stderr);
        std::fprintf(stderr, "%s%sunsupported format: JPEG, GIF, BMP (24-bit, 1-bit)\n", prefix, sep);
    } else if (!r.decoded) {
        std::fprintf(stderr, "%s%sno QR Code found\n", prefix, sep);
    } else if (opt.raw) {
        std::fwrite(r.bytes.data(), 1, r.bytes.size(), stdout);
    } else {
        std::string shown = vantor::display_text(r.bytes);
        std::printf("%s%s%s\n", prefix, sep, shown.c_str());
    }
    if (!r.explanation.empty()) {
        std::printf("%s:\n", r.name.c_str());
        for (const std::string &line : r.explanation)
            std::printf("  %s\n", line.c_str());
    }
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
        } else if (arg == "--json") {
            opt.json = true;
        } else if (arg == "--explain") {
            opt.explain = true;
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

    if (opt.json && opt.raw) {
        std::fputs("vantor: --raw and --json cannot be combined\n", stderr);
        print_usage(stderr);
        return exit_usage;
    }

    int status = exit_ok;
    const bool several = opt.files.size() > 1;
    for (const std::string &path : opt.files) {
        // Flushed before each file so that --log traces and results keep
        // their order on a terminal.
        std::fflush(stdout);
        FileResult r = process(opt, path);
        if (opt.json)
            print_json(r);
        else
            print_text(opt, r, several);
        if (!r.readable)
            status = exit_unreadable;
        else if (!r.decoded && status == exit_ok)
            status = exit_no_symbol;
    }
    return std::fflush(stdout) == 0 ? status : exit_unreadable;
}
