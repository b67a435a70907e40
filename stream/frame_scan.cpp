#include "frame_scan.h"

#include <span>

namespace vantor::stream {

namespace {

// Whether a reading got as far as a symbol: the format read, or codewords
// that check. Worth a harder look at the same frame.
bool plausible_symbol(vantor_reason reason) {
    return reason != VANTOR_OK && reason != VANTOR_NO_EYE_PATTERNS && reason != VANTOR_NO_SYMBOL &&
           reason != VANTOR_INVALID_ARGUMENT && reason != VANTOR_OUT_OF_MEMORY;
}

// How far a reason got, to keep the furthest of a stream without symbols.
int rank(vantor_reason reason) {
    if (reason == VANTOR_NO_EYE_PATTERNS)
        return 0;
    if (reason == VANTOR_NO_SYMBOL)
        return 1;
    return plausible_symbol(reason) ? 2 : -1;
}

} // namespace

FrameScanner::FrameScanner(unsigned kinds, bool every_frame) : every_frame_(every_frame) {
    fast_.kinds(kinds).effort(VANTOR_EFFORT_FAST);
    thorough_.all_symbols(true).kinds(kinds).effort(VANTOR_EFFORT_DEFAULT);
}

std::optional<FrameHit> FrameScanner::scan(const VideoFrame &frame) {
    const std::span<const std::uint8_t> pixels(frame.pixels);
    vantor::Results results = vantor::decode(pixels, frame.width, frame.height, frame.width, 8, fast_);
    if (results || plausible_symbol(results.reason)) {
        vantor::Results every = vantor::decode(pixels, frame.width, frame.height, frame.width, 8, thorough_);
        if (every)
            results = std::move(every);
    }
    if (!results) {
        if (reason_ != VANTOR_OK && rank(results.reason) > rank(reason_))
            reason_ = results.reason;
        return std::nullopt;
    }
    reason_ = VANTOR_OK;
    FrameHit hit{frame.index, frame.seconds, {}};
    hit.results.reason = VANTOR_OK;
    for (vantor::Symbol &symbol : results.symbols) {
        auto [at, added] = last_seen_.try_emplace({symbol.kind, symbol.bytes}, frame.seconds);
        const bool fresh = added || frame.seconds - at->second > repeat_gap_seconds;
        at->second = frame.seconds;
        if (fresh || every_frame_)
            hit.results.symbols.push_back(std::move(symbol));
    }
    if (hit.results.symbols.empty())
        return std::nullopt;
    if (every_frame_)
        hit.results.joined = std::move(results.joined);
    return hit;
}

} // namespace vantor::stream
