#include "tools/artgen/Artwork.h"

#include "ui/Avireader.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <numbers>
#include <vector>

namespace artwork
{
namespace
{

constexpr double kPi = std::numbers::pi;
const QColor kDeepTeal(0x0B, 0x3F, 0x4C);
const QColor kSeaGreen(0x1B, 0x73, 0x67);
const QColor kAmber(0xF2, 0xB1, 0x34);
const QColor kMist(0xE6, 0xF0, 0xEC);

QFont Font(int pixels, int weight = QFont::Normal, double spacing = 0)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setWeight(static_cast<QFont::Weight>(weight));
    if (spacing != 0)
        font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QImage Canvas(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

void Prepare(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
}

// A hexagon around (cx, cy) with corner radius r, flat top.
QPainterPath Hexagon(double cx, double cy, double r)
{
    QPainterPath path;
    for (int i = 0; i < 6; ++i) {
        const double a = kPi / 3.0 * i;
        const QPointF pt(cx + r * std::cos(a), cy + r * std::sin(a));
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    path.closeSubpath();
    return path;
}

// The brand mark: a shell of hexagons, outline and amber core.
void DrawMark(QPainter &p, double cx, double cy, double r, const QColor &line, qreal opacity = 1.0)
{
    p.save();
    p.setOpacity(opacity);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(line, std::max(1.5, r / 9.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(Hexagon(cx, cy, r));
    p.setPen(Qt::NoPen);
    p.setBrush(kAmber);
    p.drawPath(Hexagon(cx, cy, r * 0.42));
    p.setPen(QPen(line, std::max(1.0, r / 14.0)));
    for (int i = 0; i < 6; ++i) {
        const double a = kPi / 3.0 * i;
        p.drawLine(QPointF(cx + r * 0.42 * std::cos(a), cy + r * 0.42 * std::sin(a)),
                   QPointF(cx + r * std::cos(a), cy + r * std::sin(a)));
    }
    p.restore();
}

// Soft wave lines along the lower edge.
void DrawWaves(QPainter &p, int w, int h, const QColor &colour, int count, double phase = 0)
{
    p.save();
    p.setBrush(Qt::NoBrush);
    for (int k = 0; k < count; ++k) {
        QColor c = colour;
        c.setAlphaF(0.10 + 0.05 * k);
        p.setPen(QPen(c, 1.4));
        QPainterPath path;
        const double base = h - 8 - k * 7;
        for (int x = 0; x <= w; x += 4) {
            const double y = base + 4.0 * std::sin((x / 70.0) + k * 0.9 + phase);
            if (x == 0)
                path.moveTo(x, y);
            else
                path.lineTo(x, y);
        }
        p.drawPath(path);
    }
    p.restore();
}

void Gradient(QPainter &p, const QRect &r, const QColor &from, const QColor &to)
{
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, from);
    g.setColorAt(1, to);
    p.fillRect(r, g);
}

// The progress picture's common ground: gradient, watermark, waves.
void DrawWorkingGround(QPainter &p, int w, int h)
{
    Gradient(p, QRect(0, 0, w, h), kDeepTeal, kSeaGreen);
    QRadialGradient glow(QPointF(w * 0.78, h * 0.35), w * 0.45);
    glow.setColorAt(0, QColor(255, 255, 255, 38));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(QRect(0, 0, w, h), glow);
    DrawWaves(p, w, 181, Qt::white, 3);
}

void DrawWorkingTexts(QPainter &p)
{
    p.setPen(Qt::white);
    p.setFont(Font(33));
    p.drawText(QRect(24, 20, 300, 44), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Working..."));
    p.setPen(kMist);
    p.setFont(Font(13));
    p.drawText(QRect(26, 66, 260, 20), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Talking to the unit, please wait"));
}

} // namespace

QImage DrawBanner(TBanner which)
{
    QImage image = Canvas(BannerWidth, BannerHeight);
    QPainter p(&image);
    Prepare(p);
    const QRect all(0, 0, BannerWidth, BannerHeight);
    switch (which) {
    case TBanner::Zelvo:
        Gradient(p, all, kDeepTeal, kSeaGreen);
        DrawWaves(p, BannerWidth, BannerHeight + 6, Qt::white, 2);
        DrawMark(p, 38, 35.5, 21, Qt::white);
        p.setPen(Qt::white);
        p.setFont(Font(26, QFont::Bold));
        p.drawText(QRect(72, 8, 300, 34), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Zelvo Marlune"));
        p.setPen(kMist);
        p.setFont(Font(12));
        p.drawText(QRect(74, 40, 300, 20), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Server logon for your telemetry unit"));
        break;
    case TBanner::Generic:
        Gradient(p, all, QColor(0x3A, 0x46, 0x52), QColor(0x5B, 0x6B, 0x78));
        DrawWaves(p, BannerWidth, BannerHeight + 6, Qt::white, 2);
        p.setPen(Qt::white);
        p.setFont(Font(24, QFont::Bold));
        p.drawText(QRect(22, 8, 400, 34), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Telemetry Server Logon"));
        p.setPen(QColor(0xDD, 0xE3, 0xE8));
        p.setFont(Font(12));
        p.drawText(QRect(24, 40, 400, 20), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Sign in with the account of your installation"));
        break;
    case TBanner::Orvane: {
        Gradient(p, all, QColor(0x0A, 0x24, 0x3D), QColor(0x12, 0x4E, 0x78));
        DrawWaves(p, BannerWidth, BannerHeight + 6, QColor(0x9F, 0xD6, 0xFF), 3);
        // Word mark with an amber rule under it.
        p.setPen(Qt::white);
        p.setFont(Font(27, QFont::Bold, 5));
        p.drawText(QRect(22, 6, 220, 36), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("ORVANE"));
        p.fillRect(QRectF(24, 43, 46, 3), kAmber);
        p.setPen(QColor(0xD6, 0xE8, 0xF5));
        p.setFont(Font(12));
        p.drawText(QRect(24, 48, 260, 18), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Telemetry network  \u00B7  server logon"));
        DrawMark(p, 406, 35.5, 20, QColor(255, 255, 255), 0.9);
        p.setPen(QColor(0xD6, 0xE8, 0xF5));
        p.setFont(Font(10));
        p.drawText(QRect(250, 20, 128, 32), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("with Zelvo"));
        break;
    }
    }
    p.end();
    return image;
}

QImage DrawWorkingBackground()
{
    QImage image = Canvas(BackgroundWidth, BackgroundHeight);
    QPainter p(&image);
    Prepare(p);
    DrawWorkingGround(p, BackgroundWidth, BackgroundHeight);
    // The caption is a label over this picture; only the rest is drawn.
    p.setPen(kMist);
    p.setFont(Font(13));
    p.drawText(QRect(26, 66, 260, 20), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Talking to the unit, please wait"));
    DrawMark(p, 360, 82, 30, Qt::white, 0.85);
    // An even track where the animation's bar runs.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 50));
    p.drawRoundedRect(QRectF(26, 132, 385, 6), 3, 3);
    p.end();
    return image;
}

QImage DrawWorkingFrame(int index)
{
    const double t = static_cast<double>(index % AnimationFrames) / AnimationFrames;
    QImage image = Canvas(AnimationWidth, AnimationHeight);
    QPainter p(&image);
    Prepare(p);
    DrawWorkingGround(p, AnimationWidth, AnimationHeight);
    DrawWorkingTexts(p);

    // Spinner: twelve dots, the bright one going round once per loop.
    const QPointF centre(360, 82);
    const int dots = 12;
    for (int i = 0; i < dots; ++i) {
        const double a = 2 * kPi * i / dots - kPi / 2;
        const double lead = std::fmod(t * dots - i + dots, static_cast<double>(dots));
        const double strength = std::max(0.0, 1.0 - lead / 7.0);
        QColor c = strength > 0.86 ? kAmber : QColor(Qt::white);
        c.setAlphaF(0.22 + 0.78 * strength);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        const double r = 3.2 + 2.2 * strength;
        p.drawEllipse(QPointF(centre.x() + 30 * std::cos(a), centre.y() + 30 * std::sin(a)), r, r);
    }
    DrawMark(p, centre.x(), centre.y(), 13, Qt::white, 0.9);

    // Track and a segment sweeping along it.
    const QRectF track(26, 132, 385, 6);
    p.setBrush(QColor(255, 255, 255, 50));
    p.drawRoundedRect(track, 3, 3);
    const double segment = 110;
    const double x = track.left() - segment + (track.width() + segment) * t;
    p.save();
    p.setClipRect(track);
    QLinearGradient g(QPointF(x, 0), QPointF(x + segment, 0));
    g.setColorAt(0, QColor(0xF2, 0xB1, 0x34, 0));
    g.setColorAt(0.6, kAmber);
    g.setColorAt(1, QColor(0xFF, 0xE0, 0x9A));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(x, track.top(), segment, track.height()), 3, 3);
    p.restore();
    p.end();
    return image;
}

QByteArray EncodeJpeg(const QImage &image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPEG", quality))
        return {};
    return bytes;
}

QByteArray BuildWorkingAnimation()
{
    std::vector<QByteArray> frames;
    for (int i = 0; i < AnimationFrames; ++i) {
        QByteArray jpeg = EncodeJpeg(DrawWorkingFrame(i), 88);
        if (jpeg.isEmpty())
            return {};
        frames.push_back(std::move(jpeg));
    }
    return WriteMjpegAvi(frames, AnimationWidth, AnimationHeight, AnimationFps);
}

bool WriteAll(const QString &dir, QString &error)
{
    if (!QDir().mkpath(dir)) {
        error = QStringLiteral("cannot create %1").arg(dir);
        return false;
    }
    struct TOut {
        const char *Name;
        QByteArray Bytes;
    };
    const std::vector<TOut> files = {
        {"logon_zelvo.jpg", EncodeJpeg(DrawBanner(TBanner::Zelvo), 92)},
        {"logon_generic.jpg", EncodeJpeg(DrawBanner(TBanner::Generic), 92)},
        {"logon_orvane.jpg", EncodeJpeg(DrawBanner(TBanner::Orvane), 92)},
        {"working_background.jpg", EncodeJpeg(DrawWorkingBackground(), 92)},
        {"working_generic.avi", BuildWorkingAnimation()},
    };
    for (const TOut &f : files) {
        const QString path = QDir(dir).filePath(QString::fromLatin1(f.Name));
        QFile file(path);
        if (f.Bytes.isEmpty() || !file.open(QIODevice::WriteOnly) ||
            file.write(f.Bytes) != f.Bytes.size()) {
            error = QStringLiteral("cannot write %1").arg(path);
            return false;
        }
    }
    return true;
}

} // namespace artwork
