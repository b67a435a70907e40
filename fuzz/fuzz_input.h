// What the fuzz targets that read files share: the input written to a file
// of this process's own, removed when the run is over (libFuzzer leaves
// without running exit handlers), and a broken promise turned into an abort
// that names the target and the promise.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vantor::fuzzing {

// The input as the file TMPDIR/PREFIX<pid>SUFFIX for the length of one run.
class InputFile {
public:
    InputFile(const char *prefix, const char *suffix, const std::uint8_t *data, std::size_t size) {
        const char *dir = std::getenv("TMPDIR");
        path_ = std::string(dir && *dir ? dir : "/tmp") + "/" + prefix + std::to_string(getpid()) + suffix;
        if (std::FILE *f = std::fopen(path_.c_str(), "wb")) {
            written_ = std::fwrite(data, 1, size, f) == size;
            written_ = std::fclose(f) == 0 && written_;
        }
    }
    ~InputFile() { unlink(path_.c_str()); }
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    bool written() const { return written_; }
    const std::string &path() const { return path_; }

private:
    std::string path_;
    bool written_ = false;
};

inline void check(const char *target, bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "%s: %s\n", target, what);
        std::abort();
    }
}

} // namespace vantor::fuzzing
