#pragma once

#include <QString>

#include <cstdint>
#include <functional>

class TListRow;

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
    TListRow *ListItem = nullptr;  // the row showing it, owned by its view
    int32_t ConfigurableType = -1; // -1: no configurable sub-type

    // Asks the user for a value (the window's input box): caption, prompt,
    // text in/out; false on Cancel.
    using TInputQuery =
        std::function<bool(const QString &caption, const QString &prompt, QString &text)>;
    // Told when the typed text is not a number.
    using TInvalidEntry = std::function<void(const QString &message)>;

    QString GetTypeText() const;
    QString GetValueText() const;
    // Fills the row with this record's texts and remembers it; null is ignored.
    void AttachListItem(TListRow *row);
    void UpdateValueText();
    // Lets the user change the value by I/O type: digital outputs and the
    // buzzer toggle; the numeric types ask `ask` (without one they stay as
    // they are) and tell `invalid` about a text that is no number (without
    // one nobody is told). True when Value was changed.
    bool ChangeValue(const TInputQuery &ask, const TInvalidEntry &invalid = {});
    // ChangeValue for the record of a row the user picked: a record shown in
    // no row, or in a row whose check box is cleared, keeps its value.
    bool EditValue(const TInputQuery &ask, const TInvalidEntry &invalid = {});

    // The record a list row carries, or null (the trailing empty row).
    static TIO *FromItem(const TListRow *row);
};

// The "IO Type" column text of a configurable sub-type.
QString ConfigurableTypeText(int32_t configurableType);

// Truncates toward zero to int32, saturating at its range; NaN gives 0.
int32_t TruncToInt32(long double v);
