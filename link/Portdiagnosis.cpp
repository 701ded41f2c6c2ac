#include "link/Portdiagnosis.h"

#include "link/Ftd2xx.h"
#include "link/Portdevice.h"
#include "link/Portmap.h"
#include "link/Usbserialinterface.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace
{

struct TRoots {
    std::string Dev = "/dev";
    std::string SysClassTty = "/sys/class/tty";
    std::string Proc = "/proc";
};

std::mutex gRootsLock;
TRoots gRoots;

TRoots Roots()
{
    std::lock_guard<std::mutex> lock(gRootsLock);
    return gRoots;
}

std::vector<std::string> DirEntries(const std::string &dir)
{
    std::vector<std::string> names;
    DIR *d = ::opendir(dir.c_str());
    if (d == nullptr)
        return names;
    while (const dirent *e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

bool Exists(const std::string &path)
{
    struct stat st {
    };
    return ::lstat(path.c_str(), &st) == 0;
}

std::string FirstLine(const std::string &path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

bool AllDigits(const std::string &s)
{
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Joined(const std::vector<std::string> &items)
{
    std::string out;
    for (const std::string &s : items) {
        if (!out.empty())
            out += ", ";
        out += s;
    }
    return out;
}

// The process holding an flock on the device: /proc/locks names it by the
// file's device numbers (hex) and inode.
long HolderFromLocks(const TRoots &roots, const struct stat &st)
{
    char key[64];
    std::snprintf(key, sizeof key, "%02x:%02x:%lu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long>(st.st_ino));
    std::ifstream in(roots.Proc + "/locks");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, file;
        fields >> number >> kind;
        if (kind == "->") // a waiter, not the holder
            continue;
        fields >> mode >> access >> pid >> file;
        if (file == key && AllDigits(pid))
            return std::stol(pid);
    }
    return 0;
}

// A UUCP-style lock file (/var/lock/LCK..ttyS0) holding the owner's PID.
long HolderFromLockFile(const std::string &path)
{
    const std::string base = path.substr(path.find_last_of('/') + 1);
    for (const char *dir : {"/var/lock", "/run/lock"}) {
        std::string text = FirstLine(std::string(dir) + "/LCK.." + base);
        text.erase(0, text.find_first_not_of(" \t"));
        text.erase(text.find_last_not_of(" \t\r") + 1);
        if (AllDigits(text))
            return std::stol(text);
    }
    return 0;
}

// Any other process with the device open, found through /proc/PID/fd.
long HolderFromOpenFiles(const TRoots &roots, const struct stat &st)
{
    const long self = static_cast<long>(::getpid());
    for (const std::string &pid : DirEntries(roots.Proc)) {
        if (!AllDigits(pid) || std::stol(pid) == self)
            continue;
        const std::string fdDir = roots.Proc + "/" + pid + "/fd";
        for (const std::string &fd : DirEntries(fdDir)) {
            struct stat target {
            };
            if (::stat((fdDir + "/" + fd).c_str(), &target) == 0 && target.st_rdev == st.st_rdev &&
                target.st_ino == st.st_ino && target.st_dev == st.st_dev)
                return std::stol(pid);
        }
    }
    return 0;
}

std::string GroupName(gid_t gid)
{
    if (const group *g = ::getgrgid(gid))
        return g->gr_name;
    return std::to_string(gid);
}

TPortDiagnosis Diagnosis(TPortProblem problem, const std::string &path, const std::string &line)
{
    TPortDiagnosis d;
    d.Problem = problem;
    d.Path = path;
    d.Line = line;
    return d;
}

std::string MissingLine(const std::string &path)
{
    const std::vector<std::string> present = ListSerialDevices();
    return path + ": the device does not exist. Serial devices present: " +
           (present.empty() ? std::string("none") : Joined(present)) + ".";
}

std::string HeldLine(const std::string &path, long pid)
{
    std::string line = path + ": held by another program";
    if (pid > 0) {
        line += " (PID " + std::to_string(pid);
        const std::string name = FirstLine(Roots().Proc + "/" + std::to_string(pid) + "/comm");
        if (!name.empty())
            line += ", " + name;
        line += ")";
    }
    return line + "; close it and connect again.";
}

} // namespace

std::vector<std::string> ListSerialDevices(std::size_t limit)
{
    const TRoots roots = Roots();
    std::vector<std::string> found;
    for (const std::string &name : DirEntries(roots.SysClassTty)) {
        // Only ttys backed by hardware have a device link; a legacy ttyS
        // without a UART behind it reports type 0.
        if (!Exists(roots.SysClassTty + "/" + name + "/device"))
            continue;
        if (name.rfind("ttyS", 0) == 0 &&
            FirstLine(roots.SysClassTty + "/" + name + "/type") == "0")
            continue;
        const std::string dev = roots.Dev + "/" + name;
        if (Exists(dev))
            found.push_back(dev);
        if (found.size() >= limit)
            break;
    }
    return found;
}

void SetPortDiagnosisRoots(const std::string &devRoot, const std::string &sysClassTty,
                           const std::string &procRoot)
{
    std::lock_guard<std::mutex> lock(gRootsLock);
    gRoots = TRoots{devRoot, sysClassTty, procRoot};
}

void ResetPortDiagnosisRoots()
{
    std::lock_guard<std::mutex> lock(gRootsLock);
    gRoots = TRoots{};
}

TPortDiagnosis DiagnosePortPath(const std::string &path)
{
    if (path.empty())
        return Diagnosis(TPortProblem::Missing, path, MissingLine("(no device path)"));
    struct stat st {
    };
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == EACCES)
            return Diagnosis(TPortProblem::NoPermission, path,
                             path + ": permission denied on the way to the device.");
        return Diagnosis(TPortProblem::Missing, path, MissingLine(path));
    }
    if (S_ISDIR(st.st_mode))
        return Diagnosis(TPortProblem::NotDevice, path,
                         path + ": is a directory, not a serial device.");
    if (!S_ISCHR(st.st_mode))
        return Diagnosis(TPortProblem::NotDevice, path,
                         path +
                             (S_ISREG(st.st_mode) ? ": is a regular file" : ": is not a device") +
                             ", not a serial device.");

    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == EACCES || err == EPERM) {
            // Joining the device's group helps only when that group may read
            // and write it, and nobody should be told to join root's group.
            const bool groupMayOpen =
                st.st_gid != 0 && (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
            if (!groupMayOpen)
                return Diagnosis(TPortProblem::NoPermission, path,
                                 path + ": permission denied; only its owner may open it. Ask "
                                        "the administrator for a udev rule that grants access.");
            return Diagnosis(TPortProblem::NoPermission, path,
                             path + ": permission denied. Add your user to the '" +
                                 GroupName(st.st_gid) + "' group (sudo usermod -aG " +
                                 GroupName(st.st_gid) + " $USER), then log in again.");
        }
        if (err == EBUSY) {
            TPortDiagnosis d = Diagnosis(TPortProblem::Held, path, "");
            d.HolderPid = HolderFromLockFile(path);
            if (d.HolderPid == 0)
                d.HolderPid = HolderFromOpenFiles(Roots(), st);
            d.Line = HeldLine(path, d.HolderPid);
            return d;
        }
        if (err == ENXIO || err == ENODEV || err == ENOENT)
            return Diagnosis(TPortProblem::Missing, path, MissingLine(path));
        return Diagnosis(TPortProblem::Other, path,
                         path + ": cannot be opened (" + std::strerror(err) + ").");
    }
    termios state{};
    if (!::isatty(fd) || ::tcgetattr(fd, &state) != 0) {
        ::close(fd);
        return Diagnosis(TPortProblem::NotSerial, path,
                         path + ": is not a serial device (it takes no line settings).");
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        TPortDiagnosis d = Diagnosis(TPortProblem::Held, path, "");
        d.HolderPid = HolderFromLocks(Roots(), st);
        if (d.HolderPid == 0)
            d.HolderPid = HolderFromLockFile(path);
        if (d.HolderPid == 0)
            d.HolderPid = HolderFromOpenFiles(Roots(), st);
        d.Line = HeldLine(path, d.HolderPid);
        return d;
    }
    ::flock(fd, LOCK_UN);
    ::close(fd);
    return Diagnosis(TPortProblem::None, path,
                     path + ": opens now; it may have been busy for a moment, or the line "
                            "settings were refused.");
}

TPortDiagnosis DiagnoseLinkOpen(const TUSBSerialInterface &link)
{
    if (!link.IsUsbMode()) {
        const std::string name = "COM" + std::to_string(link.ComPort());
        if (const auto pipe = PipeForPortName(name))
            return DiagnosePipePort(name, pipe);
        return DiagnosePortPath(ComPortPath(link.ComPort()));
    }
    for (const std::string &wanted : {link.BrandName(), std::string("Zelvo")})
        if (const auto pipe = wanted.empty() ? nullptr : PipeForBridge(wanted))
            return DiagnosePipePort("USB bridge \"" + wanted + "\"", pipe);

    const std::vector<Ftd2xx::TBridge> bridges = Ftd2xx::ListBridges();
    for (const std::string &wanted : {link.BrandName(), std::string("Zelvo")})
        for (const Ftd2xx::TBridge &b : bridges)
            if (!wanted.empty() && b.Description == wanted)
                return DiagnosePortPath(b.DevicePath);

    std::vector<std::string> seen;
    for (const Ftd2xx::TBridge &b : bridges)
        seen.push_back("\"" + b.Description + "\" at " + b.DevicePath);
    TPortDiagnosis d;
    d.Problem = TPortProblem::NoBridge;
    const std::string wanted = link.BrandName().empty() || link.BrandName() == "Zelvo"
                                   ? std::string("\"Zelvo\"")
                                   : "\"" + link.BrandName() + "\" or \"Zelvo\"";
    d.Line = "No USB bridge described " + wanted + " is attached. Bridges present: " +
             (seen.empty() ? std::string("none") : Joined(seen)) + ".";
    return d;
}
