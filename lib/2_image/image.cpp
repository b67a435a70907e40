// Bilinear grey sampling and the local block binarisation of the search.
#include "image.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "1_base/vectors.h"

namespace vantor::thorough {
namespace {

using Longs2 = std::uint64_t __attribute__((vector_size(16)));
using Words4 = std::uint32_t __attribute__((vector_size(16)));

// The least (or, `greatest`, the greatest) byte of each eight-byte half, in
// bytes 0 and 8: each byte against those 4, 2 and 1 places above it in its
// half.
template <bool greatest>
Bytes16 halves_extreme(Bytes16 v) {
    for (int shift : {32, 16, 8}) {
        const Bytes16 above = reinterpret_cast<Bytes16>(reinterpret_cast<Longs2>(v) >> shift);
        v = (greatest ? above > v : above < v) ? above : v;
    }
    return v;
}

// The sum of eight sums of greys (each at most 2040), added in pairs, then
// fours, then eights.
int lanes_sum(Sums8 v) {
    const Words4 words = reinterpret_cast<Words4>(v);
    const Longs2 pairs = reinterpret_cast<Longs2>((words & 0xffff) + (words >> 16));
    const Longs2 fours = (pairs & 0xffffffff) + (pairs >> 32);
    return static_cast<int>(fours[0] + fours[1]);
}

// A block whose grey range is this small carries no edge.
constexpr int flat_range = 24;

// The flat range FlatRule::by_level gives a block of mean grey `mean`.
int flat_range_at(int mean) { return std::clamp(flat_range * mean / 128, flat_range / 2, flat_range); }

// The pixels of block (bx, by) of a picture `width` x `height`: fewer in
// the last column and row of blocks.
int block_pixels(int bx, int by, int width, int height) {
    constexpr int side = Binary::block;
    return (std::min(bx * side + side, width) - bx * side) * (std::min(by * side + side, height) - by * side);
}
// Threshold window: this many blocks either side.
constexpr int window_reach = 2;
// A flat block looks this many blocks away for edged ones.
constexpr int flat_reach = 3;

Shorts8 load8(const std::int16_t *p) {
    Shorts8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

Shorts8 widen8(const std::uint8_t *p) {
#if defined(__SSE2__)
    // Interleaved with zero bytes: the compiler's own conversion goes lane
    // by lane here.
    const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p));
    const __m128i wide = _mm_unpacklo_epi8(bytes, _mm_setzero_si128());
    Shorts8 v;
    std::memcpy(&v, &wide, sizeof v);
    return v;
#else
    Bytes8 v;
    std::memcpy(&v, p, sizeof v);
    return __builtin_convertvector(v, Shorts8);
#endif
}

// v / 25 rounded down, lane by lane, for v from 0 to 6399: (v * 5243) >> 17
// is exact over that range, and the product's high half is one
// instruction where the machine has it.
Shorts8 over_25(Shorts8 v) {
#if defined(__SSE2__)
    __m128i h;
    std::memcpy(&h, &v, sizeof v);
    h = _mm_srli_epi16(_mm_mulhi_epu16(h, _mm_set1_epi16(5243)), 1);
    std::memcpy(&v, &h, sizeof v);
    return v;
#else
    using Wide8 = std::int32_t __attribute__((vector_size(32)));
    return __builtin_convertvector((__builtin_convertvector(v, Wide8) * 5243) >> 17, Shorts8);
#endif
}

} // namespace

float GreyView::bilinear(float x, float y) const {
    if (x >= 0 && y >= 0 && x < width - 1 && y < height - 1)
        return bilinear_inside(x, y);
    if (!(x > -0.5f && y > -0.5f && x < width - 0.5f && y < height - 0.5f))
        return -1;
    // Within a pixel of the last row or column, or half a pixel outside.
    const float cx = std::clamp(x, 0.0f, static_cast<float>(width - 1));
    const float cy = std::clamp(y, 0.0f, static_cast<float>(height - 1));
    const int x0 = std::min(static_cast<int>(cx), width - 1), y0 = std::min(static_cast<int>(cy), height - 1);
    const int x1 = std::min(x0 + 1, width - 1), y1 = std::min(y0 + 1, height - 1);
    const float fx = cx - x0, fy = cy - y0;
    const float top = at(x0, y0) + (at(x1, y0) - at(x0, y0)) * fx;
    const float bottom = at(x0, y1) + (at(x1, y1) - at(x0, y1)) * fx;
    return top + (bottom - top) * fy;
}

