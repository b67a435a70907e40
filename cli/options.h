// The command line of the reader: what the user asked for.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include <vantor/vantor.h>

namespace vantor::cli {

// The image formats the readers take, as the user is told.
inline constexpr const char *image_formats = VANTOR_IMAGE_FORMATS;

enum ExitStatus { exit_ok = 0, exit_no_symbol = 1, exit_unreadable = 2, exit_usage = 64 };

struct Options {
    bool raw = false;
    bool nul_separated = false; // -0: each --raw record ends in a zero byte
    bool json = false;
    bool explain = false;
    bool log = false;
    bool compat = false;   // the classic decoder, as the first releases decoded
    bool thorough = true;  // the thorough search after the classic readings
    bool all = false;      // every symbol, and every page of a multi-page file
    unsigned kinds = VANTOR_KINDS_ALL; // the QR kinds looked for (--formats)
    vantor_effort effort = VANTOR_EFFORT_DEFAULT; // --effort
    bool effort_given = false;
    int jobs = 0;          // files decoded at once; 0: one per core
    int dpi = 0;           // PDF pages render at this resolution; 0: VANTOR_PDF_DPI
    bool every_frame = false; // a video's every frame's symbols, not only the new ones
    bool live = false;        // the files are live streams (named pipes, "-"), read as they come
    bool camera = false;      // --camera: files holds the one device
    bool once = false;        // a live stream: end after the first symbol
    std::string debug_dir; // where --log writes the debug images ("": here)
    std::vector<std::string> files;
};

// What parsing decided: run with the options, or end at once with a status
// (after --help, --version or a usage error, whose text is already written).
struct ParsedCommandLine {
    Options options;
    bool run = false;
    int status = exit_ok;
};

ParsedCommandLine parse_command_line(int argc, char **argv);

void print_usage(std::FILE *out);

} // namespace vantor::cli
