#include "ui/Fm_logon.h"

#include "FakeMainWindow.h"

#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace
{

class TfmLogonTest : public ::testing::Test
{
protected:
    void Enter(const QString &email, const QString &password)
    {
        dialog.edEmailAddress->setText(email);
        dialog.edPassword->setText(password);
    }

    TFakeMainWindow main;
    TfmLogon dialog{main};
};

TEST_F(TfmLogonTest, Login_PostsEmailFieldAndMaskedDigest_PasswordIsMasked)
{
    dialog.show();
    EXPECT_EQ(dialog.edPassword->echoMode(), QLineEdit::Password);
    Enter("installer@zelvo.example", "commission");
    QTest::mouseClick(dialog.btnLogin, Qt::LeftButton);

    ASSERT_EQ(main.Requests.size(), 1u);
    const auto &r = main.Requests[0];
    ASSERT_EQ(r.Email.size(), 128);
    EXPECT_EQ(r.Email.left(23), QByteArray("installer@zelvo.example"));
    EXPECT_EQ(r.Email.mid(23), QByteArray(105, '\0'));
    QByteArray expected = QCryptographicHash::hash("commission", QCryptographicHash::Md5);
    for (char &c : expected)
        c = static_cast<char>(c & 0x7F);
    EXPECT_EQ(r.Digest, expected);
    EXPECT_FALSE(dialog.btnLogin->isEnabled());
    EXPECT_EQ(dialog.btnLogin->text(), "Logging in...");
}

TEST_F(TfmLogonTest, EmptyPassword_StillSendsSixteenByteDigestOfEmptyInput)
{
    Enter("a@b.c", "");
    dialog.btnLoginClick();
    ASSERT_EQ(main.Requests.size(), 1u);
    QByteArray expected = QCryptographicHash::hash("", QCryptographicHash::Md5);
    for (char &c : expected)
        c = static_cast<char>(c & 0x7F);
    ASSERT_EQ(main.Requests[0].Digest.size(), 16);
    EXPECT_EQ(main.Requests[0].Digest, expected);
}

TEST_F(TfmLogonTest, EmailOf128Bytes_FillsFieldWithoutTerminator_129Refused)
{
    const QString exact = QString(116, 'x') + "@zelvo.co.uk";
    ASSERT_EQ(exact.size(), 128);
    Enter(exact, "pw");
    dialog.btnLoginClick();
    ASSERT_EQ(main.Requests.size(), 1u);
    EXPECT_EQ(main.Requests[0].Email, exact.toLatin1());

    dialog.LogonFailed();
    Enter(exact + "k", "pw");
    dialog.btnLoginClick();
    EXPECT_EQ(main.Requests.size(), 1u) << "an over-long address was posted";
    EXPECT_TRUE(dialog.lblUserMessage->text().contains("longer than 128"));
    EXPECT_TRUE(dialog.btnLogin->isEnabled());
    EXPECT_EQ(dialog.btnLogin->text(), "Login");
}

TEST_F(TfmLogonTest, Failure_ShowsRedMessageAndLogin_SurvivingAReopen)
{
    dialog.show();
    EXPECT_TRUE(dialog.Image_Orvane->isVisible());
    EXPECT_FALSE(dialog.Image1->isVisible());
    EXPECT_FALSE(dialog.Image_generic->isVisible());
    EXPECT_FALSE(dialog.Image_Orvane->pixmap().isNull());
    EXPECT_EQ(dialog.Image_Orvane->pixmap().size(), QSize(444, 71));

    Enter("installer@zelvo.example", "wrong");
    dialog.btnLoginClick();
    dialog.LogonFailed();
    EXPECT_EQ(dialog.lblUserMessage->text(), "Logon failed.");
    EXPECT_EQ(dialog.lblUserMessage->palette().color(QPalette::WindowText), QColor(Qt::red));
    dialog.hide();
    dialog.show();
    EXPECT_EQ(dialog.lblUserMessage->text(), "Logon failed.");
    EXPECT_TRUE(dialog.btnLogin->isEnabled());
    EXPECT_EQ(dialog.btnLogin->text(), "Login");
    EXPECT_TRUE(dialog.isVisible());

    // The next attempt clears it.
    dialog.btnLoginClick();
    EXPECT_TRUE(dialog.lblUserMessage->text().isEmpty());
}

TEST_F(TfmLogonTest, EnterInPasswordBox_StartsLogon_SuccessCloses)
{
    dialog.open();
    Enter("installer@zelvo.example", "commission");
    dialog.edPassword->setFocus();
    QTest::keyClick(dialog.edPassword, Qt::Key_Return);
    ASSERT_EQ(main.Requests.size(), 1u);
    EXPECT_EQ(dialog.btnLogin->text(), "Logging in...");

    dialog.LogonSucceeded();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(TfmLogonTest, EnterInTheEmailBox_LogsInOnce_FieldsNamedByTheirLabels)
{
    EXPECT_EQ(dialog.edEmailAddress->accessibleName(), "Email Address");
    EXPECT_EQ(dialog.edPassword->accessibleName(), "Password");
    dialog.show();
    Enter("installer@zelvo.example", "secret");
    dialog.edEmailAddress->setFocus();
    QTest::keyClick(dialog.edEmailAddress, Qt::Key_Return);
    ASSERT_EQ(main.Requests.size(), 1u);
    EXPECT_EQ(dialog.btnLogin->text(), "Logging in...");

    // Enter in the password box while a logon is under way starts no second one.
    dialog.LogonFailed();
    dialog.edPassword->setFocus();
    QTest::keyClick(dialog.edPassword, Qt::Key_Return);
    EXPECT_EQ(main.Requests.size(), 2u);
}

} // namespace
