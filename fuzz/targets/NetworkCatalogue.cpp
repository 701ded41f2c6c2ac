// The network catalogue read from a networks.xml file holding the input.

#include <QString>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "network/Networksettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    static const std::string path =
        "/tmp/zelvo-fuzz-networks-" + std::to_string(::getpid()) + ".xml";
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    TNetworkSettings settings;
    QString error;
    settings.TryLoadCatalogue(QString::fromStdString(path), &error);
    // Loading again replaces both lists.
    settings.TryLoadCatalogue(QString::fromStdString(path), &error);
    return 0;
}
