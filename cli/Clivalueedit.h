#pragma once

#include <QString>

#include <cstdint>

class TIO;

// The window's double-click editing rules for one I/O of the unit, with the
// typed text given up front instead of asked for in an input box.
struct TValueEdit {
    bool Ok = false;
    std::int32_t Value = 0; // what goes to the unit (the edited value, truncated)
    QString Error;          // why the text or the I/O was refused
};

// True for the I/O types a double-click can change: digital and relay
// outputs, the buzzer, variables, timers, counters, PWM and analogue outputs.
bool IsEditableIOType(int ioType);

// A digital output's or the buzzer's new state from on, off, 1, 0, true,
// false, toggle (as the double-click does) or the I/O's own state texts.
// False when the text is none of them.
bool ParseDigitalState(const QString &text, long double current, const QString &onText,
                       const QString &offText, std::int32_t &state);

// Applies the rule of the I/O's type to `text`. Numbers go through the I/O's
// own edit (its question, the window's input box, answered with `text`), so
// the scaling and limits are exactly the window's. On success the I/O holds
// the new value.
TValueEdit EditIOValue(TIO &io, const QString &text);
