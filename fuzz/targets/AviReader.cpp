// The progress animation's RIFF/AVI reader: any file in Images/ may be
// damaged or replaced. Whatever it accepts must hold within its stated
// limits and hand out only decoded frames of the stated size.

#include <QByteArray>
#include <QGuiApplication>

#include <cstdlib>

#include "ui/Avireader.h"

namespace
{

// JPEG frames are decoded through Qt's image plug-ins, which want an
// application object; one is made on the first input.
void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "fuzz_avi_reader";
    static char *argv[] = {name, nullptr};
    static QGuiApplication *app = nullptr;
    if (!app) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = new QGuiApplication(argc, argv);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    EnsureApplication();
    TAviReader reader;
    const bool ok = reader.Parse(QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                         static_cast<qsizetype>(size)));
    if (!ok) {
        if (reader.FrameCount() != 0 || reader.Error().isEmpty())
            std::abort(); // a refusal keeps nothing and says why
        return 0;
    }
    if (reader.FrameCount() < 1 || reader.FrameCount() > TAviReader::MaxFrames ||
        reader.FrameIntervalUs() == 0)
        std::abort();
    const QSize frameSize = reader.Size();
    if (frameSize.width() < 1 || frameSize.height() < 1 ||
        frameSize.width() > TAviReader::MaxDimension ||
        frameSize.height() > TAviReader::MaxDimension)
        std::abort();
    for (int i = 0; i < reader.FrameCount(); ++i)
        if (reader.Frame(i).isNull() || reader.Frame(i).width() > TAviReader::MaxDimension ||
            reader.Frame(i).height() > TAviReader::MaxDimension)
            std::abort();
    return 0;
}
