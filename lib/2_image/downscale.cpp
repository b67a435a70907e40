#include "downscale.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

#include "1_base/vectors.h"

namespace vantor::thorough {

Downscaled downscale(const GreyView &grey, int factor) {
    Downscaled out;
    if (!grey.pixels || factor < 1 || factor > max_factor || grey.width < factor || grey.height < factor ||
        grey.stride < grey.width)
        return out;
    out.factor = factor;
    out.width = grey.width / factor;
    out.height = grey.height / factor;
    out.pixels.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
    // Per row of the copy: the source rows of its blocks summed column by
    // column, sixteen columns at a time, then each block's columns summed.
    const std::size_t used = static_cast<std::size_t>(out.width) * static_cast<std::size_t>(factor);
    std::vector<std::uint16_t> columns(used);
    const std::uint32_t area = static_cast<std::uint32_t>(factor) * static_cast<std::uint32_t>(factor);
    // A power of two divides as a shift.
    const int shift = (area & (area - 1)) == 0 ? std::countr_zero(area) : -1;
    const std::size_t stride = static_cast<std::size_t>(grey.stride);
    for (int j = 0; j < out.height; ++j) {
        std::fill(columns.begin(), columns.end(), std::uint16_t{0});
        for (int dy = 0; dy < factor; ++dy) {
            const std::uint8_t *row = grey.pixels + (static_cast<std::size_t>(j) * factor + dy) * stride;
            std::size_t x = 0;
            // Eight columns a vector register, sixteen a step.
            for (; x + 16 <= used; x += 16) {
                Sums8 first, last;
                std::memcpy(&first, &columns[x], sizeof first);
                std::memcpy(&last, &columns[x + 8], sizeof last);
                Sums8 add_first, add_last;
                widen_halves(load16(row + x), add_first, add_last);
                first += add_first;
                last += add_last;
                std::memcpy(&columns[x], &first, sizeof first);
                std::memcpy(&columns[x + 8], &last, sizeof last);
            }
            for (; x < used; ++x)
                columns[x] = static_cast<std::uint16_t>(columns[x] + row[x]);
        }
        std::uint8_t *dst = out.pixels.data() + static_cast<std::size_t>(j) * out.width;
        const std::uint16_t *c = columns.data();
        for (int i = 0; i < out.width; ++i, c += factor) {
            std::uint32_t sum = 0;
            for (int dx = 0; dx < factor; ++dx)
                sum += c[dx];
            // The inverted greys' sum, rounded as any other.
            const std::uint32_t seen = (grey.inverted ? 255 * area - sum : sum) + area / 2;
            dst[i] = static_cast<std::uint8_t>(shift >= 0 ? seen >> shift : seen / area);
        }
    }
    return out;
}

} // namespace vantor::thorough
