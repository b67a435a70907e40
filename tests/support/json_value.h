// A strict JSON parser for the tests of the reader's JSON Lines output.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::testing {

// A JSON value: what the tests need of one.
struct Json {
    enum Kind { null, boolean, number, string, array, object } kind = null;
    bool b = false;
    double n = 0;
    std::string s;
    std::vector<Json> items;
    std::map<std::string, Json> fields;

    const Json *get(const std::string &key) const {
        auto it = fields.find(key);
        return it == fields.end() ? nullptr : &it->second;
    }
};

// Strict RFC 8259: no raw control characters in strings, escapes and UTF-8
// checked, nothing after the value. Empty when the text is not JSON.
std::optional<Json> parse(std::string_view text);

// One value per line of a JSON Lines text; a line that is not JSON, or
// output that does not end in a line break, fails the current test.
std::vector<Json> json_lines(const std::string &out);

} // namespace vantor::testing
