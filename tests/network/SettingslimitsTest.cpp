#include "network/Settingslimits.h"

#include <gtest/gtest.h>

#include <string>

TEST(FindTooLongSettingsText, EachFieldAtAndPastItsLimit)
{
    struct Row {
        std::size_t apn, username, password;
        TSettingsTextField result;
    };
    const Row rows[] = {
        {0, 0, 0, STF_NONE},
        {124, 44, 19, STF_NONE},
        {125, 0, 0, STF_APN},
        {0, 45, 0, STF_USERNAME},
        {0, 0, 20, STF_PASSWORD},
        // Several too long: the first in the window's order is named.
        {125, 45, 20, STF_APN},
        {10, 45, 20, STF_USERNAME},
    };
    for (const Row &row : rows) {
        const std::string apn(row.apn, 'a'), user(row.username, 'u'), pass(row.password, 'p');
        EXPECT_EQ(FindTooLongSettingsText(apn, user, pass), row.result)
            << row.apn << "/" << row.username << "/" << row.password;
        EXPECT_EQ(FindTooLongSettingsText(QString::fromStdString(apn), QString::fromStdString(user),
                                          QString::fromStdString(pass)),
                  row.result);
    }
}

TEST(FindTooLongSettingsText, WindowTexts_CountSingleByteCharacters)
{
    // 19 accented characters are 19 bytes on the unit, though 38 in UTF-8.
    const QString password(19, QChar(0xE9));
    EXPECT_EQ(FindTooLongSettingsText(QString(), QString(), password), STF_NONE);
    EXPECT_EQ(FindTooLongSettingsText(QString(), QString(), password + "x"), STF_PASSWORD);
    EXPECT_EQ(SettingsTextTooLongMessage(STF_PASSWORD),
              "The password is too long: the unit holds at most 19 characters.");
}
