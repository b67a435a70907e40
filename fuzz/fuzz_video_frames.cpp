// Arbitrary file contents through the video source and the frame scanner:
// a file taken for a video gives frames of the size it claims, in order,
// or a refusal with a cause; never more than a bounded number of frames
// are looked at, so that a long valid stream keeps each run short.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "frame_scan.h"
#include "fuzz_input.h"
#include "video_source.h"

namespace {

void check(bool ok, const char *what) { vantor::fuzzing::check("fuzz_video_frames", ok, what); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const vantor::fuzzing::InputFile input("vantor-fuzz-video-", ".bin", data, size);
    if (!input.written())
        return 0;
    const std::string &path = input.path();
    using namespace vantor::stream;
    try {
        std::optional<VideoSource> source = VideoSource::open_file(path);
        if (!source)
            return 0;
        FrameScanner scanner(VANTOR_KINDS_ALL, false);
        VideoFrame frame;
        long last = -1;
        for (int n = 0; n < 16 && source->next(frame); ++n) {
            check(frame.width > 0 && frame.height > 0, "a frame without a size");
            check(static_cast<std::int64_t>(frame.width) * frame.height <= VANTOR_MAX_PIXELS, "a frame too large");
            check(frame.pixels.size() == static_cast<std::size_t>(frame.width) * frame.height,
                  "pixels that do not fill the frame");
            check(frame.index == last + 1, "frames out of order");
            last = frame.index;
            if (static_cast<std::int64_t>(frame.width) * frame.height <= (1 << 20))
                scanner.scan(frame);
        }
    } catch (const VideoError &e) {
        check(e.what()[0] != '\0', "a refusal without a cause");
    }
    return 0;
}
