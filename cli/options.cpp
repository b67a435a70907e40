#include "options.h"

#include <charconv>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <unistd.h>

#include <vantor/vantor.h>

namespace vantor::cli {

namespace {

constexpr const char *program_version = VANTOR_PROGRAM_VERSION;
constexpr const char *default_camera = "/dev/video0";

// A count of jobs, files decoded at once: 1 to 1024.
bool parse_jobs(std::string_view text, int &jobs) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 1 || value > 1024)
        return false;
    jobs = value;
    return true;
}

// The one line that says what is wrong, and where the options are told.
ParsedCommandLine usage_error(const std::string &message) {
    std::fprintf(stderr, "vantor: %s\nTry 'vantor --help' for the options.\n", message.c_str());
    ParsedCommandLine p;
    p.status = exit_usage;
    return p;
}

bool is_directory(const std::string &path) {
    std::error_code ec;
    return path != "-" && std::filesystem::is_directory(path, ec);
}

// A resolution for PDF pages: 10 to 4800 dots per inch.
bool parse_dpi(std::string_view text, int &dpi) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 10 || value > 4800)
        return false;
    dpi = value;
    return true;
}

// The value of an option given as "--name VALUE" (moving i on) or as
// "--name=VALUE"; nothing when "--name" ends the command line.
std::optional<std::string> option_value(std::string_view arg, std::string_view name, int argc, char **argv, int &i) {
    if (arg != name)
        return std::string(arg.substr(name.size() + 1));
    if (++i >= argc)
        return std::nullopt;
    return std::string(argv[i]);
}

