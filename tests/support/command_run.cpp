// Shell commands for the tests; see command_run.h.
#include "command_run.h"

#include <sys/wait.h>

#include <cstdio>

#include "qr_symbols.h"

namespace vantor::testing {
namespace {

void append_all(std::FILE *f, std::string &to) {
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        to.append(buf, n);
}

} // namespace

CommandRun run_command(const std::string &command) {
    CommandRun r;
    const TempDir dir("command");
    if (dir.path().empty())
        return r;
    const std::string err_file = dir.path() + "/err";
    if (std::FILE *p = popen(("exec 2>'" + err_file + "'\n" + command).c_str(), "r")) {
        append_all(p, r.out);
        const int raw = pclose(p);
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        if (std::FILE *f = std::fopen(err_file.c_str(), "rb")) {
            append_all(f, r.err);
            std::fclose(f);
        }
    }
    return r;
}

} // namespace vantor::testing
