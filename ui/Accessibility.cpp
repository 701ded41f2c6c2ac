#include "ui/Accessibility.h"

#include "engine/Signalstrengthrefresh.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QKeySequence>
#include <QPointer>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>
#include <vector>

namespace
{

// The unit's byte for "no signal".
constexpr int kNoSignal = 99;

// A caption without its mnemonic markers ("&&" stays one '&').
QString WithoutMarkers(const QString &caption)
{
    QString out;
    out.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption.at(i) != QLatin1Char('&')) {
            out += caption.at(i);
        } else if (i + 1 < caption.size() && caption.at(i + 1) == QLatin1Char('&')) {
            out += QLatin1Char('&');
            ++i;
        }
    }
    return out;
}

// ---- the signal bar ----

class TSignalBarAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit TSignalBarAccessible(TSignalBar *bar)
        : QAccessibleWidget(bar, QAccessible::ProgressBar)
    {
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return QString::number(Bar()->Level());
        if (t == QAccessible::Description && !Bar()->ReadingNote().isEmpty())
            return Bar()->ReadingNote();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        return s;
    }

    QVariant currentValue() const override { return Bar()->Level(); }
    // The meter only shows what the unit reports.
    void setCurrentValue(const QVariant &) override {}
    QVariant maximumValue() const override { return TSignalBar::kMaximumLevel; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    TSignalBar *Bar() const { return static_cast<TSignalBar *>(widget()); }
};

// ---- tab bars without their hidden tabs ----

