// The steps the efforts order: the classic readings of one or all seven
// passes, the thorough search over their candidates, and the search for
// more symbols when eye patterns show another. Each adds to the call's
// results.
#include "readings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "1_base/bitstream.h"
#include "1_base/display_text.h"
#include "3_model2/classic/bitmap.h"
#include "3_model2/classic/decode_entry.h"
#include "3_model2/classic/format.h"
#include "3_model2/classic/grid.h"
#include "3_model2/classic/state.h"
#include "api_family.h"
#include "search.h"

namespace vantor {
namespace {

// The public stages are the reading stages, in the same order.
static_assert(static_cast<int>(ReadingStage::none) == VANTOR_STAGE_NONE &&
              static_cast<int>(ReadingStage::eyes) == VANTOR_STAGE_EYES &&
              static_cast<int>(ReadingStage::arranged) == VANTOR_STAGE_ARRANGED &&
              static_cast<int>(ReadingStage::version) == VANTOR_STAGE_VERSION &&
              static_cast<int>(ReadingStage::grid) == VANTOR_STAGE_GRID &&
              static_cast<int>(ReadingStage::format) == VANTOR_STAGE_FORMAT &&
              static_cast<int>(ReadingStage::codewords) == VANTOR_STAGE_CODEWORDS &&
              static_cast<int>(ReadingStage::text) == VANTOR_STAGE_TEXT);
vantor_stage public_stage(ReadingStage stage) { return static_cast<vantor_stage>(stage); }

// Whether a reading got as far as a plausible symbol: noise and texture
// reach the format stage often (a random word is within three bits of a
// format word more than half the time), but rarely read both copies alike
// or a block of codewords that checks.
bool plausible(const ReadingOutcome &o) {
    return o.stage >= ReadingStage::codewords ||
           (o.stage == ReadingStage::format && (o.format_twice || o.blocks.clean + o.blocks.corrected > 0));
}

// Why nothing was read: the furthest stage any reading reached, named only
// when some reading was a plausible symbol.
vantor_reason reason_for(vantor_stage furthest, bool unsupported, bool plausible_symbol) {
    if (furthest == VANTOR_STAGE_NONE)
        return VANTOR_NO_EYE_PATTERNS;
    if (!plausible_symbol)
        return VANTOR_NO_SYMBOL;
    switch (furthest) {
    case VANTOR_STAGE_NONE: return VANTOR_NO_EYE_PATTERNS;
    case VANTOR_STAGE_EYES: return VANTOR_EYES_NOT_A_SYMBOL;
    case VANTOR_STAGE_ARRANGED: return VANTOR_VERSION_UNREADABLE;
    case VANTOR_STAGE_VERSION: return VANTOR_GRID_FAILED;
    case VANTOR_STAGE_GRID: return VANTOR_FORMAT_UNREADABLE;
    case VANTOR_STAGE_FORMAT: return VANTOR_TOO_MANY_ERRORS;
    case VANTOR_STAGE_CODEWORDS:
    case VANTOR_STAGE_TEXT: return unsupported ? VANTOR_UNSUPPORTED_CONTENT : VANTOR_BAD_DATA;
    }
    return VANTOR_BAD_DATA;
}

// The outer corners of the symbol through the reading's grid: the edges of
// modules 0 and n-1 on either axis.
void set_corners(const DecoderState &s, vantor_symbol &symbol) {
    const float far_edge = static_cast<float>(4 * s.version + 17) - 0.5f;
    const Vec2f at[4] = {grid_module_centre(s, -0.5f, -0.5f), grid_module_centre(s, far_edge, -0.5f),
                         grid_module_centre(s, far_edge, far_edge), grid_module_centre(s, -0.5f, far_edge)};
    for (int k = 0; k < 4; ++k)
        symbol.corners[k] = {at[k].x, at[k].y};
}

vantor_reading public_reading(const ReadingOutcome &o, const DecoderState &s) {
    vantor_reading r{};
    r.pass = o.pass;
    r.reading = o.try_index;
    r.stage = public_stage(o.stage);
    r.candidates = o.candidates;
    const bool located = o.try_index >= 0 && o.stage >= ReadingStage::version;
    r.version = located ? s.version : 0;
    r.level = o.format_read ? level_letter(s.ecc_level) : 0;
    r.mask = o.format_read ? s.mask_pattern : -1;
    r.blocks = o.blocks.blocks;
    r.blocks_clean = o.blocks.clean;
    r.blocks_corrected = o.blocks.corrected;
    r.blocks_beyond = o.blocks.beyond;
    return r;
}

// The eye pattern candidates of a pass, for the thorough search. Its
// coordinates put a pixel's centre at the pixel's index, half a pixel before
// the classic stages' positions.
void pool_candidates(const DecoderState &s, std::vector<ClassicCandidate> &pool) {
    for (int i = 0; i < s.eye_count && i < s.eyes.count; ++i) {
        const EyePattern &e = s.eyes.items[i];
        if (e.size > 0 && std::isfinite(e.x) && std::isfinite(e.y))
            pool.push_back({{e.x - 0.5f, e.y - 0.5f, e.size / 7.0f}, e.score});
    }
}

// Whether two symbols are one: the same bytes with centres closer than a
// quarter of the side.
bool same_symbol(const vantor_symbol &a, const vantor_symbol &b) {
    if (a.length != b.length || std::memcmp(a.bytes, b.bytes, a.length) != 0)
        return false;
    auto centre = [](const vantor_symbol &q) {
        return std::array<float, 2>{(q.corners[0].x + q.corners[2].x) / 2, (q.corners[0].y + q.corners[2].y) / 2};
    };
    const auto ca = centre(a), cb = centre(b);
    const float side = std::hypot(a.corners[1].x - a.corners[0].x, a.corners[1].y - a.corners[0].y);
    return std::hypot(ca[0] - cb[0], ca[1] - cb[1]) < side / 4;
}

} // namespace

void drop_repeat(Found &results, Keep keep) {
    if (results.symbols.empty())
        return;
    const std::size_t last = results.symbols.size() - 1;
    for (std::size_t i = 0; i < last; ++i)
        if (same_symbol(results.symbols[i]->view, results.symbols[last]->view)) {
            results.symbols.erase(results.symbols.begin() + static_cast<std::ptrdiff_t>(keep == Keep::newer ? i : last));
            return;
        }
}

namespace {

// The content of a classic reading's corrected data codewords as the strict
// reader reads them: the segments the classic rules refuse (ECI, GB 2312,
// structured append, FNC1). Nothing when a block is uncorrected or the
// stream breaks a rule.
std::optional<Content> strict_content(const DecoderState &s) {
    if (s.uncorrected_blocks != 0 || !s.codewords)
        return std::nullopt;
    std::size_t data = 0;
    for (const BlockGroup &g : s.block_groups)
        data += static_cast<std::size_t>(std::max(0, g.block_count)) *
                static_cast<std::size_t>(std::max(0, g.data_codewords));
    if (data > s.codewords.size())
        return std::nullopt;
    return parse_bitstream(std::span<const std::uint8_t>(s.codewords.get(), data), s.version);
}

// Whether a candidate's centre lies on the same side of all four edges of a
// symbol, whichever way round they go (a mirrored symbol's corners go the
// other way).
bool inside_symbol(const vantor_symbol &symbol, const thorough::Candidate &e) {
    const vantor_point *c = symbol.corners;
    const float x = e.x + 0.5f, y = e.y + 0.5f;
    int left = 0, right = 0;
    for (int k = 0; k < 4; ++k) {
        const vantor_point &a = c[k], &b = c[(k + 1) % 4];
        const float cross = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
        left += cross <= 0;
        right += cross >= 0;
    }
    return left == 4 || right == 4;
}

} // namespace

std::vector<thorough::Candidate> strongest_first(std::vector<ClassicCandidate> pool) {
    std::stable_sort(pool.begin(), pool.end(),
                     [](const ClassicCandidate &a, const ClassicCandidate &b) { return a.score > b.score; });
    std::vector<thorough::Candidate> out;
    out.reserve(pool.size());
    for (const ClassicCandidate &c : pool)
        out.push_back(c.at);
    return out;
}

void search_symbols(const std::uint8_t *pixels, int width, int height,
                       std::span<const thorough::Candidate> pool, bool all_symbols, bool model1,
                       Found &results, std::optional<thorough::ScannedView> plain,
                       thorough::SearchMemory *memory, bool dim) {
    results.searched = true;
    thorough::SearchOptions search_options;
    search_options.all_symbols = all_symbols;
    search_options.model1 = model1;
    search_options.dim = dim;
    const std::vector<Located> found =
        thorough::search(pixels, width, height, width, pool, search_options, std::move(plain), memory);
    if (const auto joined = thorough::join_structured_append(found))
        results.joined.emplace(joined->begin(), joined->end());
    for (const Located &f : found) {
        add_located(results, f);
        drop_repeat(results, Keep::earlier);
    }
    if (!results.symbols.empty()) {
        results.reason = VANTOR_OK;
        results.stage = VANTOR_STAGE_TEXT;
    }
}

void search_for_more(const std::uint8_t *pixels, int width, int height, const vantor_options &options,
                     std::vector<ClassicCandidate> pool, Found &results, thorough::SearchMemory *memory) {
    if (options.all_symbols || results.symbols.size() != 1 || !eyes_for_more(pool, results.symbols[0]->view))
        return;
    search_symbols(pixels, width, height, strongest_first(std::move(pool)), true, false, results, std::nullopt,
                      memory);
    results.joined.reset();
}

bool passes_saw_symbols(std::span<const ClassicCandidate> pool, std::span<const std::unique_ptr<OwnedSymbol>> symbols) {
    return std::all_of(symbols.begin(), symbols.end(), [&](const std::unique_ptr<OwnedSymbol> &s) {
        return std::count_if(pool.begin(), pool.end(), [&](const ClassicCandidate &c) {
                   return inside_symbol(s->view, c.at);
               }) >= 3;
    });
}

bool eyes_for_more(std::span<const ClassicCandidate> pool, const vantor_symbol &symbol) {
    std::vector<thorough::Candidate> apart;
    for (const ClassicCandidate &s : pool) {
        const thorough::Candidate &e = s.at;
        if (inside_symbol(symbol, e))
            continue;
        const bool seen = std::any_of(apart.begin(), apart.end(), [&](const thorough::Candidate &f) {
            return std::hypot(e.x - f.x, e.y - f.y) < 3 * std::max(e.module, f.module);
        });
        if (!seen)
            apart.push_back(e);
        if (apart.size() >= 3)
            return true;
    }
    return false;
}

ClassicReadings::ClassicReadings(const std::uint8_t *pixels, int width, int height, int depth,
                                 const vantor_options &options)
    : state_(std::make_unique<DecoderState>()) {
    DecoderState &s = *state_;
    s.trace_file = options.trace_file;
    s.trace_fn = options.trace_fn;
    s.trace_user = options.trace_user;
    s.debug_dir = options.debug_dir;
    s.debug_images = s.debug_dir.empty() ? TraceSink::DebugImages::never : TraceSink::DebugImages::always;
    // Only the readings are read from the state: equal passes may repeat.
    loop_ = std::make_unique<PassLoop>(s, pixels, width, height, static_cast<std::uint16_t>(depth), true);
}

ClassicReadings::~ClassicReadings() = default;

bool ClassicReadings::more() const { return loop_->more(); }

void ClassicReadings::run_through(int last_pass, Found &results) {
    const RunResult run = loop_->run_through(last_pass, [&](const DecoderState &st, const ReadingOutcome &o) {
        if (o.try_index <= 0)
            pool_candidates(st, pool_);
        vantor_reading reading = public_reading(o, st);
        plausible_symbol_ = plausible_symbol_ || plausible(o);
        const bool exact = o.stage == ReadingStage::text && o.bytes && o.text_length >= 0;
        if (o.stage == ReadingStage::text && !exact)
            reading.stage = VANTOR_STAGE_CODEWORDS;
        // Clean codewords whose segments only the strict reader
        // understands are read here: the search may not find the
        // symbol again.
        std::optional<Content> strict;
        if (reading.stage == VANTOR_STAGE_CODEWORDS)
            strict = strict_content(st);
        if (strict)
            reading.stage = VANTOR_STAGE_TEXT;
        results.readings.push_back(reading);
        if (reading.stage > results.stage || (reading.stage == results.stage && st.data_unsupported_mode)) {
            results.stage = reading.stage;
            unsupported_ = reading.stage == VANTOR_STAGE_CODEWORDS && st.data_unsupported_mode;
        }
        if (!exact && !strict)
            return ReadingAction::go_on;
        OwnedSymbol &owned = strict ? results.add_symbol(std::string(strict->bytes.begin(), strict->bytes.end()))
                                    : results.add_symbol(std::string(o.bytes, static_cast<std::size_t>(o.text_length)));
        vantor_symbol &sym = owned.view;
        if (strict) {
            owned.set_text(eci_text(*strict));
            set_facts(sym, strict->facts);
        }
        sym.version = st.version;
        sym.level = level_letter(st.ecc_level);
        sym.mask = st.mask_pattern;
        set_corners(st, sym);
        sym.corrected = o.blocks.codewords_corrected;
        sym.pass = o.pass;
        sym.reading = o.try_index;
        // A search before the passes may have read this symbol already: the
        // passes' reading of it stands, as it would without that search.
        drop_repeat(results, Keep::newer);
        return ReadingAction::stop;
    });
    if (run == RunResult::out_of_memory)
        results.reason = VANTOR_OUT_OF_MEMORY;
    else if (run == RunResult::invalid_argument)
        results.reason = VANTOR_INVALID_ARGUMENT;
    else
        results.reason =
            results.symbols.empty() ? reason_for(results.stage, unsupported_, plausible_symbol_) : VANTOR_OK;
}

} // namespace vantor
