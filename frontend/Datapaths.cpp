#include "frontend/Datapaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace
{

const char kLogName[] = "Log.txt";

} // namespace

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
    if (CanAppendTo(inWorkDir) || userDataDir.isEmpty())
        return inWorkDir;
    QDir().mkpath(userDataDir);
    return QDir(userDataDir).filePath(QLatin1String(kLogName));
}

QString LogFilePath()
{
    return ChooseLogFilePath(QDir::currentPath(), UserDataDir());
}
