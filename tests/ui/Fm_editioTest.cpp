#include "ui/Fm_editio.h"

#include "FakeMainWindow.h"
#include "link/Zelvocommsinterface.h"
#include "model/Availableinputtype.h"
#include "model/Availableinputtypes.h"
#include "model/Editiorules.h"
#include "model/Serversideio.h"
#include "model/Uomdescription.h"
#include "model/Uomdescriptions.h"
#include "tests/support/Wirerecord.h"
#include "ui/Dialogs.h"
#include "unit/Zelvo.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace
{

// Input types: 1 digital (category 1, one UOM), 2 current and 3 voltage
// (categories 2 and 3, several UOMs); 9 is not selectable.
class TfmEditIOTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        AddType(1, 1, "Digital input");
        AddType(2, 2, "4-20 mA current");
        AddType(3, 3, "0-10 V voltage");
        AddType(9, 2, "Counter", false);
        AddUom(9, 1, "On/Off");
        AddUom(11, 2, "Bar");
        AddUom(12, 2, "kPa");
        AddUom(21, 3, "Volts");
        AddUom(22, 3, "Millivolts");
        dialog.SetErrorSink([this](const QString &text) { errors << text; });
    }

    void AddType(int id, int category, const char *name, bool selectable = true)
    {
        auto t = std::make_unique<TAvailableInputType>(&unit.AvailableInputTypes());
        t->InputTypeID = static_cast<uint8_t>(id);
        t->UOMCategory = static_cast<uint8_t>(category);
        t->Selectable = selectable;
        t->Name = QString::fromLatin1(name);
        unit.AvailableInputTypes().Add(std::move(t));
    }
    void AddUom(int id, int category, const char *name)
    {
        auto u = std::make_unique<TUOMDescription>(&unit.UOMDescriptions());
        u->UOMID = id;
        u->Category = category;
        u->Name = QString::fromLatin1(name);
        unit.UOMDescriptions().Add(std::move(u));
    }

    // A record as the server sends it.
    static std::unique_ptr<TServerSideIO> Record(const char *tag, int type, int uom,
                                                 const char *name = "Outlet pressure")
    {
        const zelvo::test::TWireRecord raw = zelvo::test::TWireRecord().IOConfig(
            42, tag, type, static_cast<uint32_t>(uom), 0, name, ' ');
        auto r = std::make_unique<TServerSideIO>();
        EXPECT_EQ(r->Populate(raw.Data(), raw.Size()), raw.Size());
        return r;
    }

    // Picks the type list's entry named `name` the way the user does.
    void PickType(const QString &name)
    {
        const int index = dialog.cbIOType->findText(name);
        ASSERT_GE(index, 0) << name.toStdString();
        dialog.cbIOType->setFocus();
        while (dialog.cbIOType->currentIndex() < index)
            QTest::keyClick(dialog.cbIOType, Qt::Key_Down);
        while (dialog.cbIOType->currentIndex() > index)
            QTest::keyClick(dialog.cbIOType, Qt::Key_Up);
    }

    TZelvoCommsInterface comms;
    TZelvo unit{comms, nullptr};
    TFakeMainWindow main;
    TfmEditIO dialog{main};
    QStringList errors;
};

TEST_F(TfmEditIOTest, Open_ShowsRecordAndItsChoices)
{
    auto r = Record("AIN01", 2, 12);
    r->SetLoggingMode(LOG_LOG_ONLY);
    ASSERT_TRUE(dialog.OpenEditor(r.get(), &unit));
    EXPECT_EQ(dialog.lblTag->text(), r->Tag());
    EXPECT_TRUE(dialog.lblTag->text().startsWith("AIN01"));
    EXPECT_EQ(dialog.edFriendlyName->text(), "Outlet pressure");
    EXPECT_EQ(dialog.cbIOType->currentText(), "4-20 mA current");
    EXPECT_TRUE(dialog.cbIOType->isEnabled());
    EXPECT_EQ(dialog.cbUOM->count(), 2);
    EXPECT_EQ(dialog.cbUOM->currentText(), "kPa");
    EXPECT_TRUE(dialog.cbUOM->isEnabled());
    EXPECT_EQ(dialog.LoggingGroup->checkedId(), LOG_LOG_ONLY);
}

