#include "network/Settingslimits.h"

#include "protocol/Commands.h"

int SettingsTextLimit(TSettingsTextField field)
{
    switch (field) {
    case STF_APN:
        return static_cast<int>(kMaxAPNLength);
    case STF_USERNAME:
        return static_cast<int>(kMaxUserNameLength);
    case STF_PASSWORD:
        return static_cast<int>(kMaxPasswordLength);
    case STF_NONE:
        break;
    }
    return 0;
}

QString SettingsTextFieldName(TSettingsTextField field)
{
    switch (field) {
    case STF_APN:
        return QStringLiteral("APN");
    case STF_USERNAME:
        return QStringLiteral("Username");
    case STF_PASSWORD:
        return QStringLiteral("Password");
    case STF_NONE:
        break;
    }
    return QString();
}

TSettingsTextField FindTooLongSettingsText(std::string_view apn, std::string_view username,
                                           std::string_view password)
{
    if (apn.size() > kMaxAPNLength)
        return STF_APN;
    if (username.size() > kMaxUserNameLength)
        return STF_USERNAME;
    if (password.size() > kMaxPasswordLength)
        return STF_PASSWORD;
    return STF_NONE;
}

TSettingsTextField FindTooLongSettingsText(const QString &apn, const QString &username,
                                           const QString &password)
{
    const QByteArray a = apn.toLatin1();
    const QByteArray u = username.toLatin1();
    const QByteArray p = password.toLatin1();
    return FindTooLongSettingsText(std::string_view(a.constData(), a.size()),
                                   std::string_view(u.constData(), u.size()),
                                   std::string_view(p.constData(), p.size()));
}

QString SettingsTextTooLongMessage(TSettingsTextField field)
{
    if (field == STF_NONE)
        return QString();
    static const char *const phrases[] = {"", "APN", "user name", "password"};
    return QStringLiteral("The %1 is too long: the unit holds at most %2 characters.")
        .arg(QLatin1String(phrases[field]))
        .arg(SettingsTextLimit(field));
}
