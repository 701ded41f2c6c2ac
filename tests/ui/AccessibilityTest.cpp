// What assistive technology finds in the window, through Qt's accessibility
// interfaces, offscreen: the pages without the hidden one, and the signal
// meter as a value.

#include "ui/Fm_main.h"

#include "common/Errormanager.h"
#include "tests/support/TestUtil.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <utility>

namespace
{

class WindowAccessibility : public ::testing::Test
{
protected:
    void SetUp() override
    {
        form = std::make_unique<TForm1>(
            errorLog, TPacing::Shrunk(25),
            QString::fromStdString(zelvo::test::SourcePath("data/networks.xml")),
            [](const QString &, int) {});
    }
    void TearDown() override { form.reset(); }

    // Every interface under `root`, as a reader walks the tree.
    static void Walk(QAccessibleInterface *root,
                     const std::function<void(QAccessibleInterface *)> &visit, int depth = 0)
    {
        ASSERT_NE(root, nullptr);
        ASSERT_LT(depth, 30);
        visit(root);
        for (int i = 0; i < root->childCount(); ++i) {
            QAccessibleInterface *child = root->child(i);
            ASSERT_NE(child, nullptr) << i;
            // The page control, its stack and tab bar: each child knows its
            // place and its parent.
            if (depth <= 1) {
                EXPECT_EQ(root->indexOfChild(child), i)
                    << root->text(QAccessible::Name).toStdString();
                EXPECT_EQ(child->parent(), root);
            }
            Walk(child, visit, depth + 1);
        }
    }

    TErrorManager errorLog{zelvo::test::FreshLogPath()};
    std::unique_ptr<TForm1> form;
};

TEST_F(WindowAccessibility, HiddenSetOutputsPage_NeitherInTheTreeNorAmongTheTabs)
{
    form->show();
    QAccessibleInterface *pages = QAccessible::queryAccessibleInterface(form->PageControl1);
    std::set<QObject *> objects;
    QStringList names;
    Walk(pages, [&](QAccessibleInterface *i) {
        if (i->object() != nullptr)
            objects.insert(i->object());
        names << i->text(QAccessible::Name);
    });
    EXPECT_EQ(objects.count(form->TabSheet3), 0u);
    for (QObject *hidden : form->TabSheet3->findChildren<QObject *>())
        EXPECT_EQ(objects.count(hidden), 0u) << hidden->metaObject()->className();
    EXPECT_FALSE(names.contains(QStringLiteral("Set Outputs")));
    EXPECT_FALSE(names.contains(QStringLiteral("Set Output")));
    // The six pages that show are all there.
    for (QObject *page : {form->tabBasicInfo, form->tabIOConfiguration, form->tabLiveReadings,
                          form->tabExternalDevices, form->tabSnapshot, form->TabSheet1})
        EXPECT_EQ(objects.count(page), 1u);
    EXPECT_EQ(objects.count(static_cast<QObject *>(form->btnGetSnapshot)), 1u);

    // The tab list: the six captions in order, then its scroll buttons.
    QAccessibleInterface *bar = QAccessible::queryAccessibleInterface(form->PageControl1->tabBar());
    ASSERT_EQ(bar->role(), QAccessible::PageTabList);
    QStringList tabs;
    for (int i = 0; i < bar->childCount(); ++i)
        if (bar->child(i)->role() == QAccessible::PageTab)
            tabs << bar->child(i)->text(QAccessible::Name);
    EXPECT_EQ(tabs,
              (QStringList{"Connections Settings", "IO Configuration", "Live Values (Standard IO)",
                           "Live Values (External IO)", "Snapshot", "Advanced"}));
    EXPECT_EQ(bar->text(QAccessible::Name), "Connections Settings");

    // A tab says which page is up and its press brings its page forward.
    QAccessibleInterface *advanced = bar->child(5);
    EXPECT_FALSE(advanced->state().selected);
    EXPECT_TRUE(bar->child(0)->state().selected);
    EXPECT_FALSE(advanced->rect().isEmpty());
    EXPECT_EQ(bar->childAt(advanced->rect().center().x(), advanced->rect().center().y()), advanced);
    ASSERT_NE(advanced->actionInterface(), nullptr);
    advanced->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(form->PageControl1->currentIndex(), 5);
    EXPECT_TRUE(advanced->state().selected);
    EXPECT_EQ(bar->text(QAccessible::Name), "Advanced");
    // A page that is off keeps its tab, which still brings it forward.
    EXPECT_FALSE(form->tabLiveReadings->isEnabled());
    EXPECT_FALSE(bar->child(2)->state().disabled);
}

TEST_F(WindowAccessibility, SignalMeter_ItsLevelAsAValueOf0To31_ReadingsThatAreNoLevelSaySo)
{
    QAccessibleInterface *meter = QAccessible::queryAccessibleInterface(form->shapeSignal);
    ASSERT_NE(meter, nullptr);
    EXPECT_EQ(meter->role(), QAccessible::ProgressBar);
    EXPECT_TRUE(meter->state().readOnly);
    QAccessibleValueInterface *value = meter->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->minimumValue().toInt(), 0);
    EXPECT_EQ(value->maximumValue().toInt(), 31);
    EXPECT_EQ(value->minimumStepSize().toInt(), 1);
    EXPECT_EQ(value->currentValue().toInt(), 0);

    form->ShowSignalLevel(17);
    EXPECT_EQ(value->currentValue().toInt(), 17);
    EXPECT_EQ(meter->text(QAccessible::Name), "Signal level 17 of 31, Good");
    EXPECT_EQ(meter->text(QAccessible::Value), "17");
    EXPECT_TRUE(meter->text(QAccessible::Description).isEmpty());
    // Only the unit sets it.
    value->setCurrentValue(5);
    EXPECT_EQ(value->currentValue().toInt(), 17);
    form->ShowSignalLevel(31);
    EXPECT_EQ(value->currentValue().toInt(), 31);
    EXPECT_EQ(form->shapeSignal->height(), 217);

    // No signal, a failed read, a read without data, a byte that is no
    // level: the empty bar's 0, and the description says which.
    const std::pair<int, const char *> odd[] = {{99, "No signal"},
                                                {150, "The signal level could not be read"},
                                                {255, "The unit sent no signal level"},
                                                {40, "Not a signal level (40)"}};
    for (const auto &[byte, note] : odd) {
        form->ShowSignalLevel(static_cast<std::uint8_t>(byte));
        EXPECT_EQ(value->currentValue().toInt(), 0) << byte;
        EXPECT_EQ(meter->text(QAccessible::Name), "Signal level 0 of 31, Poor") << byte;
        EXPECT_EQ(meter->text(QAccessible::Description), QString::fromLatin1(note)) << byte;
        EXPECT_EQ(form->shapeSignal->height(), 0) << byte;
    }
    form->ShowSignalLevel(6);
    EXPECT_EQ(value->currentValue().toInt(), 6);
    EXPECT_TRUE(meter->text(QAccessible::Description).isEmpty());
}

} // namespace
