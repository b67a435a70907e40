#include "decode_rows.h"

#include <array>

namespace vantor::report {

void add_symbol_fields(JsonObject &o, const vantor::Symbol &s) {
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
    o.flag("mirrored", s.mirrored).flag("inverted", s.inverted);
}

void add_notes(JsonObject &o, const RowNotes &notes) {
    if (!notes.warnings.empty())
        o.list("warnings", notes.warnings);
    if (!notes.explanation.empty())
        o.list("explain", notes.explanation);
}

const char *read_cause_token(vantor_read_status status) {
    switch (status) {
    case VANTOR_READ_OK: return "none";
    case VANTOR_READ_NO_SUCH_FILE: return "no_such_file";
    case VANTOR_READ_PERMISSION_DENIED: return "permission_denied";
    case VANTOR_READ_IS_DIRECTORY: return "is_directory";
    case VANTOR_READ_EMPTY_FILE: return "empty_file";
    case VANTOR_READ_UNKNOWN_FORMAT: return "unknown_format";
    case VANTOR_READ_DAMAGED: return "damaged";
    case VANTOR_READ_OUT_OF_MEMORY: return "out_of_memory";
    case VANTOR_READ_INVALID_ARGUMENT: return "unreadable";
    }
    return "unreadable";
}

JsonObject unreadable_row(const JsonObject &head, vantor_read_status status, const std::string &message,
                          const RowNotes &notes) {
    JsonObject o = head;
    o.flag("decoded", false).text("error", "unreadable");
    o.text("cause", read_cause_token(status)).text("message", message);
    add_notes(o, notes);
    return o;
}

std::vector<std::string> split_lines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        if (end > start)
            lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<JsonObject> decode_rows(const JsonObject &head, const vantor::Results &results, const RowNotes &notes) {
    std::vector<JsonObject> rows;
    if (!results) {
        JsonObject &o = rows.emplace_back(head);
        o.flag("decoded", false).text("error", "no symbol").text("reason", results.reason_text());
    }
    for (const vantor::Symbol &s : results.symbols) {
        JsonObject &o = rows.emplace_back(head);
        o.flag("decoded", true);
        add_symbol_fields(o, s);
    }
    // The set's count and parity are its symbols'.
    if (results.joined) {
        const vantor::Symbol &first = results.symbols.front();
        JsonObject &o = rows.emplace_back(head);
        o.flag("decoded", true).flag("joined", true);
        o.text("text", vantor::display_text(*results.joined)).text("bytes_hex", hex_bytes(*results.joined));
        JsonObject sa;
        sa.number("count", first.sa_count).number("parity", first.sa_parity);
        o.object("structured_append", sa);
    }
    for (JsonObject &o : rows)
        add_notes(o, notes);
    return rows;
}

} // namespace vantor::report
