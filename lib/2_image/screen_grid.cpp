#include "screen_grid.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <optional>

#include "1_base/vectors.h"

namespace vantor::thorough {
namespace {

// The lines whose dips are looked at for a pitch: enough for a grid that
// covers the picture, few enough to cost little on one that dips at random.
constexpr std::size_t grid_pitch_lines = 24;

using Marks = std::vector<std::uint8_t, UninitialisedAllocator<std::uint8_t>>;

// Marks in `dips` each of `count` greys, `step` apart from `p` on, that lies
// in a dip at most two pixels wide across its line: below the lighter of
// the two greys on each side (`across` apart) by at least grid_dip. Their
// count. Greys side by side (step 1) are marked sixteen at a time.
long mark_dips(const std::uint8_t *p, std::size_t step, std::size_t across, std::size_t count, std::uint8_t flip,
               std::uint8_t *dips) {
    long marked = 0;
    std::size_t i = 0;
    if (step == 1) {
        const Bytes16 flips = Bytes16{} + flip, least = Bytes16{} + static_cast<std::uint8_t>(grid_dip);
        for (; i + 16 <= count; i += 16) {
            const std::uint8_t *q = p + i;
            const Bytes16 a = load16(q - 2 * across) ^ flips, b = load16(q - across) ^ flips, c = load16(q) ^ flips,
                          d = load16(q + across) ^ flips, e = load16(q + 2 * across) ^ flips;
            const Bytes16 before = a > b ? a : b, after = d > e ? d : e;
            const Bytes16 lighter = before < after ? before : after;
            const Bytes16 depth = lighter > c ? lighter - c : Bytes16{};
            const Bytes16 dip = reinterpret_cast<Bytes16>(depth >= least);
            store16(dips + i, dip & 1);
            marked += std::popcount(high_bits16(dip));
        }
    }
    for (; i < count; ++i) {
        const std::uint8_t *q = p + i * step;
        const int before = std::max(q[-2 * static_cast<std::ptrdiff_t>(across)] ^ flip,
                                    q[-static_cast<std::ptrdiff_t>(across)] ^ flip);
        const int after = std::max(q[across] ^ flip, q[2 * across] ^ flip);
        dips[i] = std::min(before, after) - (q[0] ^ flip) >= grid_dip;
        marked += dips[i];
    }
    return marked;
}

// Whether the dips marked on `lines` lines of `length` each recur at a
// pitch: for some pitch of 3 to 16 pixels (or a pixel more, for pitches
// between whole pixels), a dip has another at that distance along its line
// min_grid_lift times as often as dips strewn at random, `share` of the
// pixels, would.
bool dips_recur(const Marks &dips, std::size_t lines, std::size_t length, double share) {
    const double chance = share * (1 - (1 - share) * (1 - share));
    for (std::size_t pitch = 3; pitch <= 16 && pitch + 1 < length; ++pitch) {
        long both = 0;
        for (std::size_t l = 0; l < lines; ++l) {
            const std::uint8_t *d = dips.data() + l * length;
            for (std::size_t x = 0; x + pitch + 1 < length; ++x)
                both += d[x] & (d[x + pitch] | d[x + pitch + 1]);
        }
        const double tried = static_cast<double>(lines * (length - pitch - 1));
        if (static_cast<double>(both) >= min_grid_lift * chance * tried)
            return true;
    }
    return false;
}

// Whether thin dark lines cross the rows (`rows`: dips along rows) or the
// columns of the picture as a fine grid's do: empty when too few pixels
// dip, else whether the dips recur at a pitch. The share of dips is counted
// on one row in grid_line_step, both ways a row at a time; only where it is
// high enough are dips marked along the lines themselves (rows, or columns,
// at the places sampled) to see whether they recur.
std::optional<bool> grid_lines_cross(const GreyView &grey, bool rows) {
    const std::size_t width = static_cast<std::size_t>(grey.width), height = static_cast<std::size_t>(grey.height);
    const std::size_t stride = static_cast<std::size_t>(grey.stride), step = grid_line_step;
    const std::uint8_t flip = grey.inverted ? 255 : 0;
    // The k-th row sampled lies (k * 5) % step rows below a multiple of
    // step: a grid whose pitch divides step still shows each of its rows.
    auto sampled = [&](std::size_t k) { return k * step + k * 5 % step; };
    Marks dips(width);
    long count = 0, tried = 0;
    for (std::size_t k = 0, y; (y = sampled(k) + 2) + 2 < height; ++k) {
        const std::uint8_t *row = grey.pixels + y * stride;
        count += rows ? mark_dips(row + 2, 1, 1, width - 4, flip, dips.data())
                      : mark_dips(row, 1, stride, width, flip, dips.data());
        tried += static_cast<long>(rows ? width - 4 : width);
    }
    const double share = static_cast<double>(count) / static_cast<double>(tried);
    if (!(share >= min_grid_share))
        return std::nullopt;
    // Along the lines, at most grid_pitch_lines of them spread over the
    // picture.
    std::size_t places = 0;
    while (sampled(places) < (rows ? height : width))
        ++places;
    const std::size_t every = (places + grid_pitch_lines - 1) / grid_pitch_lines, lines = (places + every - 1) / every;
    const std::size_t length = (rows ? width : height) - 4;
    Marks along(lines * length);
    for (std::size_t l = 0; l < lines; ++l) {
        const std::size_t at = sampled(l * every);
        rows ? mark_dips(grey.pixels + at * stride + 2, 1, 1, length, flip, along.data() + l * length)
             : mark_dips(grey.pixels + 2 * stride + at, stride, stride, length, flip, along.data() + l * length);
    }
    return dips_recur(along, lines, length, share);
}

// Each pixel of `in` replaced by the lesser or greater (`Op`) of itself and
// its neighbours along rows (`across`) or columns, held at the border.
template <class Op>
void neighbours3(const std::uint8_t *in, std::uint8_t *out, int width, int height, bool across, Op op) {
    const std::size_t w = static_cast<std::size_t>(width);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t *row = in + static_cast<std::size_t>(y) * w;
        std::uint8_t *to = out + static_cast<std::size_t>(y) * w;
        if (across) {
            if (width == 1) {
                to[0] = row[0];
                continue;
            }
            to[0] = op(row[0], row[1]);
            for (std::size_t x = 1; x + 1 < w; ++x)
                to[x] = op(op(row[x - 1], row[x]), row[x + 1]);
            to[w - 1] = op(row[w - 2], row[w - 1]);
        } else {
            const std::uint8_t *above = y > 0 ? row - w : row;
            const std::uint8_t *below = y + 1 < height ? row + w : row;
            for (std::size_t x = 0; x < w; ++x)
                to[x] = op(op(above[x], row[x]), below[x]);
        }
    }
}

} // namespace

