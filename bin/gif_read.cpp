// GIF reader: every image of the file is drawn, in file order, onto one
// canvas of colour indices, which one colour map then turns into grey.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include <gif_lib.h>
#include <unistd.h>

#include "1_base/c_file.h"
#include "1_base/heap_array.h"
#include "readers.h"

namespace vantor {

namespace {

// Interlaced images store their rows in four passes: first row (relative to
// the image's top) and row step of each, in file order.
struct InterlacePass {
    int first;
    int step;
};
constexpr InterlacePass interlace_passes[4] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};

struct GifClose {
    void operator()(GifFileType *gif) const {
        int error;
        DGifCloseFile(gif, &error);
    }
};
using GifHandle = std::unique_ptr<GifFileType, GifClose>;

// Reads the file into the target's image; on failure returns the text for
// its message. The canvas and the GIF object are released on return, the
// pixels are left to the caller.
const char *decode_gif(std::FILE *stream, ReadTarget &target) {
    // The library reads and closes a descriptor of its own; the stream is
    // closed here, before the library moves the shared file offset, so each
    // is closed exactly once.
    int fd = dup(fileno(stream));
    std::fclose(stream);
    if (fd < 0)
        return "open failed.\n";
    if (lseek(fd, 0, SEEK_SET) != 0) {
        close(fd);
        return "open failed.\n";
    }
    int error;
    GifHandle gif(DGifOpenFileHandle(fd, &error)); // closes fd even when it fails
    if (!gif)
        return "open failed.\n";

    GrayImage &image = target.image;
    image.width = gif->SWidth;
    image.height = gif->SHeight;
    const std::int64_t area = std::int64_t{gif->SWidth} * gif->SHeight;
    if (area <= 0 || area > max_image_pixels)
        return "malloc failed\n";
    const std::size_t width = static_cast<std::size_t>(gif->SWidth);
    const std::size_t size = static_cast<std::size_t>(area);
    HeapArray<GifPixelType> canvas;
    if (!allocate_pixels(target, gif->SWidth, gif->SHeight) || !canvas.allocate(size)) {
        target.failure = VANTOR_READ_OUT_OF_MEMORY;
        return "malloc failed\n";
    }
    std::fill_n(canvas.get(), size, static_cast<GifPixelType>(gif->SBackGroundColor));

    for (bool done = false; !done;) {
        GifRecordType type;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR)
            return "get record type failed.\n";
        switch (type) {
        case IMAGE_DESC_RECORD_TYPE: {
            if (DGifGetImageDesc(gif.get()) == GIF_ERROR)
                return "get image desc\n";
            const GifImageDesc &image = gif->Image;
            if (image.Left + image.Width > gif->SWidth || image.Top + image.Height > gif->SHeight)
                return "image size\n";
            auto read_row = [&](int r) {
                GifPixelType *line = canvas.get() + static_cast<std::size_t>(r) * width + image.Left;
                return DGifGetLine(gif.get(), line, image.Width) != GIF_ERROR;
            };
            const int end = image.Top + image.Height;
            if (image.Interlace) {
                for (const InterlacePass &pass : interlace_passes)
                    for (int r = image.Top + pass.first; r < end; r += pass.step)
                        if (!read_row(r))
                            return "get line\n";
            } else {
                for (int r = image.Top; r < end; ++r)
                    if (!read_row(r))
                        return "get line\n";
            }
            break;
        }
        case EXTENSION_RECORD_TYPE: {
            // Contents are ignored: no transparency, disposal, delays or comments.
            int code;
            GifByteType *block;
            if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR)
                return "get extension\n";
            while (block != nullptr)
                if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR)
                    return "get extension next\n";
            break;
        }
        case TERMINATE_RECORD_TYPE:
            done = true;
            break;
        default: // the library reports unknown introducers as errors
            return "get record type failed.\n";
        }
    }

    // The last image's local map, else the global map, colours the whole canvas.
    const ColorMapObject *map = gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
    if (!map || !map->Colors)
        return "no colour map\n";
    for (std::size_t i = 0; i < size; ++i) {
        const int index = canvas[i];
        if (index < map->ColorCount) {
            const GifColorType &c = map->Colors[index];
            image.pixels[i] = mean_grey(c.Red, c.Green, c.Blue);
        } else {
            image.pixels[i] = 0; // an index the map does not hold
        }
    }
    return nullptr;
}

} // namespace

int read_gif(std::FILE *file, ReadTarget &target) {
    const char *failure = decode_gif(file, target);
    if (!failure)
        return 1;
    set_message(target, "%s", failure);
    std::free(target.image.pixels);
    target.image.pixels = nullptr;
    return 0;
}

} // namespace vantor
