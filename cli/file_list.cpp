#include "file_list.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace vantor::cli {

namespace {

FileEntry entry(const std::string &name, const std::string &path, bool from_folder = false) {
    FileEntry e;
    e.name = name;
    e.path = path;
    e.from_folder = from_folder;
    return e;
}

} // namespace

FileList::FileList(const std::vector<std::string> &arguments) {
    for (const std::string &argument : arguments) {
        if (argument == "-") {
            spools_.push_back(std::make_unique<SpooledInput>(stdin));
            const SpooledInput &spool = *spools_.back();
            FileEntry e = entry("-", spool.path());
            if (!spool.ok()) {
                e.failure = VANTOR_READ_INVALID_ARGUMENT;
                e.failure_message = spool.error();
            }
            entries_.push_back(std::move(e));
            continue;
        }
        std::error_code ec;
        if (fs::is_directory(argument, ec)) {
            const std::size_t before = entries_.size();
            add_folder(argument);
            // A folder with no files in it (or in its folders) gives nothing
            // to read: say so rather than end as if all went well.
            if (entries_.size() == before) {
                FileEntry e = entry(argument, argument);
                e.failure = VANTOR_READ_IS_DIRECTORY;
                e.failure_message = "with no files in it";
                entries_.push_back(std::move(e));
            }
        } else
            entries_.push_back(entry(argument, argument));
    }
}

// Depth first, each folder's names in byte order. Symbolic links to files are
// read; links to folders are not followed, so a link cannot make a loop.
void FileList::add_folder(const std::string &folder) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    std::vector<fs::directory_entry> children;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec))
        children.push_back(*it);
    if (ec) {
        FileEntry e = entry(folder, folder);
        e.failure = ec == std::errc::permission_denied ? VANTOR_READ_PERMISSION_DENIED
                                                       : VANTOR_READ_INVALID_ARGUMENT;
        e.failure_message = "cannot list the folder: " + ec.message();
        entries_.push_back(std::move(e));
        return;
    }
    std::sort(children.begin(), children.end(), [](const fs::directory_entry &a, const fs::directory_entry &b) {
        return a.path().filename().native() < b.path().filename().native();
    });
    for (const fs::directory_entry &child : children) {
        const std::string path = (fs::path(folder) / child.path().filename()).string();
        std::error_code link_ec, target_ec;
        const bool is_link = child.is_symlink(link_ec);
        if (!is_link && child.is_directory(target_ec))
            add_folder(path);
        else if (child.is_regular_file(target_ec))
            entries_.push_back(entry(path, path, true));
    }
}

} // namespace vantor::cli
