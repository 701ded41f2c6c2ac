#include "model/Io.h"

#include "model/Listview.h"

#include <QLocale>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <vector>

namespace
{

// Columns of the live-values list view.
constexpr int kColumnType = 2;
constexpr int kColumnValue = 3;

bool AskValue(const TIO::TInputQuery &ask, const QString &caption, const QString &prompt,
              QString &text)
{
    return ask && ask(caption, prompt, text);
}

void ReportInvalid(const TIO::TInvalidEntry &invalid, const QString &message)
{
    if (invalid)
        invalid(message);
}

// printf into a string of any length: "%Lf" of a huge extended value has
// thousands of digits.
// mingw's C99 printf (the Windows build) is checked as GNU printf, so %Lf is
// known there too.
#ifdef __MINGW_PRINTF_FORMAT
#define ZELVO_PRINTF_FORMAT __MINGW_PRINTF_FORMAT
#else
#define ZELVO_PRINTF_FORMAT printf
#endif
__attribute__((format(ZELVO_PRINTF_FORMAT, 1, 2))) QString Format(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n < 0) {
        va_end(args);
        return QString();
    }
    std::vector<char> buffer(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    return QString::fromLatin1(buffer.data(), n);
}

// Rounds to single precision; values beyond its range become infinite
// instead of being undefined.
float ToSingle(long double v)
{
    constexpr long double kMax = std::numeric_limits<float>::max();
    if (v > kMax)
        return std::numeric_limits<float>::infinity();
    if (v < -kMax)
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(v);
}

// Truncates toward zero, saturating at the type's range; NaN gives 0.
template <typename Int> Int TruncSaturated(long double v)
{
    if (std::isnan(v))
        return 0;
    const long double t = std::trunc(v);
    if (t >= static_cast<long double>(std::numeric_limits<Int>::max()))
        return std::numeric_limits<Int>::max();
    if (t <= static_cast<long double>(std::numeric_limits<Int>::min()))
        return std::numeric_limits<Int>::min();
    return static_cast<Int>(t);
}

bool ReadInt32(const QString &text, int32_t &value)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    if (ok)
        value = v;
    return ok;
}

bool ReadFloat(const QString &text, double &value)
{
    bool ok = false;
    const double v = QLocale::c().toDouble(text.trimmed(), &ok);
    if (ok)
        value = v;
    return ok;
}

} // namespace

int32_t TruncToInt32(long double v)
{
    return TruncSaturated<int32_t>(v);
}

TIO::TIO(uint8_t number, const QString &name, const QString &tag, int32_t ioType)
    : Name(name), Tag(tag), IOType(ioType), Number(number)
{
}

QString ConfigurableTypeText(int32_t configurableType)
{
    switch (configurableType) {
    case 0:
        return QStringLiteral("Conf. 0-5V");
    case 1:
        return QStringLiteral("Conf. 0-10V");
    case 2:
        return QStringLiteral("Conf. 4-20mA");
    case 3:
        return QStringLiteral("Conf. 10K Therm.");
    case 4:
        return QStringLiteral("Conf. Digital High");
    case 5:
        return QStringLiteral("Conf. Digital Low");
    default:
        return QStringLiteral("Configurable");
    }
}

QString TIO::GetTypeText() const
{
    switch (IOType) {
    case 0:
        return QStringLiteral("Digital Input");
    case 1:
        return QStringLiteral("Digital Output");
    case 2:
        return QStringLiteral("Buzzer");
    case 3:
        return QStringLiteral("Analog Input");
    case 4:
        return QStringLiteral("Analog Output");
    case 5:
        return QStringLiteral("Variable");
    case 6:
        return QStringLiteral("Timer");
    case 7:
        return QStringLiteral("Counter");
    case 8:
        return QStringLiteral("Frequency");
    case 11:
        return QStringLiteral("PWM");
    case 12:
        return QStringLiteral("Configurable");
    case 13:
        return QStringLiteral("Alarm");
    case 14:
        return QStringLiteral("Timer");
    default:
        return QString();
    }
}

