#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// The dialogs' artwork, drawn in code so it can be made again.
namespace artwork
{

constexpr int BannerWidth = 444;
constexpr int BannerHeight = 71;
constexpr int BackgroundWidth = 437;
constexpr int BackgroundHeight = 181;
constexpr int AnimationWidth = 444;
constexpr int AnimationHeight = 212;
constexpr int AnimationFrames = 24;
constexpr int AnimationFps = 12;

enum class TBanner { Zelvo, Generic, Orvane };

QImage DrawBanner(TBanner which);
QImage DrawWorkingBackground();
// Frame `index` of the progress animation (0 .. AnimationFrames - 1).
QImage DrawWorkingFrame(int index);
QByteArray EncodeJpeg(const QImage &image, int quality);
// The whole animation as an AVI file.
QByteArray BuildWorkingAnimation();

// Writes every file into `dir`; false with `error` on the first failure.
bool WriteAll(const QString &dir, QString &error);

} // namespace artwork
