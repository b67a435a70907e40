#include "batch.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "progress.h"

namespace vantor::cli {

namespace {

// How long a batch runs before it shows progress, and how often the line is
// redrawn.
constexpr std::chrono::milliseconds progress_delay{2000};
constexpr std::chrono::milliseconds progress_interval{250};

// Writes one file's output; standard output is flushed before standard
// error is written, so that on a terminal both keep their order. The
// errno of the first failed write to standard output goes to `write_error`.
void write_output(const FileOutput &output, int &write_error) {
    auto flushed = [&] {
        errno = 0;
        if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && write_error == 0)
            write_error = errno != 0 ? errno : EIO;
    };
    for (const OutputChunk &chunk : output.chunks) {
        if (chunk.to_stderr) {
            flushed();
            std::fwrite(chunk.text.data(), 1, chunk.text.size(), stderr);
        } else {
            std::fwrite(chunk.text.data(), 1, chunk.text.size(), stdout);
        }
    }
    flushed();
}

FileOutput out_of_memory() {
    FileOutput output;
    output.chunks.push_back({true, "vantor: out of memory\n"});
    output.status = exit_unreadable;
    return output;
}

} // namespace

BatchEnd run_batch(std::size_t count, int threads, bool show_progress,
                   const std::function<FileOutput(std::size_t)> &work) {
    std::vector<std::optional<FileOutput>> done(count);
    std::mutex lock;
    std::condition_variable finished;
    std::size_t finished_count = 0;
    std::size_t finished_skipped = 0; // files found to hold no image, left out of the progress
    std::atomic<std::size_t> next{0};

    auto worker = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < count;) {
            FileOutput output;
            try {
                output = work(i);
            } catch (const std::bad_alloc &) {
                output = out_of_memory();
            }
            std::lock_guard<std::mutex> hold(lock);
            finished_skipped += output.skipped;
            done[i] = std::move(output);
            ++finished_count;
            finished.notify_one();
        }
    };
    const std::size_t thread_count = std::clamp<std::size_t>(static_cast<std::size_t>(threads), 1, count);
    std::vector<std::thread> pool;
    for (std::size_t t = 0; t < thread_count; ++t)
        pool.emplace_back(worker);

    ProgressLine progress(stderr, progress_delay, show_progress);
    int status = exit_ok;
    bool effort_hint = false;
    int write_error = 0;
    std::size_t written = 0, skipped = 0;
    while (written < count) {
        std::vector<FileOutput> ready;
        std::size_t finished_now, skipped_now;
        {
            std::unique_lock<std::mutex> hold(lock);
            finished.wait_for(hold, progress_interval, [&] { return done[written].has_value(); });
            while (written + ready.size() < count && done[written + ready.size()]) {
                std::optional<FileOutput> &slot = done[written + ready.size()];
                ready.push_back(std::move(*slot));
                slot.reset();
            }
            finished_now = finished_count;
            skipped_now = finished_skipped;
        }
        if (!ready.empty())
            progress.clear();
        for (const FileOutput &output : ready) {
            write_output(output, write_error);
            status = std::max(status, output.status);
            skipped += output.skipped;
            effort_hint = effort_hint || output.effort_hint;
        }
        written += ready.size();
        // The files not yet finished hold images in the share the finished
        // ones did: files found to hold none take no time.
        const std::size_t decoded = finished_now - skipped_now;
        const double pending = finished_now == 0 ? static_cast<double>(count)
                                                 : static_cast<double>(count - finished_now) *
                                                       static_cast<double>(decoded) / static_cast<double>(finished_now);
        if (written < count)
            progress.update(decoded, count - skipped_now, pending);
    }
    progress.clear();
    for (std::thread &t : pool)
        t.join();
    write_output({}, write_error);
    return {write_error == 0 ? status : exit_unreadable, skipped, write_error, effort_hint};
}

} // namespace vantor::cli
