#include "report.h"

#include <algorithm>
#include <array>

#include "json_out.h"

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

// The file's name, and the page when the file has several.
std::string page_label(const FileEntry &entry, const FileOutcome &outcome, const PageOutcome &page) {
    if (outcome.page_count <= 1)
        return entry.name;
    return entry.name + " (page " + std::to_string(page.page + 1) + ")";
}

int page_status(const PageOutcome &page) {
    if (page.read_status != VANTOR_READ_OK)
        return exit_unreadable;
    return page.results ? exit_ok : exit_no_symbol;
}

void symbol_fields(JsonObject &o, const vantor::Symbol &s) {
    std::array<float, 8> corners{};
    for (std::size_t k = 0; k < 4; ++k) {
        corners[2 * k] = s.corners[k].x;
        corners[2 * k + 1] = s.corners[k].y;
    }
    o.text("text", s.text).text("bytes_hex", hex_bytes(s.bytes));
    o.number("version", s.version).text("level", std::string(1, s.level)).number("mask", s.mask);
    o.numbers("corners", corners).number("corrected", s.corrected);
    if (s.eci >= 0)
        o.number("eci", s.eci);
    if (s.sa_index >= 0) {
        JsonObject sa;
        sa.number("index", s.sa_index).number("count", s.sa_count).number("parity", s.sa_parity);
        o.object("structured_append", sa);
    }
    if (s.fnc1 != 0) {
        JsonObject fnc1;
        fnc1.number("position", s.fnc1);
        if (s.fnc1 == 2)
            fnc1.number("application", s.fnc1_application);
        o.object("fnc1", fnc1);
    }
    o.text("format", vantor_kind_name(s.kind)).text("version_name", s.version_name);
}

// One object per symbol, or one for a page with none.
void json_page(Writer &w, const FileEntry &entry, const FileOutcome &outcome, const PageOutcome &page) {
    auto start = [&] {
        JsonObject o;
        o.text("file", entry.name);
        if (outcome.page_count > 1)
            o.number("page", page.page + 1);
        return o;
    };
    auto finish = [&](JsonObject &o) {
        if (!page.warnings.empty())
            o.list("warnings", page.warnings);
        if (!page.explanation.empty())
            o.list("explain", page.explanation);
        w.out(o.str() + "\n");
    };
    if (page.read_status != VANTOR_READ_OK) {
        JsonObject o = start();
        o.flag("decoded", false).text("error", "unreadable");
        o.text("cause", read_cause_token(page.read_status)).text("message", page.cause);
        finish(o);
        return;
    }
    if (!page.results) {
        JsonObject o = start();
        o.flag("decoded", false).text("error", "no symbol").text("reason", page.results.reason_text());
        finish(o);
        return;
    }
    for (const vantor::Symbol &s : page.results.symbols) {
        JsonObject o = start();
        o.flag("decoded", true);
        symbol_fields(o, s);
        finish(o);
    }
    // A whole structured-append set: its message, one more row.
    if (page.results.joined) {
        const vantor::Symbol &first = page.results.symbols.front();
        JsonObject o = start();
        o.flag("decoded", true).flag("joined", true);
        o.text("text", vantor::display_text(*page.results.joined)).text("bytes_hex", hex_bytes(*page.results.joined));
        JsonObject sa;
        sa.number("count", first.sa_count).number("parity", first.sa_parity);
        o.object("structured_append", sa);
        finish(o);
    }
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
            JsonObject o;
            o.text("file", entry.name).flag("decoded", false).flag("skipped", true).text("message",
                                                                                          outcome.skip_cause);
            w.out(o.str() + "\n");
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
        // be told apart.
        text_page(w, opt, label, page, several || opt.all || outcome.page_count > 1);
    }
    w.result().status = status;
    return std::move(w.result());
}

} // namespace vantor::cli
