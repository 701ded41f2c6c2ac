// zelvo-artgen [DIR]: draws the dialogs' artwork into DIR (default
// data/Images): three logon banners, the progress picture and the progress
// animation. zelvo-artgen DIR --sheet FILE also writes one PNG showing every
// picture and a few animation frames, for looking at them.

#include "tools/artgen/Artwork.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>

#include <cstdio>

int main(int argc, char **argv)
{
    // Draws offscreen; no display needed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    for (const char *font :
         {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"})
        if (QFileInfo::exists(QString::fromLatin1(font)))
            QFontDatabase::addApplicationFont(QString::fromLatin1(font));

    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("data/Images");
    QString error;
    if (!artwork::WriteAll(dir, error)) {
        std::fprintf(stderr, "zelvo-artgen: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("zelvo-artgen: artwork written to %s\n", qPrintable(dir));
    if (argc > 3 && QString::fromLatin1(argv[2]) == QStringLiteral("--sheet")) {
        QImage sheet(920, 3 * 81 + 4 * 222 + 20, QImage::Format_RGB32);
        sheet.fill(QColor(0xF0, 0xF0, 0xF0));
        QPainter p(&sheet);
        int y = 10;
        for (auto b :
             {artwork::TBanner::Zelvo, artwork::TBanner::Generic, artwork::TBanner::Orvane}) {
            p.drawImage(10, y, artwork::DrawBanner(b));
            y += 81;
        }
        p.drawImage(10, y, artwork::DrawWorkingBackground());
        y += 222;
        for (int f = 0; f < 6; ++f)
            p.drawImage(10 + (f % 2) * 454, y + (f / 2) * 222, artwork::DrawWorkingFrame(f * 4));
        p.end();
        sheet.save(QString::fromLocal8Bit(argv[3]));
    }
    return 0;
}
