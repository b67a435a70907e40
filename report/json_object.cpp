#include "json_object.h"

#include <cmath>
#include <cstdio>

#include "float_text.h"

namespace vantor::report {

namespace {

constexpr char hex_digits[] = "0123456789abcdef";

// Length of the well-formed UTF-8 sequence at s[i] (1 for ASCII), or 0 when
// there is none (stray continuation byte, overlong form, surrogate, past
// U+10FFFF, cut short).
std::size_t utf8_sequence_length(std::string_view s, std::size_t i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80)
        return 1;
    std::size_t extra;
    char32_t cp;
    if ((c & 0xE0) == 0xC0) {
        extra = 1;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (s.size() - i <= extra)
        return 0;
    for (std::size_t k = 1; k <= extra; ++k) {
        const unsigned char cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    static constexpr char32_t least[4] = {0, 0x80, 0x800, 0x10000};
    if (cp < least[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return extra + 1;
}

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

JsonObject &JsonObject::number(std::string_view name, long long value) {
    key(name);
    body_ += std::to_string(value);
    return *this;
}

JsonObject &JsonObject::decimal(std::string_view name, double value, int places) {
    key(name);
    if (!std::isfinite(value)) {
        body_ += "null";
        return *this;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", places, value);
    body_ += text;
    return *this;
}

JsonObject &JsonObject::numbers(std::string_view name, std::span<const float> values) {
    key(name);
    body_ += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            body_ += ',';
        if (std::isfinite(values[i]))
            append_shortest(body_, values[i]);
        else
            body_ += "null";
    }
    body_ += ']';
    return *this;
}

JsonObject &JsonObject::object(std::string_view name, const JsonObject &value) {
    key(name);
    body_ += value.str();
    return *this;
}

JsonObject &JsonObject::objects(std::string_view name, std::span<const JsonObject> values) {
    key(name);
    body_ += json_array(values);
    return *this;
}

std::string json_array(std::span<const JsonObject> values) {
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            out += ',';
        out += values[i].str();
    }
    return out + "]";
}

} // namespace vantor::report
