#include "app_icon.h"

#include <QColor>
#include <QPainter>
#include <QPixmap>

namespace vantor::gui {

namespace {

// The tile's pattern: three small eye patterns and some modules between
// them, '#' dark.
constexpr int pattern_size = 13;
constexpr const char *pattern[pattern_size] = {
    "#####.#.#####", "#...#...#...#", "#.#.#.#.#.#.#", "#...#.#.#...#", "#####...#####",
    "......#......", "#.##.##.#.#.#", "......#.##.#.", "#####.#..#.##", "#...#..##.#..",
    "#.#.#.#.###.#", "#...#.##...##", "#####.#.#.#.#",
};

// The sizes drawn; the platform picks the nearest for each use.
constexpr int icon_sizes[] = {16, 24, 32, 48, 256};

const QColor frame_colour(0x1f, 0x4e, 0x8c);
const QColor module_colour(0x10, 0x1a, 0x2c);

QPixmap draw_icon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);

    // A blue rounded frame around a white field; the modules fill the field
    // in whole pixels so that small sizes stay sharp.
    const int frame = size >= 32 ? size / 16 : 1;
    const double radius = size / 8.0;
    painter.setRenderHint(QPainter::Antialiasing, size >= 24);
    painter.setPen(Qt::NoPen);
    painter.setBrush(frame_colour);
    painter.drawRoundedRect(QRectF(0, 0, size, size), radius, radius);
    painter.setBrush(Qt::white);
    const double inner_radius = radius > frame ? radius - frame : 0.0;
    painter.drawRoundedRect(QRectF(frame, frame, size - 2 * frame, size - 2 * frame),
                            inner_radius, inner_radius);

    painter.setRenderHint(QPainter::Antialiasing, false);
    const int field = size - 2 * frame;
    const int quiet = size >= 48 ? field / 24 : 0;
    int module = (field - 2 * quiet) / pattern_size;
    if (module < 1)
        module = 1;
    const int origin = frame + (field - module * pattern_size) / 2;
    painter.setBrush(module_colour);
    for (int row = 0; row < pattern_size; ++row) {
        for (int col = 0; col < pattern_size; ++col) {
            if (pattern[row][col] == '#')
                painter.drawRect(origin + col * module, origin + row * module, module, module);
        }
    }
    return pixmap;
}

} // namespace

QIcon app_icon() {
    QIcon icon;
    for (int size : icon_sizes)
        icon.addPixmap(draw_icon(size));
    return icon;
}

} // namespace vantor::gui
