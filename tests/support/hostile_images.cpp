// Hostile pictures and JPEG files; see hostile_images.h.
#include "hostile_images.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <random>

namespace vantor::testing {
namespace {

// Pictures larger than this are refused, as by the renderer.
constexpr double max_pixels = 1 << 24;

bool size_ok(int width, int height) {
    return width >= 1 && height >= 1 && static_cast<double>(width) * height <= max_pixels;
}

void fill_rect(Picture &p, int x0, int y0, int w, int h, std::uint8_t value) {
    const int x1 = std::min(p.width, x0 + w), y1 = std::min(p.height, y0 + h);
    for (int y = std::max(0, y0); y < y1; ++y)
        for (int x = std::max(0, x0); x < x1; ++x)
            p.pixels[static_cast<std::size_t>(y) * p.width + x] = value;
}

// One eye pattern look-alike of 7 x 7 modules with its upper-left corner at
// (x0, y0): dark ring, light ring, dark 3 x 3 centre.
void draw_eye(Picture &p, int x0, int y0, int m) {
    fill_rect(p, x0, y0, 7 * m, 7 * m, 0);
    fill_rect(p, x0 + m, y0 + m, 5 * m, 5 * m, 255);
    fill_rect(p, x0 + 2 * m, y0 + 2 * m, 3 * m, 3 * m, 0);
}

// Offset of the first marker segment `code` (0xFF code) before the first
// scan, walking the segments by their lengths; the size when there is none.
std::size_t find_segment(const std::vector<std::uint8_t> &b, std::uint8_t code) {
    std::size_t i = 2; // behind the start-of-image marker
    while (i + 3 < b.size() && b[i] == 0xFF) {
        if (b[i + 1] == code)
            return i;
        if (b[i + 1] == 0xDA)
            break;
        i += 2 + (static_cast<std::size_t>(b[i + 2]) << 8 | b[i + 3]);
    }
    return b.size();
}

// End of the scan that starts with the SOS segment at `sos`: the next marker
// that is neither a stuffed byte nor a restart marker.
std::size_t scan_end(const std::vector<std::uint8_t> &b, std::size_t sos) {
    std::size_t i = sos + 2 + (static_cast<std::size_t>(b[sos + 2]) << 8 | b[sos + 3]);
    for (; i + 1 < b.size(); ++i)
        if (b[i] == 0xFF && b[i + 1] != 0x00 && !(b[i + 1] >= 0xD0 && b[i + 1] <= 0xD7))
            return i;
    return b.size();
}

} // namespace

Picture eye_field(int width, int height, int module_px, int gap, int size_jitter,
                     std::uint32_t seed) {
    if (!size_ok(width, height) || module_px < 1 || gap < 1 || size_jitter < 0)
        return {};
    Picture p{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height, 255)};
    std::mt19937 random(seed);
    const int largest = module_px + size_jitter;
    const int pitch = (7 + gap) * largest;
    for (int y0 = gap * largest / 2; y0 + 7 * largest <= height; y0 += pitch)
        for (int x0 = gap * largest / 2; x0 + 7 * largest <= width; x0 += pitch) {
            const int m = module_px + (size_jitter ? static_cast<int>(random() % (size_jitter + 1)) : 0);
            draw_eye(p, x0, y0, m);
        }
    return p;
}

Picture photo_like(int width, int height, std::uint32_t seed) {
    if (!size_ok(width, height))
        return {};
    Picture p{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height)};
    std::mt19937 random(seed);
    // Smooth shading: a slow wave along each axis.
    std::vector<double> along_x(width), along_y(height);
    const double fx = 0.002 + (random() % 1000) * 1e-6, fy = 0.003 + (random() % 1000) * 1e-6;
    for (int x = 0; x < width; ++x)
        along_x[x] = 50 * std::sin(x * fx) + 15 * std::sin(x * fx * 7.3);
    for (int y = 0; y < height; ++y)
        along_y[y] = 40 * std::cos(y * fy) + 10 * std::sin(y * fy * 5.1);
    std::vector<double> grey(p.pixels.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            grey[static_cast<std::size_t>(y) * width + x] = 128 + along_x[x] + along_y[y];
    // Blotches: discs of another grey that fade out towards their rim.
    const int blotches = std::max(1, width * height / 40000);
    for (int i = 0; i < blotches; ++i) {
        const int cx = static_cast<int>(random() % width), cy = static_cast<int>(random() % height);
        const int r = 5 + static_cast<int>(random() % 60);
        const double shift = static_cast<double>(random() % 121) - 60;
        for (int y = std::max(0, cy - r); y < std::min(height, cy + r); ++y)
            for (int x = std::max(0, cx - r); x < std::min(width, cx + r); ++x) {
                const double d = std::hypot(x - cx, y - cy) / r;
                if (d < 1)
                    grey[static_cast<std::size_t>(y) * width + x] += shift * (1 - d * d);
            }
    }
    for (std::size_t i = 0; i < grey.size(); ++i) {
        const double noise = static_cast<double>(random() % 17) - 8;
        p.pixels[i] = static_cast<std::uint8_t>(std::clamp(grey[i] + noise, 0.0, 255.0));
    }
    return p;
}

std::vector<std::uint8_t> progressive_jpeg_bytes(const Picture &picture, int extra_scans) {
    if (picture.width < 1 || picture.height < 1 || extra_scans < 0 ||
        picture.pixels.size() != static_cast<std::size_t>(picture.width) * picture.height)
        return {};
    std::vector<std::uint8_t> bytes =
        jpeg_bytes(picture.width, picture.height, 1, picture.pixels, 90, true);
    const std::size_t sos = find_segment(bytes, 0xDA);
    if (sos >= bytes.size() || bytes.size() < 4 || bytes[bytes.size() - 2] != 0xFF ||
        bytes.back() != 0xD9)
        return {};
    const std::size_t eoi = bytes.size() - 2;
    const std::size_t end = scan_end(bytes, sos);
    const std::vector<std::uint8_t> scan(bytes.begin() + static_cast<std::ptrdiff_t>(sos),
                                         bytes.begin() + static_cast<std::ptrdiff_t>(end));
    std::vector<std::uint8_t> out(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(eoi));
    for (int i = 0; i < extra_scans; ++i)
        out.insert(out.end(), scan.begin(), scan.end());
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

std::vector<std::uint8_t> jpeg_memory_bomb_bytes(int width, int height, int components) {
    if (width < 1 || height < 1 || width > 65500 || height > 65500 ||
        (components != 1 && components != 3))
        return {};
    constexpr int side = 16;
    const std::vector<std::uint8_t> samples(static_cast<std::size_t>(side) * side * components, 128);
    std::vector<std::uint8_t> bytes = jpeg_bytes(side, side, components, samples, 90, true);
    // The progressive frame header: length, precision, height, width.
    const std::size_t sof = find_segment(bytes, 0xC2);
    if (sof + 9 > bytes.size())
        return {};
    bytes[sof + 5] = static_cast<std::uint8_t>(height >> 8);
    bytes[sof + 6] = static_cast<std::uint8_t>(height & 0xFF);
    bytes[sof + 7] = static_cast<std::uint8_t>(width >> 8);
    bytes[sof + 8] = static_cast<std::uint8_t>(width & 0xFF);
    return bytes;
}

} // namespace vantor::testing
