// Symbols from libqrencode, and their rendering into grey pictures.
#include "qr_symbols.h"

#include <qrencode.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <numbers>
#include <random>

namespace vantor::testing {
namespace {

QRecLevel qr_level(Level level) {
    switch (level) {
    case Level::L: return QR_ECLEVEL_L;
    case Level::M: return QR_ECLEVEL_M;
    case Level::Q: return QR_ECLEVEL_Q;
    case Level::H: return QR_ECLEVEL_H;
    }
    return QR_ECLEVEL_L;
}

QRencodeMode qr_mode(Mode mode) {
    switch (mode) {
    case Mode::numeric: return QR_MODE_NUM;
    case Mode::alphanumeric: return QR_MODE_AN;
    case Mode::byte: return QR_MODE_8;
    case Mode::kanji: return QR_MODE_KANJI;
    }
    return QR_MODE_8;
}

// The 15-bit format information: the level's 2-bit code (L 1, M 0, Q 3, H 2)
// and the mask, followed by their BCH(15,5) remainder, XOR-ed with 0x5412.
int format_code(Level level, int mask) {
    constexpr int level_code[] = {1, 0, 3, 2};
    const int data = level_code[static_cast<int>(level)] << 3 | mask;
    int rem = data;
    for (int i = 0; i < 10; ++i)
        rem = (rem << 1) ^ ((rem >> 9) * 0x537);
    return (data << 10 | rem) ^ 0x5412;
}

// (column, row) of format bit i (bit 0 least significant) in the copy beside
// the corner eye pattern, and in the copy split between the other two.
std::array<int, 2> format_position(int copy, int i, int size) {
    if (copy == 0) {
        if (i < 6) return {8, i};
        if (i < 8) return {8, i + 1};
        if (i == 8) return {7, 8};
        return {14 - i, 8};
    }
    if (i < 8) return {size - 1 - i, 8};
    return {8, size - 15 + i};
}

// libqrencode's encoder with a mask of the caller's choice (-1: its own
// choice). Exported by the library though its header leaves it out; it
// applies and records the mask by the library's own rules, so the symbols
// the tests read are masked independently of the decoder.
extern "C" QRcode *QRcode_encodeMask(QRinput *input, int mask);

using CodePtr = std::unique_ptr<QRcode, decltype(&QRcode_free)>;

// The mask the encoder chose, read back from the format information.
int encoder_mask(const QRcode &code, Level level) {
    int bits = 0;
    for (int i = 0; i < 15; ++i) {
        const auto [c, r] = format_position(0, i, code.width);
        bits |= (code.data[r * code.width + c] & 1) << i;
    }
    for (int mask = 0; mask < 8; ++mask)
        if (format_code(level, mask) == bits) return mask;
    return -1;
}

// splitmix64: small, fast and the same everywhere.
struct Random {
    std::uint64_t state;
    explicit Random(std::uint64_t seed) : state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; } // [0, 1)
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    double gaussian() { // Box-Muller
        const double u1 = 1.0 - uniform(), u2 = uniform();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
    }
};

// Pictures larger than this are refused rather than allocated.
constexpr double max_pixels = 1 << 24;

// Maps offsets from the symbol's centre (pixels, before distortion) to
// offsets from the picture's symbol centre, and back.
struct Geometry {
    double cos_a, sin_a, skew_x, skew_y, det, perspective;

    explicit Geometry(const RenderOptions &o)
        : cos_a(std::cos(o.rotation_deg * std::numbers::pi / 180.0)),
          sin_a(std::sin(o.rotation_deg * std::numbers::pi / 180.0)), skew_x(o.skew_x),
          skew_y(o.skew_y), det(1.0 - o.skew_x * o.skew_y), perspective(o.perspective) {}

    bool forward(double &x, double &y) const {
        const double rx = cos_a * x - sin_a * y, ry = sin_a * x + cos_a * y;
        const double sx = rx + skew_x * ry, sy = ry + skew_y * rx;
        const double w = 1.0 + perspective * sx; // keystone: the far side shrinks
        if (!(w > 0.05)) return false;
        x = sx / w;
        y = sy / w;
        return true;
    }
    bool inverse(double &x, double &y) const {
        const double w = 1.0 - perspective * x;
        if (!(w > 0.05)) return false;
        const double sx = x / w, sy = y / w;
        const double rx = (sx - skew_x * sy) / det, ry = (sy - skew_y * sx) / det;
        x = cos_a * rx + sin_a * ry;
        y = -sin_a * rx + cos_a * ry;
        return true;
    }
};


// Maps offsets from the symbol's centre on the flat label (pixels) to where
// a pinhole camera sees them with the label wrapped round a cylinder, and
// back: x is arc length round the cylinder, y runs along its axis.
struct Cylinder {
    double radius = 0;   // 0: flat
    double distance = 0; // camera to the cylinder's axis
    double focal = 0;    // keeps the scale 1 at the front of the cylinder

