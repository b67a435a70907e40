#include "progress.h"

#include <unistd.h>

#include <cmath>

namespace vantor::cli {

std::string progress_text(std::size_t done, std::size_t total, double seconds, double pending) {
    char buf[160];
    if (done == 0 || seconds <= 0) {
        std::snprintf(buf, sizeof buf, "vantor: %zu/%zu files", done, total);
        return buf;
    }
    const double rate = static_cast<double>(done) / seconds;
    const double left = pending / rate;
    std::snprintf(buf, sizeof buf, "vantor: %zu/%zu files, %.1f files/s, %.0f s left", done, total, rate,
                  std::ceil(left));
    return buf;
}

ProgressLine::ProgressLine(std::FILE *stream, std::chrono::milliseconds delay, bool wanted)
    : stream_(stream), terminal_(wanted && isatty(fileno(stream)) != 0), delay_(delay),
      start_(std::chrono::steady_clock::now()) {}

void ProgressLine::update(std::size_t done, std::size_t total, double pending) {
    if (!terminal_)
        return;
    const auto elapsed = std::chrono::steady_clock::now() - start_;
    if (elapsed < delay_)
        return;
    const std::string text = progress_text(done, total, std::chrono::duration<double>(elapsed).count(), pending);
    // Padded over a longer line drawn before.
    const std::size_t pad = shown_ > text.size() ? shown_ - text.size() : 0;
    std::fprintf(stream_, "\r%s%*s", text.c_str(), static_cast<int>(pad), "");
    std::fflush(stream_);
    shown_ = text.size();
}

void ProgressLine::clear() {
    if (shown_ == 0)
        return;
    std::fprintf(stream_, "\r%*s\r", static_cast<int>(shown_), "");
    std::fflush(stream_);
    shown_ = 0;
}

} // namespace vantor::cli
