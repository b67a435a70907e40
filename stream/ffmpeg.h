// FFmpeg's functions that the video source calls, taken from the libraries
// when a video is first opened. Linked at build time, the libraries and the
// hundred others they pull in cost every run some 25 ms at start, though
// most runs read only images.
#pragma once

#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace vantor::stream {

// Each function with the library that holds it.
#define VANTOR_FFMPEG_FUNCTIONS(F)                                                                                \
    F(avutil, av_dict_free)                                                                                       \
    F(avutil, av_dict_set)                                                                                        \
    F(avutil, av_frame_alloc)                                                                                     \
    F(avutil, av_frame_free)                                                                                      \
    F(avutil, av_frame_unref)                                                                                     \
    F(avutil, av_log_set_callback)                                                                                \
    F(avutil, av_strerror)                                                                                        \
    F(avcodec, av_packet_alloc)                                                                                   \
    F(avcodec, av_packet_free)                                                                                    \
    F(avcodec, av_packet_unref)                                                                                   \
    F(avcodec, avcodec_alloc_context3)                                                                            \
    F(avcodec, avcodec_descriptor_get)                                                                            \
    F(avcodec, avcodec_free_context)                                                                              \
    F(avcodec, avcodec_open2)                                                                                     \
    F(avcodec, avcodec_parameters_to_context)                                                                     \
    F(avcodec, avcodec_receive_frame)                                                                             \
    F(avcodec, avcodec_send_packet)                                                                               \
    F(avformat, av_find_best_stream)                                                                              \
    F(avformat, av_find_input_format)                                                                             \
    F(avformat, av_probe_input_format3)                                                                           \
    F(avformat, av_read_frame)                                                                                    \
    F(avformat, avformat_alloc_context)                                                                           \
    F(avformat, avformat_close_input)                                                                             \
    F(avformat, avformat_find_stream_info)                                                                        \
    F(avformat, avformat_open_input)                                                                              \
    F(avformat, avio_closep)                                                                                      \
    F(avformat, avio_open2)                                                                                       \
    F(avformat, avio_read)                                                                                        \
    F(avformat, avio_seek)                                                                                        \
    F(swscale, sws_freeContext)                                                                                   \
    F(swscale, sws_getCachedContext)                                                                              \
    F(swscale, sws_scale)

struct Ffmpeg {
#define VANTOR_FFMPEG_POINTER(library, name) decltype(&::name) name = nullptr;
    VANTOR_FFMPEG_FUNCTIONS(VANTOR_FFMPEG_POINTER)
#undef VANTOR_FFMPEG_POINTER
};

// The functions, loaded once for the process (thread-safe); nullptr when a
// library or a function cannot be loaded, with its name in `missing`.
const Ffmpeg *ffmpeg(std::string *missing = nullptr);

// The library of FFmpeg's devices (cameras among them), which loads some
// two hundred others (sound servers, displays, GPUs): loaded when a camera
// is first opened, and kept. Empty when loaded, else the library's name.
std::string devices_missing();

} // namespace vantor::stream