    Cylinder(double wrap, double symbol_width) {
        if (!(wrap > 0))
            return;
        radius = symbol_width / (2 * std::numbers::pi * wrap);
        distance = radius + 3 * symbol_width;
        focal = distance - radius;
    }

    bool forward(double &x, double &y) const {
        if (radius == 0)
            return true;
        const double a = x / radius;
        if (!(std::fabs(a) < std::numbers::pi / 2))
            return false;
        const double depth = distance - radius * std::cos(a);
        x = focal * radius * std::sin(a) / depth;
        y = focal * y / depth;
        return true;
    }
    bool inverse(double &x, double &y) const {
        if (radius == 0)
            return true;
        // x (distance - radius cos a) = focal radius sin a, as one sine:
        // the near side's solution.
        const double amplitude = radius * std::hypot(focal, x), phase = std::atan2(x, focal);
        const double s = x * distance / amplitude;
        if (!(std::fabs(s) <= 1))
            return false;
        const double a = std::asin(s) - phase;
        if (!(std::fabs(a) < std::numbers::pi / 2))
            return false;
        const double depth = distance - radius * std::cos(a);
        x = a * radius;
        y = y * depth / focal;
        return true;
    }
};

} // namespace

std::optional<Symbol> make_symbol(std::string_view text, int version, Level level, Mode mode,
                                  int mask) {
    const Segment segment{mode, std::string(text)};
    return make_symbol(std::span(&segment, 1), version, level, mask);
}

std::optional<Symbol> make_symbol(std::span<const Segment> segments, int version, Level level,
                                  int mask) {
    if (version < 0 || version > 40 || mask < -1 || mask > 7 || segments.empty())
        return std::nullopt;
    std::unique_ptr<QRinput, decltype(&QRinput_free)> input(QRinput_new2(version, qr_level(level)),
                                                             QRinput_free);
    if (!input) return std::nullopt;
    Symbol symbol;
    for (const Segment &s : segments) {
        const auto *data = reinterpret_cast<const unsigned char *>(s.data.data());
        if (QRinput_append(input.get(), qr_mode(s.mode), static_cast<int>(s.data.size()), data) != 0)
            return std::nullopt;
        symbol.text += s.data;
    }
    // The encoder grows the version when the data needs it; a fixed version
    // that does not fit is refused here.
    CodePtr code(QRcode_encodeMask(input.get(), mask), QRcode_free);
    if (!code || (version != 0 && code->version != version)) return std::nullopt;
    const int chosen = encoder_mask(*code, level);
    if (chosen < 0 || (mask >= 0 && chosen != mask)) return std::nullopt;

    symbol.version = code->version;
    symbol.size = code->width;
    symbol.level = level;
    symbol.mask = chosen;
    const auto count = static_cast<std::size_t>(code->width) * code->width;
    symbol.modules.resize(count);
    for (std::size_t i = 0; i < count; ++i) symbol.modules[i] = code->data[i] & 1;
    return symbol;
}

void blur(std::vector<double> &v, int width, int height, double sigma) {
    const int radius = static_cast<int>(std::ceil(3.0 * sigma));
    std::vector<double> kernel(2 * radius + 1);
    double sum = 0;
    for (int k = -radius; k <= radius; ++k)
        sum += kernel[k + radius] = std::exp(-0.5 * k * k / (sigma * sigma));
    for (double &k : kernel) k /= sum;
    std::vector<double> tmp(v.size());
    auto pass = [&](const std::vector<double> &in, std::vector<double> &out, int dx, int dy) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                double acc = 0;
                for (int k = -radius; k <= radius; ++k) {
                    const int sx = std::clamp(x + k * dx, 0, width - 1);
                    const int sy = std::clamp(y + k * dy, 0, height - 1);
                    acc += kernel[k + radius] * in[static_cast<std::size_t>(sy) * width + sx];
                }
                out[static_cast<std::size_t>(y) * width + x] = acc;
            }
    };
    pass(v, tmp, 1, 0);
    pass(tmp, v, 0, 1);
}

