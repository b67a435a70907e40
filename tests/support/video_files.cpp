#include "video_files.h"

#include <algorithm>
#include <cstdlib>

namespace vantor::testing {

std::string y4m_header(int width, int height, int fps) {
    return "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) + " F" + std::to_string(fps) +
           ":1 Ip A1:1 C420jpeg\n";
}

std::string y4m_frame(const Picture &picture) {
    std::string frame = "FRAME\n";
    frame.append(picture.pixels.begin(), picture.pixels.end());
    const std::size_t chroma = static_cast<std::size_t>((picture.width + 1) / 2) * ((picture.height + 1) / 2);
    frame.append(2 * chroma, static_cast<char>(128));
    return frame;
}

void paste(Picture &canvas, const Picture &symbol, int x, int y) {
    for (int row = std::max(0, -y); row < symbol.height && y + row < canvas.height; ++row)
        for (int col = std::max(0, -x); col < symbol.width && x + col < canvas.width; ++col)
            canvas.pixels[static_cast<std::size_t>(y + row) * canvas.width + (x + col)] = symbol.at(col, row);
}

bool have_ffmpeg() {
    return std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

bool encode_video(const std::string &y4m_path, const std::string &output_args, const std::string &out_path) {
    const std::string command = "ffmpeg -nostdin -loglevel error -y -i '" + y4m_path + "' " + output_args + " '" +
                                out_path + "'";
    return std::system(command.c_str()) == 0;
}

} // namespace vantor::testing
