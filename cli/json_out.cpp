#include "json_out.h"

#include "display_text.h"

#include <cstdint>

namespace vantor::cli {

namespace {

constexpr char hex_digits[] = "0123456789abcdef";

} // namespace

void append_json_string(std::string &out, std::string_view s) {
    out += '"';
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0x80) {
            const std::size_t n = utf8_sequence_length(s, i);
            if (n == 0) {
                out += "\xEF\xBF\xBD"; // U+FFFD for one bad byte
                ++i;
            } else {
                out.append(s.substr(i, n));
                i += n;
            }
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "\\u00";
                out += hex_digits[c >> 4];
                out += hex_digits[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    out += '"';
}

std::string hex_bytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes) {
        const unsigned char c = static_cast<unsigned char>(ch);
        out += hex_digits[c >> 4];
        out += hex_digits[c & 15];
    }
    return out;
}

void JsonObject::key(std::string_view name) {
    if (body_.size() > 1)
        body_ += ',';
    append_json_string(body_, name);
    body_ += ':';
}

JsonObject &JsonObject::text(std::string_view name, std::string_view value) {
    key(name);
    append_json_string(body_, value);
    return *this;
}

JsonObject &JsonObject::flag(std::string_view name, bool value) {
    key(name);
    body_ += value ? "true" : "false";
    return *this;
}

JsonObject &JsonObject::list(std::string_view name, const std::vector<std::string> &values) {
    key(name);
    body_ += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            body_ += ',';
        append_json_string(body_, values[i]);
    }
    body_ += ']';
    return *this;
}

} // namespace vantor::cli
