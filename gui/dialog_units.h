// Dialog units to pixels, from the metrics of the dialog's font.
#pragma once

#include <QFont>
#include <QGuiApplication>
#include <QStringList>
#include <QFontMetrics>
#include <QRect>
#include <QString>

#include "resource.h"

namespace vantor::gui {

// The dialogs' font: a Japanese UI face at 9 points when one is installed.
inline QFont dialog_font() {
    QFont font = QGuiApplication::font();
    QStringList families;
    for (const char *family : dialog_font_families)
        families << QString::fromUtf8(family);
    families << font.family();
    font.setFamilies(families);
    font.setPointSize(dialog_font_points);
    return font;
}

class DialogUnits {
public:
    explicit DialogUnits(const QFont &font) {
        const QFontMetrics metrics(font);
        // The average width of the Latin letters, rounded, and the height of
        // a line: the measures a dialog unit is a fraction of.
        const int letters =
            metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        base_x_ = (letters / 26 + 1) / 2;
        base_y_ = metrics.height();
        if (base_x_ < 1)
            base_x_ = 1;
        if (base_y_ < 1)
            base_y_ = 1;
    }

    int base_x() const { return base_x_; }
    int base_y() const { return base_y_; }

    // Each edge is converted on its own, so that controls which meet in
    // dialog units also meet in pixels.
    QRect rect(const DialogRect &r) const {
        const int left = to_x(r.x);
        const int top = to_y(r.y);
        return QRect(left, top, to_x(r.x + r.cx) - left, to_y(r.y + r.cy) - top);
    }
    QSize size(const DialogRect &r) const { return rect(r).size(); }

private:
    // Rounded to the nearest pixel; dialog units are never negative here.
    int to_x(int units) const { return (units * base_x_ + 2) / 4; }
    int to_y(int units) const { return (units * base_y_ + 4) / 8; }

    int base_x_ = 1;
    int base_y_ = 1;
};

} // namespace vantor::gui
