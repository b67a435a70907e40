#include "stdin_spool.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace vantor::cli {

namespace {

bool write_all(int fd, const char *data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

SpooledInput::SpooledInput(std::FILE *in) {
    const char *dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/vantor-stdin-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        error_ = std::string("cannot create a temporary file: ") + std::strerror(errno);
        return;
    }
    path_ = name.data();
    std::vector<char> buffer(1 << 16);
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
        if (!write_all(fd, buffer.data(), n)) {
            error_ = std::string("cannot write the temporary file: ") + std::strerror(errno);
            break;
        }
    }
    if (error_.empty() && std::ferror(in))
        error_ = "cannot read standard input";
    if (::close(fd) != 0 && error_.empty())
        error_ = std::string("cannot write the temporary file: ") + std::strerror(errno);
}

SpooledInput::~SpooledInput() {
    if (!path_.empty())
        ::unlink(path_.c_str());
}

} // namespace vantor::cli
