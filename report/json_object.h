// JSON objects built field by field: the reports of the command line, the
// WebAssembly module and the Python package are made of them.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::report {

// Appends s as a JSON string literal, quotes included. Quotes, backslashes
// and control characters are escaped; bytes that are not well-formed UTF-8
// become U+FFFD, so the result is valid JSON whatever s holds.
void append_json_string(std::string &out, std::string_view s);

// Two lower-case hex digits per byte.
std::string hex_bytes(std::string_view bytes);

// Builds one JSON object, fields in the order they are added.
class JsonObject {
public:
    JsonObject &text(std::string_view name, std::string_view value);
    JsonObject &flag(std::string_view name, bool value);
    JsonObject &list(std::string_view name, const std::vector<std::string> &values);
    JsonObject &number(std::string_view name, long long value);
    // A finite value with `places` decimals ("1.234"); null when not finite.
    JsonObject &decimal(std::string_view name, double value, int places);
    // Each number in its shortest form that reads back the same float;
    // null for a value that is not finite (JSON has no such number).
    JsonObject &numbers(std::string_view name, std::span<const float> values);
    JsonObject &object(std::string_view name, const JsonObject &value);
    JsonObject &objects(std::string_view name, std::span<const JsonObject> values);
    // The object on one line, without a line break.
    std::string str() const { return body_ + "}"; }

private:
    void key(std::string_view name);
    std::string body_ = "{";
};

// The objects as one JSON array.
std::string json_array(std::span<const JsonObject> values);

} // namespace vantor::report
