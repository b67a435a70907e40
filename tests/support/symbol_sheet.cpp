// Sheets of many symbols: laid out in rows on a flat sheet, then seen
// through the camera's turn and keystone.
#include "symbol_sheet.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace vantor::testing {
namespace {

// Pictures larger than this are refused rather than allocated.
constexpr double max_sheet_pixels = 1 << 25;
constexpr double dark = 25, light = 225;

// From the sheet's plane (pixels at the picture's scale, origin at the
// picture's centre) to the picture, and back.
struct Camera {
    double cos_a, sin_a, perspective, cx, cy;

    bool forward(double x, double y, double &px, double &py) const {
        const double rx = cos_a * x - sin_a * y, ry = sin_a * x + cos_a * y;
        const double w = 1.0 + perspective * rx;
        if (!(w > 0.05))
            return false;
        px = cx + rx / w;
        py = cy + ry / w;
        return true;
    }
    bool inverse(double px, double py, double &x, double &y) const {
        const double u = px - cx, v = py - cy;
        const double w = 1.0 - perspective * u;
        if (!(w > 0.05))
            return false;
        const double rx = u / w, ry = v / w;
        x = cos_a * rx + sin_a * ry;
        y = -sin_a * rx + cos_a * ry;
        return true;
    }
};

struct Placed {
    Symbol symbol;
    double x, y, module; // top-left corner on the plane, module size
    double side() const { return symbol.size * module; }
};

// A payload that fits the version at the level: a unique head and random
// letters, shortened until the version holds it.
std::optional<Symbol> payload_symbol(std::mt19937 &random, int index, int version, Level level) {
    static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 -./";
    std::string text = "S" + std::to_string(index) + ":";
    const int tail = 4 + static_cast<int>(random() % static_cast<unsigned>(6 * version * version + 10));
    for (int i = 0; i < tail; ++i)
        text += letters[random() % (sizeof letters - 1)];
    while (text.size() > 1) {
        if (auto s = make_symbol(text, version, level, Mode::byte))
            return s;
        text.resize(text.size() * 3 / 4);
    }
    return std::nullopt;
}

} // namespace