// An item of a list without the blanks around it, in lower case.
std::string list_item(std::string_view item) {
    while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
        item.remove_prefix(1);
    while (!item.empty() && (item.back() == ' ' || item.back() == '\t'))
        item.remove_suffix(1);
    std::string lower(item);
    for (char &c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// A comma-separated list of kind names (any case, blanks around them
// allowed) to their bits; false for an empty list, an empty item or an
// unknown name.
bool parse_formats(std::string_view list, unsigned &kinds) {
    // The names --formats takes, by kind.
    constexpr std::pair<std::string_view, vantor_kind> names[] = {
        {"qr", VANTOR_KIND_QR}, {"model1", VANTOR_KIND_QR_MODEL1}, {"microqr", VANTOR_KIND_MICRO_QR}, {"rmqr", VANTOR_KIND_RMQR}};
    unsigned bits = 0;
    while (true) {
        const std::size_t comma = list.find(',');
        const std::string item = list_item(list.substr(0, comma));
        bool known = false;
        for (const auto &[name, kind] : names)
            if (item == name) {
                bits |= 1u << kind;
                known = true;
            }
        if (!known)
            return false;
        if (comma == std::string_view::npos)
            break;
        list.remove_prefix(comma + 1);
    }
    kinds = bits;
    return true;
}

} // namespace

void print_usage(std::FILE *out) {
    std::fprintf(out,
               "usage: vantor [options] FILE|FOLDER...\n"
               "Prints the text of the QR Code symbol in each image file\n"
               "(%s); a FOLDER is read with\n"
               "every folder in it, in sorted order, files of no image format\n"
               "skipped; FILE - reads standard input.\n"
               "\n"
               "options:\n"
               "  --raw            write the symbol's exact bytes, no newline\n"
               "  -0               with --raw: end each file's bytes with a zero byte\n"
               "                   (needed for several files)\n"
               "  --json           one JSON object per file and line: file, decoded,\n"
               "                   text (UTF-8), bytes_hex (the exact bytes), version,\n"
               "                   level, mask, corners, corrected, format (QRCode,\n"
               "                   QRCodeModel1, MicroQRCode, rMQRCode), version_name;\n"
               "                   error and message\n"
               "  --all            every symbol of each image in reading order, each\n"
               "                   line FILE: TEXT (and every page of a TIFF or PDF\n"
               "                   file), not only the first\n"
               "  --dpi N          render PDF pages at N dots per inch (default %d)\n"
               "  --every-frame    a video: every frame's symbols, not only each new\n"
               "                   one (a text is new when it was not seen for a second)\n"
               "  --camera [DEV]   read a V4L2 camera (default /dev/video0), printing\n"
               "                   each new symbol as it appears\n"
               "  --live           read each FILE (a named pipe, - for standard input)\n"
               "                   as a live video stream, such as Y4M frames\n"
               "  --once           with --camera or --live: exit 0 after the first symbol\n"
               "  --no-thorough    only the classic readings, not the thorough search\n"
               "                   that runs when they give no text\n"
               "  --formats LIST   the QR kinds to look for, comma-separated: qr,\n"
               "                   model1, microqr, rmqr (default: all; QR Code\n"
               "                   Model 2 first, the others when it gives no text)\n"
               "  --effort E       how hard to look: default (a quick look first, every\n"
               "                   pass and the thorough search only where it finds eye\n"
               "                   patterns), fast (video frames: the quick look, its\n"
               "                   search and four passes at most) or exhaustive (every\n"
               "                   pass, always)\n"
               "  -j N, --jobs N   run N jobs: decode N files at once (default: one per\n"
               "                   core)\n"
               "  --explain        tell what the decoder saw, pass by pass, and why\n"
               "                   a file gave no text\n"
               "  --compat         decode as the classic decoder does, file after\n"
               "                   file, with its state carried from file to file\n"
               "  --log            trace the decoder on standard error and write\n"
               "                   its debug images\n"
               "  --debug-dir DIR  with --log: the existing folder the debug images\n"
               "                   go into (default: the current directory)\n"
               "  --version        print the version and exit\n"
               "  --help           print this help and exit\n"
               "\n"
               "exit status: 0 every file gave text, 1 a file had no symbol,\n"
               "2 a file could not be read, 64 usage error\n",
               image_formats, VANTOR_PDF_DPI);
}

ParsedCommandLine parse_command_line(int argc, char **argv) {
    ParsedCommandLine p;
    Options &opt = p.options;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (options_done || arg.empty() || arg[0] != '-' || arg == "-") {
            opt.files.emplace_back(arg);
        } else if (arg == "--") {
            options_done = true;
        } else if (arg == "--raw") {
            opt.raw = true;
        } else if (arg == "-0") {
            opt.nul_separated = true;
        } else if (arg == "--log") {
            opt.log = true;
        } else if (arg == "--json") {
            opt.json = true;
        } else if (arg == "--explain") {
            opt.explain = true;
        } else if (arg == "--compat") {
            opt.compat = true;
        } else if (arg == "--all") {
            opt.all = true;
        } else if (arg == "--no-thorough") {
            opt.thorough = false;
        } else if (arg == "--formats" || arg.starts_with("--formats=")) {
            const auto list = option_value(arg, "--formats", argc, argv, i);
            if (!list)
                return usage_error("--formats needs a list: qr, model1, microqr, rmqr");
            if (!parse_formats(*list, opt.kinds))
                return usage_error("--formats " + *list +
                                   ": give one or more of qr, model1, microqr, rmqr, comma-separated");
        } else if (arg == "--effort" || arg.starts_with("--effort=")) {
            const auto name = option_value(arg, "--effort", argc, argv, i);
            if (!name)
                return usage_error("--effort needs fast, default or exhaustive");
            if (!vantor_effort_from_name(name->c_str(), &opt.effort))
                return usage_error("--effort " + *name + ": the effort is fast, default or exhaustive");
            opt.effort_given = true;
        } else if (arg == "-j" || arg == "--jobs") {
            if (++i >= argc || !parse_jobs(argv[i], opt.jobs))
                return usage_error(std::string(arg) + " needs a number of jobs from 1 to 1024");
        } else if (arg.starts_with("--jobs=") || (arg.starts_with("-j") && arg.size() > 2)) {
            if (!parse_jobs(arg.substr(arg[1] == 'j' ? 2 : 7), opt.jobs))
                return usage_error(std::string(arg) + ": the number of jobs must be 1 to 1024");
        } else if (arg == "--dpi" || arg.starts_with("--dpi=")) {
            const auto value = option_value(arg, "--dpi", argc, argv, i);
            if (!value || !parse_dpi(*value, opt.dpi))
                return usage_error("--dpi needs a resolution from 10 to 4800 dots per inch");
        } else if (arg == "--every-frame") {
            opt.every_frame = true;
        } else if (arg == "--live") {
            opt.live = true;
        } else if (arg == "--once") {
            opt.once = true;
        } else if (arg == "--camera" || arg.starts_with("--camera=")) {
            opt.camera = true;
            if (arg != "--camera")
                opt.files.emplace_back(arg.substr(9));
            else if (i + 1 < argc && argv[i + 1][0] != '-')
                opt.files.emplace_back(argv[++i]);
            else
                opt.files.emplace_back(default_camera);
        } else if (arg == "--debug-dir") {
            if (++i >= argc)
                return usage_error("--debug-dir needs a directory");
            opt.debug_dir = argv[i];
        } else if (arg.starts_with("--debug-dir=")) {
            opt.debug_dir = std::string(arg.substr(12));
        } else if (arg == "--version") {
            std::printf("vantor %s (decoder %s)\n", program_version, decoder_version());
            return p;
        } else if (arg == "--help" || arg == "-h") {
            print_usage(stdout);
            return p;
        } else {
            return usage_error("unknown option " + std::string(arg));
        }
    }
    if (opt.camera && opt.files.size() != 1)
        return usage_error("--camera reads one device and no files");
    if (opt.camera && opt.live)
        return usage_error("--camera and --live cannot be combined");
    if (opt.once && !opt.camera && !opt.live)
        return usage_error("--once goes with --camera or --live");
    if ((opt.camera || opt.live) && (opt.compat || opt.log || opt.explain))
        return usage_error("--camera and --live do not go with --compat, --log or --explain");
    if (opt.raw && !opt.nul_separated && (opt.camera || opt.live) && !opt.once)
        return usage_error("--raw on a live stream needs -0 or --once");
    if (opt.files.empty())
        return usage_error("no file given");
    if (opt.json && opt.raw)
        return usage_error("--raw and --json cannot be combined");
    if (opt.nul_separated && !opt.raw)
        return usage_error("-0 goes with --raw");
    // The debug images go nowhere without --log, and nowhere when the folder
    // cannot be written; --compat keeps the classic handling of both.
    if (!opt.compat && !opt.debug_dir.empty()) {
        if (!opt.log)
            return usage_error("--debug-dir goes with --log");
        std::error_code ec;
        if (!std::filesystem::is_directory(opt.debug_dir, ec))
            return usage_error("--debug-dir " + opt.debug_dir + ": no such folder");
        if (access(opt.debug_dir.c_str(), W_OK | X_OK) != 0)
            return usage_error("--debug-dir " + opt.debug_dir + ": the folder cannot be written");
    }
    if (opt.compat && (opt.all || !opt.thorough || opt.explain || opt.kinds != VANTOR_KINDS_ALL || opt.effort_given))
        return usage_error("--compat decodes as the classic decoder: --all, --no-thorough, --formats, --effort and "
                           "--explain do not apply");
    // Several files' bytes run together unless each ends in a zero byte;
    // --compat keeps the classic output, which runs them together.
    if (opt.raw && !opt.nul_separated && !opt.compat &&
        (opt.files.size() > 1 || is_directory(opt.files.front())))
        return usage_error("--raw with several files needs -0 (each file's bytes end in a zero byte)");
    p.run = true;
    return p;
}

} // namespace vantor::cli
