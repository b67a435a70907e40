// Version determination: the symbol size from the distance between two eye
// patterns, the version information blocks for version 7 and above, and the
// module step vectors x_unit and y_unit that the sampling grid builds on.
#include "version.h"

#include <cmath>
#include <cstdio>

#include "state.h"

namespace vantor {

namespace {

// Version information code words (6-bit version, 12-bit BCH remainder),
// indexed by version; 0 below version 7, which carries no such block.
constexpr std::uint32_t version_code[41] = {
    0,       0,       0,       0,       0,       0,       0,       0x07C94, 0x085BC, 0x09A99,
    0x0A4D3, 0x0BBF6, 0x0C762, 0x0D847, 0x0E60D, 0x0F928, 0x10B78, 0x1145D, 0x12A17, 0x13532,
    0x149A6, 0x15683, 0x168C9, 0x177EC, 0x18EC4, 0x191E1, 0x1AFAB, 0x1B08E, 0x1CC1A, 0x1D33F,
    0x1ED75, 0x1F250, 0x209D5, 0x216F0, 0x228BA, 0x2379F, 0x24B0B, 0x2542E, 0x26A64, 0x27541,
    0x28C69,
};

// The code word of a version: its number followed by the remainder of the
// number times x^12 divided by the generator 0x1F25.
constexpr std::uint32_t bch_version_code(std::uint32_t v) {
    std::uint32_t rem = v << 12;
    for (int bit = 17; bit >= 12; --bit)
        if (rem & (1u << bit))
            rem ^= 0x1F25u << (bit - 12);
    return (v << 12) | rem;
}

constexpr bool version_codes_valid() {
    for (std::uint32_t v = 7; v <= 40; ++v)
        if (version_code[v] != bch_version_code(v))
            return false;
    return true;
}
static_assert(version_codes_valid(), "version information table is not the BCH(18,6) code");

struct Offset {
    int col; // multiples of x_unit
    int row; // multiples of y_unit
};

// Upper-right block: module offsets from the upper-right eye pattern centre,
// in reading order (the first gives bit 17).
constexpr Offset upper_right_offsets[18] = {
    {-5, 2},  {-6, 2},  {-7, 2},  {-5, 1},  {-6, 1},  {-7, 1},  {-5, 0},  {-6, 0},  {-7, 0},
    {-5, -1}, {-6, -1}, {-7, -1}, {-5, -2}, {-6, -2}, {-7, -2}, {-5, -3}, {-6, -3}, {-7, -3},
};

// Lower-left block: the transposed offsets from the lower-left eye pattern.
constexpr Offset lower_left_offsets[18] = {
    {2, -5},  {2, -6},  {2, -7},  {1, -5},  {1, -6},  {1, -7},  {0, -5},  {0, -6},  {0, -7},
    {-1, -5}, {-1, -6}, {-1, -7}, {-2, -5}, {-2, -6}, {-2, -7}, {-3, -5}, {-3, -6}, {-3, -7},
};

constexpr int max_wrong_bits = 3;
constexpr std::uint8_t dark = 64;

// The picked eye pattern of slot i, or null when the pick is not a record.
const EyePattern *picked_eye(const DecoderState &s, int slot) {
    const int i = s.eye_pick[slot];
    if (!s.eyes.items || i < 0 || i >= s.eyes.count)
        return nullptr;
    return &s.eyes.items[i];
}

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

// Distance in modules between the corner and the upper-right centre, rounded
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
unsigned read_bit(const DecoderState &s, double x, double y) {
    const double cx = std::ceil(x), cy = std::ceil(y);
    if (!(cx >= 0 && cx < s.image_width && cy >= 0 && cy < s.image_height))
        return 0;
    const std::size_t index = static_cast<std::size_t>(cy) * s.image_width + static_cast<std::size_t>(cx);
    if (index >= s.work_bitmap.size())
        return 0;
    return s.work_bitmap[index] == dark ? 1u : 0u;
}

} // namespace

int determine_version(DecoderState &s, int try_index) {
    const EyePattern *tl = picked_eye(s, 0);
    const EyePattern *tr = picked_eye(s, 1);
    const EyePattern *bl = picked_eye(s, 2);
    if (!tl || !tr || !bl)
        return 0;
    try_index = try_index == 0 ? 0 : 1;

    const double s_tl = eye_extent(*tl, try_index);
    const double s_tr = eye_extent(*tr, try_index);
    const double d = distance(static_cast<double>(tr->x) - tl->x, static_cast<double>(tr->y) - tl->y);
    const int n = module_distance(d / ((s_tl + s_tr) * (1.0 / 14)));
    const int estimate = (n - 10) / 4;

    s.x_unit = preliminary_unit(*tl, *tr, try_index);
    s.y_unit = preliminary_unit(*tl, *bl, try_index);
    if (s.tracing()) {
        trace(s, "x_unit(%f, %f)\n", s.x_unit.x, s.x_unit.y);
        trace(s, "y_unit(%f, %f)\n", s.y_unit.x, s.y_unit.y);
    }

    int version = estimate;
    if (estimate > 6) {
        version = read_version_info(s, VersionBlock::upper_right);
        if (version == -1)
            version = read_version_info(s, VersionBlock::lower_left);
    }
    trace(s, "version %d\n", version);
    if (version <= 0)
        return version;

    // The final steps spread the exact centre distance over the module count.
    const double per_module = 1.0 / (4 * version + 10);
    s.x_unit = {static_cast<float>((static_cast<double>(tr->x) - tl->x) * per_module),
                    static_cast<float>((static_cast<double>(tr->y) - tl->y) * per_module)};
    s.y_unit = {static_cast<float>((static_cast<double>(bl->x) - tl->x) * per_module),
                    static_cast<float>((static_cast<double>(bl->y) - tl->y) * per_module)};
    return version;
}

int read_version_info(const DecoderState &s, VersionBlock block) {
    const bool upper_right = block == VersionBlock::upper_right;
    const EyePattern *e = picked_eye(s, upper_right ? 1 : 2);
    if (!e)
        return -1;
    const Offset *offsets = upper_right ? upper_right_offsets : lower_left_offsets;
    const Vec2f xu = s.x_unit, yu = s.y_unit;

    std::uint32_t value = 0;
    for (int i = 0; i < 18; ++i) {
        const double c = offsets[i].col, r = offsets[i].row;
        const double x = e->x + c * xu.x + r * yu.x;
        const double y = e->y + c * xu.y + r * yu.y;
        value = (value << 1) | read_bit(s, x, y);
    }
    trace(s, "version info bit 0x%lx\n", static_cast<unsigned long>(value));
    return match_version_info(s, value);
}

int match_version_info(const DecoderState &s, std::uint32_t value) {
    for (int v = 7; v <= 40; ++v) {
        const std::uint32_t diff = value ^ version_code[v];
        int wrong = 0;
        for (int bit = 0; bit < 18 && wrong <= max_wrong_bits; ++bit)
            wrong += (diff >> bit) & 1u;
        if (wrong > max_wrong_bits)
            continue;
        trace(s, "version bit different %d bits.\n", wrong);
        return v;
    }
    return -1;
}

} // namespace vantor
