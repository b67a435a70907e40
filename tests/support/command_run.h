// Runs a shell command as a user would and keeps what it printed.
#pragma once

#include <string>

namespace vantor::testing {

struct CommandRun {
    int status = -1; // exit status; -1 when the command did not exit normally
    std::string out; // standard output
    std::string err; // standard error
};

// Runs `command` through /bin/sh, standard output through a pipe and
// standard error through a temporary file, so neither can block the other.
CommandRun run_command(const std::string &command);

} // namespace vantor::testing
