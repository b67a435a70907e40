#include "classic_run.h"

#include <cstdio>
#include <optional>
#include <string>

#include "decode_run.h"
#include "json_object.h"
#include "stdin_spool.h"
#include <vantor/image.h>
#include <vantor/vantor.hpp>

namespace vantor::cli {

namespace {

// The outcome of one file.
struct ClassicResult {
    std::string name;     // as given; "-" for standard input
    bool readable = false;
    std::string message;  // the reader's reason when not readable
    bool decoded = false;
    std::string bytes;    // the symbol's bytes up to the first zero byte
};

// Reads and decodes one file ("-": standard input).
ClassicResult process(const Options &opt, const std::string &path) {
    ClassicResult r;
    r.name = path;
    std::optional<SpooledInput> spool;
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
        return r;
    }
    const char *text = decode_plain(opt.log, opt.debug_dir);
    r.decoded = text != nullptr;
    if (text)
        r.bytes = text;
    release_image();
    return r;
}

void print_json(const ClassicResult &r) {
    report::JsonObject o;
    o.text("file", r.name).flag("decoded", r.decoded);
    if (r.decoded) {
        o.text("text", vantor::display_text(r.bytes)).text("bytes_hex", report::hex_bytes(r.bytes));
    } else if (!r.readable) {
        std::string message = r.message;
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
            message.pop_back();
        o.text("error", "unreadable").text("message", message);
    } else {
        o.text("error", "no symbol");
    }
    std::printf("%s\n", o.str().c_str());
}

void print_text(const Options &opt, const ClassicResult &r, bool several) {
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
    if (opt.raw && opt.nul_separated)
        std::fputc('\0', stdout);
}

} // namespace

int run_classic(const Options &opt) {
    int status = exit_ok;
    const bool several = opt.files.size() > 1;
    for (const std::string &path : opt.files) {
        // Flushed before each file so that --log traces and results keep
        // their order on a terminal.
        std::fflush(stdout);
        ClassicResult r = process(opt, path);
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

} // namespace vantor::cli
