// The files of one run: the arguments in order, each folder replaced by the
// files in it (and in its folders) in sorted order, standard input spooled.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "stdin_spool.h"
#include <vantor/vantor.h>

namespace vantor::cli {

struct FileEntry {
    std::string name;         // as shown: the argument, or folder/.../file
    std::string path;         // what the reader opens
    bool from_folder = false; // found in a folder: skipped when no image
    // A failure known before reading (a folder that cannot be listed, standard
    // input that cannot be spooled); VANTOR_READ_OK when none.
    vantor_read_status failure = VANTOR_READ_OK;
    std::string failure_message;
};

class FileList {
public:
    explicit FileList(const std::vector<std::string> &arguments);
    const std::vector<FileEntry> &entries() const { return entries_; }

private:
    void add_folder(const std::string &folder);
    std::vector<FileEntry> entries_;
    // The spooled copies of standard input, removed with the list.
    std::vector<std::unique_ptr<SpooledInput>> spools_;
};

} // namespace vantor::cli
