// zelvo-cli, io-config: the I/O configuration as the server holds it.

#include "cli/Clirunner.h"

#include "cli/Clipassword.h"
#include "cli/Clitable.h"
#include "cli/Clitemplate.h"
#include "cli/Clivalueedit.h"
#include "engine/Serialthread.h"
#include "engine/Signalstrengthrefresh.h"
#include "frontend/Signalreading.h"
#include "frontend/Unittext.h"
#include "link/Ftd2xx.h"
#include "link/Portmap.h"
#include "link/Zelvocommsinterface.h"
#include "model/Availableinputtype.h"
#include "model/Availableinputtypes.h"
#include "model/Editiorules.h"
#include "model/Io.h"
#include "model/Ios.h"
#include "model/Serversideio.h"
#include "model/Serversideios.h"
#include "model/Uomdescription.h"
#include "model/Uomdescriptions.h"
#include "network/Ipaddress.h"
#include "network/Settingslimits.h"
#include "protocol/Commands.h"
#include "protocol/Passworddigest.h"
#include "unit/Commissioningdataparser.h"
#include "unit/Connectionsettings.h"
#include "unit/Zelvo.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

using namespace unittext;

int TCliRunner::IOConfigList()
{
    const bool ran = RunJob(MSG_READ_IO_CONFIG);
    if (FInterrupted)
        return Interrupted();
    TZelvo *unit = FEngine->Unit();
    TServerSideIOs &list = unit->ServerSideIOs();
    TAvailableInputTypes &types = unit->AvailableInputTypes();
    TUOMDescriptions &uoms = unit->UOMDescriptions();

    const auto typeName = [&types](int id) {
        for (int i = 0; i < types.Count(); ++i)
            if (types.At(i)->InputTypeID == id)
                return types.At(i)->Name;
        return QString();
    };
    const auto uomName = [&uoms](int id) {
        for (int i = 0; i < uoms.Count(); ++i)
            if (uoms.At(i)->GetUOMID() == id)
                return uoms.At(i)->GetName();
        return QString();
    };

    // What was read is shown even when a later part of the chain failed.
    if (O.Json) {
        QJsonArray rows;
        for (int i = 0; i < list.Count(); ++i) {
            const TServerSideIO *io = list.Item(i);
            rows.append(QJsonObject{{"id", io->IOID()},
                                    {"tag", io->Tag()},
                                    {"name", io->FriendlyName()},
                                    {"inputTypeId", io->InputTypeID()},
                                    {"inputType", typeName(io->InputTypeID())},
                                    {"uomId", io->UOMID()},
                                    {"uom", uomName(io->UOMID())},
                                    {"loggingCode", io->LoggingMode()},
                                    {"logging", TServerSideIO::LoggingModeText(io->LoggingMode())},
                                    {"external", io->IsExternal()}});
        }
        PrintJson(QJsonObject{{"io", rows}});
    } else {
        TCliTable table({"ID", "IO Tag", "IO Name", "Input Type", "UOM", "Logging"});
        for (int i = 0; i < list.Count(); ++i) {
            const TServerSideIO *io = list.Item(i);
            const QString type = typeName(io->InputTypeID());
            const QString uom = uomName(io->UOMID());
            table.AddRow({QString::number(io->IOID()), QStringLiteral("[%1]").arg(io->Tag()),
                          io->FriendlyName(),
                          type.isEmpty() ? QString::number(io->InputTypeID()) : type,
                          uom.isEmpty() ? QString::number(io->UOMID()) : uom,
                          TServerSideIO::LoggingModeText(io->LoggingMode())});
        }
        Print(table.Format());
    }
    if (!ran || !FEngine->HasIOConfiguration())
        return Failed(QStringLiteral("The I/O configuration could not be read."));
    if (!FEngine->HasInputTypes() || !FEngine->HasUOMLists())
        return Failed(QStringLiteral("The input types or the UOM list could not be read."));
    return Outcome(EXIT_CLI_OK);
}

