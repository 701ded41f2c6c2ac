#include "tests/support/TestUtil.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>

#include <cstdlib>
#include <memory>
#include <vector>

namespace zelvo::test
{

bool WaitFor(const std::function<bool()> &cond, std::chrono::milliseconds deadline)
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!cond()) {
        if (std::chrono::steady_clock::now() >= end)
            return cond();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(500);
    }
    return true;
}

std::string SourcePath(const std::string &relative)
{
    const char *root = std::getenv("ZELVO_SOURCE_DIR");
    return std::string(root ? root : ".") + "/" + relative;
}

std::string TempDir()
{
    static std::vector<std::unique_ptr<QTemporaryDir>> dirs;
    dirs.push_back(std::make_unique<QTemporaryDir>());
    return dirs.back()->path().toStdString();
}

QString FreshLogPath()
{
    return QString::fromStdString(TempDir() + "/Log.txt");
}

} // namespace zelvo::test
