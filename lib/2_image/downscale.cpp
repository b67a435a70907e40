#include "downscale.h"

#include <algorithm>
#include <cstddef>

namespace vantor::thorough {

Downscaled downscale(const GreyView &grey, int factor) {
    Downscaled out;
    if (!grey.pixels || factor < 1 || grey.width < factor || grey.height < factor || grey.stride < grey.width)
        return out;
    out.factor = factor;
    out.width = grey.width / factor;
    out.height = grey.height / factor;
    out.pixels.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
    // The sums of one row of blocks, one per column of the copy.
    std::vector<std::uint64_t> sums(static_cast<std::size_t>(out.width));
    const std::uint64_t area = static_cast<std::uint64_t>(factor) * static_cast<std::uint64_t>(factor);
    const std::size_t stride = static_cast<std::size_t>(grey.stride);
    for (int j = 0; j < out.height; ++j) {
        std::fill(sums.begin(), sums.end(), 0);
        for (int dy = 0; dy < factor; ++dy) {
            const std::uint8_t *row = grey.pixels + (static_cast<std::size_t>(j) * factor + dy) * stride;
            for (int i = 0; i < out.width; ++i) {
                const std::uint8_t *p = row + static_cast<std::size_t>(i) * factor;
                std::uint64_t s = 0;
                for (int dx = 0; dx < factor; ++dx)
                    s += p[dx];
                sums[static_cast<std::size_t>(i)] += s;
            }
        }
        std::uint8_t *dst = out.pixels.data() + static_cast<std::size_t>(j) * out.width;
        for (int i = 0; i < out.width; ++i) {
            const auto mean = static_cast<std::uint8_t>((sums[static_cast<std::size_t>(i)] + area / 2) / area);
            dst[i] = grey.inverted ? static_cast<std::uint8_t>(255 - mean) : mean;
        }
    }
    return out;
}

} // namespace vantor::thorough
