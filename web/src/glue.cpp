// The WebAssembly module's entry points: one decode of grey pixels, whose
// outcome goes to JavaScript as one JSON text that the caller frees. The
// symbols carry the fields of the command line's --json, and the
// explanation is the command line's --explain, so the browser and the
// command line can be compared word for word. (The command line's JSON
// writer needs float to_chars, which emscripten's C++ library lacks.)
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <string>
#include <vector>

#include <vantor/vantor.hpp>

#include "explain.h"

namespace {

// Bits of vantor_web_decode's options, set by the JavaScript side.
constexpr int option_all = 1;
constexpr int option_thorough = 2;

// Appends s as a JSON string: quotes, backslashes and control characters
// escaped; the UTF-8 the decoder gives passes through.
void add_string(std::string &out, std::string_view s) {
    out += '"';
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += ch;
        }
    }
    out += '"';
}

void add_field(std::string &out, const char *name) {
    if (out.back() != '{')
        out += ',';
    add_string(out, name);
    out += ':';
}

void add_number(std::string &out, const char *name, long long value) {
    add_field(out, name);
    out += std::to_string(value);
}

void add_text(std::string &out, const char *name, std::string_view value) {
    add_field(out, name);
    add_string(out, value);
}

void add_hex(std::string &out, const char *name, std::string_view bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    add_field(out, name);
    out += '"';
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    out += '"';
}

void add_symbol(std::string &out, const vantor::Symbol &s) {
    out += '{';
    add_text(out, "text", s.text);
    add_hex(out, "bytes_hex", s.bytes);
    add_number(out, "version", s.version);
    add_text(out, "level", std::string_view(&s.level, 1));
    add_number(out, "mask", s.mask);
    // Nine significant digits read back as the same float.
    add_field(out, "corners");
    for (std::size_t k = 0; k < 4; ++k) {
        char xy[64];
        std::snprintf(xy, sizeof xy, "%s%.9g,%.9g", k == 0 ? "[" : ",", s.corners[k].x, s.corners[k].y);
        out += xy;
    }
    out += ']';
    add_number(out, "corrected", s.corrected);
    add_number(out, "pass", s.pass);
    add_number(out, "reading", s.reading);
    add_number(out, "mirrored", s.mirrored);
    add_number(out, "inverted", s.inverted);
    add_number(out, "eci", s.eci);
    add_number(out, "sa_index", s.sa_index);
    add_number(out, "sa_count", s.sa_count);
    add_number(out, "sa_parity", s.sa_parity);
    add_number(out, "fnc1", s.fnc1);
    add_number(out, "fnc1_application", s.fnc1_application);
    add_text(out, "format", vantor_kind_name(s.kind));
    add_text(out, "version_name", s.version_name);
    out += '}';
}

// {"symbols":[...],"reason":...,"stage":...,"searched":...,"explain":[...],"joined_hex":...,"joined_text":...}
std::string results_json(const vantor::Results &results, bool thorough, vantor_effort effort, bool wide) {
    std::string out = "{\"symbols\":[";
    for (std::size_t i = 0; i < results.symbols.size(); ++i) {
        if (i > 0)
            out += ',';
        add_symbol(out, results.symbols[i]);
    }
    out += ']';
    add_text(out, "reason", results ? "" : results.reason_text());
    add_text(out, "stage", vantor_stage_text(results.stage));
    add_number(out, "searched", results.searched);
    add_field(out, "explain");
    const std::vector<std::string> lines = vantor::cli::explain(results, thorough, effort, wide);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out += i == 0 ? '[' : ',';
        add_string(out, lines[i]);
    }
    out += lines.empty() ? "[]" : "]";
    if (results.joined) {
        add_hex(out, "joined_hex", *results.joined);
        add_text(out, "joined_text", vantor::display_text(*results.joined));
    }
    out += '}';
    return out;
}

} // namespace

extern "C" {

// Decodes width x height grey pixels (rows width bytes apart, 0 black).
// effort: the effort's name, as vantor_effort_from_name takes it; kinds:
// the kinds looked for, as vantor_options_set_kinds takes them. Returns a
// new zero-terminated JSON text, freed with vantor_web_free: the results,
// or {"refused":...} for an effort or a set of kinds the library refuses;
// NULL when memory runs out.
__attribute__((used)) char *vantor_web_decode(const unsigned char *pixels, int width, int height,
                                              int options, const char *effort_name, unsigned kinds) {
    try {
        std::string json;
        vantor_effort effort = VANTOR_EFFORT_DEFAULT;
        vantor::Options opt;
        const bool thorough = (options & option_thorough) != 0;
        opt.thorough(thorough).all_symbols((options & option_all) != 0);
        if (!vantor_effort_from_name(effort_name, &effort)) {
            json = "{";
            add_text(json, "refused", std::string("unknown effort \"") + (effort_name ? effort_name : "") +
                                          "\" (known: default, fast, exhaustive)");
            json += '}';
        } else if (!vantor_options_set_kinds(opt.get(), kinds)) {
            json = "{";
            add_text(json, "refused", "no known QR kind in the formats");
            json += '}';
        } else {
            opt.effort(effort);
            const std::size_t size = width > 0 && height > 0 ? static_cast<std::size_t>(width) * height : 0;
            const bool wide = std::max(width, height) > VANTOR_CLASSIC_MAX_SIDE;
            json = results_json(vantor::decode(std::span(pixels, size), width, height, width, 8, opt), thorough,
                                effort, wide);
        }
        char *copy = static_cast<char *>(std::malloc(json.size() + 1));
        if (copy)
            std::memcpy(copy, json.c_str(), json.size() + 1);
        return copy;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

__attribute__((used)) void vantor_web_free(void *p) { std::free(p); }

// Bytes the allocator has handed out and not had back: the tests check
// that decoding leaves it where it was.
__attribute__((used)) std::size_t vantor_web_heap_in_use() { return mallinfo().uordblks; }

} // extern "C"
