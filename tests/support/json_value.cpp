// The tests' JSON parser; see json_value.h.
#include "json_value.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace vantor::testing {

namespace {

// Strict RFC 8259 parser: no raw control characters in strings, escapes and
// UTF-8 checked, nothing after the value.
class Parser {
public:
    explicit Parser(std::string_view text) : t_(text) {}

    std::optional<Json> document() {
        Json v;
        if (!value(v, 0))
            return std::nullopt;
        ws();
        if (i_ != t_.size())
            return std::nullopt;
        return v;
    }

private:
    void ws() {
        while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\t' || t_[i_] == '\n' || t_[i_] == '\r'))
            ++i_;
    }
    bool literal(std::string_view word) {
        if (t_.substr(i_, word.size()) != word)
            return false;
        i_ += word.size();
        return true;
    }
    bool value(Json &v, int depth) {
        if (depth > 64)
            return false;
        ws();
        if (i_ >= t_.size())
            return false;
        const char c = t_[i_];
        if (c == '{')
            return object(v, depth);
        if (c == '[')
            return array(v, depth);
        if (c == '"') {
            v.kind = Json::string;
            return string(v.s);
        }
        if (literal("true")) {
            v.kind = Json::boolean;
            v.b = true;
            return true;
        }
        if (literal("false")) {
            v.kind = Json::boolean;
            return true;
        }
        if (literal("null"))
            return true;
        return number(v);
    }
    bool object(Json &v, int depth) {
        v.kind = Json::object;
        ++i_;
        ws();
        if (i_ < t_.size() && t_[i_] == '}')
            return ++i_, true;
        while (true) {
            ws();
            std::string key;
            if (i_ >= t_.size() || t_[i_] != '"' || !string(key))
                return false;
            ws();
            if (i_ >= t_.size() || t_[i_++] != ':')
                return false;
            Json item;
            if (!value(item, depth + 1) || v.fields.count(key))
                return false;
            v.fields[key] = std::move(item);
            ws();
            if (i_ >= t_.size())
                return false;
            if (t_[i_] == '}')
                return ++i_, true;
            if (t_[i_++] != ',')
                return false;
        }
    }
    bool array(Json &v, int depth) {
        v.kind = Json::array;
        ++i_;
        ws();
        if (i_ < t_.size() && t_[i_] == ']')
            return ++i_, true;
        while (true) {
            Json item;
            if (!value(item, depth + 1))
                return false;
            v.items.push_back(std::move(item));
            ws();
            if (i_ >= t_.size())
                return false;
            if (t_[i_] == ']')
                return ++i_, true;
            if (t_[i_++] != ',')
                return false;
        }
    }
    bool number(Json &v) {
        const std::size_t start = i_;
        if (i_ < t_.size() && t_[i_] == '-')
            ++i_;
        if (i_ >= t_.size() || !std::isdigit(static_cast<unsigned char>(t_[i_])))
            return false;
        while (i_ < t_.size() && std::strchr("0123456789.eE+-", t_[i_]))
            ++i_;
        v.kind = Json::number;
        v.n = std::strtod(std::string(t_.substr(start, i_ - start)).c_str(), nullptr);
        return true;
    }
    static void put_utf8(std::string &out, char32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    bool hex4(char32_t &out) {
        if (t_.size() - i_ < 4)
            return false;
        out = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = t_[i_++];
            const char *digits = "0123456789abcdef0123456789ABCDEF";
            const char *p = std::strchr(digits, c);
            if (!c || !p)
                return false;
            out = out * 16 + static_cast<char32_t>((p - digits) % 16);
        }
        return true;
    }
    // The raw bytes of a string must be well-formed UTF-8.
    bool utf8_char(std::string &out) {
        const unsigned char c = static_cast<unsigned char>(t_[i_]);
        int extra = c >= 0xF0 && c <= 0xF4 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : -1;
        if (extra < 0 || t_.size() - i_ <= static_cast<std::size_t>(extra))
            return false;
        char32_t cp = c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const unsigned char cc = static_cast<unsigned char>(t_[i_ + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        static constexpr char32_t least[4] = {0, 0x80, 0x800, 0x10000};
        if (cp < least[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        out.append(t_.substr(i_, static_cast<std::size_t>(extra) + 1));
        i_ += static_cast<std::size_t>(extra) + 1;
        return true;
    }
    bool string(std::string &out) {
        ++i_;
        while (i_ < t_.size()) {
            const unsigned char c = static_cast<unsigned char>(t_[i_]);
            if (c == '"')
                return ++i_, true;
            if (c < 0x20)
                return false;
            if (c >= 0x80) {
                if (!utf8_char(out))
                    return false;
                continue;
            }
            ++i_;
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (i_ >= t_.size())
                return false;
            const char e = t_[i_++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                char32_t cp;
                if (!hex4(cp))
                    return false;
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    char32_t low;
                    if (!literal("\\u") || !hex4(low) || low < 0xDC00 || low > 0xDFFF)
                        return false;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                    return false;
                }
                put_utf8(out, cp);
                break;
            }
            default: return false;
            }
        }
        return false;
    }

    std::string_view t_;
    std::size_t i_ = 0;
};

} // namespace

std::optional<Json> parse(std::string_view text) { return Parser(text).document(); }

std::vector<Json> json_lines(const std::string &out) {
    std::vector<Json> lines;
    std::size_t start = 0;
    while (start < out.size()) {
        const std::size_t eol = out.find('\n', start);
        EXPECT_NE(eol, std::string::npos) << "output does not end in a line break";
        if (eol == std::string::npos)
            break;
        auto v = parse(std::string_view(out).substr(start, eol - start));
        EXPECT_TRUE(v) << "not JSON: " << out.substr(start, eol - start);
        if (v)
            lines.push_back(*v);
        start = eol + 1;
    }
    return lines;
}

} // namespace vantor::testing