bool shows_fine_grid(const GreyView &grey) {
    if (grey.width < 5 || grey.height < 5)
        return false;
    // The first way that dips often decides: noise dips both ways, at random.
    for (bool rows : {true, false})
        if (const std::optional<bool> grid = grid_lines_cross(grey, rows))
            return *grid;
    return false;
}

std::vector<std::uint8_t> grid_filled(const GreyView &grey) {
    if (grey.width <= 0 || grey.height <= 0)
        return {};
    const std::size_t w = static_cast<std::size_t>(grey.width), n = w * static_cast<std::size_t>(grey.height);
    std::vector<std::uint8_t> a(n), b(n);
    for (int y = 0; y < grey.height; ++y)
        for (int x = 0; x < grey.width; ++x)
            a[static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(grey.at(x, y));
    auto lighter = [](std::uint8_t p, std::uint8_t q) { return std::max(p, q); };
    auto darker = [](std::uint8_t p, std::uint8_t q) { return std::min(p, q); };
    // The greatest over 3 x 3, then the least of that over 3 x 3.
    neighbours3(a.data(), b.data(), grey.width, grey.height, true, lighter);
    neighbours3(b.data(), a.data(), grey.width, grey.height, false, lighter);
    neighbours3(a.data(), b.data(), grey.width, grey.height, true, darker);
    neighbours3(b.data(), a.data(), grey.width, grey.height, false, darker);
    return a;
}

} // namespace vantor::thorough
