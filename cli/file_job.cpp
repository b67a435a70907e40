#include "file_job.h"

#include <algorithm>
#include <new>
#include <optional>

#include "decode_rows.h"
#include "explain.h"
#ifdef VANTOR_WITH_VIDEO
#include "video_job.h"
#endif

namespace vantor::cli {

namespace {

// The reader's text without its line break, naming the file as the user
// gave it (a spooled standard input is read from a temporary file).
std::string tidy_message(std::string message, const FileEntry &entry) {
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    if (entry.path != entry.name && !entry.path.empty())
        for (std::size_t at; (at = message.find(entry.path)) != std::string::npos;)
            message.replace(at, entry.path.size(), entry.name);
    return message;
}

// A reader's text names the file ("file NAME: cause"); the line it goes
// into names it already, so it is left out there.
std::string without_file_name(std::string message, const FileEntry &entry) {
    for (const std::string &lead : {"file " + entry.name + ": ", "file " + entry.name + " "})
        if (message.starts_with(lead))
            return message.substr(lead.size());
    return message;
}

// Reads one page; the page's read status and cause are filled on failure.
std::optional<vantor::Image> read_page(const Options &opt, const FileEntry &entry, PageOutcome &page) {
    try {
        vantor::Image image = vantor::Image::read(entry.path, page.page, opt.dpi);
        page.warnings = report::split_lines(tidy_message(image.warnings(), entry));
        return image;
    } catch (const vantor::ReadError &e) {
        page.read_status = e.status();
        page.cause = read_cause(e.status(), without_file_name(tidy_message(e.reader_message(), entry), entry));
    } catch (const std::bad_alloc &) {
        page.read_status = VANTOR_READ_OUT_OF_MEMORY;
        page.cause = read_cause(VANTOR_READ_OUT_OF_MEMORY, "");
    }
    return std::nullopt;
}

void decode_page(const Options &opt, const vantor::Image &image, PageOutcome &page) {
    vantor::Options decoding;
    decoding.thorough(opt.thorough).all_symbols(opt.all).kinds(opt.kinds).effort(opt.effort);
    if (opt.log) {
        decoding.debug_dir(opt.debug_dir.empty() ? "." : opt.debug_dir);
        decoding.trace([&page](std::string_view line) { page.trace.append(line); });
    }
    try {
        page.results = vantor::decode(image, decoding);
    } catch (const std::bad_alloc &) {
        page.results = vantor::Results();
        page.results.reason = VANTOR_OUT_OF_MEMORY;
    }
    if (opt.explain)
        page.explanation = report::explain(page.results, opt.thorough, opt.effort,
                                           std::max(image.width(), image.height()) > VANTOR_CLASSIC_MAX_SIDE,
                                           opt.kinds, image.depth() == 1);
}

} // namespace

std::string read_cause(vantor_read_status status, const std::string &reader_message) {
    std::string cause = vantor_read_status_text(status);
    if (status == VANTOR_READ_UNKNOWN_FORMAT)
        cause += std::string(" (") + image_formats + ")";
    else if (status == VANTOR_READ_INVALID_ARGUMENT && !reader_message.empty())
        cause = reader_message;
    else if (status == VANTOR_READ_DAMAGED && !reader_message.empty())
        cause += ": " + reader_message;
    else if (status == VANTOR_READ_IS_DIRECTORY && !reader_message.empty())
        cause += " " + reader_message;
    return cause;
}

FileOutcome process_file(const Options &opt, const FileEntry &entry) {
    FileOutcome outcome;
    PageOutcome first;
    if (entry.failure != VANTOR_READ_OK) {
        first.read_status = entry.failure;
        first.cause = read_cause(entry.failure, entry.failure_message);
        outcome.pages.push_back(std::move(first));
        return outcome;
    }
    std::optional<vantor::Image> image = read_page(opt, entry, first);
#ifdef VANTOR_WITH_VIDEO
    // No image format: perhaps a video.
    if (!image && first.read_status == VANTOR_READ_UNKNOWN_FORMAT)
        if (std::optional<FileOutcome> video = process_video(opt, entry))
            return std::move(*video);
#endif
    // A folder's files that hold no image are not part of the run.
    if (!image && entry.from_folder &&
        (first.read_status == VANTOR_READ_UNKNOWN_FORMAT || first.read_status == VANTOR_READ_EMPTY_FILE)) {
        outcome.skipped = true;
        outcome.skip_cause = first.cause;
        return outcome;
    }
    if (!image) {
        if (opt.explain)
            first.explanation.push_back(report::unread_explanation);
        outcome.pages.push_back(std::move(first));
        return outcome;
    }
    const int page_count = std::max(1, image->page_count());
    const bool document = image->format() == "PDF";
    if (opt.all)
        outcome.page_count = page_count;
    decode_page(opt, *image, first);
    image.reset();
    // Without --all a document is read up to the first page with a symbol.
    if (document && !opt.all && page_count > 1 && !first.results) {
        for (int p = 1; p < page_count; ++p) {
            PageOutcome page;
            page.page = p;
            if (std::optional<vantor::Image> more = read_page(opt, entry, page))
                decode_page(opt, *more, page);
            if (page.results) {
                outcome.page_count = page_count;
                outcome.pages.push_back(std::move(page));
                return outcome;
            }
        }
    }
    if (document && !opt.all && first.results)
        outcome.page_count = page_count;
    outcome.pages.push_back(std::move(first));
    for (int p = 1; p < outcome.page_count && opt.all; ++p) {
        PageOutcome page;
        page.page = p;
        if (std::optional<vantor::Image> more = read_page(opt, entry, page))
            decode_page(opt, *more, page);
        outcome.pages.push_back(std::move(page));
    }
    return outcome;
}

} // namespace vantor::cli