namespace
{

std::vector<editio::TRecord> Records(TServerSideIOs &list)
{
    std::vector<editio::TRecord> out;
    for (int i = 0; i < list.Count(); ++i)
        out.push_back(editio::RecordOf(*list.Item(i)));
    return out;
}

TServerSideIO *FindRecord(TServerSideIOs &list, const QString &tag)
{
    for (int i = 0; i < list.Count(); ++i)
        if (list.Item(i)->Tag() == tag)
            return list.Item(i);
    return nullptr;
}

} // namespace

int TCliRunner::IOConfig()
{
    switch (O.IOAction) {
    case TCliIOAction::Export:
        return IOConfigExport();
    case TCliIOAction::Apply:
    case TCliIOAction::Set:
        return IOConfigApply();
    case TCliIOAction::List:
        break;
    }
    return IOConfigList();
}

int TCliRunner::LoadTemplate()
{
    if (O.Command != TCliCommand::IOConfig)
        return EXIT_CLI_OK;
    if (O.IOAction == TCliIOAction::Set) {
        TTemplateEntry e;
        e.Tag = O.Tag;
        e.Name = O.SetName;
        e.InputType = O.SetType;
        e.Uom = O.SetUom;
        e.Logging = O.SetLogging;
        FTemplate = {e};
        return EXIT_CLI_OK;
    }
    if (O.IOAction != TCliIOAction::Apply)
        return EXIT_CLI_OK;
    QFile file(O.TemplatePath);
    if (!file.open(QIODevice::ReadOnly)) {
        FHost.Note(
            QStringLiteral("%1: cannot be read (%2).").arg(O.TemplatePath, file.errorString()));
        return EXIT_CLI_USAGE;
    }
    QString error;
    if (!ParseTemplate(file.readAll(), FTemplate, error)) {
        FHost.Note(QStringLiteral("%1: %2.").arg(O.TemplatePath, error));
        return EXIT_CLI_USAGE;
    }
    return EXIT_CLI_OK;
}

bool TCliRunner::ReadIOConfiguration()
{
    const bool ran = RunJob(MSG_READ_IO_CONFIG);
    return ran && FEngine->HasIOConfiguration() && FEngine->HasInputTypes() &&
           FEngine->HasUOMLists();
}

bool TCliRunner::LogOnForEdit()
{
    std::vector<std::uint8_t> payload;
    if (!BuildLogonPayload(ToLatin1(O.Email), FPassword, payload))
        return false;
    const bool ran = RunJob(MSG_LOGON, payload);
    return ran && FHost.Logon().value_or(false);
}

