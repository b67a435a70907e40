// Video files, cameras and live streams in the command-line reader: each new
// symbol reported with the time of the frame it first appeared in.
#pragma once

#include <functional>
#include <optional>

#include "file_job.h"
#include "file_list.h"
#include "options.h"

namespace vantor::cli {

// The file read as a video: one outcome page per frame with symbols to
// report. Nothing when the file is no video.
std::optional<FileOutcome> process_video(const Options &options, const FileEntry &entry);

// --camera and --live: each source read as frames come, each hit written at
// once; the run's exit status.
int run_live(const Options &options);

} // namespace vantor::cli
