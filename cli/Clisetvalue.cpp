// zelvo-cli, set-value: one output or variable of the unit's own I/O.

#include "cli/Clirunner.h"

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

QString ModelOf(std::uint8_t type)
{
    return ModelName(type);
}

} // namespace

int TCliRunner::CheckUsageOffline()
{
    // COM ports reach the VELLO, the USB bridge the OSTRA.
    std::uint8_t model = UNIT_TYPE_OSTRA;
    if (O.Link == TLinkChoice::Com ||
        (O.Link == TLinkChoice::Simulate && O.SimulateModel == "vello"))
        model = UNIT_TYPE_VELLO;
    const QString via = O.Link == TLinkChoice::Com   ? QStringLiteral("a COM port")
                        : O.Link == TLinkChoice::Usb ? QStringLiteral("the USB bridge")
                                                     : QStringLiteral("--simulate");

    if (O.Command == TCliCommand::SaveSettings && O.Connection == TCliConnection::Ethernet &&
        model == UNIT_TYPE_VELLO) {
        FHost.Note(QStringLiteral("A VELLO unit (reached through %1) has no Ethernet connection; "
                                  "only --mobile can be saved.")
                       .arg(via));
        return EXIT_CLI_USAGE;
    }
    if (O.Command != TCliCommand::SetValue)
        return EXIT_CLI_OK;

    const QString key = TagKey(O.Tag);
    const TFixedIOEntry *entry = nullptr;
    bool onOther = false;
    for (const std::uint8_t type : {UNIT_TYPE_OSTRA, UNIT_TYPE_VELLO})
        for (const TFixedIOEntry &e : FixedIOTable(type))
            if (TagKey(QString::fromLatin1(e.Tag)) == key) {
                if (type == model)
                    entry = &e;
                else
                    onOther = true;
            }
    if (!entry) {
        FHost.Note(onOther ? QStringLiteral("The %1 reached through %2 has no I/O with the tag %3 "
                                            "(the %4 has).")
                                 .arg(ModelOf(model), via, O.Tag,
                                      ModelOf(model == UNIT_TYPE_VELLO ? UNIT_TYPE_OSTRA
                                                                       : UNIT_TYPE_VELLO))
                           : QStringLiteral("The unit has no I/O with the tag %1 (neither model "
                                            "has).")
                                 .arg(O.Tag));
        return EXIT_CLI_USAGE;
    }
    if (!IsEditableIOType(entry->IOType)) {
        FHost.Note(QStringLiteral("%1 %2 cannot be set; only outputs, variables, timers and "
                                  "counters can")
                       .arg(QString::fromLatin1(entry->Tag), QString::fromLatin1(entry->Name)));
        return EXIT_CLI_USAGE;
    }
    const QString v = O.Value.trimmed();
    if (entry->IOType == IO_DIGITAL_OUTPUT || entry->IOType == IO_BUZZER)
        return EXIT_CLI_OK; // a state; the unit's own state texts are known only after connecting
    bool ok = false;
    if (entry->IOType == IO_ANALOG_OUTPUT)
        v.toDouble(&ok);
    else
        v.toInt(&ok);
    if (!ok) {
        FHost.Note(
            QStringLiteral("\"%1\" is not a valid integer for %2 %3")
                .arg(O.Value, QString::fromLatin1(entry->Tag), QString::fromLatin1(entry->Name)));
        return EXIT_CLI_USAGE;
    }
    return EXIT_CLI_OK;
}

bool TCliRunner::ReadLiveOnce()
{
    TZelvo *unit = FEngine->Unit();
    const std::uint32_t answered = unit->LiveReadsAnswered();
    const std::uint32_t failed = unit->LiveReadsFailed();
    FHost.SetShownLiveList(LIVE_LIST_OWN_IO);
    Pump(
        [&] {
            return Disconnected() || unit->LiveReadsAnswered() != answered ||
                   unit->LiveReadsFailed() != failed;
        },
        FPacing.LiveTimer * 2 + FrameTimeout() * 2);
    FHost.SetShownLiveList(LIVE_LIST_NONE);
    return unit->LiveReadsAnswered() != answered;
}

int TCliRunner::SetValue()
{
    TIOs &ios = FEngine->Unit()->IOs();
    TIO *io = nullptr;
    const QString key = TagKey(O.Tag);
    for (int i = 0; i < ios.Count() && !io; ++i)
        if (TagKey(ios.At(i)->Tag) == key)
            io = ios.At(i);
    if (!io) {
        FHost.Note(QStringLiteral("The unit has no I/O with the tag %1.").arg(O.Tag));
        return EXIT_CLI_USAGE;
    }
    if (!IsEditableIOType(io->IOType)) {
        FHost.Note(EditIOValue(*io, O.Value).Error);
        return EXIT_CLI_USAGE;
    }
    // The window lets values be edited only once the UOM information has
    // been applied to the list.
    if (!ios.IsEditable())
        return Failed(QStringLiteral("The unit's I/O cannot be edited before its UOM information "
                                     "has been read."));
    // A toggle starts from the output's state as the unit reports it now,
    // never from a value that was not read.
    if (O.Value.trimmed().compare(QStringLiteral("toggle"), Qt::CaseInsensitive) == 0) {
        if (!ReadLiveOnce()) {
            if (FInterrupted)
                return Interrupted();
            return Failed(QStringLiteral("The current state of %1 could not be read from the "
                                         "unit, so it was not toggled.")
                              .arg(io->Tag));
        }
    }
    const long double before = io->Value;
    const TValueEdit edit = EditIOValue(*io, O.Value);
    if (!edit.Ok) {
        FHost.Note(edit.Error);
        return EXIT_CLI_USAGE;
    }
    const QString shown = io->GetValueText().trimmed();
    const bool sent = FEngine->Unit()->SetIOValue(io->Number, edit.Value);
    if (!sent)
        io->Value = before;
    if (O.Json)
        PrintJson(QJsonObject{{"tag", io->Tag},
                              {"name", io->Name},
                              {"number", io->Number},
                              {"value", edit.Value},
                              {"valueText", shown},
                              {"before", static_cast<double>(before)},
                              {"accepted", sent}});
    if (!sent)
        return Failed(QStringLiteral("The unit did not accept the new value."));
    if (!O.Json)
        Print(QStringLiteral("%1 %2 set to %3.\n").arg(io->Tag, io->Name, shown));
    return Outcome(EXIT_CLI_OK);
}
