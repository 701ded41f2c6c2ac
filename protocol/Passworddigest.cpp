#include "protocol/Passworddigest.h"

#include <QByteArray>
#include <QCryptographicHash>

std::array<uint8_t, 16> PasswordDigest(const std::string &password)
{
    const QByteArray md5 = QCryptographicHash::hash(
        QByteArray(password.data(), static_cast<qsizetype>(password.size())),
        QCryptographicHash::Md5);
    std::array<uint8_t, 16> digest{};
    for (std::size_t i = 0; i < digest.size() && i < static_cast<std::size_t>(md5.size()); ++i)
        digest[i] = static_cast<uint8_t>(md5[static_cast<qsizetype>(i)]) & 0x7F;
    return digest;
}
