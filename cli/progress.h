// The progress line of a long batch on a terminal: files done, total, rate
// and time left, redrawn in place on standard error and cleared at the end.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>

namespace vantor::cli {

// "vantor: 37/120 files, 12.5 files/s, 7 s left": done of total after
// `seconds`, with `pending` files still to decode at that rate.
std::string progress_text(std::size_t done, std::size_t total, double seconds, double pending);

class ProgressLine {
public:
    // Shown on `stream` only when `wanted`, when it is a terminal, and only
    // once the batch has run for `delay`.
    ProgressLine(std::FILE *stream, std::chrono::milliseconds delay, bool wanted);
    ~ProgressLine() { clear(); }
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

    void update(std::size_t done, std::size_t total, double pending);
    // Removes the line (before other output, and at the end).
    void clear();

private:
    std::FILE *stream_;
    bool terminal_;
    std::chrono::milliseconds delay_;
    std::chrono::steady_clock::time_point start_;
    std::size_t shown_ = 0; // characters on the line now
};

} // namespace vantor::cli
