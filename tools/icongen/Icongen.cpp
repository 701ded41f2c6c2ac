// zelvo-icongen: draws the application icon at the sizes of the hicolor
// theme and writes zelvo-marlune-N.png into the given directory. The same
// design, on the same 256-unit grid, is written by hand in zelvo-marlune.svg.
//   zelvo-icongen DIRECTORY

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace
{

// The design: a teal tile, an amber unit dot and three signal arcs.
void Draw(QPainter &p, int size)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);

    QLinearGradient tile(0, 8, 0, 248);
    tile.setColorAt(0, QColor(0x1c, 0x8a, 0x94));
    tile.setColorAt(1, QColor(0x0b, 0x4f, 0x57));
    QPainterPath rounded;
    rounded.addRoundedRect(QRectF(8, 8, 240, 240), 44, 44);
    p.fillPath(rounded, tile);

    const QPointF centre(74, 182);
    QPen arc(Qt::white, 18, Qt::SolidLine, Qt::RoundCap);
    p.setPen(arc);
    p.setBrush(Qt::NoBrush);
    for (const double r : {48.0, 84.0, 120.0})
        p.drawArc(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), 0, 90 * 16);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0xb4, 0x00));
    p.drawEllipse(centre, 20, 20);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: zelvo-icongen DIRECTORY\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        Draw(p, size);
        p.end();
        const QString file = dir.filePath(QStringLiteral("zelvo-marlune-%1.png").arg(size));
        if (!image.save(file, "PNG")) {
            std::fprintf(stderr, "zelvo-icongen: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
