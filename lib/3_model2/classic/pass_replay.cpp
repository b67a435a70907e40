// Repeated passes. Two global passes give the same bitmap when no grey lies
// between their thresholds, two local passes when no normalised grey does
// (a low-contrast pixel copies its left neighbour, which is then the same
// too). A pass's readings depend on its bitmap and, from the state, only on
// the level and mask when the format is unreadable; so a record is used only
// when every reading that sampled a grid also read its format and gave no
// text.
#include "pass_replay.h"

#include <algorithm>

#include "binarise.h"

namespace vantor {
namespace {

constexpr int first_local_pass = 3;

// Pixels counted with greys in [from, to).
std::uint64_t between(const std::uint32_t (&counts)[256], int from, int to) {
    std::uint64_t n = 0;
    for (int g = std::max(from, 0); g < std::min(to, 256); ++g)
        n += counts[g];
    return n;
}

} // namespace

bool PassReplay::same_bitmap(const PassBuffers &s, int a, int b) {
    if ((a < first_local_pass) != (b < first_local_pass))
        return false;
    if (a < first_local_pass) {
        if (depth_ == 1)
            return false;
        if (!grey_counted_) {
            grey_histogram(pixels_, static_cast<std::size_t>(s.image_width) * s.image_height, grey_counts_);
            grey_counted_ = true;
        }
        int lo = 0, hi = 255;
        while (lo < 255 && grey_counts_[lo] == 0)
            ++lo;
        while (hi > 0 && grey_counts_[hi] == 0)
            --hi;
        const int ta = global_threshold(lo, hi, a), tb = global_threshold(lo, hi, b);
        // Dark below the threshold.
        return between(grey_counts_, std::min(ta, tb), std::max(ta, tb)) == 0;
    }
    if (!s.contrast_map)
        return false;
    if (!contrast_counted_) {
        contrast_histogram(s, contrast_counts_);
        contrast_counted_ = true;
    }
    const int ta = local_threshold(a - first_local_pass), tb = local_threshold(b - first_local_pass);
    // Dark at or below the threshold.
    return between(contrast_counts_, std::min(ta, tb) + 1, std::max(ta, tb) + 1) == 0;
}

int PassReplay::repeated_pass(const PassBuffers &s, int pass) {
    for (int p = 0; p < pass; ++p) {
        const Record &r = records_[p];
        if (r.usable && same_bitmap(s, p, pass))
            return p;
    }
    return -1;
}

bool PassReplay::may_repeat_later(const PassBuffers &s, int pass) {
    const int family_end = pass < first_local_pass ? first_local_pass : 7;
    for (int later = pass + 1; later < family_end; ++later)
        if (same_bitmap(s, pass, later))
            return true;
    return false;
}

void PassReplay::begin(const PassBuffers &s, int pass, bool binarised) {
    current_ = Record{};
    // Pass 0 is recorded without asking: counting the greys costs a pass
    // over the picture, which a symbol read at once should not pay.
    recording_ = binarised && (pass == 0 || may_repeat_later(s, pass));
}

void PassReplay::note(const PassBuffers &s, const ReadingResult &r, const ReadingOutcome &o) {
    if (!recording_)
        return;
    if (current_.readings.empty()) {
        current_.usable = true;
        current_.eye_count = s.eye_count;
        const int n = std::min(s.eye_count, s.eyes.count);
        if (s.eyes.items && n > 0)
            current_.eyes.assign(s.eyes.items, s.eyes.items + n);
    }
    // The grid stage unmasks with the state's mask when the format is
    // unreadable; a reading with text would be a different record.
    if ((o.stage >= ReadingStage::grid && !o.format_read) || o.stage == ReadingStage::text || o.text)
        current_.usable = false;
    current_.readings.push_back({o, r.version, r.ecc_level, r.mask_pattern, r.data_unsupported_mode});
}

void PassReplay::close(int pass) {
    // Kept only when usable. A later pass began recording only where a pass
    // after it may repeat it; pass 0 records without asking, and its record
    // is kept without asking too: whether a later pass repeats it is known
    // from the count of greys, which a call that stops after the first pass
    // (most pictures without a symbol, at the default effort) should not
    // pay. A record no later pass repeats is never replayed: a pass replays
    // only a record whose bitmap it repeats.
    if (recording_ && pass >= 0 && pass < 7 && current_.usable && !current_.readings.empty())
        records_[pass] = std::move(current_);
    current_ = Record{};
    recording_ = false;
}

RunResult PassReplay::repeat(DecoderState &s, int from, int pass,
                             FunctionRef<ReadingAction(const DecoderState &, const ReadingOutcome &)> on_reading) {
    const Record &r = records_[from];
    memchunk_init(s.eyes);
    for (const EyePattern &e : r.eyes)
        if (!memchunk_append(s.eyes, e))
            break;
    s.eye_count = r.eye_count;
    RunResult result = RunResult::done;
    for (const Reading &g : r.readings) {
        ReadingOutcome o = g.outcome;
        o.pass = pass;
        if (o.try_index >= 0)
            s.version = g.version;
        if (o.format_read) {
            s.ecc_level = g.ecc_level;
            s.mask_pattern = g.mask_pattern;
        }
        if (o.stage >= ReadingStage::grid)
            s.data_unsupported_mode = g.data_unsupported_mode;
        if (o.try_index >= 0)
            s.block_tally = o.blocks;
        if (on_reading(s, o) == ReadingAction::stop) {
            result = RunResult::stopped;
            break;
        }
    }
    memchunk_free(s.eyes);
    s.eye_count = 0;
    return result;
}

} // namespace vantor
