// Version determination: the symbol size from the distance between two eye
// patterns, the version information blocks for version 7 and above, and the
// module step vectors (StepUnits) that the sampling grid builds on.
#include "version.h"

#include <cmath>

#include "bitmap.h"
#include "state.h"
#include "1_base/symbol_tables.h"

namespace vantor {
namespace {

struct Offset {
    int col; // multiples of the step along a row
    int row; // multiples of the step down a column
};

// The block beside the along eye: module offsets from its centre,
// in reading order (the first gives bit 17).
constexpr Offset along_offsets[18] = {
    {-5, 2},  {-6, 2},  {-7, 2},  {-5, 1},  {-6, 1},  {-7, 1},  {-5, 0},  {-6, 0},  {-7, 0},
    {-5, -1}, {-6, -1}, {-7, -1}, {-5, -2}, {-6, -2}, {-7, -2}, {-5, -3}, {-6, -3}, {-7, -3},
};

// The block beside the down eye: the transposed offsets from its centre.
constexpr Offset down_offsets[18] = {
    {2, -5},  {2, -6},  {2, -7},  {1, -5},  {1, -6},  {1, -7},  {0, -5},  {0, -6},  {0, -7},
    {-1, -5}, {-1, -6}, {-1, -7}, {-2, -5}, {-2, -6}, {-2, -7}, {-3, -5}, {-3, -6}, {-3, -7},
};

constexpr int max_wrong_bits = 3;
double distance(double dx, double dy) { return std::sqrt(dx * dx + dy * dy); }

// The eye pattern's extent (seven modules) as the try index measures it.
double eye_extent(const EyePattern &e, int try_index) {
    if (try_index == 0) {
        const double w = e.width, h = e.height;
        return std::sqrt((w * w + h * h) * 0.5);
    }
    return e.size;
}

// Step vector from eye a towards eye b, one module long per image axis.
Vec2f preliminary_unit(const EyePattern &a, const EyePattern &b, int try_index) {
    const double dx = static_cast<double>(b.x) - a.x;
    const double dy = static_cast<double>(b.y) - a.y;
    const double len = distance(dx, dy);
    double mx, my;
    if (try_index == 0) {
        mx = (static_cast<double>(a.width) + b.width) / 14;
        my = (static_cast<double>(a.height) + b.height) / 14;
    } else {
        mx = my = (static_cast<double>(a.size) + b.size) / 14;
    }
    return {static_cast<float>(dx * mx / len), static_cast<float>(dy * my / len)};
}

// Distance in modules between the corner and the along eye centres, rounded
// up. Values that are not numbers count as no distance; values beyond int
// range are held at a bound that still means "large symbol".
int module_distance(double modules) {
    constexpr double bound = 1 << 30;
    if (std::isnan(modules))
        return 0;
    const double n = std::ceil(modules);
    if (n > bound)
        return static_cast<int>(bound);
    if (n < -bound)
        return -static_cast<int>(bound);
    return static_cast<int>(n);
}

// One sample of a version information block: 1 only for a pixel of exactly
// 64 (dark, unmarked). A sample outside the work bitmap reads as light.
unsigned read_bit(const PassBuffers &s, double x, double y) {
    const double cx = std::ceil(x), cy = std::ceil(y);
    if (!(cx >= 0 && cx < s.image_width && cy >= 0 && cy < s.image_height))
        return 0;
    const std::size_t index = static_cast<std::size_t>(cy) * s.image_width + static_cast<std::size_t>(cx);
    if (index >= s.work_bitmap.size())
        return 0;
    return s.work_bitmap[index] == dark ? 1u : 0u;
}

} // namespace

VersionEstimate determine_version(const PassBuffers &s, const PickedEyes &eyes, int try_index,
                                  const TraceSink &sink) {
    const EyePattern &corner = eyes.corner, &along = eyes.along, &down = eyes.down;
    try_index = try_index == 0 ? 0 : 1;

    const double corner_extent = eye_extent(corner, try_index);
    const double along_extent = eye_extent(along, try_index);
    const double d = distance(static_cast<double>(along.x) - corner.x, static_cast<double>(along.y) - corner.y);
    const int n = module_distance(d / ((corner_extent + along_extent) * (1.0 / 14)));
    const int estimate = (n - 10) / 4;

    const StepUnits preliminary{preliminary_unit(corner, along, try_index), preliminary_unit(corner, down, try_index)};
    if (sink.tracing()) {
        trace(sink, "x_unit(%f, %f)\n", preliminary.x.x, preliminary.x.y);
        trace(sink, "y_unit(%f, %f)\n", preliminary.y.x, preliminary.y.y);
    }

    int version = estimate;
    if (estimate > 6) {
        version = read_version_info(s, eyes, preliminary, VersionBlock::along, sink);
        if (version == -1)
            version = read_version_info(s, eyes, preliminary, VersionBlock::down, sink);
    }
    trace(sink, "version %d\n", version);
    if (version <= 0)
        return {version, preliminary};

    // The final steps spread the exact centre distance over the module count.
    const double per_module = 1.0 / (4 * version + 10);
    const StepUnits units{{static_cast<float>((static_cast<double>(along.x) - corner.x) * per_module),
                           static_cast<float>((static_cast<double>(along.y) - corner.y) * per_module)},
                          {static_cast<float>((static_cast<double>(down.x) - corner.x) * per_module),
                           static_cast<float>((static_cast<double>(down.y) - corner.y) * per_module)}};
    return {version, units};
}

int read_version_info(const PassBuffers &s, const PickedEyes &eyes, StepUnits units, VersionBlock block,
                      const TraceSink &sink) {
    const bool beside_along = block == VersionBlock::along;
    const EyePattern *e = beside_along ? &eyes.along : &eyes.down;
    const Offset *offsets = beside_along ? along_offsets : down_offsets;
    const Vec2f xu = units.x, yu = units.y;

    std::uint32_t value = 0;
    for (int i = 0; i < 18; ++i) {
        const double c = offsets[i].col, r = offsets[i].row;
        const double x = e->x + c * xu.x + r * yu.x;
        const double y = e->y + c * xu.y + r * yu.y;
        value = (value << 1) | read_bit(s, x, y);
    }
    trace(sink, "version info bit 0x%lx\n", static_cast<unsigned long>(value));
    const VersionMatch m = match_version_info(value);
    if (m.version > 0)
        trace(sink, "version bit different %d bits.\n", m.wrong_bits);
    return m.version;
}

VersionMatch match_version_info(std::uint32_t value) {
    for (int v = 7; v <= 40; ++v) {
        const std::uint32_t diff = value ^ version_code(v);
        int wrong = 0;
        for (int bit = 0; bit < 18 && wrong <= max_wrong_bits; ++bit)
            wrong += (diff >> bit) & 1u;
        if (wrong > max_wrong_bits)
            continue;
        return {v, wrong};
    }
    return {-1, 0};
}

} // namespace vantor
