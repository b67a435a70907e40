// What the reader writes for one file: plain text, --raw bytes or JSON
// Lines, with the exit status the file calls for.
#pragma once

#include <string>
#include <vector>

#include "file_job.h"
#include "file_list.h"
#include "options.h"

namespace vantor::cli {

// Text for one stream, in the order it is to be written.
struct OutputChunk {
    bool to_stderr = false;
    std::string text;
};

struct FileOutput {
    std::vector<OutputChunk> chunks;
    int status = exit_ok; // exit_ok, exit_no_symbol or exit_unreadable
    bool skipped = false;     // a folder's file that holds no image
    bool effort_hint = false; // eye patterns were seen, but the default effort stopped short
};

// several: the run has more than one file, so each line names its file.
FileOutput report_file(const Options &options, const FileEntry &entry, const FileOutcome &outcome,
                       bool several);

} // namespace vantor::cli
