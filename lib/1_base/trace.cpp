// Trace output: every trace line of the stages goes through trace(), which
// writes it to the sink's stream as it comes, or collects it into whole
// lines for the sink's callback.
#include <cstdarg>
#include <cstdio>
#include <new>
#include <string>

#include "trace.h"

namespace vantor {
namespace {

// Passes every complete line of the pending text to the callback.
void deliver_lines(const TraceSink &s) {
    std::string &pending = s.trace_pending;
    std::size_t begin = 0;
    for (std::size_t end; (end = pending.find('\n', begin)) != std::string::npos; begin = end + 1) {
        const std::string line = pending.substr(begin, end + 1 - begin);
        s.trace_fn(line.c_str(), s.trace_user);
    }
    pending.erase(0, begin);
}

} // namespace

void trace(const TraceSink &s, const char *format, ...) {
    if (s.trace_file) {
        std::va_list args;
        va_start(args, format);
        std::vfprintf(s.trace_file, format, args);
        va_end(args);
        return;
    }
    if (!s.trace_fn)
        return;
    try {
        char small[256];
        std::va_list args;
        va_start(args, format);
        const int n = std::vsnprintf(small, sizeof small, format, args);
        va_end(args);
        if (n < 0)
            return;
        if (static_cast<std::size_t>(n) < sizeof small) {
            s.trace_pending.append(small, static_cast<std::size_t>(n));
        } else {
            std::string big(static_cast<std::size_t>(n) + 1, '\0');
            va_start(args, format);
            std::vsnprintf(big.data(), big.size(), format, args);
            va_end(args);
            big.pop_back();
            s.trace_pending += big;
        }
        deliver_lines(s);
    } catch (const std::bad_alloc &) {
        // Out of memory: the line is lost, the decode goes on.
        s.trace_pending.clear();
    }
}

void trace_flush(const TraceSink &s) {
    if (!s.trace_fn || s.trace_pending.empty())
        return;
    try {
        s.trace_pending += '\n';
        deliver_lines(s);
    } catch (const std::bad_alloc &) {
        s.trace_pending.clear();
    }
}

void trace_malloc_failed(const TraceSink &s) { trace(s, "malloc() failed.\n"); }

} // namespace vantor
