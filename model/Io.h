#pragma once

#include <QString>

#include <cstdint>
#include <functional>

class QTreeWidgetItem;

// One I/O of the unit itself: its identity from the fixed per-model table,
// its current value and the display texts of its unit of measure.
class TIO
{
public:
    TIO(uint8_t number, const QString &name, const QString &tag, int32_t ioType);

    QString Name;
    QString Tag;
    QString UnitsText;
    QString OnText = QStringLiteral("On");
    QString OffText = QStringLiteral("Off");
    bool IsDigital = false; // type 12 only: On/Off text instead of a number
    int32_t IOType;
    uint8_t Number;
    long double Value = 0;
    QTreeWidgetItem *ListItem = nullptr;
    int32_t ConfigurableType = -1; // -1: no configurable sub-type

    QString GetTypeText() const;
    QString GetValueText() const;
    void AttachListItem(QTreeWidgetItem *row);
    void UpdateValueText();
    // Lets the user change the value (toggle or input box by I/O type);
    // true when Value was changed.
    bool EditValue();

    // The record a list row carries, or null (the trailing empty row).
    static TIO *FromItem(const QTreeWidgetItem *row);

    // Modal input box: caption, prompt, text in/out; false on Cancel.
    using TInputQuery =
        std::function<bool(const QString &caption, const QString &prompt, QString &text)>;
    // Replaces the input box (tests answer it); returns the previous one.
    // An empty function restores the standard dialog.
    static TInputQuery SetInputQuery(TInputQuery query);
    // Told when the typed text is not a number; by default the message is
    // queued on the error manager.
    using TInvalidEntry = std::function<void(const QString &message)>;
    static TInvalidEntry SetInvalidEntryHandler(TInvalidEntry handler);
};

// The "IO Type" column text of a configurable sub-type.
QString ConfigurableTypeText(int32_t configurableType);

// Truncates toward zero to int32, saturating at its range; NaN gives 0.
int32_t TruncToInt32(long double v);
