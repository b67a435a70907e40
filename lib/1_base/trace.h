// The trace sink: where a decode's trace lines and debug images go.
#pragma once

#include <cstdio>
#include <string>

namespace vantor {

// Receives each complete trace line, "\n" included.
using TraceFn = void (*)(const char *line, void *user);

// A C stream, or a callback given whole lines. Neither set: no trace and no
// debug images.
struct TraceSink {
    std::FILE *trace_file = nullptr;
    TraceFn trace_fn = nullptr;
    void *trace_user = nullptr;
    // Text of the callback's current line until its "\n" arrives.
    mutable std::string trace_pending;
    // Folder of the debug images; empty: the current directory.
    std::string debug_dir;
    // When debug images are written: by default (the classic entry) whenever
    // a trace sink is set.
    enum class DebugImages { with_trace, always, never };
    DebugImages debug_images = DebugImages::with_trace;

    bool tracing() const { return trace_file != nullptr || trace_fn != nullptr; }
    bool writes_debug_images() const {
        return debug_images == DebugImages::always || (debug_images == DebugImages::with_trace && tracing());
    }
};

// Writes one trace line (or part of one) to the sink; nothing when it has
// no stream or callback. With a callback, text is held until its line ends.
void trace(const TraceSink &s, const char *format, ...) __attribute__((format(printf, 2, 3)));
// Hands an unfinished callback line over with a "\n" added.
void trace_flush(const TraceSink &s);
// The trace line of a stage that ran out of memory.
void trace_malloc_failed(const TraceSink &s);

} // namespace vantor