int TCliRunner::IOConfigExport()
{
    if (!ReadIOConfiguration()) {
        if (FInterrupted)
            return Interrupted();
        return Failed(QStringLiteral("The I/O configuration could not be read; nothing was "
                                     "written."));
    }
    TZelvo *unit = FEngine->Unit();
    const QByteArray bytes =
        WriteTemplate(ModelName(unit->GetUnitType()), Records(unit->ServerSideIOs()),
                      unit->AvailableInputTypes(), unit->UOMDescriptions());
    QSaveFile file(O.TemplatePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return Failed(
            QStringLiteral("%1: cannot be written (%2).").arg(O.TemplatePath, file.errorString()));
    const int count = unit->ServerSideIOs().Count();
    if (O.Json)
        PrintJson(QJsonObject{{"file", O.TemplatePath}, {"entries", count}});
    else
        Print(QStringLiteral("Wrote %1 entries to %2.\n").arg(count).arg(O.TemplatePath));
    return Outcome(EXIT_CLI_OK);
}

int TCliRunner::IOConfigApply()
{
    if (!O.Email.isEmpty() && !LogOnForEdit()) {
        if (FInterrupted)
            return Interrupted();
        return Failed(QStringLiteral("Logon failed; the I/O configuration was not changed."));
    }
    if (!ReadIOConfiguration()) {
        if (FInterrupted)
            return Interrupted();
        return Failed(QStringLiteral("The I/O configuration could not be read; nothing was "
                                     "changed."));
    }
    TZelvo *unit = FEngine->Unit();
    TServerSideIOs &list = unit->ServerSideIOs();
    const TTemplatePlan plan = PlanTemplate(Records(list), unit->AvailableInputTypes(),
                                            unit->UOMDescriptions(), FTemplate);

    QJsonArray changes;
    QString text;
    for (const TTemplateChange &c : plan.Changes) {
        QJsonArray diffs;
        for (const QString &d : c.Differences) {
            diffs.append(d);
            text += QStringLiteral("[%1] %2\n").arg(c.Target.Tag.trimmed(), d);
        }
        changes.append(QJsonObject{{"tag", c.Target.Tag.trimmed()}, {"differences", diffs}});
    }
    QJsonArray refusals;
    for (const QString &r : plan.Refusals)
        refusals.append(r);
    const auto report = [&](bool applied, bool verified) {
        if (O.Json)
            PrintJson(QJsonObject{{"changes", changes},
                                  {"refused", refusals},
                                  {"dryRun", O.DryRun},
                                  {"applied", applied},
                                  {"verified", verified}});
    };

    if (!plan.Refusals.isEmpty()) {
        for (const QString &r : plan.Refusals)
            FHost.Note(QStringLiteral("Refused: ") + r);
        report(false, false);
        return Failed(QStringLiteral("Nothing was changed: %1 entr%2 cannot be applied.")
                          .arg(plan.Refusals.size())
                          .arg(plan.Refusals.size() == 1 ? "y" : "ies"));
    }
    if (!O.Json)
        Print(plan.Changes.empty() ? QStringLiteral("Nothing to change.\n") : text);
    if (plan.Changes.empty() || O.DryRun) {
        report(false, plan.Changes.empty());
        return Outcome(EXIT_CLI_OK);
    }

    // The dialog's edits, then the window's Save: every changed record is
    // marked and uploaded through the write chain.
    for (const TTemplateChange &c : plan.Changes)
        editio::ApplyEdit(*list.Item(c.Index), c.Target);
    if (FEngine->PrepareIOConfigUpload() != UPLOAD_READY) {
        for (int i = 0; i < list.Count(); ++i)
            list.Item(i)->SetChanged(false);
        report(false, false);
        return Failed(QStringLiteral("The changes do not fit one upload; nothing was sent. Apply "
                                     "the template in parts."));
    }
    const bool ran = RunJob(MSG_WRITE_IO_CONFIG);
    if (FInterrupted)
        return Interrupted();
    // The chain ends by reading the configuration again: only what that
    // shows counts as applied.
    QStringList missing;
    for (const TTemplateChange &c : plan.Changes) {
        const TServerSideIO *io = FindRecord(list, c.Target.Tag);
        if (!io || io->FriendlyName() != c.Target.Name ||
            io->InputTypeID() != c.Target.InputTypeId || io->UOMID() != c.Target.UomId ||
            io->LoggingMode() != c.Target.Logging)
            missing << c.Target.Tag.trimmed();
    }
    const bool verified = ran && FEngine->HasIOConfiguration() && missing.isEmpty();
    // The unit is told to synchronise with its server, as the window does at
    // its next poll.
    if (verified && FEngine->ForceSyncPending())
        RunJob(MSG_READ_SNAPSHOT);
    report(true, verified);
    if (!verified)
        return Failed(missing.isEmpty()
                          ? QStringLiteral("The write chain did not complete; the configuration "
                                           "could not be read back.")
                          : QStringLiteral("The configuration read back does not show the "
                                           "changes of %1.")
                                .arg(missing.join(QStringLiteral(", "))));
    if (!O.Json)
        Print(QStringLiteral("Applied and read back: %1 entr%2 changed.\n")
                  .arg(plan.Changes.size())
                  .arg(plan.Changes.size() == 1 ? "y" : "ies"));
    return Outcome(EXIT_CLI_OK);
}
