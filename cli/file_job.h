// One file of a run through the reentrant API: read (every page with --all),
// decode, explain. Safe to run for several files at once.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "file_list.h"
#include "options.h"
#include <vantor/vantor.hpp>

namespace vantor::cli {

// Where in a video a frame lies.
struct FrameStamp {
    long frame = 0;     // 0 first
    double seconds = 0; // from the video's start
};

// One page of a file (the only page of most formats), or one frame of a
// video that showed symbols.
struct PageOutcome {
    int page = 0; // 0 first
    std::optional<FrameStamp> stamp; // a video's frame
    vantor_read_status read_status = VANTOR_READ_OK;
    std::string cause;                 // why it could not be read: a text for people
    std::vector<std::string> warnings; // the reader's, when it still read
    vantor::Results results;
    std::vector<std::string> explanation; // --explain
    std::string trace;                    // --log
};

struct FileOutcome {
    bool video = false; // pages are a video's frames
    // A file found in a folder that holds no image: left out of the run.
    bool skipped = false;
    std::string skip_cause;
    int page_count = 1;
    std::vector<PageOutcome> pages;
};

FileOutcome process_file(const Options &options, const FileEntry &entry);

// Why a file could not be read, as the user is told: the status's text, the
// formats Vantor reads after an unknown format, the reader's own message
// after a damaged file.
std::string read_cause(vantor_read_status status, const std::string &reader_message);

} // namespace vantor::cli
