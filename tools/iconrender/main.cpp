// zorvane-iconrender SVG SIZE OUT.png: the logo as a square PNG of SIZE pixels, for the icon theme
// sizes that want pixels rather than the scalable drawing.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char* argv[])
{
    // No window is shown: the offscreen platform spares the build a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: zorvane-iconrender SVG SIZE OUT.png\n");
        return 2;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    const int size = QByteArray(argv[2]).toInt();
    if (!svg.isValid() || size < 1) {
        std::fprintf(stderr, "zorvane-iconrender: cannot draw %s at %s pixels\n", argv[1], argv[2]);
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    svg.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    if (!image.save(QString::fromLocal8Bit(argv[3]))) {
        std::fprintf(stderr, "zorvane-iconrender: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
