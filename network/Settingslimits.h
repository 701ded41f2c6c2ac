#pragma once

#include <QString>

#include <string_view>

// The three texts of a mobile connection, each stored in a fixed field of the
// unit's settings block.
enum TSettingsTextField {
    STF_NONE = 0,
    STF_APN,
    STF_USERNAME,
    STF_PASSWORD,
};

// Most characters the unit can hold in the field (its size less the ending
// zero); 0 for STF_NONE.
int SettingsTextLimit(TSettingsTextField field);

// The field's caption: "APN", "Username" or "Password"; empty for STF_NONE.
QString SettingsTextFieldName(TSettingsTextField field);

// The first of APN, user name and password (in that order) longer than its
// field, or STF_NONE when all fit. Lengths are in single-byte characters, as
// the texts are written to the unit.
TSettingsTextField FindTooLongSettingsText(std::string_view apn, std::string_view username,
                                           std::string_view password);

// The same for window texts, measured in their single-byte (Latin-1) form.
TSettingsTextField FindTooLongSettingsText(const QString &apn, const QString &username,
                                           const QString &password);

// "The APN is too long: the unit holds at most 124 characters." (likewise
// "user name" and "password"); empty for STF_NONE.
QString SettingsTextTooLongMessage(TSettingsTextField field);
