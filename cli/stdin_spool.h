// "-" as a file name: standard input copied into a temporary file, since the
// image readers open files by name and seek in them.
#pragma once

#include <cstdio>
#include <string>

namespace vantor::cli {

class SpooledInput {
public:
    // Copies all of `in` into a new file under $TMPDIR (or /tmp).
    explicit SpooledInput(std::FILE *in);
    ~SpooledInput();
    SpooledInput(const SpooledInput &) = delete;
    SpooledInput &operator=(const SpooledInput &) = delete;

    bool ok() const { return error_.empty(); }
    // Why the copy failed.
    const std::string &error() const { return error_; }
    const std::string &path() const { return path_; }

private:
    std::string path_;
    std::string error_;
};

} // namespace vantor::cli