Sheet make_sheet(const SheetOptions &o) {
    Sheet sheet;
    if (o.width < 21 || o.height < 21 || static_cast<double>(o.width) * o.height > max_sheet_pixels ||
        o.min_version < 1 || o.max_version > 40 || o.min_version > o.max_version || o.count < 0 ||
        !(o.module_px >= 0.5 && o.module_px <= 100) || !(o.module_spread >= 1 && o.module_spread <= 4) ||
        o.min_gap < 0 || o.max_gap < o.min_gap || !std::isfinite(o.rotation_deg) ||
        !(std::fabs(o.perspective) < 0.01) || !(o.blur_sigma >= 0 && o.blur_sigma < 50) ||
        !(o.noise_sigma >= 0 && o.noise_sigma < 1000) || o.repeats < 0)
        return sheet;
    std::mt19937 random(o.seed);
    auto uniform = [&](double lo, double hi) { return lo + (hi - lo) * (random() / 4294967296.0); };
    const double turn = o.rotation_deg * std::numbers::pi / 180;
    const Camera camera{std::cos(turn), std::sin(turn), o.perspective, o.width / 2.0, o.height / 2.0};

    // The part of the plane the picture sees.
    double lo_x = INFINITY, hi_x = -INFINITY, lo_y = INFINITY, hi_y = -INFINITY;
    for (const auto &[px, py] : {std::array{0.0, 0.0}, std::array{1.0 * o.width, 0.0},
                                 std::array{0.0, 1.0 * o.height}, std::array{1.0 * o.width, 1.0 * o.height}}) {
        double x, y;
        if (!camera.inverse(px, py, x, y))
            return sheet;
        lo_x = std::min(lo_x, x), hi_x = std::max(hi_x, x), lo_y = std::min(lo_y, y), hi_y = std::max(hi_y, y);
    }
    // Where a symbol at (x, y) of `side` pixels on the plane lands, when the
    // picture sees it whole with a little of its quiet zone.
    auto in_view = [&](double x, double y, double side, double module, std::array<std::array<double, 2>, 4> &corners) {
        const double q = 2 * module;
        const double xs[4] = {x, x + side, x + side, x};
        const double ys[4] = {y, y, y + side, y + side};
        for (int k = 0; k < 4; ++k) {
            double px, py;
            if (!camera.forward(xs[k], ys[k], px, py))
                return false;
            corners[static_cast<std::size_t>(k)] = {px, py};
            const double dx = k == 0 || k == 3 ? -q : q, dy = k < 2 ? -q : q;
            if (!camera.forward(xs[k] + dx, ys[k] + dy, px, py) || px < 0 || py < 0 || px >= o.width ||
                py >= o.height)
                return false;
        }
        return true;
    };

    // Rows of symbols over the plane the picture sees; of those it sees
    // whole, the `count` nearest its centre.
    struct Slot {
        double x, y, module;
        int version;
        Level level;
        std::array<std::array<double, 2>, 4> corners;
        double off_centre;
    };
    constexpr std::size_t max_slots = 20000;
    std::vector<Slot> slots;
    const Level levels[4] = {Level::L, Level::M, Level::Q, Level::H};
    double row_y = lo_y, x = lo_x, row_height = 0;
    while (row_y < hi_y && slots.size() < max_slots) {
        const int version =
            o.min_version + static_cast<int>(random() % static_cast<unsigned>(o.max_version - o.min_version + 1));
        const Level level = levels[random() % 4];
        const double module = o.module_px * uniform(1, o.module_spread);
        const double gap =
            o.module_px * (o.min_gap + static_cast<int>(random() % static_cast<unsigned>(o.max_gap - o.min_gap + 1)));
        const double side = (4 * version + 17) * module;
        if (x + side > hi_x) {
            row_y += row_height + gap;
            x = lo_x;
            row_height = 0;
            continue;
        }
        Slot slot{x, row_y, module, version, level, {}, 0};
        x += side + gap;
        row_height = std::max(row_height, side);
        if (in_view(slot.x, slot.y, side, module, slot.corners)) {
            const auto &c = slot.corners;
            slot.off_centre = std::hypot((c[0][0] + c[2][0]) / 2 - o.width / 2.0, (c[0][1] + c[2][1]) / 2 - o.height / 2.0);
            slots.push_back(slot);
        }
    }
    std::stable_sort(slots.begin(), slots.end(), [](const Slot &a, const Slot &b) { return a.off_centre < b.off_centre; });
    if (slots.size() > static_cast<std::size_t>(o.count))
        slots.resize(static_cast<std::size_t>(o.count));

    // A repeat copies an earlier symbol of the sheet whole; the repeats are
    // spread over the sheet.
    std::vector<Placed> placed;
    int made = 0, repeated = 0;
    for (const Slot &slot : slots) {
        std::optional<Symbol> symbol;
        const int left = static_cast<int>(slots.size() - placed.size());
        if (!placed.empty() && repeated < o.repeats &&
            static_cast<int>(random() % static_cast<unsigned>(left)) < o.repeats - repeated) {
            std::vector<const Placed *> alike;
            for (const Placed &p : placed)
                if (p.symbol.version == slot.version)
                    alike.push_back(&p);
            if (!alike.empty()) {
                symbol = alike[random() % alike.size()]->symbol;
                ++repeated;
            }
        }
        if (!symbol)
            symbol = payload_symbol(random, made++, slot.version, slot.level);
        if (!symbol)
            continue;
        sheet.symbols.push_back({symbol->text, symbol->version, slot.corners});
        placed.push_back({std::move(*symbol), slot.x, slot.y, slot.module});
    }

    // Each pixel the share of dark among 2 x 2 samples; the symbols looked
    // up through a grid of cells on the plane.
    constexpr double cell = 64;
    const int cols = static_cast<int>((hi_x - lo_x) / cell) + 1, rows = static_cast<int>((hi_y - lo_y) / cell) + 1;
    std::vector<std::vector<int>> cells(static_cast<std::size_t>(cols) * rows);
    for (std::size_t i = 0; i < placed.size(); ++i) {
        const Placed &p = placed[i];
        const int c0 = std::max(0, static_cast<int>((p.x - lo_x) / cell));
        const int c1 = std::min(cols - 1, static_cast<int>((p.x + p.side() - lo_x) / cell));
        const int r0 = std::max(0, static_cast<int>((p.y - lo_y) / cell));
        const int r1 = std::min(rows - 1, static_cast<int>((p.y + p.side() - lo_y) / cell));
        for (int r = r0; r <= r1; ++r)
            for (int c = c0; c <= c1; ++c)
                cells[static_cast<std::size_t>(r) * cols + c].push_back(static_cast<int>(i));
    }
    auto dark_at = [&](double x, double y) {
        const int c = static_cast<int>(std::floor((x - lo_x) / cell)), r = static_cast<int>(std::floor((y - lo_y) / cell));
        if (c < 0 || r < 0 || c >= cols || r >= rows)
            return false;
        for (int i : cells[static_cast<std::size_t>(r) * cols + c]) {
            const Placed &p = placed[static_cast<std::size_t>(i)];
            const double mx = std::floor((x - p.x) / p.module), my = std::floor((y - p.y) / p.module);
            if (mx >= 0 && my >= 0 && mx < p.symbol.size && my < p.symbol.size)
                return p.symbol.dark(static_cast<int>(mx), static_cast<int>(my));
        }
        return false;
    };
    std::vector<double> value(static_cast<std::size_t>(o.width) * o.height);
    for (int py = 0; py < o.height; ++py)
        for (int px = 0; px < o.width; ++px) {
            int hits = 0;
            for (int s = 0; s < 4; ++s) {
                double x, y;
                if (camera.inverse(px + 0.25 + 0.5 * (s & 1), py + 0.25 + 0.5 * (s >> 1), x, y))
                    hits += dark_at(x, y);
            }
            // The light falls off a little across the sheet.
            const double shade = 1.0 - 0.15 * (static_cast<double>(px) / o.width + static_cast<double>(py) / o.height) / 2;
            value[static_cast<std::size_t>(py) * o.width + px] = (light + (dark - light) * hits / 4.0) * shade;
        }
    if (o.blur_sigma > 0)
        blur(value, o.width, o.height, o.blur_sigma);
    std::normal_distribution<double> noise(0, o.noise_sigma > 0 ? o.noise_sigma : 1);
    sheet.picture = {o.width, o.height, std::vector<std::uint8_t>(value.size())};
    for (std::size_t i = 0; i < value.size(); ++i) {
        const double v = value[i] + (o.noise_sigma > 0 ? noise(random) : 0);
        sheet.picture.pixels[i] = static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 255.0)));
    }
    return sheet;
}

