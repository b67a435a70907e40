// Repeated passes: a pass whose bitmap provably equals an earlier pass's
// gives that pass's readings again, so they are reported from a record
// instead of being searched for a second time.
#pragma once

#include <cstdint>
#include <vector>

#include "1_base/function_ref.h"
#include "reading.h"
#include "state.h"

namespace vantor {

class PassReplay {
public:
    // pixels: the image of the run (width x height of the pass buffers, depth
    // as given).
    PassReplay(const std::uint8_t *pixels, std::uint16_t depth) : pixels_(pixels), depth_(depth) {}

    // The earliest recorded pass whose bitmap pass `pass` repeats exactly
    // and whose readings can be reported again from the state the run holds
    // now; -1 when there is none (or it cannot be proved).
    int repeated_pass(const PassBuffers &s, int pass);
    // Starts the record of a pass, once it has binarised (`binarised` is
    // false when it left the bitmap as it was: a local pass on a small
    // image); it is recorded only when a later pass may repeat it.
    void begin(const PassBuffers &s, int pass, bool binarised);
    // Notes a reading of the pass being run, as on_reading is given it: the
    // pass's candidates and what the reading left in r.
    void note(const PassBuffers &s, const ReadingResult &r, const ReadingOutcome &o);
    // Closes the record of a pass that ran to its end.
    void close(int pass);
    // Reports the readings of recorded pass `from` as pass `pass`, leaving
    // in s what running the pass would have left for later passes and the
    // caller: version, level, mask, the data flag, the block tally (with how
    // the last correction went) and the candidates. Stopped when on_reading
    // asks.
    RunResult repeat(DecoderState &s, int from, int pass,
                     FunctionRef<ReadingAction(const DecoderState &, const ReadingOutcome &)> on_reading);

private:
    struct Reading {
        ReadingOutcome outcome;
        int version;
        int ecc_level;
        int mask_pattern;
        bool data_unsupported_mode;
    };
    struct Record {
        bool usable = false;
        std::vector<Reading> readings;
        std::vector<EyePattern> eyes;
        int eye_count = 0;
    };

    // Whether passes a and b binarise alike (same family only).
    bool same_bitmap(const PassBuffers &s, int a, int b);
    // Whether a later pass of the same family binarises as `pass` does.
    bool may_repeat_later(const PassBuffers &s, int pass);

    const std::uint8_t *pixels_;
    std::uint16_t depth_;
    Record records_[7];
    Record current_;
    bool recording_ = false;
    bool grey_counted_ = false;
    bool contrast_counted_ = false;
    std::uint32_t grey_counts_[256] = {};
    std::uint32_t contrast_counts_[256] = {};
};

} // namespace vantor
