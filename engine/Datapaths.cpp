#include "Datapaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace
{

const char kLogName[] = "Log.txt";
const char kDataDirName[] = "zelvo-marlune";

// True when path can be appended to, tried with the real open call, because
// permission bits alone say nothing for root or a read-only file system.
bool CanAppend(const QString &path)
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

} // namespace

QString InstalledDataDir()
{
    // Without an application object (some tests) there is no executable path.
    if (QCoreApplication::instance() == nullptr)
        return QString();
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/") +
                           QLatin1String(kDataDirName));
}

QString FindDataFile(const QString &relativePath, const QString &workDir,
                     const QString &installedDir)
{
    const QString inWorkDir = QDir(workDir).filePath(relativePath);
    if (QFileInfo::exists(inWorkDir))
        return inWorkDir;
    if (!installedDir.isEmpty()) {
        const QString installed = QDir(installedDir).filePath(relativePath);
        if (QFileInfo::exists(installed))
            return installed;
    }
    return inWorkDir;
}

QString DataFilePath(const QString &relativePath)
{
    return FindDataFile(relativePath, QDir::currentPath(), InstalledDataDir());
}

QString ChooseLogFilePath(const QString &workDir, const QString &userDataDir)
{
    const QString inWorkDir = QDir(workDir).filePath(QLatin1String(kLogName));
    if (CanAppend(inWorkDir) || userDataDir.isEmpty())
        return inWorkDir;
    QDir().mkpath(userDataDir);
    return QDir(userDataDir).filePath(QLatin1String(kLogName));
}

QString UserDataDir()
{
    // One directory for both front ends, whatever their application names.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        return QString();
    return QDir(base).filePath(QLatin1String(kDataDirName));
}

QString LogFilePath()
{
    return ChooseLogFilePath(QDir::currentPath(), UserDataDir());
}