void motion_blur(std::vector<double> &v, int width, int height, double length, double deg) {
    const int steps = static_cast<int>(std::ceil(length)) + 1;
    const double a = deg * 3.14159265358979 / 180.0;
    const double dx = std::cos(a) * length / (steps - 1), dy = std::sin(a) * length / (steps - 1);
    const auto at = [&](double x, double y) {
        x = std::clamp(x, 0.0, width - 1.0);
        y = std::clamp(y, 0.0, height - 1.0);
        const int x0 = std::min(static_cast<int>(x), width - 2 < 0 ? 0 : width - 2);
        const int y0 = std::min(static_cast<int>(y), height - 2 < 0 ? 0 : height - 2);
        const int x1 = std::min(x0 + 1, width - 1), y1 = std::min(y0 + 1, height - 1);
        const double fx = x - x0, fy = y - y0;
        const auto p = [&](int xx, int yy) { return v[static_cast<std::size_t>(yy) * width + xx]; };
        return (p(x0, y0) * (1 - fx) + p(x1, y0) * fx) * (1 - fy) + (p(x0, y1) * (1 - fx) + p(x1, y1) * fx) * fy;
    };
    std::vector<double> out(v.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double acc = 0;
            for (int k = 0; k < steps; ++k) {
                const double t = k - (steps - 1) / 2.0;
                acc += at(x + t * dx, y + t * dy);
            }
            out[static_cast<std::size_t>(y) * width + x] = acc / steps;
        }
    v.swap(out);
}

Picture render(const Symbol &symbol, const RenderOptions &o) {
    const int n = symbol.size, n_rows = symbol.rows ? symbol.rows : n;
    if (n <= 0 || n_rows <= 0 || symbol.modules.size() != static_cast<std::size_t>(n) * n_rows ||
        !(o.module_px > 0 && o.module_px < 1000) || o.quiet_zone < 0 || o.quiet_zone > 1000 ||
        !std::isfinite(o.rotation_deg) || !std::isfinite(o.skew_x) || !std::isfinite(o.skew_y) ||
        !std::isfinite(o.perspective) || !(o.blur_sigma >= 0 && o.blur_sigma < 100) ||
        !(o.motion_px >= 0 && o.motion_px < 1000) || !std::isfinite(o.motion_deg) ||
        !(o.noise_sigma >= 0 && o.noise_sigma < 1e6) || !std::isfinite(o.light_gradient) ||
        !(o.wrap >= 0 && o.wrap < 0.5) || !(o.screen_pixels >= 0 && o.screen_pixels < 1000) ||
        !(o.screen_gap >= 0 && o.screen_gap < 1) ||
        o.canvas_width < 0 || o.canvas_height < 0)
        return {};
    const Geometry geo(o);
    if (std::fabs(geo.det) < 1e-6) return {};
    const Cylinder cylinder(o.wrap, (o.mirror ? n_rows : n) * o.module_px);

    // The symbol with its quiet zone, centred on the origin, and where its
    // corners land: that bounding box sizes the canvas and centres the symbol.
    // Drawn transposed, a rectangle's sides swap.
    const int across = o.mirror ? n_rows : n, down = o.mirror ? n : n_rows;
    const double half_x = (across + 2 * o.quiet_zone) * o.module_px / 2.0;
    const double half_y = (down + 2 * o.quiet_zone) * o.module_px / 2.0;
    double min_x = INFINITY, max_x = -INFINITY, min_y = INFINITY, max_y = -INFINITY;
    // Points along the border: wrapped, its sides bow out between corners.
    const int border_steps = cylinder.radius > 0 ? 16 : 1;
    for (int i = 0; i <= border_steps; ++i)
        for (int side = 0; side < 4; ++side) {
            const double t = -1 + 2.0 * i / border_steps;
            double x = (side < 2 ? t : side == 2 ? -1 : 1) * half_x;
            double y = (side < 2 ? (side == 0 ? -1 : 1) : t) * half_y;
            if (!cylinder.forward(x, y) || !geo.forward(x, y)) return {};
            min_x = std::min(min_x, x), max_x = std::max(max_x, x);
            min_y = std::min(min_y, y), max_y = std::max(max_y, y);
        }
    const double need_w = std::ceil(max_x - min_x - 1e-9), need_h = std::ceil(max_y - min_y - 1e-9);
    const double width = o.canvas_width ? o.canvas_width : need_w;
    const double height = o.canvas_height ? o.canvas_height : need_h;
    if (width < 1 || height < 1 || width * height > max_pixels) return {};
    Picture pic;
    pic.width = static_cast<int>(width);
    pic.height = static_cast<int>(height);
    const double off_x = (width - (max_x - min_x)) / 2.0 - min_x;
    const double off_y = (height - (max_y - min_y)) / 2.0 - min_y;

    // Each pixel is the mean of 4 x 4 samples: light or dark, and on a
    // screen light only where a stripe of a screen pixel shines.
    constexpr int ss = 4;
    const double dark = o.dark, light = o.light;
    const double screen_pitch = o.screen_pixels > 0 ? o.module_px / o.screen_pixels : 0;
    auto shine = [&](double x, double y) {
        if (!(screen_pitch > 0))
            return 1.0;
        // Where in its screen pixel (and in which stripe) the point lies.
        const double sx = x / screen_pitch, sy = y / screen_pitch;
        const double fx = sx - std::floor(sx), fy = sy - std::floor(sy);
        const double stripe = fx * 3;
        const double within = stripe - std::floor(stripe);
        if (fy < o.screen_gap || within < o.screen_gap)
            return 0.0;
        constexpr double brightness[3] = {0.8, 1.0, 0.6};
        return brightness[std::min(2, static_cast<int>(stripe))];
    };
    std::vector<double> value(static_cast<std::size_t>(pic.width) * pic.height);
    for (int py = 0; py < pic.height; ++py)
        for (int px = 0; px < pic.width; ++px) {
            double lit = 0;
            for (int sy = 0; sy < ss; ++sy)
                for (int sx = 0; sx < ss; ++sx) {
                    double x = px + (sx + 0.5) / ss - off_x, y = py + (sy + 0.5) / ss - off_y;
                    if (!geo.inverse(x, y) || !cylinder.inverse(x, y)) {
                        lit += 1;
                        continue;
                    }
                    const double mx = std::floor((x + half_x) / o.module_px) - o.quiet_zone;
                    const double my = std::floor((y + half_y) / o.module_px) - o.quiet_zone;
                    const bool is_dark = mx >= 0 && my >= 0 && mx < across && my < down &&
                                         (o.mirror ? symbol.dark(static_cast<int>(my), static_cast<int>(mx))
                                                   : symbol.dark(static_cast<int>(mx), static_cast<int>(my)));
                    lit += is_dark ? 0 : shine(x + half_x, y + half_y);
                }
            const double share = 1 - lit / (ss * ss);
            double v = light + (dark - light) * share;
            // Light falls off towards the lower right corner.
            const double t = ((px + 0.5) / pic.width + (py + 0.5) / pic.height) / 2.0;
            v *= 1.0 - std::clamp(o.light_gradient, 0.0, 1.0) * t;
            value[static_cast<std::size_t>(py) * pic.width + px] = v;
        }
    if (o.blur_sigma > 0) blur(value, pic.width, pic.height, o.blur_sigma);
    if (o.motion_px >= 1) motion_blur(value, pic.width, pic.height, o.motion_px, o.motion_deg);
    Random random(o.seed);
    pic.pixels.resize(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        double v = value[i];
        if (o.noise_sigma > 0) v += o.noise_sigma * random.gaussian();
        pic.pixels[i] = static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 255.0)));
    }
    return pic;
}

