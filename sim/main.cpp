// zelvo-unit-sim: plays a Zelvo unit and its server on a pseudo-terminal
// until interrupted.

#include "sim/UnitSimulator.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <pthread.h>
#include <string>

namespace
{

const char kUsage[] =
    "Usage: zelvo-unit-sim [options]\n"
    "\n"
    "Plays a Zelvo unit and its server on a pseudo-terminal until interrupted,\n"
    "and prints the pseudo-terminal's path.\n"
    "\n"
    "Options:\n"
    "  --model ostra|vello        unit model (default vello)\n"
    "  --version N                firmware version number (default 2.61)\n"
    "  --version-text TEXT        whole version reply text\n"
    "  --sf-step MS               delay between store-and-forward steps (default 1500)\n"
    "  --apply-reset MS           silence after applying settings (default 2000)\n"
    "  --settings-file FILE       keep the 313-byte settings block in FILE\n"
    "  --account EMAIL:PASSWORD   the account the server accepts\n"
    "  --link PATH                also make a symbolic link PATH to the slave\n"
    "  --fault SPEC               switch a fault on (repeatable), SPEC = "
    "NAME[=ARG][,once][,from=N]\n"
    "                             nack[=CMD] bad-checksum[=CMD] short-reply[=CMD] cut-reply[=CMD]\n"
    "                             garbage-before-reply[=CMD] silent silent-after=N drop-block=K\n"
    "                             drop-read-block=K sf-error[=STATE] sf-stuck=STATE old-firmware\n"
    "                             line-speed server-refuses[=MSG] server-bad-checksum[=MSG]\n"
    "                             late-reply=MS\n"
    "  --trace                    print each request and reply in hex\n"
    "  --help, -h                 show this help\n";

int ToInt(const std::string &s, bool *ok)
{
    char *end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    *ok = !s.empty() && *end == '\0' && v >= 0 && v <= 3600000;
    return int(v);
}

} // namespace

int main(int argc, char **argv)
{
    zsim::Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string *out) {
            if (i + 1 >= argc) {
                std::cerr << "zelvo-unit-sim: " << a << " needs a value\n" << kUsage;
                return false;
            }
            *out = argv[++i];
            return true;
        };
        std::string v;
        bool ok = true;
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (a == "--trace") {
            o.trace = true;
            o.traceOut = &std::cout;
        } else if (!value(&v)) {
            return 2;
        } else if (a == "--model") {
            ok = zsim::ParseModel(v, &o.model);
        } else if (a == "--version") {
            o.version = v;
        } else if (a == "--version-text") {
            o.versionText = v;
        } else if (a == "--sf-step") {
            o.sfStepMs = ToInt(v, &ok);
        } else if (a == "--apply-reset") {
            o.applyResetMs = ToInt(v, &ok);
        } else if (a == "--settings-file") {
            o.settingsFile = v;
        } else if (a == "--account") {
            ok = v.find(':') != std::string::npos;
            o.account = v;
        } else if (a == "--link") {
            o.linkPath = v;
        } else if (a == "--fault") {
            o.faults.push_back(v);
        } else {
            std::cerr << "zelvo-unit-sim: unknown option " << a << "\n" << kUsage;
            return 2;
        }
        if (!ok) {
            std::cerr << "zelvo-unit-sim: bad value for " << a << ": " << v << "\n";
            return 2;
        }
    }

    // Wait for the stop signals on this thread only; the serving thread inherits the mask.
    // A shell may start a background program with these ignored; an ignored
    // signal is dropped before sigwait could see it.
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        std::signal(s, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    zsim::UnitSimulator sim(o);
    std::string error;
    if (!sim.Start(&error)) {
        std::cerr << "zelvo-unit-sim: " << error << "\n";
        return 1;
    }
    std::cout << "zelvo-unit-sim: " << (o.model == zsim::Model::Ostra ? "OSTRA" : "VELLO")
              << " unit on " << sim.SlavePath();
    if (!o.linkPath.empty())
        std::cout << " (link " << o.linkPath << ")";
    std::cout << std::endl;

    int sig = 0;
    sigwait(&stop, &sig);
    sim.Stop();
    return 0;
}
