#include "decode_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

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

std::string make_temp_dir() {
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vantor-explain-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    return mkdtemp(name.data()) ? std::string(name.data()) : std::string();
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

const char *decode_traced(bool keep_images, const std::string &debug_dir, std::string &trace) {
    trace.clear();
    std::string dir = keep_images ? debug_dir : make_temp_dir();
    char *buffer = nullptr;
    std::size_t size = 0;
    std::FILE *memory = (keep_images || !dir.empty()) ? open_memstream(&buffer, &size) : nullptr;
    const char *text = nullptr;
    bool decoded = false;
    if (memory) {
        if (dir.empty())
            text = decode_here(memory);
        else
            decoded = decode_inside(dir, memory, text);
        if (dir.empty() || decoded) {
            decoded = true;
            if (std::fflush(memory) == 0)
                trace.assign(buffer, size);
        }
        std::fclose(memory);
        std::free(buffer);
    }
    if (!keep_images && !dir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    if (!decoded)
        text = decode_here(nullptr);
    return text;
}

} // namespace vantor::cli
