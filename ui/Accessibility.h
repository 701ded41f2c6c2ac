#pragma once

// What assistive technology is told about the window beyond Qt's own
// interfaces: the signal meter's bar as a value, and tab pages whose tab is
// hidden left out of the tree.

#include <QString>
#include <QWidget>

#include <cstdint>

// The signal meter's black bar. It holds the level it draws (0..31) and the
// byte the unit reported, and offers both to assistive technology as a value
// (0 to 31) with a description of readings that are no level.
class TSignalBar : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kMaximumLevel = 31;

    explicit TSignalBar(QWidget *parent = nullptr);

    // shown: the level the bar draws (0..31); reported: the unit's byte
    // (99 no signal, 150 failed read, 255 read without data).
    void SetReading(int shown, std::uint8_t reported);
    int Level() const { return FLevel; }
    // Empty for a true level; otherwise what the reported byte means.
    QString ReadingNote() const;

private:
    int FLevel = 0;
    int FReported = -1;
};

// Installs, once per process, the interfaces above for every TSignalBar, every
// QTabBar (hidden tabs are not its children) and every page stack of a
// QTabWidget (pages whose tab is hidden are not its children). Call before the
// widgets are first asked for (Qt keeps the first interface made for a widget).
void InstallAccessibleFactories();