BlockGreys block_greys(const GreyView &grey) {
    constexpr int block = Binary::block;
    BlockGreys b;
    b.width = grey.width;
    b.height = grey.height;
    const int cols = (grey.width + block - 1) / block, rows = (grey.height + block - 1) / block;
    const std::size_t blocks = static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows);
    b.lo.resize(blocks);
    b.hi.resize(blocks);
    b.sum.resize(blocks);
    // A row of blocks at a time: down each column of the block row, sixteen
    // columns at a time, and across those columns' two blocks while still
    // in registers; then the blocks left at the right edge column by column.
    const std::size_t w = static_cast<std::size_t>(grey.width);
    auto row = [&](int y) { return grey.pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(grey.stride); };
    std::vector<std::uint8_t> col_lo(w), col_hi(w);
    std::vector<std::uint16_t> col_sum(w);
    for (int by = 0; by < rows; ++by) {
        const int y0 = by * block, y1 = std::min(y0 + block, grey.height);
        auto set_block = [&](int bx, int lo, int hi, int sum) {
            const std::size_t i = static_cast<std::size_t>(by) * static_cast<std::size_t>(cols) + static_cast<std::size_t>(bx);
            b.lo[i] = static_cast<std::uint8_t>(lo);
            b.hi[i] = static_cast<std::uint8_t>(hi);
            b.sum[i] = static_cast<std::uint16_t>(sum);
        };
        std::size_t x = 0;
        for (; x + 16 <= w; x += 16) {
            Bytes16 lo = load16(row(y0) + x), hi = lo;
            Sums8 first, last;
            widen_halves(lo, first, last);
            for (int y = y0 + 1; y < y1; ++y) {
                const Bytes16 g = load16(row(y) + x);
                lo = g < lo ? g : lo;
                hi = g > hi ? g : hi;
                Sums8 a, c;
                widen_halves(g, a, c);
                first += a;
                last += c;
            }
            const Bytes16 least = halves_extreme<false>(lo), most = halves_extreme<true>(hi);
            const int bx = static_cast<int>(x) / block;
            set_block(bx, least[0], most[0], lanes_sum(first));
            set_block(bx + 1, least[8], most[8], lanes_sum(last));
        }
        for (std::size_t c = x; c < w; ++c) {
            std::uint8_t lo = 255, hi = 0;
            std::uint16_t sum = 0;
            for (int y = y0; y < y1; ++y) {
                lo = std::min(lo, row(y)[c]);
                hi = std::max(hi, row(y)[c]);
                sum = static_cast<std::uint16_t>(sum + row(y)[c]);
            }
            col_lo[c] = lo;
            col_hi[c] = hi;
            col_sum[c] = sum;
        }
        for (int bx = static_cast<int>(x) / block; bx < cols; ++bx) {
            const int x0 = bx * block, x1 = std::min(x0 + block, grey.width);
            int lo = 255, hi = 0, sum = 0;
            for (int c = x0; c < x1; ++c) {
                lo = std::min<int>(lo, col_lo[static_cast<std::size_t>(c)]);
                hi = std::max<int>(hi, col_hi[static_cast<std::size_t>(c)]);
                sum += col_sum[static_cast<std::size_t>(c)];
            }
            set_block(bx, lo, hi, sum);
        }
    }
    return b;
}

Binary::Binary(const GreyView &grey) : Binary(grey, block_greys(grey)) {}

bool dim_picture(const BlockGreys &blocks) {
    const int cols = (blocks.width + Binary::block - 1) / Binary::block;
    const int rows = (blocks.height + Binary::block - 1) / Binary::block;
    if (blocks.sum.empty() || blocks.sum.size() != static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows))
        return false;
    std::size_t dim = 0, i = 0;
    for (int by = 0; by < rows; ++by)
        for (int bx = 0; bx < cols; ++bx, ++i)
            dim += 4 * blocks.sum[i] < 256 * block_pixels(bx, by, blocks.width, blocks.height);
    return 2 * dim >= blocks.sum.size();
}

