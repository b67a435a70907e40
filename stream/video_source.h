// Frames of a video file, a camera or a live stream, in order and in grey,
// through FFmpeg's libraries. One source is used by one thread at a time;
// any number of sources may run at once.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <vantor/vantor.h>

namespace vantor::stream {

// Why a source could not be opened or read: the read status the reader
// reports and a text that names the cause (not the file).
class VideoError : public std::runtime_error {
public:
    VideoError(vantor_read_status status, const std::string &cause) : std::runtime_error(cause), status_(status) {}
    vantor_read_status status() const noexcept { return status_; }

private:
    vantor_read_status status_;
};

enum class VideoInput {
    file,   // a video file, any container and codec the libraries read
    camera, // a V4L2 device
    live,   // a stream of unknown length without seeking: a named pipe or "-" (standard input)
};

struct VideoFrame {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // width x height grey bytes
    long index = -1;                  // 0 first, in decoding order of the video stream
    double seconds = 0;               // presentation time from the stream's start
};

class VideoSource {
public:
    // Opens a file whose content is recognised as a container holding a
    // video stream; nothing when it is not a video (throws VideoError when it
    // is one that cannot be read).
    static std::optional<VideoSource> open_file(const std::string &path);
    // Opens a camera or a live stream; throws VideoError.
    static VideoSource open(const std::string &path, VideoInput input);

    VideoSource(VideoSource &&) noexcept;
    VideoSource &operator=(VideoSource &&) noexcept;
    ~VideoSource();

    // Decodes the next frame into `frame`; false at the end of the stream.
    // A stream that breaks off after some frames ends with a warning; one
    // that gives no frame at all throws VideoError.
    bool next(VideoFrame &frame);

    // What the libraries complained of while the stream still read, each
    // line once; cleared by the call.
    std::vector<std::string> take_warnings();

    struct State; // the libraries' objects, defined beside the code that uses them

private:
    explicit VideoSource(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

} // namespace vantor::stream
