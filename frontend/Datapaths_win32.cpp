#include "frontend/Datapaths.h"

#include <QCoreApplication>
#include <QDir>

#include <windows.h>

namespace
{

const char kDataDirName[] = "zelvo-marlune";

} // namespace

bool CanAppendTo(const QString &path)
{
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE h = CreateFileW(name.c_str(), FILE_APPEND_DATA, share, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND)
        return false;
    // A new file is created only to see that it can be; the system removes
    // it again when it is closed.
    h = CreateFileW(name.c_str(), FILE_APPEND_DATA | DELETE, share, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

QString InstalledDataDir()
{
    // The installer and the portable zip put networks.xml and Images\ beside
    // the executable.
    if (QCoreApplication::instance() == nullptr)
        return QString();
    return QCoreApplication::applicationDirPath();
}

QString UserDataDir()
{
    const QString base = qEnvironmentVariable("LOCALAPPDATA");
    if (base.isEmpty())
        return QString();
    return QDir(QDir::fromNativeSeparators(base)).filePath(QLatin1String(kDataDirName));
}