QStringList Texts(const QComboBox *combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

TEST_F(TfmEditIOTest, Reopen_ListsOnlyTheNewRecordsChoices)
{
    auto r = Record("AIN01", 2, 12);
    auto counter = Record("AIN02", 9, 11);
    const QStringList selectable = {"Digital input", "4-20 mA current", "0-10 V voltage"};
    ASSERT_TRUE(dialog.OpenEditor(r.get(), &unit));
    EXPECT_EQ(Texts(dialog.cbIOType), selectable);
    EXPECT_EQ(Texts(dialog.cbUOM), QStringList({"Bar", "kPa"}));

    // A type that is not selectable offers only itself, with its category's UOMs.
    ASSERT_TRUE(dialog.OpenEditor(counter.get(), &unit));
    EXPECT_EQ(Texts(dialog.cbIOType), QStringList{"Counter"});
    EXPECT_EQ(dialog.cbIOType->currentIndex(), 0);
    EXPECT_EQ(dialog.cbUOM->currentText(), "Bar");

    ASSERT_TRUE(dialog.OpenEditor(r.get(), &unit));
    EXPECT_EQ(Texts(dialog.cbIOType), selectable);
    EXPECT_EQ(dialog.cbIOType->currentText(), "4-20 mA current");
    // Every entry writes its own type, and the first UOM of that type.
    const int expected[][2] = {{1, editio::SingleUomId}, {2, 11}, {3, 21}};
    for (int i = 0; i < 3; ++i) {
        dialog.cbIOType->setCurrentIndex(i);
        EXPECT_EQ(r->InputTypeID(), expected[i][0]) << i;
        EXPECT_EQ(r->UOMID(), expected[i][1]) << i;
    }
}

TEST_F(TfmEditIOTest, TagWithoutIN_DisablesTypeList)
{
    auto r = Record("DOUT1", 1, 9);
    ASSERT_TRUE(dialog.OpenEditor(r.get(), &unit));
    EXPECT_FALSE(dialog.cbIOType->isEnabled());
    // A lower-case "in" is not an input either.
    auto lower = Record("Din1", 1, 9);
    ASSERT_TRUE(dialog.OpenEditor(lower.get(), &unit));
    EXPECT_FALSE(dialog.cbIOType->isEnabled());
}

TEST_F(TfmEditIOTest, TypeWithSingleUom_GivesUomId5AndDisabledList)
{
    auto r = Record("AIN01", 2, 12);
    ASSERT_TRUE(dialog.OpenEditor(r.get(), &unit));
    PickType("Digital input");
    EXPECT_EQ(r->InputTypeID(), 1);
    EXPECT_EQ(r->UOMID(), editio::SingleUomId);
    EXPECT_EQ(dialog.cbUOM->count(), 1);
    EXPECT_FALSE(dialog.cbUOM->isEnabled());
}

TEST_F(TfmEditIOTest, TypeWithSeveralUoms_SelectsAndWritesTheFirst)
{
    auto r = Record("AIN01", 1, 5);
    ASSERT_TRUE(dialog.OpenEditor(r.get(), &unit));
    EXPECT_FALSE(dialog.cbUOM->isEnabled());
    PickType("0-10 V voltage");
    EXPECT_EQ(r->InputTypeID(), 3);
    EXPECT_TRUE(dialog.cbUOM->isEnabled());
    EXPECT_EQ(dialog.cbUOM->currentIndex(), 0);
    EXPECT_EQ(r->UOMID(), 21);

    // Picking another UOM writes it at once.
    dialog.cbUOM->setFocus();
    QTest::keyClick(dialog.cbUOM, Qt::Key_Down);
    EXPECT_EQ(r->UOMID(), 22);
    EXPECT_FALSE(r->Changed());
}

TEST_F(TfmEditIOTest, CancelAndCloseButton_RestoreTypeAndUom_RecordUnmarked)
{
    auto r = Record("AIN01", 2, 12);
    r->SetLoggingMode(LOG_DISPLAY_ONLY);
    ASSERT_TRUE(dialog.OpenEditor(r.get(), &unit));
    dialog.open();
    PickType("0-10 V voltage");
    dialog.edFriendlyName->setText("Changed name");
    dialog.LoggingGroup->button(LOG_LOG_ONLY)->setChecked(true);
    ASSERT_EQ(r->InputTypeID(), 3);
    QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(r->InputTypeID(), 2);
    EXPECT_EQ(r->UOMID(), 12);
    EXPECT_EQ(r->FriendlyName(), "Outlet pressure");
    EXPECT_EQ(r->LoggingMode(), LOG_DISPLAY_ONLY);
    EXPECT_FALSE(r->Changed());

    // The window's close button is Cancel too.
    ASSERT_TRUE(dialog.OpenEditor(r.get(), &unit));
    dialog.open();
    PickType("Digital input");
    ASSERT_EQ(r->UOMID(), 5);
    dialog.close();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(r->InputTypeID(), 2);
    EXPECT_EQ(r->UOMID(), 12);
    EXPECT_FALSE(r->Changed());
}

TEST_F(TfmEditIOTest, SaveWithLogAndDisplay_WritesMode2NameAndMarksRecord)
{
    auto r = Record("AIN01", 2, 12);
    ASSERT_TRUE(dialog.OpenEditor(r.get(), &unit));
    dialog.open();
    PickType("0-10 V voltage");
    dialog.edFriendlyName->setText("Tank level");
    QTest::mouseClick(dialog.LoggingGroup->button(LOG_LOG_AND_DISPLAY), Qt::LeftButton);
    QTest::mouseClick(dialog.btnSave, Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(r->LoggingMode(), LOG_LOG_AND_DISPLAY);
    EXPECT_EQ(r->FriendlyName(), "Tank level");
    EXPECT_EQ(r->InputTypeID(), 3);
    EXPECT_EQ(r->UOMID(), 21);
    EXPECT_TRUE(r->Changed());
}

TEST_F(TfmEditIOTest, FriendlyName_HoldsAtMost64Characters)
{
    auto r = Record("AIN01", 2, 12);
    ASSERT_TRUE(dialog.OpenEditor(r.get(), &unit));
    dialog.edFriendlyName->clear();
    dialog.edFriendlyName->setFocus();
    QTest::keyClicks(dialog.edFriendlyName, QString(70, 'n'));
    EXPECT_EQ(dialog.edFriendlyName->text().size(), 64);
    dialog.btnSaveClick();
    EXPECT_EQ(r->FriendlyName(), QString(64, 'n'));
}

TEST_F(TfmEditIOTest, NameLongerThanTheField_KeptWholeUnlessTheUserEditsIt)
{
    const QByteArray longName(70, 'w');
    auto r = Record("AIN01", 2, 12, longName.constData());
    ASSERT_TRUE(dialog.OpenEditor(r.get(), &unit));
    EXPECT_EQ(dialog.edFriendlyName->text().size(), 64);
    // Only the logging changes: the unit's name goes back whole.
    QTest::mouseClick(dialog.LoggingGroup->button(LOG_NONE), Qt::LeftButton);
    QTest::mouseClick(dialog.btnSave, Qt::LeftButton);
    EXPECT_EQ(r->FriendlyName(), QString::fromLatin1(longName));
    EXPECT_EQ(r->LoggingMode(), 0);

    // A name the user types replaces it, at most 64 characters.
    ASSERT_TRUE(dialog.OpenEditor(r.get(), &unit));
    dialog.edFriendlyName->setFocus();
    dialog.edFriendlyName->selectAll();
    QTest::keyClicks(dialog.edFriendlyName, QStringLiteral("Tank"));
    QTest::mouseClick(dialog.btnSave, Qt::LeftButton);
    EXPECT_EQ(r->FriendlyName(), QStringLiteral("Tank"));
}

TEST_F(TfmEditIOTest, UnknownInputType_ShowsMessage_DialogNotShown)
{
    auto r = Record("AIN01", 77, 12);
    EXPECT_FALSE(dialog.OpenEditor(r.get(), &unit));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0], "GetAvailableInputType: Could not find InputType 77");

    // Through the window's seam: returns at once, nothing shown, record as it was.
    TDialogs dialogs(main, QStringLiteral("/nonexistent.avi"));
    dialogs.EditDialog()->SetErrorSink([this](const QString &text) { errors << text; });
    dialogs.EditIO(r.get(), &unit);
    EXPECT_EQ(errors.size(), 2);
    EXPECT_FALSE(dialogs.EditDialog()->isVisible());
    EXPECT_EQ(r->InputTypeID(), 77);
    EXPECT_FALSE(r->Changed());
}

