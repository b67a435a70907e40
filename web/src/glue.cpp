// The WebAssembly module's entry points: one decode of grey pixels, whose
// outcome goes to JavaScript as one JSON text that the caller frees. Its
// rows are the report writer's, those of the command line's --json
// --explain (without "file"), so the browser and the command line can be
// compared field for field.
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <string>
#include <vector>

#include <vantor/vantor.hpp>

#include "decode_rows.h"
#include "explain.h"

namespace {

using vantor::report::JsonObject;

// Bits of vantor_web_decode's options, set by the JavaScript side.
constexpr int option_all = 1;
constexpr int option_thorough = 2;

// {"rows":[...],"details":[...],"stage":...,"searched":...}: details has
// what --json leaves out of each symbol's row, one per symbol in order.
std::string results_json(const vantor::Results &results, bool thorough, vantor_effort effort, bool wide,
                         unsigned kinds) {
    const vantor::report::RowNotes notes{{}, vantor::report::explain(results, thorough, effort, wide, kinds)};
    std::vector<JsonObject> details;
    for (const vantor::Symbol &s : results.symbols) {
        JsonObject &d = details.emplace_back();
        // The reading counted from 1, as --explain names it; -1 without a pass.
        d.number("pass", s.pass).number("reading", s.pass >= 0 ? s.reading + 1 : -1);
    }
    JsonObject out;
    out.objects("rows", vantor::report::decode_rows(JsonObject(), results, notes)).objects("details", details);
    out.text("stage", vantor_stage_text(results.stage)).flag("searched", results.searched);
    return out.str();
}

std::string refusal(const std::string &why) { return JsonObject().text("refused", why).str(); }

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
            json = refusal(std::string("unknown effort \"") + (effort_name ? effort_name : "") +
                           "\" (known: default, fast, exhaustive)");
        } else if (!vantor_options_set_kinds(opt.get(), kinds)) {
            json = refusal("no known QR kind in the formats");
        } else {
            opt.effort(effort);
            const std::size_t size = width > 0 && height > 0 ? static_cast<std::size_t>(width) * height : 0;
            const bool wide = std::max(width, height) > VANTOR_CLASSIC_MAX_SIDE;
            json = results_json(vantor::decode(std::span(pixels, size), width, height, width, 8, opt), thorough,
                                effort, wide, kinds);
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
