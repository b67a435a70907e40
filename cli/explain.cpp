#include "explain.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "reed_solomon.h"

namespace vantor::cli {

namespace {

// Block layouts the standard allows: up to 81 blocks of 7 to 30 error
// correction codewords each.
constexpr int max_blocks = 81;
constexpr int min_ec = 7;
constexpr int max_ec = 30;

bool starts_with(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

std::vector<std::uint8_t> parse_dump(std::string_view line) {
    std::vector<std::uint8_t> bytes;
    std::string copy(line);
    const char *p = copy.c_str();
    while (*p) {
        while (*p == ' ')
            ++p;
        if (!*p)
            break;
        char *end = nullptr;
        const unsigned long v = std::strtoul(p, &end, 16);
        if (end == p || v > 0xFF)
            break;
        bytes.push_back(static_cast<std::uint8_t>(v));
        p = end;
    }
    return bytes;
}

// Layout of blocks: N blocks, E error correction codewords each, D data
// codewords in all; the last D mod N blocks hold one data codeword more.
struct Layout {
    int n;
    int e;
    int d;
    int k1() const { return d / n; }
    int short_blocks() const { return n - d % n; }
    int data_of(int b) const { return k1() + (b >= short_blocks() ? 1 : 0); }
    int data_start(int b) const { return b * k1() + std::max(0, b - short_blocks()); }
    // Where data codeword j of block b sits in the interleaved stream.
    int raw_data_index(int b, int j) const {
        return j < k1() ? j * n + b : k1() * n + (b - short_blocks());
    }
};

// The corrected dump keeps each block's error correction codewords as read,
// block after block, while the raw dump interleaves them; only the true
// layout maps the one onto the other.
bool ec_matches(const Layout &l, const std::vector<std::uint8_t> &raw,
                const std::vector<std::uint8_t> &corrected) {
    for (int b = 0; b < l.n; ++b)
        for (int e = 0; e < l.e; ++e)
            if (corrected[static_cast<std::size_t>(l.d + b * l.e + e)] !=
                raw[static_cast<std::size_t>(l.d + e * l.n + b)])
                return false;
    return true;
}

int data_changes(const Layout &l, const std::vector<std::uint8_t> &raw,
                 const std::vector<std::uint8_t> &corrected, int b) {
    int changes = 0;
    for (int j = 0; j < l.data_of(b); ++j)
        if (corrected[static_cast<std::size_t>(l.data_start(b) + j)] !=
            raw[static_cast<std::size_t>(l.raw_data_index(b, j))])
            ++changes;
    return changes;
}

const char *level_name(int format_value) {
    switch (format_value) {
    case 0: return "M";
    case 1: return "L";
    case 2: return "H";
    case 3: return "Q";
    default: return "?";
    }
}

const char *mode_name(int indicator) {
    switch (indicator) {
    case 3: return "structured append";
    case 5:
    case 9: return "FNC1";
    case 7: return "ECI";
    default: return nullptr;
    }
}

std::string plural(int n, const char *one, const char *many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

Stage reading_stage(const Reading &r) {
    if (!r.version_seen || r.version < 1)
        return Stage::version;
    if (!r.grid_sampled())
        return Stage::grid;
    if (!r.format_read())
        return Stage::format;
    if (!r.blocks.known || r.blocks.beyond > 0)
        return Stage::codewords;
    return Stage::data;
}

std::string describe_version(const Reading &r) {
    if (!r.version_seen)
        return "no version";
    if (r.version < 1) {
        if (!r.version_info.empty())
            return "version information unreadable (no version within 3 bits)";
        return "eye patterns too close for their size (version estimate " + std::to_string(r.version) + ")";
    }
    std::string s = "version " + std::to_string(r.version);
    if (r.version_info.empty())
        return s + " from the eye pattern distance";
    s += r.version_info.size() == 1 ? " from the upper-right version information"
                                    : " from the lower-left version information";
    if (r.version_bits_wrong > 0)
        s += " (" + plural(r.version_bits_wrong, "bit", "bits") + " wrong)";
    return s;
}

std::string describe_reading(const Reading &r) {
    std::string s = describe_version(r);
    if (!r.version_seen || r.version < 1)
        return s;
    if (!r.grid_sampled())
        return s + "; the module grid could not be sampled";
    if (r.alignment_found > 0)
        s += ", " + plural(r.alignment_found, "alignment pattern", "alignment patterns");
    s += "; format ";
    if (r.ecc_level >= 0) {
        s += std::string("level ") + level_name(r.ecc_level) + ", mask " + std::to_string(r.mask);
        if (!r.format_bits_fixed.empty())
            s += " (" + plural(static_cast<int>(r.format_bits_fixed.size()), "bit", "bits") + " corrected)";
    } else if (!r.format_bits_fixed.empty()) {
        s += "from the second copy (" +
             plural(static_cast<int>(r.format_bits_fixed.size()), "bit", "bits") + " corrected)";
    } else if (r.format_read()) {
        s += "from the second copy";
    } else {
        s += "unreadable";
    }
    if (r.dumps == 0)
        return s;
    s += "; " + plural(static_cast<int>(r.raw.size()), "codeword", "codewords");
    const BlockReport &b = r.blocks;
    int total_errors = 0;
    for (int e : r.block_errors)
        total_errors += e;
    if (!b.known) {
        if (!r.block_errors.empty())
            s += ", " + plural(static_cast<int>(r.block_errors.size()), "block", "blocks") +
                 " corrected (" + plural(total_errors, "error", "errors") + ")";
        return s;
    }
    s += " in " + plural(b.blocks, "block", "blocks") + ": ";
    std::vector<std::string> parts;
    if (b.clean > 0)
        parts.push_back(std::to_string(b.clean) + " clean");
    if (b.corrected > 0) {
        // Errors per corrected block, in block order: "3 + 1 errors".
        std::string each;
        for (std::size_t i = 0; i < r.block_errors.size(); ++i)
            each += (i > 0 ? " + " : "") + std::to_string(r.block_errors[i]);
        const bool several = r.block_errors.size() > 1;
        parts.push_back(std::to_string(b.corrected) + " corrected (" +
                        (several ? each + " errors" : plural(total_errors, "error", "errors")) + ")");
    }
    if (b.beyond > 0)
        parts.push_back(std::to_string(b.beyond) + " beyond repair");
    for (std::size_t i = 0; i < parts.size(); ++i)
        s += (i > 0 ? ", " : "") + parts[i];
    return s;
}

// Passes first..last, with the kind of binarisation they use.
std::string pass_range(std::size_t first, std::size_t last) {
    std::string s = first == last ? "pass " + std::to_string(first)
                                  : "passes " + std::to_string(first) + "-" + std::to_string(last);
    if (last <= 2)
        return s + (first == last ? " (global threshold)" : " (global thresholds)");
    if (first >= 3)
        return s + (first == last ? " (local threshold)" : " (local thresholds)");
    return s + " (global and local thresholds)";
}

// What one pass saw: its first line after the pass name, then one line per
// reading.
std::vector<std::string> describe_pass(const Pass &p) {
    std::vector<std::string> lines;
    std::string line;
    if (p.only_found >= 0) {
        line = plural(p.only_found, "eye pattern candidate", "eye pattern candidates") + ", three needed";
    } else if (p.candidates > 0) {
        line = plural(p.candidates, "eye pattern candidate", "eye pattern candidates");
        if (p.readings.empty())
            line += "; the three picked do not lie like the corners of a symbol";
    } else {
        line = "eye pattern search not finished";
    }
    lines.push_back(line);
    for (std::size_t j = 0; j < p.readings.size(); ++j)
        lines.push_back("  reading " + std::to_string(j + 1) + ": " + describe_reading(p.readings[j]));
    return lines;
}

std::string reason(const Trace &trace, Stage stage) {
    switch (stage) {
    case Stage::no_eye_patterns: {
        int most = 0;
        for (const Pass &p : trace.passes)
            most = std::max(most, std::max(p.only_found, 0));
        if (most == 0)
            return "no eye patterns: no pass found any of the three square eye patterns in "
                   "the corners of a QR Code symbol";
        return "no eye patterns: at most " + plural(most, "eye pattern was", "eye patterns were") +
               " found on a pass; a symbol needs three";
    }
    case Stage::orientation:
        return "eye patterns found, but no three of them lie like the corners of a symbol";
    case Stage::version:
        return "eye patterns found, but the symbol's version could not be determined";
    case Stage::grid:
        return "eye patterns and version found, but the module grid could not be sampled";
    case Stage::format:
        return "unreadable format information: eye patterns found, but neither copy of the "
               "format information (error correction level and mask) could be read";
    case Stage::codewords: {
        int beyond = 0, blocks = 0;
        for (const Pass &p : trace.passes)
            for (const Reading &r : p.readings)
                if (reading_stage(r) == Stage::codewords && r.blocks.known &&
                    (blocks == 0 || r.blocks.beyond < beyond)) {
                    beyond = r.blocks.beyond;
                    blocks = r.blocks.blocks;
                }
        std::string s = "too many codeword errors: the format was read, but ";
        if (blocks > 0)
            return s + "at best " + std::to_string(beyond) + " of " +
                   plural(blocks, "block", "blocks") +
                   " had more errors than its error correction can repair";
        return s + "the codewords had more errors than the error correction can repair";
    }
    case Stage::data: {
        for (const Pass &p : trace.passes)
            for (const Reading &r : p.readings)
                if (reading_stage(r) == Stage::data && mode_name(r.blocks.first_mode))
                    return std::string("the codewords are intact, but the data uses ") +
                           mode_name(r.blocks.first_mode) + ", which gives no text";
        return "the codewords are intact, but their data does not decode to text";
    }
    }
    return "";
}

} // namespace

bool Reading::format_read() const {
    if (ecc_level >= 0 || !format_bits_fixed.empty())
        return true;
    // The second copy decodes without a trace line when it needs no
    // correction; codewords that all check out show that it did.
    return blocks.known && blocks.beyond == 0;
}

Trace parse_trace(std::string_view log) {
    Trace trace;
    auto pass = [&]() -> Pass & {
        if (trace.passes.empty())
            trace.passes.emplace_back();
        return trace.passes.back();
    };
    auto reading = [&]() -> Reading & {
        Pass &p = pass();
        if (p.readings.empty())
            p.readings.emplace_back();
        return p.readings.back();
    };

    while (!log.empty()) {
        const std::size_t eol = log.find('\n');
        const std::string_view view = log.substr(0, eol);
        log = eol == std::string_view::npos ? std::string_view() : log.substr(eol + 1);
        const std::string line(view);
        const char *c = line.c_str();
        int a = 0, b = 0;
        unsigned long value = 0;

        if (starts_with(view, "0x")) {
            Reading &r = reading();
            if (r.dumps == 0)
                r.raw = parse_dump(view);
            else if (r.dumps == 1)
                r.corrected = parse_dump(view);
            if (++r.dumps == 2)
                r.blocks = analyse_blocks(r.raw, r.corrected);
        } else if (std::sscanf(c, "cross %d", &a) == 1) {
            trace.passes.emplace_back();
            trace.passes.back().labels = a;
        } else if (std::sscanf(c, "only %d eye pattern found.", &a) == 1) {
            pass().only_found = a;
        } else if (view.find("Cross ") != std::string_view::npos &&
                   view.find_first_not_of('*') == view.find("Cross ")) {
            Pass &p = pass();
            ++p.candidates;
            if (view[0] == '*')
                ++p.picked;
        } else if (starts_with(view, "x_unit(")) {
            pass().readings.emplace_back();
        } else if (std::sscanf(c, "version info bit 0x%lx", &value) == 1) {
            reading().version_info.push_back(value);
        } else if (std::sscanf(c, "version bit different %d bits.", &a) == 1) {
            reading().version_bits_wrong = a;
        } else if (std::sscanf(c, "version %d", &a) == 1) {
            Reading &r = reading();
            r.version = a;
            r.version_seen = true;
        } else if (starts_with(view, "grid(")) {
            ++reading().alignment_found;
        } else if (std::sscanf(c, "BCH reverse %d bit", &a) == 1) {
            reading().format_bits_fixed.push_back(a);
        } else if (std::sscanf(c, "Error Correction Level %d, mask pattern %d", &a, &b) == 2) {
            Reading &r = reading();
            r.ecc_level = a;
            r.mask = b;
            r.format_first_copy = true;
        } else if (std::sscanf(c, "total %d errors", &a) == 1) {
            reading().block_errors.push_back(a);
        } else if (starts_with(view, "malloc() failed.")) {
            trace.out_of_memory = true;
        }
    }
    return trace;
}

BlockReport analyse_blocks(const std::vector<std::uint8_t> &raw,
                           const std::vector<std::uint8_t> &corrected) {
    BlockReport report;
    const int count = static_cast<int>(raw.size());
    if (count == 0 || corrected.size() != raw.size())
        return report;

    // The layout with two or more blocks whose error correction codewords
    // line up, and whose data changed least; one block when none does.
    Layout best{1, 0, count};
    int best_changes = -1;
    for (int n = 2; n <= max_blocks; ++n) {
        for (int e = min_ec; e <= max_ec; ++e) {
            const Layout l{n, e, count - n * e};
            if (l.d < n || !ec_matches(l, raw, corrected))
                continue;
            int changes = 0;
            for (int b = 0; b < n; ++b)
                changes += data_changes(l, raw, corrected, b);
            if (best_changes < 0 || changes < best_changes) {
                best = l;
                best_changes = changes;
            }
        }
    }

    report.known = true;
    report.blocks = best.n;
    std::vector<std::uint8_t> block;
    for (int b = 0; b < best.n; ++b) {
        const int k = best.data_of(b);
        block.assign(corrected.begin() + best.data_start(b), corrected.begin() + best.data_start(b) + k);
        block.insert(block.end(), corrected.begin() + best.d + b * best.e,
                     corrected.begin() + best.d + (b + 1) * best.e);
        const bool changed = best.n > 1 ? data_changes(best, raw, corrected, b) > 0 : raw != corrected;
        // A block checks out when every syndrome of its error correction
        // codewords is zero; a lone block's count is unknown, but it has at
        // least the smallest count.
        const int checks = best.n > 1 ? best.e : min_ec;
        if (!vantor::rs_syndromes_zero(block.data(), static_cast<int>(block.size()), checks))
            ++report.beyond;
        else if (changed)
            ++report.corrected;
        else
            ++report.clean;
    }
    report.first_mode = corrected[0] >> 4;
    return report;
}

Stage failure_stage(const Trace &trace) {
    bool any_reading = false;
    bool listed = false;
    Stage best = Stage::version;
    for (const Pass &p : trace.passes) {
        listed = listed || p.candidates >= 3;
        for (const Reading &r : p.readings) {
            const Stage s = reading_stage(r);
            if (!any_reading || s > best)
                best = s;
            any_reading = true;
        }
    }
    if (any_reading)
        return best;
    return listed ? Stage::orientation : Stage::no_eye_patterns;
}

std::vector<std::string> explain(const Trace &trace, bool decoded) {
    std::vector<std::string> lines;
    // Consecutive passes that saw the same are told once.
    std::size_t first = 0;
    while (first < trace.passes.size()) {
        const std::vector<std::string> seen = describe_pass(trace.passes[first]);
        std::size_t last = first;
        while (last + 1 < trace.passes.size() && describe_pass(trace.passes[last + 1]) == seen)
            ++last;
        lines.push_back(pass_range(first, last) + ": " + seen[0]);
        lines.insert(lines.end(), seen.begin() + 1, seen.end());
        first = last + 1;
    }
    if (trace.out_of_memory)
        lines.push_back("the decoder ran out of memory");
    if (decoded)
        lines.push_back("result: decoded");
    else
        lines.push_back("reason: " + reason(trace, failure_stage(trace)));
    return lines;
}

} // namespace vantor::cli
