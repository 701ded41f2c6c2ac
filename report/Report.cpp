#include "report/Report.h"

#include "common/Branding.h"
#include "engine/Serialthread.h"
#include "frontend/Signalreading.h"
#include "frontend/Unittext.h"
#include "link/Zelvocommsinterface.h"
#include "model/Availableinputtype.h"
#include "model/Availableinputtypes.h"
#include "model/Io.h"
#include "model/Ios.h"
#include "model/Serversideio.h"
#include "model/Serversideios.h"
#include "model/Uomdescription.h"
#include "model/Uomdescriptions.h"
#include "network/Ipaddress.h"
#include "unit/Connectionsettings.h"
#include "unit/Zelvo.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

std::optional<TReportFormat> ReportFormatFromPath(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("pdf"))
        return TReportFormat::Pdf;
    if (suffix == QLatin1String("html") || suffix == QLatin1String("htm"))
        return TReportFormat::Html;
    if (suffix == QLatin1String("json"))
        return TReportFormat::Json;
    return std::nullopt;
}

TSignalStats ComputeSignalStats(const std::vector<std::uint8_t> &samples)
{
    TSignalStats s;
    s.Readings = static_cast<int>(samples.size());
    int lo = 0;
    int hi = 0;
    long sum = 0;
    for (const std::uint8_t level : samples) {
        const TSignalReading r = ReadSignalLevel(level);
        // Only 0..31 and "no signal" are readings of the signal.
        if (level > 31 && level != 99) {
            ++s.NoLevel;
            continue;
        }
        lo = s.Levels == 0 ? r.Bars : std::min(lo, r.Bars);
        hi = s.Levels == 0 ? r.Bars : std::max(hi, r.Bars);
        sum += r.Bars;
        ++s.Levels;
    }
    if (s.Levels == 0)
        return s;
    const auto point = [](int level) {
        return TSignalPoint{level, ReadSignalLevel(static_cast<std::uint8_t>(level)).Band};
    };
    s.Minimum = point(lo);
    s.Maximum = point(hi);
    s.Mean = static_cast<double>(sum) / s.Levels;
    s.MeanPoint = point(static_cast<int>(std::lround(s.Mean)));
    return s;
}

QStringList TCommissioningReport::UnavailableSections() const
{
    QStringList out;
    const std::pair<const TReportSection *, const char *> all[] = {
        {&Unit, "unit"},         {&Connection, "connection"},
        {&Signal, "signal"},     {&IOConfig, "ioConfiguration"},
        {&Live, "liveValues"},   {&External, "externalIO"},
        {&Snapshot, "snapshot"}, {&Log, "log"}};
    for (const auto &[section, key] : all)
        if (section->Included && !section->Available)
            out << QString::fromLatin1(key);
    return out;
}

QString ReportTitle()
{
    return QStringLiteral("Commissioning report");
}

QString ReportToolName()
{
    return QStringLiteral("%1 %2").arg(QLatin1String(Branding::BrandName),
                                       QLatin1String(Branding::ProductName));
}

QString ReportTimeText(const QDateTime &t)
{
    // The offset is always written out, "+00:00" included, never as "Z".
    const int offset = t.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? '-' : '+')
               .arg(minutes / 60, 2, 10, QChar('0'))
               .arg(minutes % 60, 2, 10, QChar('0'));
}

QString ReportPortText(TSerialThread &engine)
{
    TZelvoCommsInterface *comms = engine.Comms();
    if (!comms)
        return QString();
    if (comms->IsUsbMode())
        return QStringLiteral("USB bridge \"%1\"").arg(QString::fromStdString(comms->BrandName()));
    return QStringLiteral("COM%1 at %2 baud").arg(comms->ComPort()).arg(comms->BaudRate());
}