TEST_F(TfmEditIOTest, OpeningIsNoPick_ASelectionWithoutTheMouseIs_FieldsNamedByLabels)
{
    EXPECT_EQ(dialog.edFriendlyName->accessibleName(), "Friendly Name");
    EXPECT_EQ(dialog.cbIOType->accessibleName(), "I/O Type");
    EXPECT_EQ(dialog.cbUOM->accessibleName(), "UOM");

    // The record's UOM is the second of its category: filling the lists
    // selects it and writes nothing.
    auto r = Record("AIN01", 2, 12);
    ASSERT_TRUE(dialog.OpenEditor(r.get(), &unit));
    EXPECT_EQ(r->InputTypeID(), 2);
    EXPECT_EQ(r->UOMID(), 12);

    // A selection made by an assistive technology (or code) is a pick.
    dialog.cbIOType->setCurrentIndex(dialog.cbIOType->findText("0-10 V voltage"));
    EXPECT_EQ(r->InputTypeID(), 3);
    EXPECT_EQ(r->UOMID(), 21);
    dialog.cbUOM->setCurrentIndex(1);
    EXPECT_EQ(r->UOMID(), 22);
    dialog.btnCancelClick();
    EXPECT_EQ(r->InputTypeID(), 2);
    EXPECT_EQ(r->UOMID(), 12);
}

} // namespace
