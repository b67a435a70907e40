// vantor_decode: the classic readings in the classic order on a state of the
// call's own, stopping at the first reading that yields exact text; then,
// when none did and the caller allows it, the thorough search. The
// exhaustive effort runs them so; the others go through the cheap-first
// strategy, which runs them only where a quick look finds reason to.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <vector>

#include "api_readings.h"
#include "api_types.h"
#include "cheap_first.h"
#include "grid.h"
#include "state.h"
#include "thorough/search.h"
#include "decode_entry.h"

namespace vantor {

namespace {

constexpr int max_side = 32767;

vantor_stage public_stage(ReadingStage stage) {
    switch (stage) {
    case ReadingStage::none: return VANTOR_STAGE_NONE;
    case ReadingStage::eyes: return VANTOR_STAGE_EYES;
    case ReadingStage::arranged: return VANTOR_STAGE_ARRANGED;
    case ReadingStage::version: return VANTOR_STAGE_VERSION;
    case ReadingStage::grid: return VANTOR_STAGE_GRID;
    case ReadingStage::format: return VANTOR_STAGE_FORMAT;
    case ReadingStage::codewords: return VANTOR_STAGE_CODEWORDS;
    case ReadingStage::text: return VANTOR_STAGE_TEXT;
    }
    return VANTOR_STAGE_NONE;
}

// The format information's two level bits: 1 L, 0 M, 3 Q, 2 H.
char level_letter(int ecc_level) { return "MLHQ"[ecc_level & 3]; }

// Why nothing was read, from the furthest stage any reading reached.
vantor_reason reason_for(vantor_stage furthest, bool unsupported) {
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
void pool_candidates(const DecoderState &s, std::vector<ScoredCandidate> &pool) {
    for (int i = 0; i < s.eye_count && i < s.eyes.count; ++i) {
        const EyePattern &e = s.eyes.items[i];
        if (e.size > 0 && std::isfinite(e.x) && std::isfinite(e.y))
            pool.push_back({{e.x - 0.5f, e.y - 0.5f, e.size / 7.0f}, e.score});
    }
}

} // namespace

std::vector<thorough::Candidate> strongest_first(std::vector<ScoredCandidate> pool) {
    std::stable_sort(pool.begin(), pool.end(),
                     [](const ScoredCandidate &a, const ScoredCandidate &b) { return a.score > b.score; });
    std::vector<thorough::Candidate> out;
    out.reserve(pool.size());
    for (const ScoredCandidate &c : pool)
        out.push_back(c.at);
    return out;
}

namespace {

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

void thorough_readings(const std::uint8_t *pixels, int width, int height, const vantor_options &options,
                       std::span<const thorough::Candidate> pool, vantor_results &results) {
    results.searched = true;
    thorough::SearchOptions search_options;
    search_options.all_symbols = options.all_symbols;
    std::vector<thorough::FoundSymbol> found = thorough::search(pixels, width, height, width, pool, search_options);
    if (const auto joined = thorough::join_structured_append(found))
        results.joined.emplace(joined->begin(), joined->end());
    for (thorough::FoundSymbol &f : found) {
        OwnedSymbol &owned = results.add_symbol(std::string(f.bytes.begin(), f.bytes.end()));
        if (!f.text.empty()) {
            owned.text = std::move(f.text);
            owned.view.text = owned.text.c_str();
            owned.view.text_length = owned.text.size();
        }
        vantor_symbol &sym = owned.view;
        sym.version = f.version;
        sym.level = f.level;
        sym.mask = f.mask;
        for (int k = 0; k < 4; ++k)
            sym.corners[k] = {f.corners[static_cast<std::size_t>(k)][0] + 0.5f,
                              f.corners[static_cast<std::size_t>(k)][1] + 0.5f};
        sym.corrected = f.corrected;
        sym.pass = -1;
        sym.reading = -1;
        sym.mirrored = f.mirrored;
        sym.inverted = f.inverted;
        sym.eci = f.facts.eci;
        sym.sa_index = f.facts.sa_index;
        sym.sa_count = f.facts.sa_count;
        sym.sa_parity = f.facts.sa_parity;
        sym.fnc1 = f.facts.fnc1;
        sym.fnc1_application = f.facts.fnc1_application;
        const std::size_t last = results.symbols.size() - 1;
        for (std::size_t i = 0; i < last; ++i) {
            if (same_symbol(results.symbols[i]->view, sym)) {
                results.symbols.pop_back();
                break;
            }
        }
    }
}

void classic_readings(const std::uint8_t *pixels, int width, int height, int depth, const vantor_options &options,
                      int last_pass, vantor_results &results, std::vector<ScoredCandidate> &pool) {
    auto state = std::make_unique<DecoderState>();
    DecoderState &s = *state;
    s.trace_file = options.trace_file;
    s.trace_fn = options.trace_fn;
    s.trace_user = options.trace_user;
    s.debug_dir = options.debug_dir;
    s.debug_images = s.debug_dir.empty() ? DecoderState::DebugImages::never : DecoderState::DebugImages::always;
    s.repeat_equal_passes = true; // only the readings are read from the state

    bool unsupported = false;
    const RunResult run = run_passes(
        s, pixels, width, height, static_cast<std::uint16_t>(depth),
        [&](const DecoderState &st, const ReadingOutcome &o) {
            if (o.try_index <= 0)
                pool_candidates(st, pool);
            vantor_reading reading = public_reading(o, st);
            const bool exact = o.stage == ReadingStage::text && o.bytes && o.text_length >= 0;
            if (o.stage == ReadingStage::text && !exact)
                reading.stage = VANTOR_STAGE_CODEWORDS;
            results.readings.push_back(reading);
            // A pass's last reading is its second, or its only one.
            const bool cut_here = last_pass < last_classic_pass && o.pass >= last_pass && o.try_index != 0;
            if (reading.stage > results.stage || (reading.stage == results.stage && st.data_unsupported_mode)) {
                results.stage = reading.stage;
                unsupported = reading.stage == VANTOR_STAGE_CODEWORDS && st.data_unsupported_mode;
            }
            if (!exact)
                return cut_here ? ReadingAction::stop : ReadingAction::go_on;
            OwnedSymbol &owned = results.add_symbol(std::string(o.bytes, static_cast<std::size_t>(o.text_length)));
            vantor_symbol &sym = owned.view;
            sym.version = st.version;
            sym.level = level_letter(st.ecc_level);
            sym.mask = st.mask_pattern;
            set_corners(st, sym);
            sym.corrected = o.blocks.codewords_corrected;
            sym.pass = o.pass;
            sym.reading = o.try_index;
            return ReadingAction::stop;
        });
    if (run == RunResult::out_of_memory)
        results.reason = VANTOR_OUT_OF_MEMORY;
    else if (run == RunResult::invalid_argument)
        results.reason = VANTOR_INVALID_ARGUMENT;
    else
        results.reason = results.symbols.empty() ? reason_for(results.stage, unsupported) : VANTOR_OK;
}

void exhaustive_readings(const std::uint8_t *pixels, int width, int height, int depth, const vantor_options &options,
                         vantor_results &results) {
    std::vector<ScoredCandidate> pool;
    classic_readings(pixels, width, height, depth, options, last_classic_pass, results, pool);
    const bool searched_out = results.reason == VANTOR_OK || results.reason == VANTOR_INVALID_ARGUMENT ||
                              results.reason == VANTOR_OUT_OF_MEMORY;
    if (options.thorough && (results.symbols.empty() ? !searched_out : options.all_symbols)) {
        thorough_readings(pixels, width, height, options, strongest_first(std::move(pool)), results);
        if (!results.symbols.empty()) {
            results.reason = VANTOR_OK;
            results.stage = VANTOR_STAGE_TEXT;
        }
    }
}

} // namespace vantor

using namespace vantor;

extern "C" vantor_results *vantor_decode_pixels(const unsigned char *pixels, int width, int height, int stride,
                                                int depth, const vantor_options *options) {
    auto *results = new (std::nothrow) vantor_results;
    if (!results)
        return nullptr;
    try {
        if (!pixels || width <= 0 || height <= 0 || width > max_side || height > max_side || stride < width ||
            (depth != 1 && depth != 8)) {
            results->reason = VANTOR_INVALID_ARGUMENT;
            return results;
        }
        const vantor_options defaults;
        const vantor_options &o = options ? *options : defaults;
        // The stages index rows width bytes apart: a view into a wider
        // buffer is copied out first.
        HeapArray<std::uint8_t> packed;
        const std::uint8_t *rows = pixels;
        if (stride != width) {
            if (!packed.allocate(static_cast<std::size_t>(width) * height)) {
                results->reason = VANTOR_OUT_OF_MEMORY;
                return results;
            }
            for (int y = 0; y < height; ++y)
                std::memcpy(packed.get() + static_cast<std::size_t>(y) * width,
                            pixels + static_cast<std::size_t>(y) * stride, static_cast<std::size_t>(width));
            rows = packed.get();
        }
        // Traces and debug images are those of every pass, so a traced
        // call is exhaustive whatever its effort.
        const bool traced = o.trace_file || o.trace_fn || !o.debug_dir.empty();
        if (o.effort == VANTOR_EFFORT_EXHAUSTIVE || traced)
            exhaustive_readings(rows, width, height, depth, o, *results);
        else
            cheap_first_readings(rows, width, height, depth, o, *results);
    } catch (const std::bad_alloc &) {
        results->symbols.clear();
        results->reason = VANTOR_OUT_OF_MEMORY;
    }
    return results;
}

extern "C" vantor_results *vantor_decode(const vantor_image *image, const vantor_options *options) {
    if (!image)
        return vantor_decode_pixels(nullptr, 0, 0, 0, 8, options);
    const int width = vantor_image_width(image);
    return vantor_decode_pixels(vantor_image_pixels(image), width, vantor_image_height(image), width,
                                vantor_image_depth(image), options);
}
