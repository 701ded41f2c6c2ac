#include "frontend/Datapaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace
{

const char kDataDirName[] = "zelvo-marlune";

} // namespace

bool CanAppendTo(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    int fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    if (errno != ENOENT)
        return false;
    // A new file is created only to see that it can be, and removed again.
    fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(name.constData());
    return true;
}

QString InstalledDataDir()
{
    // Without an application object (some tests) there is no executable path.
    if (QCoreApplication::instance() == nullptr)
        return QString();
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/") +
                           QLatin1String(kDataDirName));
}

QString UserDataDir()
{
    // One directory for both front ends, whatever their application names.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        return QString();
    return QDir(base).filePath(QLatin1String(kDataDirName));
}
