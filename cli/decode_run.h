// Runs the decoder on the image of the latest read, with its trace going to
// standard error, to memory, or nowhere.
#pragma once

#include <string>

namespace vantor::cli {

// Decodes with no trace, or with the trace on standard error and the debug
// images in debug_dir (the current directory when empty).
const char *decode_plain(bool log, const std::string &debug_dir);

// Decodes with the trace captured into `trace`. The debug images go into
// debug_dir when keep_images is set (the current directory when debug_dir is
// empty), else into a private temporary directory removed afterwards.
// `trace` stays empty when no trace could be taken.
const char *decode_traced(bool keep_images, const std::string &debug_dir, std::string &trace);

} // namespace vantor::cli
