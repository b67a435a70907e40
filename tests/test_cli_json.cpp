// --json and "-": every output line checked by a strict JSON parser, over
// symbols whose bytes are hostile to naive escaping, and standard input
// spooled through a temporary file that does not outlive the run.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "command_run.h"
#include "display_text.h"
#include "json_out.h"
#include "qr_symbols.h"

namespace fs = std::filesystem;
namespace vt = vantor::testing;

namespace {

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

std::optional<Json> parse(std::string_view s) { return Parser(s).document(); }

std::string json_string(std::string_view bytes) {
    std::string out;
    vantor::cli::append_json_string(out, bytes);
    return out;
}

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

const std::string cli = VANTOR_CLI;

} // namespace

TEST(JsonOutput, EscapingAlwaysGivesValidJson) {
    struct Case {
        std::string in;
        std::string decoded; // what a JSON parser reads back
    };
    const std::vector<Case> cases = {
        {"plain", "plain"},
        {"say \"hi\"", "say \"hi\""},
        {"back\\slash\\", "back\\slash\\"},
        {"tab\tline\nfeed\rbell\x07" "esc\x1b" "del\x7f", "tab\tline\nfeed\rbell\x07" "esc\x1b" "del\x7f"},
        {std::string("nul\0mid", 7), std::string("nul\0mid", 7)},
        {"\xE6\xBC\xA2\xE5\xAD\x97", "\xE6\xBC\xA2\xE5\xAD\x97"},           // kanji in UTF-8
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},                           // beyond the BMP
        {"a\x80z", "a\xEF\xBF\xBDz"},                                       // stray continuation
        {"\xFF\xFE", "\xEF\xBF\xBD\xEF\xBF\xBD"},                           // never UTF-8
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                           // overlong '/'
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},           // surrogate
        {"cut\xE6\xBC", "cut\xEF\xBF\xBD\xEF\xBF\xBD"},                     // truncated
        {"\x8A\xBF\x8E\x9A", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}, // Shift JIS bytes
    };
    for (const Case &c : cases) {
        const std::string literal = json_string(c.in);
        auto v = parse(literal);
        ASSERT_TRUE(v) << literal;
        EXPECT_EQ(v->kind, Json::string);
        EXPECT_EQ(v->s, c.decoded) << literal;
    }

    // Every byte string, random ones included, gives a JSON string.
    std::uint32_t seed = 7;
    for (int k = 0; k < 2000; ++k) {
        std::string bytes(static_cast<std::size_t>(k % 40), '\0');
        for (char &ch : bytes)
            ch = static_cast<char>((seed = seed * 1664525u + 1013904223u) >> 24);
        ASSERT_TRUE(parse(json_string(bytes))) << vantor::cli::hex_bytes(bytes);
    }

    EXPECT_EQ(vantor::cli::hex_bytes(std::string("\x00\x7f\x80\xff", 4)), "007f80ff");
    vantor::cli::JsonObject o;
    o.text("file", "a\"b").flag("decoded", false).list("explain", {"x", "y\n"});
    auto obj = parse(o.str());
    ASSERT_TRUE(obj);
    EXPECT_EQ(obj->get("file")->s, "a\"b");
    EXPECT_EQ(obj->get("decoded")->kind, Json::boolean);
    EXPECT_EQ(obj->get("explain")->items.size(), 2u);
}

