// The pass loop: up to seven binarisations of the image, each searched for a
// symbol with two module-size estimates, every reading reported to the
// caller.
#include "decode_entry.h"

#include <cstdio>

#include "binarise.h"
#include "bitmap.h"
#include "1_base/bmp_write.h"
#include "codewords.h"
#include "1_base/data_segments.h"
#include "eyepattern.h"
#include "format.h"
#include "grid.h"
#include "pass_replay.h"
#include "unmask.h"
#include "version.h"

namespace vantor {
namespace {

void free_pass_buffers(PassBuffers &s) {
    s.contrast_map.reset();
    s.work_bitmap.reset();
}

void write_debug_image(const TraceSink &sink, const char *format, int pass, int try_index,
                       const std::uint8_t *pixels, int width, int height) {
    char name[64];
    std::snprintf(name, sizeof name, format, pass, try_index);
    write_debug_image(sink, name, pixels, width, height);
}

} // namespace

RunResult run_passes(DecoderState &s, const std::uint8_t *pixels, int width, int height, std::uint16_t depth,
                     OnReading on_reading, bool repeat_equal_passes) {
    PassLoop loop(s, pixels, width, height, depth, repeat_equal_passes);
    return loop.run_through(PassLoop::pass_count - 1, on_reading);
}

PassLoop::PassLoop(DecoderState &s, const std::uint8_t *pixels, int width, int height, std::uint16_t depth,
                   bool repeat_equal_passes)
    : s_(s), pixels_(pixels), width_(width), height_(height), depth_(depth),
      repeats_(repeat_equal_passes && !s.tracing() && !s.writes_debug_images() && depth != 1),
      replay_(pixels, depth) {}

RunResult PassLoop::run_through(int last_pass, OnReading on_reading) {
    if (!more())
        return result_;
    DecoderState &s = s_;
    const std::uint8_t *pixels = pixels_;
    const int width = width_, height = height_;
    if (next_pass_ == 0) {
        if (!pixels || width <= 0 || height <= 0 || width > max_side || height > max_side)
            return result_ = RunResult::invalid_argument;
        s.image_width = width;
        s.image_height = height;
        // The first local pass builds the map for this image; one left over
        // from a direct call of a pass belongs to another image.
        s.contrast_map.reset();
    }
    const std::size_t n = static_cast<std::size_t>(width) * height;
    if ((next_pass_ == 0 || !s.work_bitmap) && !s.work_bitmap.allocate(n)) {
        trace_malloc_failed(s);
        return result_ = RunResult::out_of_memory;
    }

    RunResult &result = result_;
    const bool repeats = repeats_;
    PassReplay &replay = replay_;
    while (next_pass_ <= last_pass && next_pass_ < pass_count && result == RunResult::done) {
        // A bilevel image has one binarisation: the first pass's.
        const int pass = next_pass_;
        next_pass_ = depth_ == 1 ? pass_count : pass + 1;
        if (repeats) {
            if (const int from = replay.repeated_pass(s, pass); from >= 0) {
                result = replay.repeat(s, from, pass, on_reading);
                continue;
            }
        }
        bool binarised = true;
        if (pass <= 2)
            threshold_global(s, pass, pixels, depth_);
        else
            binarised = threshold_local(s, pass - 3, pixels, width, height);
        if (repeats)
            replay.begin(s, pass, binarised);
        if (s.writes_debug_images())
            write_debug_image(s, "sample1-%d.bmp", pass, 0, s.work_bitmap.get(), width, height);
        ReadingOutcome outcome{pass, -1, ReadingStage::none, 0, {}, false, false, nullptr, nullptr, 0};
        auto report = [&] {
            if (repeats)
                replay.note(s, s, outcome);
            if (on_reading(s, outcome) == ReadingAction::stop)
                result = RunResult::stopped;
        };
        if (!find_eye_patterns(s, s.eye_pick, s)) {
            outcome.candidates = s.eye_count;
            outcome.stage = s.eye_count >= 3 ? ReadingStage::eyes : ReadingStage::none;
            report();
        } else {
            // Oriented picks are always candidates.
            const PickedEyes eyes = *picked_eyes(s, s.eye_pick);
            for (int j = 0; j < 2 && result == RunResult::done; ++j) {
                outcome = {pass, j, ReadingStage::arranged, s.eye_count, {}, false, false, nullptr, nullptr, 0};
                s.block_tally = {};
                const VersionEstimate estimate = determine_version(s, eyes, j, s);
                s.version = estimate.version;
                s.units = estimate.units;
                if (s.version < 1) {
                    report();
                    continue;
                }
                outcome.stage = ReadingStage::version;
                if (!grid_build(s, eyes, s, s) || !grid_sample(s, s)) {
                    report();
                    grid_free(s);
                    continue;
                }
                outcome.stage = ReadingStage::grid;
                if (s.writes_debug_images()) {
                    write_debug_image(s, "sample2-%d-%d.bmp", pass, j, s.module_matrix.get(), s.matrix_width,
                                      s.matrix_height);
                    write_debug_image(s, "sample3-%d-%d.bmp", pass, j, s.work_bitmap.get(), width, height);
                }
                clear_sampled_marks(s.work_bitmap.get(), n);

                // A reading whose format information is unreadable goes on
                // with the level and mask the state holds.
                outcome.format_read = read_format_info(s, s);
                outcome.format_twice = outcome.format_read && format_copies_agree(s);
                if (outcome.format_read)
                    outcome.stage = ReadingStage::format;
                unmask(s);
                const bool codewords = reorder_codewords(s, s, &s);
                if (outcome.format_read && codewords && s.uncorrected_blocks == 0)
                    outcome.stage = ReadingStage::codewords;
                if (char *text = decode_data(s, s.version, s)) {
                    outcome.stage = ReadingStage::text;
                    outcome.text = text;
                    outcome.bytes = s.result_length >= 0 ? s.result_bytes : nullptr;
                    outcome.text_length = s.result_length;
                }
                outcome.blocks = s.block_tally;
                report();
                grid_free(s);
                release_codewords(s);
            }
        }
        free_eye_patterns(s);
        if (repeats && result == RunResult::done) // no pass follows a stop
            replay.close(pass);
    }
    // A global pass sets every pixel of the bitmap, so the bitmap need not
    // be held while the caller decides on a step that starts with one; a
    // local pass on a small image may keep the bitmap before it.
    if (next_pass_ <= 2)
        s.work_bitmap.reset();
    if (!more()) {
        free_pass_buffers(s);
        trace_flush(s);
    }
    return result;
}

} // namespace vantor
