#include "video_source.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "ffmpeg.h"

namespace vantor::stream {

namespace {

// Most distinct warnings kept for one source.
constexpr std::size_t max_warnings = 20;
// Packets in a row the decoder may refuse before the stream counts as broken.
constexpr int max_refused_packets = 200;

// The libraries log through one process-wide function; errors go to the
// warnings of the source being read on the same thread, the rest nowhere.
thread_local std::vector<std::string> *warnings_now = nullptr;

void log_line(void *, int level, const char *format, va_list args) {
    if (level > AV_LOG_ERROR || !warnings_now || warnings_now->size() >= max_warnings)
        return;
    char line[512];
    std::vsnprintf(line, sizeof line, format, args);
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    for (const std::string &seen : *warnings_now)
        if (seen == text)
            return;
    warnings_now->push_back(text);
}

// FFmpeg's functions, once set_up_libraries has loaded them.
const Ffmpeg &lib() { return *ffmpeg(); }

// Loads the libraries and sends their log to the warnings; the name of a
// library that cannot be loaded, else empty.
std::string set_up_libraries() {
    std::string missing;
    if (!ffmpeg(&missing))
        return missing;
    static std::once_flag done;
    std::call_once(done, [] { lib().av_log_set_callback(log_line); });
    return {};
}

struct Collecting {
    explicit Collecting(std::vector<std::string> &into) { warnings_now = &into; }
    ~Collecting() { warnings_now = nullptr; }
    Collecting(const Collecting &) = delete;
    Collecting &operator=(const Collecting &) = delete;
};

std::string error_text(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = "";
    lib().av_strerror(code, text, sizeof text);
    return text;
}

// Containers that open other files or addresses by the names inside them.
bool opens_other_files(const char *name) {
    for (const char *refused : {"hls", "concat", "dash", "mpd", "image2", "tty"})
        if (std::strstr(name, refused))
            return true;
    return false;
}

// The container a file's first bytes show, when they show one that is not
// known by the file's name alone and opens no other files.
const AVInputFormat *recognise_container(const std::string &path) {
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return nullptr;
    std::vector<unsigned char> lead(4096 + AVPROBE_PADDING_SIZE, 0);
    const std::size_t got = std::fread(lead.data(), 1, 4096, file);
    std::fclose(file);
    if (got == 0)
        return nullptr;
    AVProbeData probe{};
    probe.filename = "";
    probe.buf = lead.data();
    probe.buf_size = static_cast<int>(got);
    int score = 0;
    const AVInputFormat *format = lib().av_probe_input_format3(&probe, 1, &score);
    if (!format || score <= AVPROBE_SCORE_EXTENSION || opens_other_files(format->name))
        return nullptr;
    return format;
}

} // namespace

struct VideoSource::State {
    AVFormatContext *format = nullptr;
    AVIOContext *input = nullptr; // a live stream's, opened here
    AVCodecContext *codec = nullptr;
    SwsContext *scaler = nullptr;
    AVPacket *packet = nullptr;
    AVFrame *decoded = nullptr;
    int stream = -1;
    AVRational time_base{1, 1};
    std::int64_t origin = AV_NOPTS_VALUE; // the presentation time of 0:00.000
    long frames = 0;
    bool draining = false;
    bool finished = false;
    std::vector<std::string> warnings;
    // swscale's vector code writes rows in whole blocks, past an unaligned
    // width: it scales into this padded buffer, whose rows are then copied.
    std::vector<std::uint8_t> scaled;