void CollectUnit(TSerialThread &engine, TCommissioningReport &report)
{
    TZelvo *unit = engine.Unit();
    const QString text = unittext::PrintableVersion(engine.FirmwareVersion());
    report.Firmware = text;
    // The version number stands between the first "V" and the first "?".
    const qsizetype mark = text.indexOf('?');
    const qsizetype vee = text.indexOf('V');
    report.FirmwareVersion.clear();
    if (mark >= 0)
        report.FirmwareVersion =
            vee >= 0 && vee < mark ? text.mid(vee + 1, mark - vee - 1) : text.left(mark);
    report.UnitType = unit ? unit->GetUnitType() : 0;
    report.Model = unittext::ModelName(static_cast<std::uint8_t>(report.UnitType));
    report.Port = ReportPortText(engine);
    if (text.isEmpty())
        report.Unit.MarkUnavailable(QStringLiteral("The unit did not report its firmware."));
    else
        report.Unit.MarkAvailable();
}

void CollectConnection(const TConnectionSettings &settings, TCommissioningReport &report)
{
    report.ConnectionType = settings.ConnectionType;
    report.ConnectionTypeText = unittext::ConnectionTypeName(settings.ConnectionType);
    report.Apn = unittext::Latin1(settings.APN);
    report.User = unittext::Latin1(settings.Username);
    report.PasswordSet = !settings.Password.empty();
    report.UseDhcp = settings.UseDHCP;
    report.IpAddress = FormatIPAddress(settings.IPAddress);
    report.NetMask = FormatIPAddress(settings.NetMask);
    report.DefaultGateway = FormatIPAddress(settings.DefaultGateway);
    report.DnsServer = FormatIPAddress(settings.DNSServer);
    report.Connection.MarkAvailable();
}

void CollectIOConfig(TSerialThread &engine, TCommissioningReport &report)
{
    TZelvo *unit = engine.Unit();
    TServerSideIOs &list = unit->ServerSideIOs();
    TAvailableInputTypes &types = unit->AvailableInputTypes();
    TUOMDescriptions &uoms = unit->UOMDescriptions();
    const auto typeName = [&types](int id) {
        for (int i = 0; i < types.Count(); ++i)
            if (types.At(i)->InputTypeID == id)
                return types.At(i)->Name;
        return QString::number(id);
    };
    const auto uomName = [&uoms](int id) {
        for (int i = 0; i < uoms.Count(); ++i)
            if (uoms.At(i)->GetUOMID() == id)
                return uoms.At(i)->GetName();
        return QString::number(id);
    };
    report.ConfigRows.clear();
    for (int i = 0; i < list.Count(); ++i) {
        const TServerSideIO *io = list.Item(i);
        report.ConfigRows.push_back({io->IOID(), io->Tag().trimmed(), io->FriendlyName(),
                                     typeName(io->InputTypeID()), uomName(io->UOMID()),
                                     TServerSideIO::LoggingModeText(io->LoggingMode()),
                                     io->IsExternal()});
    }
}

void CollectLive(TSerialThread &engine, TCommissioningReport &report)
{
    TIOs &ios = engine.Unit()->IOs();
    report.LiveRows.clear();
    for (int i = 0; i < ios.Count(); ++i) {
        const TIO *io = ios.At(i);
        report.LiveRows.push_back(
            {io->Number, io->Name, io->Tag,
             io->ConfigurableType != -1 ? ConfigurableTypeText(io->ConfigurableType)
                                        : io->GetTypeText(),
             io->GetValueText().trimmed(), io->IsDigital ? QString() : io->UnitsText.trimmed()});
    }
}

void CollectExternal(TSerialThread &engine, TCommissioningReport &report)
{
    TZelvo *unit = engine.Unit();
    TServerSideIOs &list = unit->ServerSideIOs();
    const bool haveValues = unit->HasIOUOMTable();
    report.ExternalRows.clear();
    for (int i = 0; i < list.Count(); ++i) {
        const TServerSideIO *io = list.Item(i);
        if (!io->IsExternal())
            continue;
        report.ExternalRows.push_back(
            {io->FriendlyName(), io->Tag().trimmed(),
             haveValues ? QString::asprintf("%0.2Lf", io->Value()) : QStringLiteral("<No data>"),
             TServerSideIO::LoggingModeText(io->LoggingMode()),
             TServerSideIO::ErrorStateText(io->ErrorState()), io->SlaveName(), io->SlaveID()});
    }
}