namespace {

// Smooth blobs: the noise picture at a sixteenth of the size, scaled up
// bilinearly, with a little fine noise and falling light.
Picture render_scene(int width, int height, std::uint32_t seed) {
    const int cw = width / 16 + 2, ch = height / 16 + 2;
    const Picture coarse = render_noise(cw, ch, "noise", seed);
    const Picture fine = render_noise(width, height, "noise", seed + 1);
    Picture p{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height)};
    for (int y = 0; y < height; ++y) {
        const double fy = y / 16.0;
        const int y0 = static_cast<int>(fy);
        const double ty = fy - y0;
        for (int x = 0; x < width; ++x) {
            const double fx = x / 16.0;
            const int x0 = static_cast<int>(fx);
            const double tx = fx - x0;
            const double v = (1 - ty) * ((1 - tx) * coarse.at(x0, y0) + tx * coarse.at(x0 + 1, y0)) +
                             ty * ((1 - tx) * coarse.at(x0, y0 + 1) + tx * coarse.at(x0 + 1, y0 + 1));
            const double shade = 1.0 - 0.35 * (static_cast<double>(x) / width + static_cast<double>(y) / height) / 2;
            const double g = v * shade + (fine.at(x, y) - 127.5) * 0.06;
            p.pixels[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint8_t>(std::clamp(std::lround(g), 0L, 255L));
        }
    }
    return p;
}

} // namespace