QString TIO::GetValueText() const
{
    const QString onOff = Value >= 1 ? OnText : OffText;
    switch (IOType) {
    case 0:
    case 1:
    case 2:
        return onOff;
    case 3:
    case 5:
    case 7:
        return Format("%0.2Lf ", Value) + UnitsText;
    case 4:
    case 8:
        return Format("%0.4Lf ", Value) + UnitsText;
    case 6:
        return Format("%Lf ms", Value);
    case 11:
        return Format("%0.0Lf ", Value) + UnitsText;
    case 12:
        if (IsDigital)
            return onOff;
        return Format("%.2Lf ", Value) + UnitsText;
    case 14: {
        // The unit counts this timer in steps of 10 ms.
        const float seconds = ToSingle(0.001L * ToSingle(Value * 10));
        return Format("%0.4f secs", static_cast<double>(seconds));
    }
    default:
        return QString();
    }
}

void TIO::AttachListItem(TListRow *row)
{
    if (row == nullptr)
        return;
    ListItem = row;
    row->SetText(0, Name);
    row->SetText(1, Tag);
    row->SetText(kColumnType,
                 ConfigurableType != -1 ? ConfigurableTypeText(ConfigurableType) : GetTypeText());
    row->SetText(kColumnValue, QString());
}

void TIO::UpdateValueText()
{
    if (ListItem != nullptr)
        ListItem->SetText(kColumnValue, GetValueText());
}

TIO *TIO::FromItem(const TListRow *row)
{
    if (row == nullptr)
        return nullptr;
    return static_cast<TIO *>(row->Record());
}

bool TIO::EditValue(const TInputQuery &ask, const TInvalidEntry &invalid)
{
    if (ListItem == nullptr || ListItem->IsUnchecked())
        return false;
    return ChangeValue(ask, invalid);
}

bool TIO::ChangeValue(const TInputQuery &ask, const TInvalidEntry &invalid)
{
    const QString caption = QStringLiteral("Edit Value");
    switch (IOType) {
    case 1:
    case 2:
        Value = Value == 0 ? 1 : 0;
        return true;
    case 5:
    case 6:
    case 7:
    case 11:
    case 14: {
        QString text = QString::number(TruncSaturated<int64_t>(Value));
        if (!AskValue(ask, caption, Name, text))
            return false;
        int32_t n = 0;
        if (!ReadInt32(text, n)) {
            ReportInvalid(invalid, QStringLiteral("'%1' is not a valid integer value").arg(text));
            return false;
        }
        if (IOType == 11) {
            // The number typed is a percentage of the full 1024 duty.
            long double v = n * 0.01L * 1024;
            if (v > 1024)
                v = 1024;
            // A negative duty would reach the unit as a huge unsigned value.
            if (v < 0)
                v = 0;
            Value = v;
        } else if (IOType == 14) {
            Value = n / 10;
        } else {
            Value = n;
        }
        return true;
    }
    case 4: {
        QString text = Format("%0.4f", static_cast<double>(ToSingle(Value)));
        if (!AskValue(ask, caption, Name, text))
            return false;
        double typed = 0;
        if (!ReadFloat(text, typed)) {
            ReportInvalid(invalid,
                          QStringLiteral("'%1' is not a valid floating point value").arg(text));
            return false;
        }
        // 0..10 V maps to the 12-bit output range, rounded to nearest.
        const float v = ToSingle(typed);
        float r = ToSingle(0.1L * v * 4095);
        r = ToSingle(static_cast<long double>(r) + 0.5L);
        if (!(r >= 0))
            r = 0;
        int64_t out = TruncSaturated<int64_t>(r);
        if (out > 4095)
            out = 4095;
        Value = out;
        return true;
    }
    default:
        return false;
    }
}
