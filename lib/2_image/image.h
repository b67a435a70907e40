// The grey image as the search sees it, and its local binarisation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "1_base/vectors.h"

namespace vantor::thorough {

// Read-only grey pixels, rows `stride` bytes apart; `inverted` reads every
// grey as 255 - grey, so light-on-dark symbols look like ordinary ones.
struct GreyView {
    const std::uint8_t *pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    bool inverted = false;

    int at(int x, int y) const {
        const int g = pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(stride) +
                             static_cast<std::size_t>(x)];
        return inverted ? 255 - g : g;
    }
    // Bilinear grey at (x, y) in pixel-index coordinates, held at the border;
    // -1 outside the image by more than half a pixel.
    float bilinear(float x, float y) const;
    // bilinear at a point with 0 <= x < width - 1 and 0 <= y < height - 1,
    // whose four pixels need no holding at the border.
    float bilinear_inside(float x, float y) const {
        const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
        const std::uint8_t *p = pixels + static_cast<std::size_t>(y0) * static_cast<std::size_t>(stride) +
                                static_cast<std::size_t>(x0);
        const std::size_t below = static_cast<std::size_t>(stride);
        // 255 - g, for a byte, is g with every bit flipped.
        const int flip = inverted ? 255 : 0;
        const int g00 = p[0] ^ flip, g10 = p[1] ^ flip, g01 = p[below] ^ flip, g11 = p[below + 1] ^ flip;
        const float fx = x - x0, fy = y - y0;
        const float top = g00 + (g10 - g00) * fx;
        const float bottom = g01 + (g11 - g01) * fx;
        return top + (bottom - top) * fy;
    }
    // bilinear_inside at four points at once, lane by lane the same
    // arithmetic: the eye pattern tests sample many small grids.
    Floats4 bilinear_inside4(Doubles4 x, Doubles4 y) const {
        // As the scalar form's arguments: rounded to float, then truncated.
        const Floats4 xf = __builtin_convertvector(x, Floats4), yf = __builtin_convertvector(y, Floats4);
        const Ints4 x0 = __builtin_convertvector(xf, Ints4), y0 = __builtin_convertvector(yf, Ints4);
        const Floats4 fx = xf - __builtin_convertvector(x0, Floats4), fy = yf - __builtin_convertvector(y0, Floats4);
        const std::size_t below = static_cast<std::size_t>(stride);
        const std::uint8_t *p[4];
        for (int l = 0; l < 4; ++l)
            p[l] = pixels + static_cast<std::size_t>(y0[l]) * below + static_cast<std::size_t>(x0[l]);
        const int flip = inverted ? 255 : 0;
        auto lanes = [&](std::size_t at) { return Ints4{p[0][at], p[1][at], p[2][at], p[3][at]} ^ flip; };
        const Ints4 g00 = lanes(0), g10 = lanes(1), g01 = lanes(below), g11 = lanes(below + 1);
        const Floats4 top = __builtin_convertvector(g00, Floats4) + __builtin_convertvector(g10 - g00, Floats4) * fx;
        const Floats4 bottom =
            __builtin_convertvector(g01, Floats4) + __builtin_convertvector(g11 - g01, Floats4) * fx;
        return top + (bottom - top) * fy;
    }
};

// An allocator whose vectors leave new bytes as they find them, for a
// buffer whose every byte is written straight after.
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    template <class U>
    void construct(U *p) {
        ::new (static_cast<void *>(p)) U;
    }
    template <class U, class... Args>
    void construct(U *p, Args &&...args) {
        ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
    }
};

// The stored greys' least, greatest and sum over each block of 8 x 8
// pixels (fewer at the right and bottom edges), row by row of blocks. They
// are the same for a view and its inverse, so both binarisations of a
// picture share one pass over its pixels.
struct BlockGreys {
    int width = 0, height = 0; // the picture's
    std::vector<std::uint8_t> lo, hi;
    std::vector<std::uint16_t> sum;
};
BlockGreys block_greys(const GreyView &grey);

// Whether a picture is dim: at least half its blocks (`blocks`) of a mean
// grey below a quarter of the full scale. Its edges, and its symbols' eye
// patterns, then span fewer grey levels than the usual binarisation and
// search take for them.
bool dim_picture(const BlockGreys &blocks);

// Which blocks carry no edge: those whose grey range is at most a fixed
// span, or (`by_level`) at most a span in proportion to the block's mean
// grey in the picture as taken, below mid-grey, down to half the fixed
// span. A dim picture's edges, and its noise, span fewer grey levels.
enum class FlatRule { fixed, by_level };

// A binarisation: per pixel 1 dark, 0 light, and the threshold each pixel
// was judged against: the mean level of the 5x5 blocks of 8x8 pixels around
// it, a block's level being its mean grey, or for a block without an edge
// that of the edged blocks near it.
class Binary {
public:
    static constexpr int block = 8;

    explicit Binary(const GreyView &grey);
    // The binarisation of `grey` from its blocks' greys, `blocks`, as
    // block_greys gives them for `grey` (either polarity); blocks of a
    // picture of another size are not taken, and its own are counted.
    Binary(const GreyView &grey, const BlockGreys &blocks, FlatRule rule = FlatRule::fixed);

    int width() const { return width_; }
    int height() const { return height_; }
    bool dark(int x, int y) const {
        return bit(static_cast<std::size_t>(y) * row_bits() + static_cast<std::size_t>(x));
    }
    // The pixels are packed a bit each, 1 dark, row after row of whole
    // 64-bit words: pixel (x, y) is bit y * row_bits() + x, and the bits past
    // a row's last pixel are clear. Scans then take the runs of 64 pixels
    // at once, and the binarisation writes an eighth of the bytes.
    std::size_t row_bits() const { return 64 * words_per_row_; }
    bool bit(std::size_t index) const { return (words_[index / 64] >> (index % 64)) & 1; }
    // Row y's words.
    const std::uint64_t *row_words(int y) const { return words_.data() + static_cast<std::size_t>(y) * words_per_row_; }
    // The threshold of the block under (x, y), held inside the image.
    int threshold(float x, float y) const;

private:
    int width_;
    int height_;
    int block_cols_;
    int block_rows_;
    std::size_t words_per_row_;
    std::vector<std::uint64_t, UninitialisedAllocator<std::uint64_t>> words_; // every word set by the constructor
    std::vector<std::uint8_t> thresholds_; // per block
};

// The grey image with each pixel pushed away from the mean of the 5 x 5
// pixels around it by as much again (an unsharp mask), rows `width` apart:
// blur thins the light ring of an eye pattern until no binarisation shows
// its 1:1:3:1:1 runs, and this gets them back.
std::vector<std::uint8_t> sharpened(const GreyView &grey);

} // namespace vantor::thorough