std::optional<std::size_t> sheet_symbol_at(const Sheet &sheet, double x, double y) {
    for (std::size_t i = 0; i < sheet.symbols.size(); ++i) {
        const auto &c = sheet.symbols[i].corners;
        int sign = 0;
        bool in = true;
        for (std::size_t k = 0; k < 4 && in; ++k) {
            const auto &a = c[k], &b = c[(k + 1) % 4];
            const double cross = (b[0] - a[0]) * (y - a[1]) - (b[1] - a[1]) * (x - a[0]);
            const int side = cross > 0 ? 1 : cross < 0 ? -1 : 0;
            if (side != 0 && sign != 0 && side != sign)
                in = false;
            if (side != 0)
                sign = side;
        }
        if (in)
            return i;
    }
    return std::nullopt;
}

SheetScore score_sheet(const Sheet &sheet, const std::vector<ReadSymbol> &read) {
    SheetScore score;
    score.placed = static_cast<int>(sheet.symbols.size());
    std::vector<char> taken(sheet.symbols.size(), 0);
    for (const ReadSymbol &r : read) {
        const auto at = sheet_symbol_at(sheet, r.x, r.y);
        if (!at)
            ++score.outside;
        else if (sheet.symbols[*at].text != r.bytes)
            ++score.wrong;
        else if (taken[*at])
            ++score.repeat;
        else
            taken[*at] = 1, ++score.read;
    }
    return score;
}

} // namespace vantor::testing
