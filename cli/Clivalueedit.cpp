#include "cli/Clivalueedit.h"

#include "model/Io.h"

namespace
{

enum : int {
    IO_DIGITAL_OUTPUT = 1,
    IO_BUZZER = 2,
    IO_ANALOG_OUTPUT = 4,
    IO_VARIABLE = 5,
    IO_TIMER = 6,
    IO_COUNTER = 7,
    IO_PWM = 11,
    IO_TIMER_10MS = 14,
};

TValueEdit Refuse(const QString &why)
{
    TValueEdit e;
    e.Error = why;
    return e;
}

} // namespace

bool IsEditableIOType(int ioType)
{
    switch (ioType) {
    case IO_DIGITAL_OUTPUT:
    case IO_BUZZER:
    case IO_ANALOG_OUTPUT:
    case IO_VARIABLE:
    case IO_TIMER:
    case IO_COUNTER:
    case IO_PWM:
    case IO_TIMER_10MS:
        return true;
    default:
        return false;
    }
}

bool ParseDigitalState(const QString &text, long double current, const QString &onText,
                       const QString &offText, std::int32_t &state)
{
    const QString l = text.trimmed().toLower();
    if (l == "toggle") {
        state = current == 0 ? 1 : 0;
        return true;
    }
    if (l == "on" || l == "1" || l == "true" ||
        (!onText.trimmed().isEmpty() && l == onText.trimmed().toLower())) {
        state = 1;
        return true;
    }
    if (l == "off" || l == "0" || l == "false" ||
        (!offText.trimmed().isEmpty() && l == offText.trimmed().toLower())) {
        state = 0;
        return true;
    }
    return false;
}

TValueEdit EditIOValue(TIO &io, const QString &text)
{
    if (!IsEditableIOType(io.IOType))
        return Refuse(QStringLiteral("%1 %2 (%3) cannot be set; only outputs, variables, timers "
                                     "and counters can")
                          .arg(io.Tag, io.Name, io.GetTypeText()));

    if (io.IOType == IO_DIGITAL_OUTPUT || io.IOType == IO_BUZZER) {
        std::int32_t state = 0;
        if (!ParseDigitalState(text, io.Value, io.OnText, io.OffText, state))
            return Refuse(
                QStringLiteral("\"%1\" is not a state; use on, off, 1, 0 or toggle").arg(text));
        io.Value = state;
        TValueEdit e;
        e.Ok = true;
        e.Value = state;
        return e;
    }

    // The I/O's own edit, its question answered with the text; a complaint
    // about the text is kept instead of being queued for a message box.
    QString complaint;
    const auto answer = [&text](const QString &, const QString &, QString &value) {
        value = text.trimmed();
        return true;
    };
    const auto keep = [&complaint](const QString &message) { complaint = message; };

    const bool changed = io.ChangeValue(answer, keep);

    if (!changed)
        return Refuse(complaint.isEmpty()
                          ? QStringLiteral("\"%1\" was not accepted for %2").arg(text, io.Tag)
                          : complaint);
    TValueEdit e;
    e.Ok = true;
    e.Value = TruncToInt32(io.Value);
    return e;
}
