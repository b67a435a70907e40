// Saves the dialog's icon as PNG files for the desktop's icon theme:
// icon_export DIR SIZE... writes DIR/SIZE/vantor-gui.png for each size.
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>

#include "app_icon.h"

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fputs("usage: icon_export DIR SIZE...\n", stderr);
        return 64;
    }
    QGuiApplication app(argc, argv);
    const QIcon icon = vantor::gui::app_icon();
    const QString dir = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0 || size > 1024) {
            std::fprintf(stderr, "icon_export: bad size %s\n", argv[i]);
            return 64;
        }
        // The icon holds a few drawn sizes; others are scaled from the
        // nearest, always to exactly size x size as the theme expects.
        QPixmap pixmap = icon.pixmap(size, size);
        if (pixmap.width() != size || pixmap.height() != size)
            pixmap = pixmap.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QString sub = dir + "/" + QString::number(size);
        if (!QDir().mkpath(sub) || !pixmap.save(sub + "/vantor-gui.png", "PNG")) {
            std::fprintf(stderr, "icon_export: cannot write %s/vantor-gui.png\n", qPrintable(sub));
            return 1;
        }
    }
    return 0;
}