    ~State() {
        lib().sws_freeContext(scaler);
        lib().av_frame_free(&decoded);
        lib().av_packet_free(&packet);
        lib().avcodec_free_context(&codec);
        lib().avformat_close_input(&format);
        lib().avio_closep(&input);
    }
};

VideoSource::VideoSource(std::unique_ptr<State> state) : state_(std::move(state)) {}
VideoSource::VideoSource(VideoSource &&) noexcept = default;
VideoSource &VideoSource::operator=(VideoSource &&) noexcept = default;
VideoSource::~VideoSource() = default;

namespace {

// Opens the container; nullptr with `failure` set when it cannot be.
AVFormatContext *open_container(const std::string &url, const AVInputFormat *format, const char *protocols,
                                int &failure) {
    AVDictionary *options = nullptr;
    lib().av_dict_set(&options, "protocol_whitelist", protocols, 0);
    AVFormatContext *context = nullptr;
    failure = lib().avformat_open_input(&context, url.c_str(), format, &options);
    lib().av_dict_free(&options);
    return failure < 0 ? nullptr : context;
}

// Opens a live stream, tells an empty one from one that is no video, and
// the container; throws VideoError.
AVFormatContext *open_live(VideoSource::State &s, const std::string &url) {
    AVDictionary *options = nullptr;
    lib().av_dict_set(&options, "protocol_whitelist", "file,pipe", 0);
    const int opened = lib().avio_open2(&s.input, url.c_str(), AVIO_FLAG_READ, nullptr, &options);
    lib().av_dict_free(&options);
    if (opened == AVERROR(ENOENT))
        throw VideoError(VANTOR_READ_NO_SUCH_FILE, "no such file");
    if (opened == AVERROR(EACCES))
        throw VideoError(VANTOR_READ_PERMISSION_DENIED, "permission denied");
    if (opened < 0)
        throw VideoError(VANTOR_READ_DAMAGED, "the stream cannot be opened (" + error_text(opened) + ")");
    // The first byte, read and given back from the buffer, even without seeking.
    unsigned char first = 0;
    if (lib().avio_read(s.input, &first, 1) != 1)
        throw VideoError(VANTOR_READ_EMPTY_FILE, "empty stream: it ended before its first frame");
    if (lib().avio_seek(s.input, 0, SEEK_SET) != 0)
        throw VideoError(VANTOR_READ_DAMAGED, "the stream cannot be read from its start");
    AVFormatContext *context = lib().avformat_alloc_context();
    if (!context)
        throw std::bad_alloc();
    context->pb = s.input;
    context->flags |= AVFMT_FLAG_CUSTOM_IO;
    const int failure = lib().avformat_open_input(&context, url.c_str(), nullptr, nullptr);
    if (failure < 0)
        throw VideoError(VANTOR_READ_UNKNOWN_FORMAT, "not a video stream Vantor reads (" + error_text(failure) + ")");
    return context;
}

// Finds the video stream and opens its decoder; throws VideoError.
void open_decoder(VideoSource::State &s) {
    const int info = lib().avformat_find_stream_info(s.format, nullptr);
    if (info < 0)
        throw VideoError(VANTOR_READ_DAMAGED, "damaged video: its streams cannot be read (" + error_text(info) + ")");
    const AVCodec *decoder = nullptr;
    s.stream = lib().av_find_best_stream(s.format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (s.stream == AVERROR_STREAM_NOT_FOUND)
        throw VideoError(VANTOR_READ_UNKNOWN_FORMAT, "holds no video stream");
    if (s.stream < 0 || !decoder) {
        const AVCodecDescriptor *codec =
            s.stream >= 0 ? lib().avcodec_descriptor_get(s.format->streams[s.stream]->codecpar->codec_id) : nullptr;
        throw VideoError(VANTOR_READ_UNKNOWN_FORMAT, std::string("unknown video codec (") +
                                                         (codec ? codec->name : "unnamed") +
                                                         "): FFmpeg's libraries here do not decode it");
    }
    const AVStream *stream = s.format->streams[s.stream];
    const std::int64_t width = stream->codecpar->width, height = stream->codecpar->height;
    if (width * height > VANTOR_MAX_PIXELS || width < 0 || height < 0)
        throw VideoError(VANTOR_READ_DAMAGED, std::to_string(width) + " x " + std::to_string(height) +
                                                  " pixels a frame is more than Vantor reads (2^28 pixels)");
    s.codec = lib().avcodec_alloc_context3(decoder);
    if (!s.codec)
        throw std::bad_alloc();
    if (lib().avcodec_parameters_to_context(s.codec, stream->codecpar) < 0)
        throw VideoError(VANTOR_READ_DAMAGED, "the video stream's parameters cannot be used");
    s.codec->max_pixels = VANTOR_MAX_PIXELS;
    s.codec->thread_count = 1;
    const int opened = lib().avcodec_open2(s.codec, decoder, nullptr);
    if (opened < 0)
        throw VideoError(VANTOR_READ_DAMAGED, "the video decoder cannot start (" + error_text(opened) + ")");
    s.time_base = stream->time_base;
    s.origin = stream->start_time;
    s.packet = lib().av_packet_alloc();
    s.decoded = lib().av_frame_alloc();
    if (!s.packet || !s.decoded)
        throw std::bad_alloc();
}

// The decoded frame in grey into `frame`; false when it cannot be converted.
bool to_grey(VideoSource::State &s, VideoFrame &frame) {
    const AVFrame *f = s.decoded;
    if (f->width <= 0 || f->height <= 0 ||
        static_cast<std::int64_t>(f->width) * f->height > VANTOR_MAX_PIXELS)
        return false;
    s.scaler = lib().sws_getCachedContext(s.scaler, f->width, f->height, static_cast<AVPixelFormat>(f->format), f->width,
                                    f->height, AV_PIX_FMT_GRAY8, SWS_POINT, nullptr, nullptr, nullptr);
    if (!s.scaler)
        return false;
    constexpr int align = 64;
    const int stride = (f->width + align - 1) / align * align;
    const auto width = static_cast<std::size_t>(f->width), height = static_cast<std::size_t>(f->height);
    s.scaled.resize(static_cast<std::size_t>(stride) * (height + 1) + align);
    std::uint8_t *planes[4] = {s.scaled.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {stride, 0, 0, 0};
    if (lib().sws_scale(s.scaler, f->data, f->linesize, 0, f->height, planes, strides) != f->height)
        return false;
    frame.width = f->width;
    frame.height = f->height;
    frame.pixels.resize(width * height);
    for (std::size_t y = 0; y < height; ++y)
        std::copy_n(s.scaled.data() + y * static_cast<std::size_t>(stride), width, frame.pixels.data() + y * width);
    std::int64_t pts = f->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE)
        pts = f->pts;
    if (pts != AV_NOPTS_VALUE && s.origin == AV_NOPTS_VALUE)
        s.origin = pts;
    frame.index = s.frames++;
    frame.seconds = pts == AV_NOPTS_VALUE ? (frame.index > 0 ? frame.seconds : 0)
                                          : std::max(0.0, static_cast<double>(pts - s.origin) * av_q2d(s.time_base));
    return true;
}

} // namespace

std::optional<VideoSource> VideoSource::open_file(const std::string &path) {
    // Without the libraries no file can be told a video.
    if (!set_up_libraries().empty())
        return std::nullopt;
    auto state = std::make_unique<State>();
    Collecting collecting(state->warnings);
    // Only a container recognised by its content is taken for a video: a
    // text file must not pass for one by its name alone.
    const AVInputFormat *container = recognise_container(path);
    if (!container)
        return std::nullopt;
    int failure = 0;
    state->format = open_container("file:" + path, container, "file", failure);
    if (!state->format)
        throw VideoError(VANTOR_READ_DAMAGED, std::string("damaged or cut video (") + container->name +
                                                  "): " + (state->warnings.empty() ? error_text(failure)
                                                                                   : state->warnings.front()));
    try {
        open_decoder(*state);
    } catch (const VideoError &e) {
        if (e.status() == VANTOR_READ_UNKNOWN_FORMAT && state->stream == AVERROR_STREAM_NOT_FOUND)
            return std::nullopt; // audio alone, or no stream at all
        throw;
    }
    return VideoSource(std::move(state));
}

VideoSource VideoSource::open(const std::string &path, VideoInput input) {
    if (const std::string missing = set_up_libraries(); !missing.empty())
        throw VideoError(VANTOR_READ_UNKNOWN_FORMAT, "video needs " + missing + ", which cannot be loaded");
    auto state = std::make_unique<State>();
    Collecting collecting(state->warnings);
    int failure = 0;
    if (input == VideoInput::camera) {
        if (const std::string missing = devices_missing(); !missing.empty())
            throw VideoError(VANTOR_READ_UNKNOWN_FORMAT, "cameras need " + missing + ", which cannot be loaded");
        const AVInputFormat *v4l2 = lib().av_find_input_format("video4linux2");
        if (!v4l2)
            throw VideoError(VANTOR_READ_UNKNOWN_FORMAT, "this build of FFmpeg's libraries reads no V4L2 camera");
        state->format = open_container(path, v4l2, "file", failure);
        if (!state->format)
            throw VideoError(failure == AVERROR(ENOENT)   ? VANTOR_READ_NO_SUCH_FILE
                             : failure == AVERROR(EACCES) ? VANTOR_READ_PERMISSION_DENIED
                                                          : VANTOR_READ_DAMAGED,
                             failure == AVERROR(ENOENT) ? "no such camera device"
                                                        : "no camera can be opened there (" + error_text(failure) + ")");
    } else {
        state->format = open_live(*state, input == VideoInput::live && path == "-" ? "pipe:0" : "file:" + path);
        if (opens_other_files(state->format->iformat->name))
            throw VideoError(VANTOR_READ_UNKNOWN_FORMAT, "not a video stream Vantor reads");
    }
    open_decoder(*state);
    return VideoSource(std::move(state));
}

bool VideoSource::next(VideoFrame &frame) {
    State &s = *state_;
    Collecting collecting(s.warnings);
    int refused = 0;
    while (!s.finished) {
        const int got = lib().avcodec_receive_frame(s.codec, s.decoded);
        if (got == 0) {
            const bool converted = to_grey(s, frame);
            lib().av_frame_unref(s.decoded);
            if (converted)
                return true;
            continue;
        }
        if (got == AVERROR_EOF) {
            s.finished = true;
            break;
        }
        if (got != AVERROR(EAGAIN)) {
            // A frame the decoder gave up on: the next packets may still decode.
            if (++refused > max_refused_packets)
                break;
            continue;
        }
        if (s.draining) {
            s.finished = true;
            break;
        }
        const int read = lib().av_read_frame(s.format, s.packet);
        if (read < 0) {
            if (read != AVERROR_EOF && s.warnings.size() < max_warnings)
                s.warnings.push_back("the stream broke off: " + error_text(read));
            s.draining = true;
            lib().avcodec_send_packet(s.codec, nullptr);
            continue;
        }
        if (s.packet->stream_index == s.stream && lib().avcodec_send_packet(s.codec, s.packet) < 0 &&
            ++refused > max_refused_packets) {
            lib().av_packet_unref(s.packet);
            break;
        }
        lib().av_packet_unref(s.packet);
    }
    s.finished = true;
    if (s.frames == 0)
        throw VideoError(VANTOR_READ_DAMAGED, s.warnings.empty() ? "damaged video: no frame could be decoded"
                                                                 : "damaged video: no frame could be decoded: " +
                                                                       s.warnings.front());
    return false;
}

std::vector<std::string> VideoSource::take_warnings() {
    std::vector<std::string> out;
    out.swap(state_->warnings);
    return out;
}

} // namespace vantor::stream
