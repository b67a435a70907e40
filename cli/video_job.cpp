#include "video_job.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "frame_scan.h"
#include "report.h"
#include "video_source.h"

namespace vantor::cli {

namespace {

using stream::FrameScanner;
using stream::VideoError;
using stream::VideoFrame;
using stream::VideoSource;

// A source's failure; the cause as the source tells it.
PageOutcome failure(vantor_read_status status, const std::string &cause) {
    PageOutcome page;
    page.read_status = status;
    page.cause = cause.empty() ? read_cause(status, cause) : cause;
    return page;
}

PageOutcome hit_page(stream::FrameHit &hit, std::vector<std::string> warnings) {
    PageOutcome page;
    page.stamp = FrameStamp{hit.frame, hit.seconds};
    page.results = std::move(hit.results);
    page.warnings = std::move(warnings);
    return page;
}

// Reads frames until the source ends, or `on_hit` returns false. A source
// that fails before its first frame gives its failure page.
template <class OnHit>
std::optional<PageOutcome> read_frames(VideoSource &source, FrameScanner &scanner, OnHit on_hit) {
    VideoFrame frame;
    try {
        while (source.next(frame))
            if (std::optional<stream::FrameHit> hit = scanner.scan(frame))
                if (!on_hit(hit_page(*hit, source.take_warnings())))
                    return std::nullopt;
    } catch (const VideoError &e) {
        return failure(e.status(), e.what());
    } catch (const std::bad_alloc &) {
        return failure(VANTOR_READ_OUT_OF_MEMORY, "");
    }
    return std::nullopt;
}

// The page of a stream that gave no symbol, with what the reader said.
PageOutcome nothing_found(const FrameScanner &scanner, std::vector<std::string> warnings) {
    PageOutcome page;
    page.results.reason = scanner.reason();
    page.warnings = std::move(warnings);
    return page;
}

} // namespace

std::optional<FileOutcome> process_video(const Options &opt, const FileEntry &entry) {
    FileOutcome outcome;
    outcome.video = true;
    std::optional<VideoSource> source;
    try {
        source = VideoSource::open_file(entry.path);
    } catch (const VideoError &e) {
        outcome.pages.push_back(failure(e.status(), e.what()));
        return outcome;
    } catch (const std::bad_alloc &) {
        outcome.pages.push_back(failure(VANTOR_READ_OUT_OF_MEMORY, ""));
        return outcome;
    }
    if (!source)
        return std::nullopt;
    FrameScanner scanner(opt.kinds, opt.every_frame);
    std::optional<PageOutcome> failed = read_frames(*source, scanner, [&](PageOutcome page) {
        outcome.pages.push_back(std::move(page));
        return true;
    });
    if (failed && outcome.pages.empty())
        outcome.pages.push_back(std::move(*failed));
    else if (outcome.pages.empty())
        outcome.pages.push_back(nothing_found(scanner, source->take_warnings()));
    else if (std::vector<std::string> late = source->take_warnings(); !late.empty())
        outcome.pages.back().warnings.insert(outcome.pages.back().warnings.end(), late.begin(), late.end());
    return outcome;
}

namespace {

void write_output(const FileOutput &output) {
    for (const OutputChunk &chunk : output.chunks) {
        std::FILE *to = chunk.to_stderr ? stderr : stdout;
        std::fwrite(chunk.text.data(), 1, chunk.text.size(), to);
        std::fflush(to);
    }
}

} // namespace

int run_live(const Options &opt) {
    const stream::VideoInput input = opt.camera ? stream::VideoInput::camera : stream::VideoInput::live;
    int status = exit_ok;
    for (const std::string &name : opt.files) {
        FileEntry entry;
        entry.name = entry.path = name;
        FileOutcome one;
        one.video = true;
        auto write = [&](PageOutcome page) {
            one.pages.assign(1, std::move(page));
            const FileOutput output = report_file(opt, entry, one, !opt.once);
            write_output(output);
            return output.status;
        };
        std::optional<VideoSource> source;
        try {
            source.emplace(VideoSource::open(name, input));
        } catch (const VideoError &e) {
            status = std::max(status, write(failure(e.status(), e.what())));
            continue;
        } catch (const std::bad_alloc &) {
            status = std::max(status, write(failure(VANTOR_READ_OUT_OF_MEMORY, "")));
            continue;
        }
        FrameScanner scanner(opt.kinds, opt.every_frame);
        bool found = false;
        std::optional<PageOutcome> failed = read_frames(*source, scanner, [&](PageOutcome page) {
            found = true;
            write(std::move(page));
            return !opt.once;
        });
        if (found && opt.once)
            return std::ferror(stdout) ? exit_unreadable : exit_ok;
        if (failed)
            status = std::max(status, write(std::move(*failed)));
        else if (!found)
            status = std::max(status, write(nothing_found(scanner, source->take_warnings())));
    }
    return std::ferror(stdout) ? exit_unreadable : status;
}

} // namespace vantor::cli