namespace {

// `blocks` when they are of a picture of `grey`'s size, else its own.
const BlockGreys &of_size(const GreyView &grey, const BlockGreys &blocks, BlockGreys &own) {
    const int cols = (grey.width + Binary::block - 1) / Binary::block, rows = (grey.height + Binary::block - 1) / Binary::block;
    const std::size_t count = static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows);
    if (blocks.width == grey.width && blocks.height == grey.height && blocks.lo.size() == count &&
        blocks.hi.size() == count && blocks.sum.size() == count)
        return blocks;
    own = block_greys(grey);
    return own;
}

} // namespace

Binary::Binary(const GreyView &grey, const BlockGreys &given, FlatRule rule)
    : width_(grey.width), height_(grey.height), block_cols_((grey.width + block - 1) / block),
      block_rows_((grey.height + block - 1) / block),
      words_per_row_((static_cast<std::size_t>(std::max(grey.width, 0)) + 63) / 64),
      words_(words_per_row_ * static_cast<std::size_t>(std::max(grey.height, 0))),
      thresholds_(static_cast<std::size_t>(block_cols_) * static_cast<std::size_t>(block_rows_)) {
    // Per block: the mean grey where it has an edge. A flat block takes the
    // mean level of the edged blocks near it (it is on one side of their
    // edges, so their level judges it), or, with none within reach, half its
    // minimum: a flat region on its own is background and reads light. An
    // inverted view's greys are 255 - g.
    BlockGreys own;
    const BlockGreys &blocks = of_size(grey, given, own);
    std::vector<int> level(thresholds_.size(), 0), low(thresholds_.size(), 0);
    std::vector<char> flat(thresholds_.size(), 0);
    for (int by = 0; by < block_rows_; ++by)
        for (int bx = 0; bx < block_cols_; ++bx) {
            const std::size_t i = static_cast<std::size_t>(by) * block_cols_ + bx;
            const int pixels = block_pixels(bx, by, width_, height_);
            const int lo = blocks.lo[i], hi = blocks.hi[i];
            const int sum = grey.inverted ? 255 * pixels - blocks.sum[i] : blocks.sum[i];
            // A whole block's 64 pixels divide by a shift.
            level[i] = pixels == block * block ? sum >> 6 : sum / pixels;
            low[i] = grey.inverted ? 255 - hi : lo;
            flat[i] = hi - lo <= (rule == FlatRule::fixed ? flat_range : flat_range_at(blocks.sum[i] / pixels));
        }
    // The edged blocks' count and level sum over any rectangle of blocks,
    // from their totals above and left of each block corner: most blocks of
    // a photo are flat, and each would otherwise visit up to 83 others.
    const std::size_t corners = static_cast<std::size_t>(block_cols_) + 1;
    std::vector<int> edged((static_cast<std::size_t>(block_rows_) + 1) * corners, 0), edged_level(edged.size(), 0);
    // Each row's running sums stay in registers; the row above's totals are
    // added to them.
    for (int by = 0; by < block_rows_; ++by) {
        int count = 0, sum = 0;
        for (int bx = 0; bx < block_cols_; ++bx) {
            const std::size_t i = static_cast<std::size_t>(by) * block_cols_ + bx;
            const std::size_t c = (static_cast<std::size_t>(by) + 1) * corners + bx + 1;
            count += !flat[i];
            sum += flat[i] ? 0 : level[i];
            edged[c] = count + edged[c - corners];
            edged_level[c] = sum + edged_level[c - corners];
        }
    }
    auto within = [&](const std::vector<int> &total, int x0, int y0, int x1, int y1) {
        return total[static_cast<std::size_t>(y1) * corners + x1] - total[static_cast<std::size_t>(y0) * corners + x1] -
               total[static_cast<std::size_t>(y1) * corners + x0] + total[static_cast<std::size_t>(y0) * corners + x0];
    };
    for (int by = 0; by < block_rows_; ++by)
        for (int bx = 0; bx < block_cols_; ++bx) {
            const std::size_t i = static_cast<std::size_t>(by) * block_cols_ + bx;
            if (!flat[i])
                continue;
            int value = low[i] / 2;
            for (int reach = 1; reach <= flat_reach; ++reach) {
                const int x0 = std::max(0, bx - reach), x1 = std::min(block_cols_, bx + reach + 1);
                const int y0 = std::max(0, by - reach), y1 = std::min(block_rows_, by + reach + 1);
                if (const int count = within(edged, x0, y0, x1, y1); count > 0) {
                    value = within(edged_level, x0, y0, x1, y1) / count;
                    break;
                }
            }
            level[i] = value;
        }
    // Each block's threshold: the mean level of the 5x5 blocks around it,
    // the window moved inside the grid at its edges, from the levels' totals
    // above and left of each block corner (as the edged blocks' above). A
    // whole window's sum (at most 25 x 255) divided by 25 is a multiply and
    // a shift: (v * 5243) >> 17 is v / 25 for every v below 6400.
    constexpr int window_side = 2 * window_reach + 1;
    std::vector<int> &level_total = edged_level; // no longer needed
    for (int by = 0; by < block_rows_; ++by) {
        int sum = 0;
        for (int bx = 0; bx < block_cols_; ++bx) {
            const std::size_t c = (static_cast<std::size_t>(by) + 1) * corners + bx + 1;
            sum += level[static_cast<std::size_t>(by) * block_cols_ + bx];
            level_total[c] = sum + level_total[c - corners];
        }
    }
    std::vector<int> left(static_cast<std::size_t>(block_cols_));
    for (int bx = 0; bx < block_cols_; ++bx)
        left[static_cast<std::size_t>(bx)] = std::clamp(bx - window_reach, 0, std::max(0, block_cols_ - window_side));
    for (int by = 0; by < block_rows_; ++by) {
        const int top = std::clamp(by - window_reach, 0, std::max(0, block_rows_ - window_side));
        const int bottom = std::min(block_rows_, top + window_side);
        for (int bx = 0; bx < block_cols_; ++bx) {
            const int x0 = left[static_cast<std::size_t>(bx)], x1 = std::min(block_cols_, x0 + window_side);
            const int sum = within(level_total, x0, top, x1, bottom);
            const int count = (bottom - top) * (x1 - x0);
            const int t = count == window_side * window_side ? (sum * 5243) >> 17 : sum / count;
            thresholds_[static_cast<std::size_t>(by) * block_cols_ + bx] = static_cast<std::uint8_t>(t);
        }
    }
    // Dark: grey at or below its block's threshold (stored grey at or above
    // 255 - threshold when inverted), row by row against a row of the
    // block thresholds, sixteen pixels at a time. The polarity is read
    // once: the stores could alias the view.
    const bool inverted = grey.inverted;
    const std::size_t w = static_cast<std::size_t>(width_);
    auto row = [&](int y) { return grey.pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(grey.stride); };
    std::vector<std::uint8_t> limit(w);
    for (int y = 0; y < height_; ++y) {
        if (y % block == 0)
            for (int bx = 0; bx < block_cols_; ++bx) {
                const std::uint8_t t = thresholds_[static_cast<std::size_t>(y / block) * block_cols_ + bx];
                const std::uint8_t value = inverted ? 255 - t : t;
                const int x0 = bx * block;
                if (x0 + block <= width_) {
                    // Eight bytes in one store.
                    const std::uint64_t eight = value * 0x0101010101010101u;
                    std::memcpy(limit.data() + x0, &eight, sizeof eight);
                } else {
                    std::memset(limit.data() + x0, value, static_cast<std::size_t>(width_ - x0));
                }
            }
        const std::uint8_t *in = row(y);
        std::uint64_t *out = words_.data() + static_cast<std::size_t>(y) * words_per_row_;
        std::size_t x = 0;
        // Dark at or below the limit (at or above when inverted): the grey is
        // the lesser (the greater) of the two.
        auto pack = [&](auto greater) {
            auto dark16 = [&](std::size_t at) {
                const Bytes16 g = load16(in + at), t = load16(limit.data() + at);
                const Bytes16 kept = greater ? (g > t ? g : t) : (g < t ? g : t);
                return static_cast<std::uint64_t>(high_bits16(reinterpret_cast<Bytes16>(kept == g)));
            };
            for (; x + 64 <= w; x += 64)
                out[x / 64] = dark16(x) | dark16(x + 16) << 16 | dark16(x + 32) << 32 | dark16(x + 48) << 48;
        };
        // The polarity as a type, so that each loop is compiled for its own.
        if (inverted)
            pack(std::true_type{});
        else
            pack(std::false_type{});
        if (x < w) {
            std::uint64_t word = 0;
            for (std::size_t k = 0; x + k < w; ++k)
                word |= static_cast<std::uint64_t>(inverted ? in[x + k] >= limit[x + k] : in[x + k] <= limit[x + k]) << k;
            out[x / 64] = word;
        }
    }
}

