// Video material for the tests: grey frames as a Y4M stream, and videos
// encoded from it by Debian's ffmpeg command.
#pragma once

#include <string>

#include "qr_symbols.h"

namespace vantor::testing {

// The stream header of 4:2:0 frames of width x height at `fps`.
std::string y4m_header(int width, int height, int fps);
// One frame of such a stream: the picture as luma, chroma neutral.
std::string y4m_frame(const Picture &picture);

// Copies `symbol` (a rendered picture) into `canvas` with its top-left at x, y,
// clipped to the canvas.
void paste(Picture &canvas, const Picture &symbol, int x, int y);

// Whether the ffmpeg command is there to encode test videos.
bool have_ffmpeg();

// Encodes a Y4M file with ffmpeg and the given output arguments
// ("-c:v libx264 -pix_fmt yuv420p"); false when ffmpeg fails.
bool encode_video(const std::string &y4m_path, const std::string &output_args, const std::string &out_path);

} // namespace vantor::testing
