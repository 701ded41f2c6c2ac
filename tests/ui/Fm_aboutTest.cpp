#include "ui/Fm_about.h"
#include "common/Version.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace
{

struct TRecordedEnvironment {
    int Errors = 0;
    std::vector<QUrl> Opened;

    TfmAbout::TEnvironment Make(const char *version)
    {
        TfmAbout::TEnvironment env;
        env.Version = version;
        env.ShowError = [this](const QWidget *, const QString &) { ++Errors; };
        env.OpenUrl = [this](const QUrl &url) { Opened.push_back(url); };
        return env;
    }
};

TEST(TfmAbout, BuildVersion_ShownAsFourNumbers)
{
    // The default environment takes the version compiled into the build.
    const TfmAbout::TEnvironment def = TfmAbout::DefaultEnvironment();
    ASSERT_NE(def.Version, nullptr);
    EXPECT_STREQ(def.Version, ZELVO_VERSION);

    TRecordedEnvironment rec;
    TfmAbout box(nullptr, rec.Make(ZELVO_VERSION));
    EXPECT_EQ(box.lblSoftwareVersion->text(), "Software Version " ZELVO_VERSION);
    EXPECT_EQ(rec.Errors, 0);
    EXPECT_EQ(box.lblTitle->text(), "Zelvo Marlune");
    EXPECT_EQ(box.windowTitle(), "About");

    TfmAbout partial(nullptr, rec.Make("2.7"));
    EXPECT_EQ(partial.lblSoftwareVersion->text(), "Software Version 2.7.0.0");
}

TEST(TfmAbout, NoOrUnreadableVersion_OneMessageThenFallbackText)
{
    for (const char *version : {static_cast<const char *>(nullptr), "", "1.2.3.4.5", "1.x.0.0",
                                "70000.0.0.0", "-1.0.0.0"}) {
        TRecordedEnvironment rec;
        TfmAbout box(nullptr, rec.Make(version));
        EXPECT_EQ(rec.Errors, 1) << (version ? version : "(none)");
        EXPECT_EQ(box.lblSoftwareVersion->text(),
                  "Software Version <could not access version info>")
            << (version ? version : "(none)");
    }
}

TEST(TfmAbout, WebLink_OpensTheWebHost_BoxStaysOpen_AddressesHidden)
{
    TRecordedEnvironment rec;
    TfmAbout box(nullptr, rec.Make("0.1.0.0"));
    box.open();
    EXPECT_EQ(box.lblURL1->text(), "https://www.zelvo.example/support");
    QTest::mouseClick(box.lblURL1, Qt::LeftButton);
    ASSERT_EQ(rec.Opened.size(), 1u);
    EXPECT_EQ(rec.Opened[0], QUrl("https://www.zelvo.example"));
    EXPECT_TRUE(box.isVisible());

    for (QLabel *hidden : {box.lblAddress1, box.lblAddress2, box.lblAddress3, box.lblAddress4,
                           box.lblAddress5, box.lblTelephone, box.lblURL2})
        EXPECT_FALSE(hidden->isVisible()) << hidden->objectName().toStdString();
    EXPECT_TRUE(box.Label3->isVisible());

    QTest::mouseClick(box.Button1, Qt::LeftButton);
    EXPECT_FALSE(box.isVisible());
}

} // namespace
