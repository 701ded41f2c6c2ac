// zelvo-cli, set-value: one output or variable of the unit's own I/O.

#include "cli/Clicommands.h"

#include "cli/Clisession.h"
#include "cli/Clivalueedit.h"
#include "engine/Serialthread.h"
#include "frontend/Unittext.h"
#include "model/Fixediolists.h"
#include "model/Io.h"
#include "model/Ios.h"
#include "unit/Zelvo.h"

#include <QJsonObject>

using namespace unittext;

namespace
{

enum : int {
    IO_DIGITAL_OUTPUT = 1,
    IO_BUZZER = 2,
    IO_ANALOG_OUTPUT = 4,
};

// The fixed I/O table's entry for the tag on the model the link reaches;
// `onOther` tells whether the other model has it.
const TFixedIOEntry *FindFixedEntry(std::uint8_t model, const QString &tag, bool &onOther)
{
    const QString key = TagKey(tag);
    const TFixedIOEntry *entry = nullptr;
    onOther = false;
    for (const std::uint8_t type : {UNIT_TYPE_OSTRA, UNIT_TYPE_VELLO})
        for (const TFixedIOEntry &e : FixedIOTable(type))
            if (TagKey(QString::fromLatin1(e.Tag)) == key) {
                if (type == model)
                    entry = &e;
                else
                    onOther = true;
            }
    return entry;
}

// What can be judged without the unit: the tag, whether it can be set, and
// a number's form.
int CheckOffline(TCliSession &s)
{
    const TCliOptions &o = s.Options();
    const std::uint8_t model = s.ExpectedModel();
    bool onOther = false;
    const TFixedIOEntry *entry = FindFixedEntry(model, o.Tag, onOther);
    if (!entry)
        return s.Usage(
            onOther
                ? QStringLiteral("The %1 reached through %2 has no I/O with the tag %3 "
                                 "(the %4 has).")
                      .arg(ModelName(model), s.LinkName(), o.Tag,
                           ModelName(model == UNIT_TYPE_VELLO ? UNIT_TYPE_OSTRA : UNIT_TYPE_VELLO))
                : QStringLiteral("The unit has no I/O with the tag %1 (neither model has).")
                      .arg(o.Tag));
    const QString tag = QString::fromLatin1(entry->Tag);
    const QString name = QString::fromLatin1(entry->Name);
    if (!IsEditableIOType(entry->IOType))
        return s.Usage(QStringLiteral("%1 %2 cannot be set; only outputs, variables, timers and "
                                      "counters can")
                           .arg(tag, name));
    if (entry->IOType == IO_DIGITAL_OUTPUT || entry->IOType == IO_BUZZER)
        return EXIT_CLI_OK; // a state; the unit's own state texts are known only after connecting
    const QString v = o.Value.trimmed();
    bool ok = false;
    if (entry->IOType == IO_ANALOG_OUTPUT)
        v.toDouble(&ok);
    else
        v.toInt(&ok);
    if (!ok)
        return s.Usage(
            QStringLiteral("\"%1\" is not a valid integer for %2 %3").arg(o.Value, tag, name));
    return EXIT_CLI_OK;
}

// Reads the live values once, so a toggle starts from the output's real
// state. False when no reading came.
bool ReadLiveOnce(TCliSession &s)
{
    TZelvo *unit = s.Engine().Unit();
    const std::uint32_t answered = unit->LiveReadsAnswered();
    const std::uint32_t failed = unit->LiveReadsFailed();
    s.Host().SetShownLiveList(LIVE_LIST_OWN_IO);
    s.Pump(
        [&] {
            return s.Disconnected() || unit->LiveReadsAnswered() != answered ||
                   unit->LiveReadsFailed() != failed;
        },
        s.Pacing().LiveTimer * 2 + s.FrameTimeout() * 2);
    s.Host().SetShownLiveList(LIVE_LIST_NONE);
    return unit->LiveReadsAnswered() != answered;
}

TIO *FindIO(TIOs &ios, const QString &tag)
{
    const QString key = TagKey(tag);
    for (int i = 0; i < ios.Count(); ++i)
        if (TagKey(ios.At(i)->Tag) == key)
            return ios.At(i);
    return nullptr;
}

} // namespace

int RunSetValue(TCliSession &s)
{
    if (const int r = CheckOffline(s); r != EXIT_CLI_OK)
        return r;
    if (const int r = s.Open(); r != EXIT_CLI_OK)
        return r;
    const TCliOptions &o = s.Options();
    TZelvo *unit = s.Engine().Unit();
    TIOs &ios = unit->IOs();
    TIO *io = FindIO(ios, o.Tag);
    if (!io)
        return s.Usage(QStringLiteral("The unit has no I/O with the tag %1.").arg(o.Tag));
    if (!IsEditableIOType(io->IOType))
        return s.Usage(EditIOValue(*io, o.Value).Error);
    // The window lets values be edited only once the UOM information has
    // been applied to the list.
    if (!ios.IsEditable())
        return s.Failed(QStringLiteral("The unit's I/O cannot be edited before its UOM "
                                       "information has been read."));
    // A toggle starts from the output's state as the unit reports it now,
    // never from a value that was not read.
    if (o.Value.trimmed().compare(QStringLiteral("toggle"), Qt::CaseInsensitive) == 0 &&
        !ReadLiveOnce(s)) {
        if (s.WasInterrupted())
            return s.Interrupted();
        return s.Failed(QStringLiteral("The current state of %1 could not be read from the "
                                       "unit, so it was not toggled.")
                            .arg(io->Tag));
    }
    const long double before = io->Value;
    const TValueEdit edit = EditIOValue(*io, o.Value);
    if (!edit.Ok)
        return s.Usage(edit.Error);
    const QString shown = io->GetValueText().trimmed();
    const bool sent = unit->SetIOValue(io->Number, edit.Value);
    if (!sent)
        io->Value = before;
    if (o.Json)
        s.PrintJson(QJsonObject{{"tag", io->Tag},
                                {"name", io->Name},
                                {"number", io->Number},
                                {"value", edit.Value},
                                {"valueText", shown},
                                {"before", static_cast<double>(before)},
                                {"accepted", sent}});
    if (!sent)
        return s.Failed(QStringLiteral("The unit did not accept the new value."));
    if (!o.Json)
        s.Print(QStringLiteral("%1 %2 set to %3.\n").arg(io->Tag, io->Name, shown));
    return s.Outcome(EXIT_CLI_OK);
}
