#include "decode_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <vantor/image.h>
#include <vantor/vantor.h>

namespace vantor::cli {

namespace {

const char *decode_here(std::FILE *log) {
    return decode_image(gray_image.pixels, gray_image.width, gray_image.height, gray_image.depth,
                        log);
}

// The decoder writes its debug images into the current directory, so the
// decode runs with dir as the current directory. False, with nothing
// decoded, when dir cannot be entered.
bool decode_inside(const std::string &dir, std::FILE *log, const char *&text) {
    const int here = open(".", O_RDONLY | O_DIRECTORY);
    if (here < 0 || chdir(dir.c_str()) != 0) {
        std::fprintf(stderr, "vantor: cannot write into %s: %s\n", dir.c_str(), std::strerror(errno));
        if (here >= 0)
            close(here);
        return false;
    }
    text = decode_here(log);
    if (fchdir(here) != 0)
        std::perror("vantor");
    close(here);
    return true;
}

} // namespace

const char *decode_plain(bool log, const std::string &debug_dir) {
    std::FILE *stream = log ? stderr : nullptr;
    if (!log || debug_dir.empty())
        return decode_here(stream);
    const char *text = nullptr;
    if (!decode_inside(debug_dir, stream, text))
        text = decode_here(nullptr);
    return text;
}

} // namespace vantor::cli
