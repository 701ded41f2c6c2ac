#pragma once

// Looks at a shown window as a keyboard user and a reader would: the order
// Tab visits its controls, the order they are drawn in, and whether every
// text gets the room it needs.

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QLabel>
#include <QLayout>
#include <QRadioButton>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace uiinspect
{

inline std::string Describe(const QWidget *w)
{
    if (w == nullptr)
        return "(none)";
    QString text = w->accessibleName();
    if (const auto *b = qobject_cast<const QAbstractButton *>(w))
        text = b->text();
    else if (const auto *l = qobject_cast<const QLabel *>(w))
        text = l->text();
    const QPoint at = w->mapTo(w->window(), QPoint(0, 0));
    return QStringLiteral("%1 '%2' %3 at %4,%5")
        .arg(QString::fromLatin1(w->metaObject()->className()), text, w->objectName())
        .arg(at.x())
        .arg(at.y())
        .toStdString();
}

// Shows `window` and makes it the active one, so keys reach its focus widget.
inline bool ShowActive(QWidget *window)
{
    window->show();
    QApplication::setActiveWindow(window);
    return QTest::qWaitForWindowActive(window);
}

// True when `a` is drawn before `b` in reading order: their containers below
// the nearest common ancestor are compared, the one entirely above first,
// otherwise the one further left (so a group box in a left column comes,
// whole, before the one beside it).
inline bool DrawnBefore(const QWidget *a, const QWidget *b)
{
    std::vector<const QWidget *> upA;
    for (const QWidget *w = a; w != nullptr; w = w->parentWidget())
        upA.push_back(w);
    const QWidget *underB = nullptr;
    for (const QWidget *w = b; w != nullptr; w = w->parentWidget()) {
        const auto at = std::find(upA.begin(), upA.end(), w);
        if (at != upA.end()) {
            // One holds the other: the holder first.
            if (at == upA.begin())
                return true;
            if (underB == nullptr)
                return false;
            const QRect ra = (*(at - 1))->geometry();
            const QRect rb = underB->geometry();
            if (ra.bottom() < rb.top())
                return true;
            if (rb.bottom() < ra.top())
                return false;
            if (ra.left() != rb.left())
                return ra.left() < rb.left();
            return ra.top() < rb.top();
        }
        underB = w;
    }
    return false;
}

// The radio group a button belongs to (its button group, or its parent for
// auto-exclusive siblings); Tab visits one button of each group.
inline const QObject *RadioGroup(const QWidget *w)
{
    const auto *radio = qobject_cast<const QRadioButton *>(w);
    if (radio == nullptr)
        return nullptr;
    if (radio->group() != nullptr)
        return radio->group();
    return radio->autoExclusive() ? radio->parent() : nullptr;
}

// Every control of `window` that Tab should reach now: shown, enabled, taking
// tab focus; one slot per radio group (its first member).
inline std::vector<QWidget *> TabStops(QWidget *window)
{
    std::vector<QWidget *> stops;
    std::vector<const QObject *> groups;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (w->window() != window || !w->isVisible() || !w->isEnabled() ||
            (w->focusPolicy() & Qt::TabFocus) != Qt::TabFocus || w->focusProxy() != nullptr)
            continue;
        if (const QObject *g = RadioGroup(w)) {
            if (std::find(groups.begin(), groups.end(), g) != groups.end())
                continue;
            groups.push_back(g);
        }
        stops.push_back(w);
    }
    return stops;
}

// The widgets focused by pressing `key` (Tab or Backtab) from `start` until
// focus comes back to it (at most 60 presses).
inline std::vector<QWidget *> FocusWalk(QWidget *start, Qt::Key key = Qt::Key_Tab)
{
    std::vector<QWidget *> seen;
    start->setFocus(Qt::TabFocusReason);
    QWidget *current = QApplication::focusWidget();
    for (int i = 0; i < 60 && current != nullptr; ++i) {
        seen.push_back(current);
        QTest::keyClick(current, key, key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
        current = QApplication::focusWidget();
        if (current == seen.front())
            break;
    }
    return seen;
}

// Tab from the first control drawn visits every control once, in reading
// order, and comes back to it; Shift+Tab walks the same round backwards.
inline void ExpectTabFollowsLayout(QWidget *window, const std::string &what)
{
    SCOPED_TRACE(what);
    std::vector<QWidget *> stops = TabStops(window);
    ASSERT_FALSE(stops.empty());
    QWidget *first = stops.front();
    for (QWidget *w : stops)
        if (DrawnBefore(w, first))
            first = w;
    const std::vector<QWidget *> walk = FocusWalk(first);
    std::string order;
    for (const QWidget *w : walk)
        order += "\n  " + Describe(w);
    ASSERT_EQ(QApplication::focusWidget(), first) << "Tab did not come round:" << order;
    for (std::size_t i = 0; i + 1 < walk.size(); ++i)
        EXPECT_TRUE(DrawnBefore(walk[i], walk[i + 1]))
            << Describe(walk[i + 1]) << " is reached after " << Describe(walk[i]) << order;
    // Each stop once; a radio group through any one of its buttons.
    std::vector<const QObject *> places;
    for (const QWidget *w : walk)
        places.push_back(RadioGroup(w) ? RadioGroup(w) : w);
    for (const QWidget *w : stops) {
        const QObject *slot = RadioGroup(w) ? RadioGroup(w) : w;
        EXPECT_EQ(std::count(places.begin(), places.end(), slot), 1)
            << Describe(w) << " is not reached once by Tab" << order;
    }
    EXPECT_EQ(walk.size(), stops.size()) << order;

    std::vector<QWidget *> back = FocusWalk(first, Qt::Key_Backtab);
    ASSERT_EQ(back.size(), walk.size()) << what;
    for (std::size_t i = 1; i < back.size(); ++i)
        EXPECT_EQ(back[i], walk[walk.size() - i]) << "Shift+Tab step " << i;
}

// Every shown label and button of `window` gets the room its text needs:
// its size hint's width (a word-wrapped label: the height its width needs)
// and height, inside the window.
inline void ExpectTextsWhole(QWidget *window, const std::string &what)
{
    SCOPED_TRACE(what);
    int looked = 0;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (w->window() != window || !w->isVisible())
            continue;
        const auto *label = qobject_cast<const QLabel *>(w);
        const auto *button = qobject_cast<const QAbstractButton *>(w);
        if ((label == nullptr && button == nullptr) ||
            (label ? label->text() : button->text()).isEmpty())
            continue;
        ++looked;
        const QSize hint = w->sizeHint();
        const bool wraps = label != nullptr && label->wordWrap();
        if (wraps)
            EXPECT_GE(w->height(), label->heightForWidth(w->width())) << Describe(w);
        else
            EXPECT_GE(w->width(), hint.width()) << Describe(w);
        EXPECT_GE(w->height(), wraps ? 0 : hint.height()) << Describe(w);
        const QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
        EXPECT_TRUE(window->rect().contains(r)) << Describe(w) << " reaches out of the window";
    }
    EXPECT_GT(looked, 0);
    if (window->layout() != nullptr) {
        const QSize need = window->layout()->minimumSize();
        EXPECT_LE(need.width(), window->width()) << "the layout is squeezed";
        EXPECT_LE(need.height(), window->height()) << "the layout is squeezed";
    }
}

} // namespace uiinspect