TEST(JsonCli, SymbolsWithHostileBytes) {
    const std::string dir = vt::temp_dir("json-cli");
    struct Sample {
        std::string name;
        std::vector<vt::Segment> segments;
        std::string bytes; // what the reader can report
    };
    const std::string kanji = "\x8A\xBF\x8E\x9A"; // Shift JIS for two kanji
    const std::vector<Sample> samples = {
        {"quotes", {{vt::Mode::byte, "say \"hi\" \\ back\\slash"}}, "say \"hi\" \\ back\\slash"},
        {"control", {{vt::Mode::byte, "tab\tnl\ncr\rbel\x07" "esc\x1b"}}, "tab\tnl\ncr\rbel\x07" "esc\x1b"},
        // The decoder's text ends at a zero byte.
        {"zero", {{vt::Mode::byte, std::string("before\0after", 12)}}, "before"},
        {"invalid", {{vt::Mode::byte, "bad \xFF\xFE\x80 bytes"}}, "bad \xFF\xFE\x80 bytes"},
        {"kanji", {{vt::Mode::kanji, kanji}}, kanji},
        {"mixed", {{vt::Mode::numeric, "0123"}, {vt::Mode::byte, "\"q\""}, {vt::Mode::kanji, kanji}},
         "0123\"q\"" + kanji},
    };
    std::string args;
    for (const Sample &s : samples) {
        auto sym = vt::make_symbol(s.segments, 0, vt::Level::M);
        ASSERT_TRUE(sym) << s.name;
        ASSERT_TRUE(vt::write_bmp24(dir + "/" + s.name + ".bmp", vt::render(*sym)));
        args += " " + dir + "/" + s.name + ".bmp";
    }
    vt::CommandRun r = vt::run_command(cli + " --json" + args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    auto lines = json_lines(r.out);
    ASSERT_EQ(lines.size(), samples.size()) << r.out;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const Json &o = lines[i];
        const Sample &s = samples[i];
        ASSERT_EQ(o.kind, Json::object);
        EXPECT_EQ(o.get("file")->s, dir + "/" + s.name + ".bmp");
        ASSERT_TRUE(o.get("decoded") && o.get("decoded")->b) << s.name;
        EXPECT_EQ(o.get("bytes_hex")->s, vantor::cli::hex_bytes(s.bytes)) << s.name;
        EXPECT_EQ(o.get("text")->s, vantor::text_for_display(s.bytes)) << s.name;
        EXPECT_EQ(o.get("error"), nullptr);
    }
    EXPECT_EQ(lines[4].get("text")->s, "\xE6\xBC\xA2\xE5\xAD\x97"); // the kanji as UTF-8
    fs::remove_all(dir);
}

TEST(JsonCli, FailuresStandardInputAndExplain) {
    const std::string dir = vt::temp_dir("json-fail");
    auto sym = vt::make_symbol("from a pipe", 0, vt::Level::M, vt::Mode::byte);
    ASSERT_TRUE(sym);
    ASSERT_TRUE(vt::write_bmp24(dir + "/good.bmp", vt::render(*sym)));
    ASSERT_TRUE(vt::write_bmp24(dir + "/blank.bmp", vt::render_noise(64, 64, "blank")));
    const std::string spool = dir + "/spool";
    fs::create_directories(spool);

    // Unreadable, symbol-free and piped files, in one run.
    vt::CommandRun r = vt::run_command("TMPDIR=" + spool + " " + cli + " --json " + dir + "/missing.bmp " +
                                       dir + "/blank.bmp - < " + dir + "/good.bmp");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "");
    auto lines = json_lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_FALSE(lines[0].get("decoded")->b);
    EXPECT_EQ(lines[0].get("error")->s, "unreadable");
    EXPECT_EQ(lines[0].get("message")->s, "file " + dir + "/missing.bmp open error.");
    EXPECT_EQ(lines[1].get("error")->s, "no symbol");
    EXPECT_EQ(lines[2].get("file")->s, "-");
    EXPECT_TRUE(lines[2].get("decoded")->b);
    EXPECT_EQ(lines[2].get("text")->s, "from a pipe");
    EXPECT_TRUE(fs::is_empty(spool)) << "the spooled copy of standard input was left behind";

    // Standard input that is no image: the message names "-", not the
    // temporary file.
    vt::CommandRun bad = vt::run_command("echo not an image | TMPDIR=" + spool + " " + cli + " --json -");
    EXPECT_EQ(bad.status, 2);
    lines = json_lines(bad.out);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].get("message")->s, "file - is not BMP,JPEG.");
    EXPECT_TRUE(fs::is_empty(spool));

    // Plain output from a pipe, as `cat photo | vantor -`.
    vt::CommandRun plain = vt::run_command("cat " + dir + "/good.bmp | " + cli + " -");
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out, "from a pipe\n");

    // --explain adds its lines to the object.
    vt::CommandRun ex = vt::run_command(cli + " --json --explain " + dir + "/blank.bmp");
    EXPECT_EQ(ex.status, 1);
    lines = json_lines(ex.out);
    ASSERT_EQ(lines.size(), 1u);
    const Json *explain = lines[0].get("explain");
    ASSERT_TRUE(explain && explain->kind == Json::array && !explain->items.empty());
    EXPECT_EQ(explain->items.back().s.rfind("reason: no eye patterns", 0), 0u);

    EXPECT_EQ(vt::run_command(cli + " --json --raw " + dir + "/good.bmp").status, 64);
    fs::remove_all(dir);
}
