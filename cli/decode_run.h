// Runs the classic decoder on the image of the latest read, with its trace
// going to standard error or nowhere.
#pragma once

#include <string>

namespace vantor::cli {

// Decodes with no trace, or with the trace on standard error and the debug
// images in debug_dir (the current directory when empty).
const char *decode_plain(bool log, const std::string &debug_dir);

} // namespace vantor::cli
