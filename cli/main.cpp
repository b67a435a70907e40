// vantor: prints the text of the QR Code symbols in image files.
#include <cstdio>
#include <cstring>
#include <thread>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "batch.h"
#include "classic_run.h"
#include "file_job.h"
#include "file_list.h"
#include "options.h"
#include "report.h"
#ifdef VANTOR_WITH_VIDEO
#include "video_job.h"
#endif

using namespace vantor::cli;

int main(int argc, char **argv) {
#ifdef __GLIBC__
    // A photo's binarisations are buffers of megabytes, made and freed for
    // each picture. Kept in the heap rather than given back to the system
    // and mapped afresh, they are not zeroed page by page again: about a
    // twentieth of the time of a batch of phone photos.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
    const ParsedCommandLine parsed = parse_command_line(argc, argv);
    if (!parsed.run)
        return parsed.status;
    const Options &opt = parsed.options;
    // The classic decoder carries its state from file to file: one at a time.
    if (opt.compat)
        return run_classic(opt);
    if (opt.camera || opt.live) {
#ifdef VANTOR_WITH_VIDEO
        return run_live(opt);
#else
        std::fprintf(stderr, "vantor: this build reads no video (built without FFmpeg's libraries)\n");
        return exit_unreadable;
#endif
    }

    const FileList files(opt.files);
    const std::vector<FileEntry> &entries = files.entries();
    if (entries.empty())
        return exit_ok;
    // --log: one file at a time, so that the debug images of one decode are
    // not written over by another's while they are written.
    int threads = opt.jobs > 0 ? opt.jobs : static_cast<int>(std::thread::hardware_concurrency());
    if (opt.log || threads < 1)
        threads = 1;
    // Lines name their file when there are several, or when a folder gave them.
    const bool several = entries.size() > 1 || entries.front().from_folder;
    // No progress line beside --json: standard error stays for errors.
    const BatchEnd end = run_batch(entries.size(), threads, !opt.json, [&](std::size_t i) {
        return report_file(opt, entries[i], process_file(opt, entries[i]), several);
    });
    if (end.write_error != 0) {
        std::fprintf(stderr, "vantor: standard output: %s\n", std::strerror(end.write_error));
        return exit_unreadable;
    }
    if (end.effort_hint)
        std::fputs("vantor: shapes like eye patterns were seen but gave no symbol; --effort exhaustive looks harder\n", stderr);
    // Folders that held files, none of them an image: nothing was read.
    if (end.skipped == entries.size()) {
        if (!opt.json)
            std::fprintf(stderr, "vantor: no image among the files found (%zu skipped)\n", end.skipped);
        return exit_unreadable;
    }
    return end.status;
}
