// Saves what the X server shows of one window (given by its id) as a PNG. Used by
// scripts/screenshot.sh; the window belongs to another process.

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s WINDOW-ID OUTPUT.png\n", argv[0]);
        return 2;
    }
    bool ok = false;
    const WId window = QString::fromLocal8Bit(argv[1]).toULongLong(&ok, 0);
    if (!ok) {
        std::fprintf(stderr, "not a window id: %s\n", argv[1]);
        return 2;
    }
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(window);
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "could not grab window %s\n", argv[1]);
        return 1;
    }
    std::printf("%s: %dx%d\n", argv[2], shot.width(), shot.height());
    return 0;
}
