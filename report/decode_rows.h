// A decode's results as JSON objects, the rows of --json: one per symbol,
// then one for a whole structured-append set's message; or one saying why
// there is no symbol. The command line, the WebAssembly module and the
// Python package all write them here, so their fields and shapes agree.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <vantor/vantor.hpp>

#include "json_object.h"

namespace vantor::report {

// What goes at the end of every row: the image reader's warnings and the
// explanation, each left out when empty.
struct RowNotes {
    std::vector<std::string> warnings;
    std::vector<std::string> explanation;
};

// Each row starts with the fields of head (the file, the page) and ends
// with the notes.
std::vector<JsonObject> decode_rows(const JsonObject &head, const vantor::Results &results, const RowNotes &notes);

// The fields of one symbol, in the order they are written; eci,
// structured_append and fnc1 only when the symbol carries them.
void add_symbol_fields(JsonObject &o, const vantor::Symbol &s);

void add_notes(JsonObject &o, const RowNotes &notes);

// A short fixed token for a read status, for scripts ("no_such_file", ...).
const char *read_cause_token(vantor_read_status status);

// The row of a file that could not be read: the status's token and the
// message the user is told.
JsonObject unreadable_row(const JsonObject &head, vantor_read_status status, const std::string &message,
                          const RowNotes &notes);

// The lines of a text, empty ones left out: an image's warnings as
// RowNotes holds them.
std::vector<std::string> split_lines(std::string_view text);

} // namespace vantor::report
