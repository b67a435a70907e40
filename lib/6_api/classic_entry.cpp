// The classic entry: the pass loop on one process-wide state, returning a
// text at once when the Reed-Solomon stage left rs_below_capacity set,
// otherwise the last text read after all passes.
#include "classic_entry.h"

#include <cstring>

#include "3_model2/classic/decode_entry.h"
#include <vantor/vantor.h>

namespace vantor {
namespace {

// The last text read, kept while later passes overwrite result_text.
char saved_text[text_capacity];

} // namespace

ClassicEntry &classic_entry() {
    static ClassicEntry classic;
    return classic;
}

} // namespace vantor

using namespace vantor;

extern "C" const char *decode_image(const unsigned char *pixels, int width, int height,
                                    unsigned short depth, FILE *log_stream) {
    ClassicEntry &entry = classic_entry();
    DecoderState &s = entry.state;
    s.trace_file = log_stream;
    bool have_saved = false;
    const RunResult result = run_passes(
        s, pixels, width, height, depth, [&](const DecoderState &, const ReadingOutcome &reading) {
            if (reading.blocks.last_fix != 0)
                entry.rs_below_capacity = reading.blocks.last_fix > 0 ? -1 : 0;
            if (!reading.text)
                return ReadingAction::go_on;
            if (entry.rs_below_capacity)
                return ReadingAction::stop;
            std::memcpy(saved_text, s.result_text, sizeof saved_text);
            have_saved = true;
            return ReadingAction::go_on;
        });
    if (result == RunResult::stopped)
        return s.result_text;
    return result == RunResult::done && have_saved ? saved_text : nullptr;
}

extern "C" const char *decoder_version(void) { return "1.2"; }