int Binary::threshold(float x, float y) const {
    // Written so that NaN lands on the first block.
    const float cx = x >= 0 ? std::min(x, static_cast<float>(width_ - 1)) : 0.0f;
    const float cy = y >= 0 ? std::min(y, static_cast<float>(height_ - 1)) : 0.0f;
    const int bx = std::min(static_cast<int>(cx + 0.5f) / block, block_cols_ - 1);
    const int by = std::min(static_cast<int>(cy + 0.5f) / block, block_rows_ - 1);
    return thresholds_[static_cast<std::size_t>(by) * block_cols_ + bx];
}

std::vector<std::uint8_t> sharpened(const GreyView &grey) {
    const int width = grey.width, height = grey.height;
    const std::size_t w = static_cast<std::size_t>(width);
    auto row = [&](int y) {
        return grey.pixels + static_cast<std::size_t>(std::clamp(y, 0, height - 1)) * grey.stride;
    };
    // Running sums of 5 rows (held at the border; at most 5 x 255, so 16
    // bits hold them), then the sum of 5 of those across, eight pixels at a
    // time between the border columns.
    std::vector<std::int16_t> column(w);
    for (std::size_t x = 0; x < w; ++x)
        column[x] = static_cast<std::int16_t>(3 * row(0)[x] + row(1)[x] + row(2)[x]);
    std::vector<std::uint8_t> out(w * static_cast<std::size_t>(height));
    const int last = width - 1;
    // The pixel pushed away from its 5 x 5 mean: g + (25 g - sum) / 25, the
    // quotient truncated.
    auto push = [&](int g, int sum) {
        const int v = std::clamp(g + (25 * g - sum) / 25, 0, 255);
        return static_cast<std::uint8_t>(grey.inverted ? 255 - v : v);
    };
    auto sum_at = [&](int x) {
        int sum = 0;
        for (int k = -2; k <= 2; ++k)
            sum += column[static_cast<std::size_t>(std::clamp(x + k, 0, last))];
        return sum;
    };
    for (int y = 0; y < height; ++y) {
        if (y > 0) {
            const std::uint8_t *enter = row(y + 2), *leave = row(y - 3);
            std::size_t x = 0;
            for (; x + 8 <= w; x += 8) {
                const Shorts8 c = load8(column.data() + x) + widen8(enter + x) - widen8(leave + x);
                std::memcpy(column.data() + x, &c, sizeof c);
            }
            for (; x < w; ++x)
                column[x] = static_cast<std::int16_t>(column[x] + enter[x] - leave[x]);
        }
        const std::uint8_t *in = row(y);
        std::uint8_t *o = out.data() + static_cast<std::size_t>(y) * w;
        int x = 0;
        for (; x < std::min(2, width); ++x)
            o[x] = push(in[x], sum_at(x));
        // g + (25 g - sum) / 25 truncated is 2 g less sum / 25 rounded up
        // where sum <= 25 g, else rounded down; sums stay below 6400.
        auto pushed8 = [&](int at) {
            const std::int16_t *c = column.data() + at;
            const Shorts8 sum = load8(c - 2) + load8(c - 1) + load8(c) + load8(c + 1) + load8(c + 2);
            const Shorts8 g = widen8(in + at);
            const Shorts8 up = (sum <= 25 * g) & 24;
            return g + g - over_25(sum + up);
        };
#if defined(__SSE2__)
        // Sixteen at a time: the pack to bytes clamps to 0..255.
        for (; x + 16 <= last - 1; x += 16) {
            const Shorts8 a = pushed8(x), b = pushed8(x + 8);
            __m128i ha, hb;
            std::memcpy(&ha, &a, sizeof ha);
            std::memcpy(&hb, &b, sizeof hb);
            __m128i packed = _mm_packus_epi16(ha, hb);
            if (grey.inverted)
                packed = _mm_xor_si128(packed, _mm_set1_epi8(static_cast<char>(0xff)));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(o + x), packed);
        }
#endif
        for (; x + 8 <= last - 1; x += 8) {
            Shorts8 v = pushed8(x);
            v = v < 0 ? 0 : v;
            v = v > 255 ? 255 : v;
            if (grey.inverted)
                v = 255 - v;
            const Bytes8 b = __builtin_convertvector(v, Bytes8);
            std::memcpy(o + x, &b, sizeof b);
        }
        for (; x < width; ++x)
            o[x] = push(in[x], sum_at(x));
    }
    return out;
}

} // namespace vantor::thorough
