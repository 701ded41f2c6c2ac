#include "cli/Clipassword.h"

#include "cli/Cliconsole.h"

#include <cstdio>
#include <string>

namespace
{

bool ReadLine(std::string &line)
{
    line.clear();
    bool any = false;
    for (;;) {
        const int c = std::fgetc(stdin);
        if (c == EOF)
            return any;
        any = true;
        if (c == '\n')
            break;
        line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

} // namespace

bool ReadPassword(const QString &prompt, std::string &password)
{
    std::string line;
    if (!IsTerminal(stdin)) {
        if (!ReadLine(line))
            return false;
        password = line;
        return true;
    }

    std::fputs(prompt.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    bool ok = false;
    {
        const TEchoOff quiet;
        ok = ReadLine(line);
    }
    if (!ok)
        return false;
    password = line;
    return true;
}
