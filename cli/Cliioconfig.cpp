// zelvo-cli, io-config: the I/O configuration as the server holds it.

#include "cli/Clicommands.h"

#include "cli/Clisession.h"
#include "cli/Clitable.h"
#include "cli/Clitemplate.h"
#include "engine/Serialthread.h"
#include "frontend/Unittext.h"
#include "model/Availableinputtype.h"
#include "model/Availableinputtypes.h"
#include "model/Editiorules.h"
#include "model/Serversideio.h"
#include "model/Serversideios.h"
#include "model/Uomdescription.h"
#include "model/Uomdescriptions.h"
#include "unit/Zelvo.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSaveFile>

using namespace unittext;

namespace
{

// What io-config reads before connecting, so nobody is asked after a long
// wait and a bad file stops the run before the unit is touched.
struct TIOConfigInput {
    // --apply's file, or set's one entry.
    std::vector<TTemplateEntry> Template;
    // With --email: the logon before the edit.
    std::string Password;
};

std::vector<editio::TRecord> Records(const TServerSideIOs &list)
{
    std::vector<editio::TRecord> out;
    for (int i = 0; i < list.Count(); ++i)
        out.push_back(editio::RecordOf(*list.Item(i)));
    return out;
}

const TServerSideIO *FindRecord(const TServerSideIOs &list, const QString &tag)
{
    for (int i = 0; i < list.Count(); ++i)
        if (list.Item(i)->Tag() == tag)
            return list.Item(i);
    return nullptr;
}

int LoadTemplate(TCliSession &s, std::vector<TTemplateEntry> &entries)
{
    const TCliOptions &o = s.Options();
    if (o.IOAction == TCliIOAction::Set) {
        TTemplateEntry e;
        e.Tag = o.Tag;
        e.Name = o.SetName;
        e.InputType = o.SetType;
        e.Uom = o.SetUom;
        e.Logging = o.SetLogging;
        entries = {e};
        return EXIT_CLI_OK;
    }
    if (o.IOAction != TCliIOAction::Apply)
        return EXIT_CLI_OK;
    QFile file(o.TemplatePath);
    if (!file.open(QIODevice::ReadOnly))
        return s.Usage(
            QStringLiteral("%1: cannot be read (%2).").arg(o.TemplatePath, file.errorString()));
    QString error;
    if (!ParseTemplate(file.readAll(), entries, error))
        return s.Usage(QStringLiteral("%1: %2.").arg(o.TemplatePath, error));
    return EXIT_CLI_OK;
}

// Reads the configuration with the input types and the UOM list.
bool ReadIOConfiguration(TCliSession &s)
{
    const bool ran = s.RunJob(MSG_READ_IO_CONFIG);
    return ran && s.Engine().HasIOConfiguration() && s.Engine().HasInputTypes() &&
           s.Engine().HasUOMLists();
}

bool LogOnForEdit(TCliSession &s, const std::string &password)
{
    const std::optional<bool> ran = s.RunLogon(ToLatin1(s.Options().Email), password);
    return ran.value_or(false) && s.Host().Logon().value_or(false);
}

// ---- list ----

QString InputTypeName(const TAvailableInputTypes &types, int id)
{
    for (int i = 0; i < types.Count(); ++i)
        if (types.At(i)->InputTypeID == id)
            return types.At(i)->Name;
    return QString();
}

QString UomName(const TUOMDescriptions &uoms, int id)
{
    for (int i = 0; i < uoms.Count(); ++i)
        if (uoms.At(i)->GetUOMID() == id)
            return uoms.At(i)->GetName();
    return QString();
}

QJsonObject IOConfigJson(TZelvo &unit)
{
    const TServerSideIOs &list = unit.ServerSideIOs();
    QJsonArray rows;
    for (int i = 0; i < list.Count(); ++i) {
        const TServerSideIO *io = list.Item(i);
        rows.append(
            QJsonObject{{"id", io->IOID()},
                        {"tag", io->Tag()},
                        {"name", io->FriendlyName()},
                        {"inputTypeId", io->InputTypeID()},
                        {"inputType", InputTypeName(unit.AvailableInputTypes(), io->InputTypeID())},
                        {"uomId", io->UOMID()},
                        {"uom", UomName(unit.UOMDescriptions(), io->UOMID())},
                        {"loggingCode", io->LoggingMode()},
                        {"logging", TServerSideIO::LoggingModeText(io->LoggingMode())},
                        {"external", io->IsExternal()}});
    }
    return QJsonObject{{"io", rows}};
}

QString IOConfigText(TZelvo &unit)
{
    const TServerSideIOs &list = unit.ServerSideIOs();
    TCliTable table({"ID", "IO Tag", "IO Name", "Input Type", "UOM", "Logging"});
    for (int i = 0; i < list.Count(); ++i) {
        const TServerSideIO *io = list.Item(i);
        const QString type = InputTypeName(unit.AvailableInputTypes(), io->InputTypeID());
        const QString uom = UomName(unit.UOMDescriptions(), io->UOMID());
        table.AddRow({QString::number(io->IOID()), QStringLiteral("[%1]").arg(io->Tag()),
                      io->FriendlyName(),
                      type.isEmpty() ? QString::number(io->InputTypeID()) : type,
                      uom.isEmpty() ? QString::number(io->UOMID()) : uom,
                      TServerSideIO::LoggingModeText(io->LoggingMode())});
    }
    return table.Format();
}

int ListIOConfig(TCliSession &s)
{
    const bool ran = s.RunJob(MSG_READ_IO_CONFIG);
    if (s.WasInterrupted())
        return s.Interrupted();
    // What was read is shown even when a later part of the chain failed.
    TZelvo &unit = *s.Engine().Unit();
    if (s.Options().Json)
        s.PrintJson(IOConfigJson(unit));
    else
        s.Print(IOConfigText(unit));
    if (!ran || !s.Engine().HasIOConfiguration())
        return s.Failed(QStringLiteral("The I/O configuration could not be read."));
    if (!s.Engine().HasInputTypes() || !s.Engine().HasUOMLists())
        return s.Failed(QStringLiteral("The input types or the UOM list could not be read."));
    return s.Outcome(EXIT_CLI_OK);
}

// ---- --export ----

int ExportIOConfig(TCliSession &s)
{
    if (!ReadIOConfiguration(s)) {
        if (s.WasInterrupted())
            return s.Interrupted();
        return s.Failed(QStringLiteral("The I/O configuration could not be read; nothing was "
                                       "written."));
    }
    const TCliOptions &o = s.Options();
    TZelvo *unit = s.Engine().Unit();
    const QByteArray bytes =
        WriteTemplate(ModelName(unit->GetUnitType()), Records(unit->ServerSideIOs()),
                      unit->AvailableInputTypes(), unit->UOMDescriptions());
    QSaveFile file(o.TemplatePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return s.Failed(
            QStringLiteral("%1: cannot be written (%2).").arg(o.TemplatePath, file.errorString()));
    const int count = unit->ServerSideIOs().Count();
    if (o.Json)
        s.PrintJson(QJsonObject{{"file", o.TemplatePath}, {"entries", count}});
    else
        s.Print(QStringLiteral("Wrote %1 entries to %2.\n").arg(count).arg(o.TemplatePath));
    return s.Outcome(EXIT_CLI_OK);
}

// ---- --apply and set ----

// The plan as it is told: each change's differences, the refusals, and the
// changes as text.
struct TPlanReport {
    QJsonArray Changes;
    QJsonArray Refusals;
    QString Text;

    explicit TPlanReport(const TTemplatePlan &plan)
    {
        for (const TTemplateChange &c : plan.Changes) {
            QJsonArray diffs;
            for (const QString &d : c.Differences) {
                diffs.append(d);
                Text += QStringLiteral("[%1] %2\n").arg(c.Target.Tag.trimmed(), d);
            }
            Changes.append(QJsonObject{{"tag", c.Target.Tag.trimmed()}, {"differences", diffs}});
        }
        for (const QString &r : plan.Refusals)
            Refusals.append(r);
    }

    // In JSON mode, the one object that tells how the apply ended.
    void Print(TCliSession &s, bool applied, bool verified) const
    {
        if (s.Options().Json)
            s.PrintJson(QJsonObject{{"changes", Changes},
                                    {"refused", Refusals},
                                    {"dryRun", s.Options().DryRun},
                                    {"applied", applied},
                                    {"verified", verified}});
    }
};

QString Entries(qsizetype count)
{
    return QStringLiteral("%1 entr%2").arg(count).arg(count == 1 ? "y" : "ies");
}

// The tags of the changes the configuration read back does not show.
QStringList MissingChanges(const TServerSideIOs &list, const TTemplatePlan &plan)
{
    QStringList missing;
    for (const TTemplateChange &c : plan.Changes) {
        const TServerSideIO *io = FindRecord(list, c.Target.Tag);
        if (!io || io->FriendlyName() != c.Target.Name ||
            io->InputTypeID() != c.Target.InputTypeId || io->UOMID() != c.Target.UomId ||
            io->LoggingMode() != c.Target.Logging)
            missing << c.Target.Tag.trimmed();
    }
    return missing;
}

// The dialog's edits, then the window's Save: every changed record is marked
// and uploaded through the write chain, which ends by reading the
// configuration again; only what that shows counts as applied.
int UploadPlan(TCliSession &s, TServerSideIOs &list, const TTemplatePlan &plan,
               const TPlanReport &report)
{
    for (const TTemplateChange &c : plan.Changes)
        editio::ApplyEdit(*list.Item(c.Index), c.Target);
    if (s.Session().PostIOConfigUpload({}, TSession::TUploadScope::WholeOnly) != UPLOAD_READY) {
        for (int i = 0; i < list.Count(); ++i)
            list.Item(i)->SetChanged(false);
        report.Print(s, false, false);
        return s.Failed(QStringLiteral("The changes do not fit one upload; nothing was sent. "
                                       "Apply the template in parts."));
    }
    const bool ran = s.WaitForJob();
    if (s.WasInterrupted())
        return s.Interrupted();
    const QStringList missing = MissingChanges(list, plan);
    const bool verified = ran && s.Engine().HasIOConfiguration() && missing.isEmpty();
    // The unit is told to synchronise with its server, as the window does at
    // its next poll.
    if (verified && s.Engine().ForceSyncPending())
        s.RunJob(MSG_READ_SNAPSHOT);
    report.Print(s, true, verified);
    if (!verified)
        return s.Failed(missing.isEmpty()
                            ? QStringLiteral("The write chain did not complete; the configuration "
                                             "could not be read back.")
                            : QStringLiteral("The configuration read back does not show the "
                                             "changes of %1.")
                                  .arg(missing.join(QStringLiteral(", "))));
    if (!s.Options().Json)
        s.Print(QStringLiteral("Applied and read back: %1 changed.\n")
                    .arg(Entries(static_cast<qsizetype>(plan.Changes.size()))));
    return s.Outcome(EXIT_CLI_OK);
}

int ApplyIOConfig(TCliSession &s, const TIOConfigInput &in)
{
    const TCliOptions &o = s.Options();
    if (!o.Email.isEmpty() && !LogOnForEdit(s, in.Password)) {
        if (s.WasInterrupted())
            return s.Interrupted();
        return s.Failed(QStringLiteral("Logon failed; the I/O configuration was not changed."));
    }
    if (!ReadIOConfiguration(s)) {
        if (s.WasInterrupted())
            return s.Interrupted();
        return s.Failed(QStringLiteral("The I/O configuration could not be read; nothing was "
                                       "changed."));
    }
    TZelvo *unit = s.Engine().Unit();
    TServerSideIOs &list = unit->ServerSideIOs();
    const TTemplatePlan plan = PlanTemplate(Records(list), unit->AvailableInputTypes(),
                                            unit->UOMDescriptions(), in.Template);
    const TPlanReport report(plan);

    if (!plan.Refusals.isEmpty()) {
        for (const QString &r : plan.Refusals)
            s.Host().Note(QStringLiteral("Refused: ") + r);
        report.Print(s, false, false);
        return s.Failed(QStringLiteral("Nothing was changed: %1 cannot be applied.")
                            .arg(Entries(plan.Refusals.size())));
    }
    if (!o.Json)
        s.Print(plan.Changes.empty() ? QStringLiteral("Nothing to change.\n") : report.Text);
    if (plan.Changes.empty() || o.DryRun) {
        report.Print(s, false, plan.Changes.empty());
        return s.Outcome(EXIT_CLI_OK);
    }
    return UploadPlan(s, list, plan, report);
}

} // namespace

int RunIOConfig(TCliSession &s)
{
    const TCliOptions &o = s.Options();
    TIOConfigInput in;
    if (const int r = LoadTemplate(s, in.Template); r != EXIT_CLI_OK)
        return r;
    if (!o.Email.isEmpty())
        if (const int r = s.AskPassword(in.Password); r != EXIT_CLI_OK)
            return r;
    if (const int r = s.Open(); r != EXIT_CLI_OK)
        return r;
    switch (o.IOAction) {
    case TCliIOAction::Export:
        return ExportIOConfig(s);
    case TCliIOAction::Apply:
    case TCliIOAction::Set:
        return ApplyIOConfig(s, in);
    case TCliIOAction::List:
        break;
    }
    return ListIOConfig(s);
}
