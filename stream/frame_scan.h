// The symbols of a stream of frames, each reported once. A frame is looked
// at with the fast effort for a first symbol; when it finds one, or gets as
// far as a plausible symbol it cannot read, the frame is read again at the
// default effort for every symbol in it. A text counts as new when it was
// not seen in the frames of the last `repeat_gap_seconds`.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>

#include <vantor/vantor.hpp>

#include "video_source.h"

namespace vantor::stream {

// A symbol seen again after this long without it is reported again.
constexpr double repeat_gap_seconds = 1.0;

struct FrameHit {
    long frame = 0;
    double seconds = 0;
    vantor::Results results; // the symbols to report: the new ones, or all with every_frame
};

class FrameScanner {
public:
    // kinds: the QR kinds looked for; every_frame: every frame's symbols,
    // not only the new ones.
    FrameScanner(unsigned kinds, bool every_frame);

    // Decodes one frame; the hit to report, or nothing.
    std::optional<FrameHit> scan(const VideoFrame &frame);

    // The furthest any frame got when none gave a symbol (VANTOR_OK once one did).
    vantor_reason reason() const { return reason_; }

private:
    vantor::Options fast_;
    vantor::Options thorough_;
    bool every_frame_;
    std::map<std::pair<int, std::string>, double> last_seen_; // (kind, bytes) -> seconds
    vantor_reason reason_ = VANTOR_NO_EYE_PATTERNS;
};

} // namespace vantor::stream
