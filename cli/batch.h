// Runs the files of a batch on several threads and writes their output in
// the order of the files, as one thread would.
#pragma once

#include <cstddef>
#include <functional>

#include "report.h"

namespace vantor::cli {

// Calls work(i) for i in 0..count-1 on up to `threads` threads at once and
// writes each output as soon as those of the files before it are written;
// a long batch shows its progress on a terminal when `show_progress`.
struct BatchEnd {
    // The highest status of any file, or exit_unreadable when standard
    // output could not be written.
    int status;
    std::size_t skipped;   // files that held no image
    int write_error;       // errno of a failed write to standard output, else 0
    bool effort_hint;      // a file's output asks for the hint on --effort
};
BatchEnd run_batch(std::size_t count, int threads, bool show_progress,
                   const std::function<FileOutput(std::size_t)> &work);

} // namespace vantor::cli
