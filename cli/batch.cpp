#include "batch.h"

#include <algorithm>
#include <atomic>
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
// error is written, so that on a terminal both keep their order.
void write_output(const FileOutput &output) {
    for (const OutputChunk &chunk : output.chunks) {
        if (chunk.to_stderr) {
            std::fflush(stdout);
            std::fwrite(chunk.text.data(), 1, chunk.text.size(), stderr);
        } else {
            std::fwrite(chunk.text.data(), 1, chunk.text.size(), stdout);
        }
    }
    std::fflush(stdout);
}

FileOutput out_of_memory() {
    FileOutput output;
    output.chunks.push_back({true, "vantor: out of memory\n"});
    output.status = exit_unreadable;
    return output;
}

} // namespace

BatchEnd run_batch(std::size_t count, int threads, const std::function<FileOutput(std::size_t)> &work) {
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

    ProgressLine progress(stderr, progress_delay);
    int status = exit_ok;
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
            write_output(output);
            status = std::max(status, output.status);
            skipped += output.skipped;
        }
        written += ready.size();
        if (written < count)
            progress.update(finished_now - skipped_now, count - skipped_now);
    }
    progress.clear();
    for (std::thread &t : pool)
        t.join();
    return {std::fflush(stdout) == 0 && !std::ferror(stdout) ? status : exit_unreadable, skipped};
}

} // namespace vantor::cli