class TTabAccessible : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    TTabAccessible(QTabBar *bar, int index) : FBar(bar), FIndex(index) {}

    int Index() const { return FIndex; }

    bool isValid() const override { return FBar && FIndex < FBar->count(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override
    {
        QAccessibleInterface *p = parent();
        return p ? p->window() : nullptr;
    }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override
    {
        return FBar ? QAccessible::queryAccessibleInterface(FBar.data()) : nullptr;
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }

    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return QString();
        switch (t) {
        case QAccessible::Name:
            return WithoutMarkers(FBar->tabText(FIndex));
        case QAccessible::Accelerator:
            return QKeySequence::mnemonic(FBar->tabText(FIndex)).toString(QKeySequence::NativeText);
        case QAccessible::Description:
            return FBar->tabToolTip(FIndex);
        case QAccessible::Help:
            return FBar->tabWhatsThis(FIndex);
        default:
            return QString();
        }
    }
    void setText(QAccessible::Text, const QString &) override {}

    QRect rect() const override
    {
        if (!isValid())
            return QRect();
        const QRect r = FBar->tabRect(FIndex);
        return QRect(FBar->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return QAccessible::PageTab; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.selectable = true;
        s.focusable = true;
        s.selected = FIndex == FBar->currentIndex();
        s.focused = s.selected && FBar->hasFocus();
        s.disabled = !FBar->isEnabled() || !FBar->isTabEnabled(FIndex);
        s.invisible = !FBar->isVisible();
        return s;
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ActionInterface)
            return static_cast<QAccessibleActionInterface *>(this);
        return nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &name) override
    {
        if (isValid() && name == pressAction() && FBar->isTabEnabled(FIndex))
            FBar->setCurrentIndex(FIndex);
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QPointer<QTabBar> FBar;
    int FIndex;
};

// Its children: the visible tabs in order, then the scroll buttons. QTabBar's
// own events name a tab by its index, which is its place here as long as
// hidden tabs come last (as the window's only hidden page does).
class TTabBarAccessible : public QAccessibleWidget
{
public:
    explicit TTabBarAccessible(QTabBar *bar) : QAccessibleWidget(bar, QAccessible::PageTabList) {}

    ~TTabBarAccessible() override
    {
        for (QAccessible::Id id : std::as_const(FTabs))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override
    {
        return static_cast<int>(VisibleTabs().size() + Buttons().size());
    }

    QAccessibleInterface *child(int index) const override
    {
        const std::vector<int> tabs = VisibleTabs();
        if (index < 0)
            return nullptr;
        if (index < static_cast<int>(tabs.size()))
            return Tab(tabs[static_cast<std::size_t>(index)]);
        const QList<QAbstractButton *> buttons = Buttons();
        const int b = index - static_cast<int>(tabs.size());
        return b < buttons.size() ? QAccessible::queryAccessibleInterface(buttons.at(b)) : nullptr;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (child == nullptr)
            return -1;
        const std::vector<int> tabs = VisibleTabs();
        if (QObject *o = child->object()) {
            const qsizetype b = Buttons().indexOf(qobject_cast<QAbstractButton *>(o));
            return b < 0 ? -1 : static_cast<int>(tabs.size()) + static_cast<int>(b);
        }
        for (auto it = FTabs.cbegin(); it != FTabs.cend(); ++it) {
            if (QAccessible::accessibleInterface(it.value()) != child)
                continue;
            const auto at = std::find(tabs.begin(), tabs.end(), it.key());
            return at == tabs.end() ? -1 : static_cast<int>(at - tabs.begin());
        }
        return -1;
    }

    QAccessibleInterface *childAt(int x, int y) const override
    {
        for (int i = 0; i < childCount(); ++i)
            if (QAccessibleInterface *c = child(i); c && c->rect().contains(x, y))
                return c;
        return nullptr;
    }

    QAccessibleInterface *focusChild() const override
    {
        if (!Bar()->hasFocus())
            return nullptr;
        const std::vector<int> tabs = VisibleTabs();
        const auto at = std::find(tabs.begin(), tabs.end(), Bar()->currentIndex());
        return at == tabs.end() ? nullptr : Tab(*at);
    }

    QString text(QAccessible::Text t) const override
    {
        const int current = Bar()->currentIndex();
        if (t == QAccessible::Name && current >= 0)
            return WithoutMarkers(Bar()->tabText(current));
        return QAccessibleWidget::text(t);
    }

private:
    QTabBar *Bar() const { return static_cast<QTabBar *>(widget()); }

    std::vector<int> VisibleTabs() const
    {
        std::vector<int> tabs;
        for (int i = 0; i < Bar()->count(); ++i)
            if (Bar()->isTabVisible(i))
                tabs.push_back(i);
        return tabs;
    }

    QList<QAbstractButton *> Buttons() const
    {
        return Bar()->findChildren<QAbstractButton *>(QString(), Qt::FindDirectChildrenOnly);
    }

    QAccessibleInterface *Tab(int index) const
    {
        if (const QAccessible::Id id = FTabs.value(index))
            return QAccessible::accessibleInterface(id);
        auto *tab = new TTabAccessible(Bar(), index);
        FTabs.insert(index, QAccessible::registerAccessibleInterface(tab));
        return tab;
    }

    // Tab index -> the interface made for it.
    mutable QHash<int, QAccessible::Id> FTabs;
};

// A tab widget's page stack: only the pages whose tab shows.
class TPageStackAccessible : public QAccessibleWidget
{
public:
    explicit TPageStackAccessible(QStackedWidget *stack)
        : QAccessibleWidget(stack, QAccessible::LayeredPane)
    {
    }

    int childCount() const override { return static_cast<int>(Pages().size()); }

    QAccessibleInterface *child(int index) const override
    {
        const QList<QWidget *> pages = Pages();
        return index >= 0 && index < pages.size()
                   ? QAccessible::queryAccessibleInterface(pages.at(index))
                   : nullptr;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (child == nullptr)
            return -1;
        return static_cast<int>(Pages().indexOf(qobject_cast<QWidget *>(child->object())));
    }

    QAccessibleInterface *childAt(int x, int y) const override
    {
        QWidget *current = Stack()->currentWidget();
        if (current == nullptr || !Pages().contains(current))
            return nullptr;
        QAccessibleInterface *page = QAccessible::queryAccessibleInterface(current);
        return page && page->rect().contains(x, y) ? page : nullptr;
    }

private:
    QStackedWidget *Stack() const { return static_cast<QStackedWidget *>(widget()); }

    QList<QWidget *> Pages() const
    {
        const auto *tabs = qobject_cast<const QTabWidget *>(Stack()->parentWidget());
        QList<QWidget *> pages;
        for (int i = 0; i < Stack()->count(); ++i) {
            QWidget *page = Stack()->widget(i);
            const int tab = tabs ? tabs->indexOf(page) : -1;
            if (tab < 0 || tabs->isTabVisible(tab))
                pages << page;
        }
        return pages;
    }
};

QAccessibleInterface *Factory(const QString &key, QObject *object)
{
    if (key == QLatin1String("TSignalBar")) {
        if (auto *bar = qobject_cast<TSignalBar *>(object))
            return new TSignalBarAccessible(bar);
    } else if (key == QLatin1String("QTabBar")) {
        if (auto *bar = qobject_cast<QTabBar *>(object))
            return new TTabBarAccessible(bar);
    } else if (key == QLatin1String("QStackedWidget")) {
        auto *stack = qobject_cast<QStackedWidget *>(object);
        if (stack && qobject_cast<QTabWidget *>(stack->parentWidget()))
            return new TPageStackAccessible(stack);
    }
    return nullptr;
}

} // namespace

TSignalBar::TSignalBar(QWidget *parent) : QWidget(parent)
{
    InstallAccessibleFactories();
}

void TSignalBar::SetReading(int shown, std::uint8_t reported)
{
    shown = std::clamp(shown, 0, kMaximumLevel);
    const bool levelChanged = shown != FLevel;
    const bool noteChanged = reported != FReported;
    FLevel = shown;
    FReported = reported;
    if (levelChanged) {
        QAccessibleValueChangeEvent event(this, FLevel);
        QAccessible::updateAccessibility(&event);
    }
    if (noteChanged) {
        QAccessibleEvent event(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&event);
    }
}

QString TSignalBar::ReadingNote() const
{
    if (FReported <= kMaximumLevel)
        return QString();
    switch (FReported) {
    case kNoSignal:
        return QStringLiteral("No signal");
    case TSignalStrengthRefresh::LevelReadFailed:
        return QStringLiteral("The signal level could not be read");
    case TSignalStrengthRefresh::LevelNoData:
        return QStringLiteral("The unit sent no signal level");
    default:
        return QStringLiteral("Not a signal level (%1)").arg(FReported);
    }
}

void InstallAccessibleFactories()
{
    static const bool installed = [] {
        QAccessible::installFactory(&Factory);
        return true;
    }();
    (void)installed;
}
