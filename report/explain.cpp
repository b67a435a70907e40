#include "explain.h"

#include <algorithm>

namespace vantor::report {

namespace {

// Passes 0 to 2 binarise with a global threshold, the later ones with local
// thresholds.
constexpr int last_global_pass = 2;
constexpr int last_classic_pass = 6;

std::string passes_named(int first, int last) {
    return first == last ? "pass " + std::to_string(first)
                         : "passes " + std::to_string(first) + "-" + std::to_string(last);
}

std::string plural(int n, const char *one, const char *many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string pass_range(int first, int last) {
    std::string s = passes_named(first, last);
    if (last <= last_global_pass)
        return s + (first == last ? " (global threshold)" : " (global thresholds)");
    if (first > last_global_pass)
        return s + (first == last ? " (local threshold)" : " (local thresholds)");
    return s + " (global and local thresholds)";
}

std::string describe_blocks(const vantor_reading &r) {
    if (r.blocks <= 0)
        return "";
    std::vector<std::string> parts;
    if (r.blocks_clean > 0)
        parts.push_back(std::to_string(r.blocks_clean) + " clean");
    if (r.blocks_corrected > 0)
        parts.push_back(std::to_string(r.blocks_corrected) + " corrected");
    if (r.blocks_beyond > 0)
        parts.push_back(std::to_string(r.blocks_beyond) + " beyond repair");
    std::string s = "; " + plural(r.blocks, "block", "blocks") + ":";
    for (std::size_t i = 0; i < parts.size(); ++i)
        s += (i > 0 ? ", " : " ") + parts[i];
    return s;
}

// What one reading found, up to the stage it reached.
std::string describe_reading(const vantor_reading &r) {
    const std::string version = "version " + std::to_string(r.version);
    switch (r.stage) {
    case VANTOR_STAGE_NONE:
    case VANTOR_STAGE_EYES: return "the eye patterns were not arranged as a symbol's";
    case VANTOR_STAGE_ARRANGED: return "version unreadable";
    case VANTOR_STAGE_VERSION: return version + "; the alignment patterns or module grid failed";
    case VANTOR_STAGE_GRID: return version + "; format information unreadable";
    case VANTOR_STAGE_FORMAT:
    case VANTOR_STAGE_CODEWORDS:
    case VANTOR_STAGE_TEXT: break;
    }
    std::string s = version + ", level " + std::string(1, r.level ? r.level : '?') + ", mask " +
                    std::to_string(r.mask) + describe_blocks(r);
    if (r.stage == VANTOR_STAGE_CODEWORDS)
        s += "; the data gives no text";
    else if (r.stage == VANTOR_STAGE_TEXT)
        s += "; text";
    return s;
}

// What one pass saw: the first line after the pass name, then a line per
// reading that got as far as arranging three eye patterns.
std::vector<std::string> describe_pass(const std::vector<const vantor_reading *> &readings) {
    int candidates = 0;
    bool arranged = false;
    for (const vantor_reading *r : readings) {
        candidates = std::max(candidates, r->candidates);
        arranged = arranged || r->stage >= VANTOR_STAGE_ARRANGED;
    }
    std::string line = plural(candidates, "eye pattern candidate", "eye pattern candidates");
    if (candidates < 3)
        line += ", three needed";
    else if (!arranged)
        line += "; no three of them lie like the corners of a symbol";
    std::vector<std::string> lines{line};
    if (arranged)
        for (const vantor_reading *r : readings)
            lines.push_back("  reading " + std::to_string(r->reading + 1) + ": " + describe_reading(*r));
    return lines;
}

// The kinds other than Model 2 that were looked for, named for a reader.
std::string other_kinds(unsigned kinds) {
    std::vector<std::string> names;
    if (kinds & (1u << VANTOR_KIND_QR_MODEL1))
        names.push_back("QR Code Model 1");
    if (kinds & (1u << VANTOR_KIND_MICRO_QR))
        names.push_back("Micro QR");
    if (kinds & (1u << VANTOR_KIND_RMQR))
        names.push_back("rMQR");
    std::string s;
    for (std::size_t i = 0; i < names.size(); ++i)
        s += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return s;
}

std::string reason_line(const vantor::Results &results) {
    switch (results.reason) {
    case VANTOR_OK: break;
    case VANTOR_NO_EYE_PATTERNS: {
        int most = 0;
        for (const vantor_reading &r : results.readings)
            most = std::max(most, r.candidates);
        if (most == 0)
            return "no eye patterns: no pass found any of the three square eye patterns in the "
                   "corners of a QR Code symbol";
        return "no eye patterns: at most " + plural(most, "eye pattern was", "eye patterns were") +
               " found on a pass; a symbol needs three";
    }
    case VANTOR_NO_SYMBOL:
        // A reading can read its format from one copy alone; it is still not
        // taken for a symbol unless both copies agree or a block checks.
        if (std::any_of(results.readings.begin(), results.readings.end(),
                        [](const vantor_reading &r) { return r.stage >= VANTOR_STAGE_FORMAT; }))
            return "no symbol found: the format information was read from one copy only (the two copies "
                   "differ) and no block of codewords checked, so no reading was taken for a symbol";
        return "no symbol found: shapes like eye patterns were seen, but no reading got as far as a "
               "plausible symbol (format information read alike from both copies, or a block of "
               "codewords that checks)";
    case VANTOR_EYES_NOT_A_SYMBOL:
        return "eye patterns found, but no three of them lie like the corners of a symbol";
    case VANTOR_VERSION_UNREADABLE:
        return "eye patterns found, but the symbol's version could not be determined";
    case VANTOR_GRID_FAILED:
        return "eye patterns and version found, but the alignment patterns or the module grid failed";
    case VANTOR_FORMAT_UNREADABLE:
        return "unreadable format information: eye patterns found, but neither copy of the "
               "format information (error correction level and mask) could be read";
    case VANTOR_TOO_MANY_ERRORS: {
        // The reading that came closest: fewest blocks beyond repair.
        const vantor_reading *best = nullptr;
        for (const vantor_reading &r : results.readings)
            if (r.stage == VANTOR_STAGE_FORMAT && r.blocks > 0 && (!best || r.blocks_beyond < best->blocks_beyond))
                best = &r;
        std::string s = "too many codeword errors: the format was read, but ";
        if (best)
            return s + "at best " + std::to_string(best->blocks_beyond) + " of " +
                   plural(best->blocks, "block", "blocks") +
                   " had more errors than its error correction can repair";
        return s + "the codewords had more errors than the error correction can repair";
    }
    case VANTOR_UNSUPPORTED_CONTENT:
        return "the codewords are intact, but the data holds content this reader does not turn into text";
    case VANTOR_BAD_DATA: return "the codewords are intact, but their data does not decode to text";
    case VANTOR_INVALID_ARGUMENT:
        return "the image could not be decoded (more than 2^28 pixels, or a bad size or stride)";
    case VANTOR_OUT_OF_MEMORY: return "the decoder ran out of memory";
    }
    return vantor_reason_text(results.reason);
}

} // namespace

std::vector<std::string> explain(const vantor::Results &results, bool thorough, vantor_effort effort, bool wide,
                                 unsigned kinds, bool two_level) {
    const bool model2 = kinds & (1u << VANTOR_KIND_QR);
    // The readings grouped by pass, in the order they ran.
    std::vector<std::pair<int, std::vector<const vantor_reading *>>> passes;
    for (const vantor_reading &r : results.readings) {
        if (passes.empty() || passes.back().first != r.pass)
            passes.push_back({r.pass, {}});
        passes.back().second.push_back(&r);
    }
    std::vector<std::string> lines;
    for (std::size_t first = 0; first < passes.size();) {
        const std::vector<std::string> seen = describe_pass(passes[first].second);
        std::size_t last = first;
        while (last + 1 < passes.size() && passes[last + 1].first == passes[last].first + 1 &&
               describe_pass(passes[last + 1].second) == seen)
            ++last;
        lines.push_back(pass_range(passes[first].first, passes[last].first) + ": " + seen[0]);
        lines.insert(lines.end(), seen.begin() + 1, seen.end());
        first = last + 1;
    }
    const bool classic_ran = model2 && (!wide || results.reason == VANTOR_INVALID_ARGUMENT);
    if (!model2)
        lines.push_back("QR Code Model 2 was not looked for, so no binarisation pass ran; only " + other_kinds(kinds) +
                        " symbols were");
    else if (!classic_ran)
        lines.push_back("a side over " + std::to_string(VANTOR_CLASSIC_MAX_SIDE) +
                        " pixels: the classic readings do not run, only the thorough search");
    if (results) {
        const vantor::Symbol &s = results.symbols.front();
        const bool model2_read = std::any_of(results.symbols.begin(), results.symbols.end(),
                                             [](const vantor::Symbol &o) { return o.kind == VANTOR_KIND_QR; });
        // The default effort runs the search straight after the first pass
        // when that pass saw a symbol it could not read.
        // A two-level picture's one binarisation is pass 0's.
        const int last_pass = passes.empty() ? -1 : two_level ? last_classic_pass : passes.back().first;
        if (s.kind == VANTOR_KIND_MICRO_QR || s.kind == VANTOR_KIND_RMQR)
            lines.push_back(std::string("result: ") + (s.kind == VANTOR_KIND_RMQR ? "an rMQR" : "a Micro QR") +
                            " symbol (" + s.version_name + "), read " +
                            (model2_read ? "beside the Model 2 symbols, as every symbol was asked for"
                             : model2    ? "after the Model 2 readings gave no text"
                                         : "by its own eye pattern"));
        else if (s.kind == VANTOR_KIND_QR_MODEL1)
            lines.push_back("result: a QR Code Model 1 symbol (version " + s.version_name +
                            "), read by the thorough search where the Model 2 reading of its eye patterns failed");
        else if (s.copy_factor > 0)
            lines.push_back(std::string("result: decoded in a copy of the picture ") +
                            (s.copy_factor == 1 ? "with the fine grid crossing it (a screen's pixels) filled in"
                                                : "shrunk by " + std::to_string(s.copy_factor) +
                                                      " (its modules too large to read as they are)") +
                            ", by " +
                            (s.pass < 0 ? std::string("the thorough search")
                                        : "pass " + std::to_string(s.pass) + ", reading " +
                                              std::to_string(s.reading + 1)) +
                            ", after the picture as it is gave no text");
        else if (!classic_ran)
            lines.push_back("result: decoded by the thorough search");
        else if (s.pass < 0 && last_pass >= 0 && last_pass < last_classic_pass)
            lines.push_back("result: decoded by the thorough search, which ran when " + passes_named(0, last_pass) +
                            " gave no text; " + passes_named(last_pass + 1, last_classic_pass) +
                            " did not run (--effort exhaustive runs them all)");
        else if (s.pass < 0)
            lines.push_back("result: decoded by the thorough search, after the classic readings gave no text");
        else
            lines.push_back("result: decoded (pass " + std::to_string(s.pass) + ", reading " +
                            std::to_string(s.reading + 1) + ")");
        return lines;
    }
    const bool ran = results.reason != VANTOR_INVALID_ARGUMENT && results.reason != VANTOR_OUT_OF_MEMORY;
    if (!model2) {
        if (ran)
            lines.push_back("reason: no " + other_kinds(kinds) + " symbol found");
        else
            lines.push_back("reason: " + reason_line(results));
        return lines;
    }
    if (two_level && classic_ran && ran && !passes.empty())
        lines.push_back("passes 1-6 did not run: the picture is two-level, so pass 0's binarisation is its only one");
    if (results.searched)
        lines.push_back("the thorough search found no symbol either");
    else if (ran && effort == VANTOR_EFFORT_FAST)
        lines.push_back("the fast effort runs at most passes 0-3, and the thorough search only where a quick look "
                        "found eye patterns; passes that did not run are not listed (--effort exhaustive runs "
                        "them all)");
    else if (ran && thorough && effort == VANTOR_EFFORT_DEFAULT)
        lines.push_back(std::string(two_level ? "the thorough search" : "the other passes and the thorough search") +
                        " did not run: a quick look at the picture and its inverse found no eye patterns that "
                        "could make a symbol (--effort exhaustive runs " + (two_level ? "it" : "them all") + ")");
    lines.push_back("reason: " + reason_line(results));
    return lines;
}

} // namespace vantor::report
