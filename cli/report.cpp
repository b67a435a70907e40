#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "decode_rows.h"

namespace vantor::cli {

namespace {

class Writer {
public:
    void out(std::string text) { add(false, std::move(text)); }
    void err(std::string text) { add(true, std::move(text)); }
    FileOutput &result() { return output_; }

private:
    void add(bool to_stderr, std::string text) {
        if (text.empty())
            return;
        if (!output_.chunks.empty() && output_.chunks.back().to_stderr == to_stderr)
            output_.chunks.back().text += text;
        else
            output_.chunks.push_back({to_stderr, std::move(text)});
    }
    FileOutput output_;
};

// A time in a video: "m:ss.mmm", or "h:mm:ss.mmm" from an hour on.
std::string time_text(double seconds) {
    const long long ms = std::llround(std::max(0.0, seconds) * 1000);
    const long long h = ms / 3600000, m = ms / 60000 % 60, s = ms / 1000 % 60, rest = ms % 1000;
    char text[64];
    if (h > 0)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld", h, m, s, rest);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", m, s, rest);
    return text;
}

// The file's name, and the page when the file has several.
std::string page_label(const FileEntry &entry, const FileOutcome &outcome, const PageOutcome &page) {
    if (page.stamp)
        return entry.name + " @ " + time_text(page.stamp->seconds);
    if (outcome.page_count <= 1)
        return entry.name;
    return entry.name + " (page " + std::to_string(page.page + 1) + ")";
}

// Whether a name ends as an image file's does: such a file that holds no
// image is worth a word when a folder's reading skips it.
bool image_file_name(const std::string &name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.find('/', dot) != std::string::npos)
        return false;
    std::string ext = name.substr(dot + 1);
    for (char &c : ext)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    for (const char *known : {"bmp", "dib", "jpg", "jpeg", "jpe", "jfif", "gif", "png", "tif", "tiff", "webp", "pbm",
                              "pgm", "ppm", "pnm"})
        if (ext == known)
            return true;
    return false;
}

// Shapes like eye patterns were seen but the default effort stopped before
// every pass and the search ran: the exhaustive effort may still read a
// symbol there.
bool stopped_short(const Options &opt, const PageOutcome &page) {
    const vantor::Results &r = page.results;
    const bool eyes_seen = std::any_of(r.readings.begin(), r.readings.end(),
                                       [](const vantor_reading &reading) { return reading.candidates > 0; });
    return opt.effort == VANTOR_EFFORT_DEFAULT && opt.thorough && page.read_status == VANTOR_READ_OK && !r &&
           !r.searched && eyes_seen && r.reason != VANTOR_INVALID_ARGUMENT && r.reason != VANTOR_OUT_OF_MEMORY;
}

int page_status(const PageOutcome &page) {
    if (page.read_status != VANTOR_READ_OK)
        return exit_unreadable;
    return page.results ? exit_ok : exit_no_symbol;
}

// The rows of one page: a read failure's own, else the decode's.
void json_page(Writer &w, const FileEntry &entry, const FileOutcome &outcome, const PageOutcome &page) {
    report::JsonObject head;
    head.text("file", entry.name);
    if (outcome.page_count > 1)
        head.number("page", page.page + 1);
    if (page.stamp)
        head.decimal("time", page.stamp->seconds, 3).number("frame", page.stamp->frame);
    const report::RowNotes notes{page.warnings, page.explanation};
    if (page.read_status != VANTOR_READ_OK) {
        w.out(report::unreadable_row(head, page.read_status, page.cause, notes).str() + "\n");
        return;
    }
    for (const report::JsonObject &o : report::decode_rows(head, page.results, notes))
        w.out(o.str() + "\n");
}

void text_page(Writer &w, const Options &opt, const std::string &label, const PageOutcome &page,
               bool several) {
    const std::string prefix = several ? label + ": " : "";
    if (page.read_status != VANTOR_READ_OK) {
        w.err("vantor: " + label + ": " + page.cause + "\n");
        if (opt.raw && opt.nul_separated)
            w.out(std::string(1, '\0'));
    } else if (!page.results) {
        w.err(prefix + "no QR Code found\n");
        if (opt.raw && opt.nul_separated)
            w.out(std::string(1, '\0'));
    } else {
        auto raw_record = [&](const std::string &bytes) { w.out(opt.nul_separated ? bytes + '\0' : bytes); };
        for (const vantor::Symbol &s : page.results.symbols) {
            if (opt.raw)
                raw_record(s.bytes);
            else
                w.out(prefix + s.text + "\n");
        }
        // A whole structured-append set: its message as one more record.
        if (const auto &joined = page.results.joined) {
            if (opt.raw)
                raw_record(*joined);
            else
                w.out(prefix + "joined: " + vantor::display_text(*joined) + "\n");
        }
    }
    if (!page.explanation.empty()) {
        std::string lines = label + ":\n";
        for (const std::string &line : page.explanation)
            lines += "  " + line + "\n";
        w.out(lines);
    }
}

} // namespace

FileOutput report_file(const Options &opt, const FileEntry &entry, const FileOutcome &outcome,
                       bool several) {
    Writer w;
    if (outcome.skipped) {
        if (opt.json) {
            report::JsonObject o;
            o.text("file", entry.name).flag("decoded", false).flag("skipped", true).text("message",
                                                                                          outcome.skip_cause);
            w.out(o.str() + "\n");
        } else if (image_file_name(entry.name)) {
            w.err("vantor: " + entry.name + ": skipped: " + outcome.skip_cause + "\n");
        }
        FileOutput output = std::move(w.result());
        output.skipped = true;
        return output;
    }
    int status = exit_ok;
    for (const PageOutcome &page : outcome.pages) {
        status = std::max(status, page_status(page));
        const std::string label = page_label(entry, outcome, page);
        if (!page.trace.empty())
            w.err(page.trace);
        if (opt.json) {
            json_page(w, entry, outcome, page);
            continue;
        }
        for (const std::string &warning : page.warnings)
            w.err("vantor: " + label + ": warning: " + warning + "\n");
        // --all lines name their file, so that several symbols' texts can
        // be told apart; a video's name their time, but for --once's one text.
        text_page(w, opt, label, page, several || opt.all || outcome.page_count > 1 ||
                                    (page.stamp && !opt.once));
        w.result().effort_hint = w.result().effort_hint || (!opt.raw && stopped_short(opt, page));
    }
    w.result().status = status;
    return std::move(w.result());
}

} // namespace vantor::cli