Picture render_noise(int width, int height, std::string_view kind, std::uint32_t seed) {
    if (width < 1 || height < 1 || static_cast<double>(width) * height > max_pixels) return {};
    if (kind == "scene") return render_scene(width, height, seed);
    Picture pic{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height, 255)};
    Random random(seed);
    if (kind == "blank") {
    } else if (kind == "noise") {
        for (auto &p : pic.pixels) p = static_cast<std::uint8_t>(random.next() >> 56);
    } else if (kind == "stripes") {
        // Vertical bands of random widths, alternately dark and light.
        std::vector<std::uint8_t> row(width);
        bool is_dark = true;
        for (int x = 0; x < width;) {
            const int band = 1 + random.below(12);
            for (int k = 0; k < band && x < width; ++k, ++x) row[x] = is_dark ? 0 : 255;
            is_dark = !is_dark;
        }
        for (int y = 0; y < height; ++y) std::copy(row.begin(), row.end(), pic.pixels.begin() + static_cast<std::ptrdiff_t>(y) * width);
    } else {
        return {};
    }
    return pic;
}

Picture render_lookalikes(int width, int height, std::uint32_t seed) {
    Picture p = render_noise(width, height, "scene", seed);
    if (!p.width)
        return p;
    std::mt19937 rng(seed * 7919u + 1);
    auto uniform = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
    auto paint = [&](double cx, double cy, double half, double turn, std::uint8_t grey, double open) {
        const int r = static_cast<int>(std::ceil(half * 1.5));
        const double c = std::cos(turn), s = std::sin(turn);
        for (int y = std::max(0, static_cast<int>(cy) - r); y <= std::min(p.height - 1, static_cast<int>(cy) + r); ++y)
            for (int x = std::max(0, static_cast<int>(cx) - r); x <= std::min(p.width - 1, static_cast<int>(cx) + r); ++x) {
                const double u = (x - cx) * c + (y - cy) * s, v = -(x - cx) * s + (y - cy) * c;
                if (std::fabs(u) <= half && std::fabs(v) <= half && u < half - open)
                    p.pixels[static_cast<std::size_t>(y) * p.width + x] = grey;
            }
    };
    const int lookalikes = 260 + static_cast<int>(seed % 60);
    for (int i = 0; i < lookalikes; ++i) {
        const double m = uniform(2, 7), cx = uniform(10, p.width - 10), cy = uniform(10, p.height - 10);
        const double turn = uniform(0, 0.8);
        const auto dark = static_cast<std::uint8_t>(uniform(10, 80));
        const auto light = static_cast<std::uint8_t>(uniform(170, 240));
        // Ring widths of 0.6 to 1.5 modules around a centre of 2 to 4.
        const double centre = uniform(2, 4) * m / 2, inner = uniform(0.6, 1.5) * m, outer = uniform(0.6, 1.5) * m;
        const double open = uniform(0, 1) < 0.3 ? outer * 2 : 0;
        paint(cx, cy, centre + inner + outer, turn, dark, open);
        paint(cx, cy, centre + inner, turn, light, 0);
        paint(cx, cy, centre, turn, dark, 0);
    }
    for (int i = 0; i < 400; ++i) {
        const double m = uniform(1.5, 9);
        paint(uniform(0, p.width), uniform(0, p.height), m, uniform(0, 1.5),
              static_cast<std::uint8_t>(uniform(0, 1) < 0.5 ? uniform(10, 90) : uniform(160, 245)), 0);
    }
    // A little blur: the mean of each pixel and its four neighbours.
    Picture blurred = p;
    for (int y = 1; y + 1 < p.height; ++y)
        for (int x = 1; x + 1 < p.width; ++x)
            blurred.pixels[static_cast<std::size_t>(y) * p.width + x] = static_cast<std::uint8_t>(
                (p.at(x, y) * 4 + p.at(x - 1, y) + p.at(x + 1, y) + p.at(x, y - 1) + p.at(x, y + 1)) / 8);
    return blurred;
}

bool write_bytes(const std::string &path, std::span<const std::uint8_t> bytes) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    // An empty span may have no data pointer, which fwrite must not get.
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path_.empty())
        std::filesystem::remove_all(path_, ec);
}

std::string temp_dir(std::string_view name) {
    std::string clean;
    for (char ch : name) clean += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    std::error_code ec;
    const auto base = std::filesystem::temp_directory_path(ec);
    if (ec) return {};
    std::string tmpl = (base / ("vantor-" + clean + "-XXXXXX")).string();
    if (!mkdtemp(tmpl.data())) return {};
    return tmpl;
}

} // namespace vantor::testing
