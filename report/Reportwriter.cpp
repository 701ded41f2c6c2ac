#include "report/Reportwriter.h"

#include "common/Branding.h"

#include <QAbstractTextDocumentLayout>
#include <QFont>
#include <QFontMetrics>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>

#include <cmath>

namespace
{

QJsonObject SectionJson(const TReportSection &s)
{
    QJsonObject o{{"included", s.Included}, {"available", s.Available}};
    if (!s.Available)
        o.insert("reason", s.Reason);
    return o;
}

QJsonObject PointJson(const TSignalPoint &p)
{
    return QJsonObject{{"level", p.Level}, {"band", p.Band}};
}

QJsonArray LinesJson(const QStringList &lines)
{
    QJsonArray a;
    for (const QString &l : lines)
        a.append(l);
    return a;
}

} // namespace

QByteArray ReportToJson(const TCommissioningReport &r)
{
    QJsonObject root;
    root.insert("format", "zelvo-commissioning-report");
    root.insert("formatVersion", 1);
    root.insert("header", QJsonObject{{"title", ReportTitle()},
                                      {"created", ReportTimeText(r.Created)},
                                      {"tool", r.ToolName},
                                      {"toolVersion", r.ToolVersion},
                                      {"site", r.Site},
                                      {"installer", r.Installer},
                                      {"email", r.Email}});

    QJsonObject unit = SectionJson(r.Unit);
    if (r.Unit.Available) {
        unit.insert("model", r.Model);
        unit.insert("unitType", r.UnitType);
        unit.insert("firmware", r.Firmware);
        unit.insert("firmwareVersion", r.FirmwareVersion);
    }
    unit.insert("port", r.Port);
    root.insert("unit", unit);

    QJsonObject conn = SectionJson(r.Connection);
    if (r.Connection.Available) {
        conn.insert("type", r.ConnectionType == 2   ? "mobile"
                            : r.ConnectionType == 0 ? "ethernet"
                                                    : "unknown");
        conn.insert("typeCode", r.ConnectionType);
        conn.insert("typeText", r.ConnectionTypeText);
        conn.insert("apn", r.Apn);
        conn.insert("user", r.User);
        conn.insert("password", r.PasswordSet ? "set" : "not set");
        conn.insert("dhcp", r.UseDhcp);
        conn.insert("ipAddress", r.IpAddress);
        conn.insert("netMask", r.NetMask);
        conn.insert("defaultGateway", r.DefaultGateway);
        conn.insert("dnsServer", r.DnsServer);
    }
    root.insert("connection", conn);

    QJsonObject signal = SectionJson(r.Signal);
    signal.insert("seconds", r.SignalSeconds);
    if (r.Signal.Available) {
        const TSignalStats st = ComputeSignalStats(r.SignalSamples);
        QJsonArray samples;
        for (const std::uint8_t s : r.SignalSamples)
            samples.append(s);
        signal.insert("samples", samples);
        signal.insert("readings", st.Readings);
        signal.insert("levels", st.Levels);
        if (st.Levels > 0) {
            signal.insert("minimum", PointJson(st.Minimum));
            QJsonObject mean = PointJson(st.MeanPoint);
            mean.insert("level", std::round(st.Mean * 10) / 10);
            signal.insert("mean", mean);
            signal.insert("maximum", PointJson(st.Maximum));
        }
    }
    root.insert("signal", signal);

    QJsonObject config = SectionJson(r.IOConfig);
    if (r.IOConfig.Available) {
        QJsonArray rows;
        for (const TReportConfigRow &c : r.ConfigRows)
            rows.append(QJsonObject{{"id", c.Id},
                                    {"tag", c.Tag},
                                    {"name", c.Name},
                                    {"inputType", c.InputType},
                                    {"uom", c.Uom},
                                    {"logging", c.Logging},
                                    {"external", c.External}});
        config.insert("io", rows);
    }
    root.insert("ioConfiguration", config);

    QJsonObject live = SectionJson(r.Live);
    if (r.Live.Available) {
        live.insert("readAt", ReportTimeText(r.LiveReadAt));
        QJsonArray rows;
        for (const TReportLiveRow &l : r.LiveRows)
            rows.append(QJsonObject{{"number", l.Number},
                                    {"name", l.Name},
                                    {"tag", l.Tag},
                                    {"type", l.Type},
                                    {"value", l.Value},
                                    {"units", l.Units}});
        live.insert("io", rows);
    }
    root.insert("liveValues", live);

    QJsonObject ext = SectionJson(r.External);
    if (r.External.Available) {
        ext.insert("readAt", ReportTimeText(r.ExternalReadAt));
        QJsonArray rows;
        for (const TReportExternalRow &e : r.ExternalRows)
            rows.append(QJsonObject{{"name", e.Name},
                                    {"tag", e.Tag},
                                    {"value", e.Value},
                                    {"logging", e.Logging},
                                    {"errorState", e.ErrorState},
                                    {"slaveName", e.SlaveName},
                                    {"slaveId", e.SlaveId}});
        ext.insert("io", rows);
    }
    root.insert("externalIO", ext);

    QJsonObject snap = SectionJson(r.Snapshot);
    if (r.Snapshot.Available)
        snap.insert("lines", LinesJson(r.SnapshotLines));
    root.insert("snapshot", snap);

    QJsonObject log = SectionJson(r.Log);
    if (r.Log.Available)
        log.insert("lines", LinesJson(r.LogLines));
    root.insert("log", log);

    root.insert("unavailable", QJsonArray::fromStringList(r.UnavailableSections()));
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

// ---- HTML ----

namespace
{

QString E(const QString &s)
{
    return s.toHtmlEscaped();
}

// Colours of the brand band and the table headers.
const char *const kBrandColour = "#0b4f6c";
const char *const kHeaderFill = "#dce8ee";

class THtml
{
public:
    void Raw(const QString &s) { FOut += s; }
    void Heading(const QString &id, const QString &title)
    {
        FOut += QStringLiteral("<h2 id=\"%1\">%2</h2>\n").arg(id, E(title));
    }
    void Missing(const TReportSection &s)
    {
        FOut += QStringLiteral("<p class=\"na\">%1</p>\n")
                    .arg(E((s.Included ? QStringLiteral("Not available: ")
                                       : QStringLiteral("Not included: ")) +
                           s.Reason));
    }
    void Pairs(const QList<QPair<QString, QString>> &pairs)
    {
        FOut += QStringLiteral("<table class=\"pairs\" cellspacing=\"0\" cellpadding=\"2\">\n");
        for (const auto &[k, v] : pairs)
            FOut +=
                QStringLiteral("<tr><td class=\"key\">%1</td><td>%2</td></tr>\n").arg(E(k), E(v));
        FOut += QStringLiteral("</table>\n");
    }
    // A table whose header row repeats on every page it runs onto.
    void Table(const QString &cls, const QStringList &head, const QList<QStringList> &rows)
    {
        FOut += QStringLiteral("<table class=\"grid %1\" width=\"100%\" border=\"1\" "
                               "cellspacing=\"0\" cellpadding=\"3\">\n<thead><tr>")
                    .arg(cls);
        for (const QString &h : head)
            FOut += QStringLiteral("<th>%1</th>").arg(E(h));
        FOut += QStringLiteral("</tr></thead>\n<tbody>\n");
        for (const QStringList &row : rows) {
            FOut += QStringLiteral("<tr>");
            for (const QString &cell : row)
                FOut += QStringLiteral("<td>%1</td>").arg(E(cell));
            FOut += QStringLiteral("</tr>\n");
        }
        FOut += QStringLiteral("</tbody></table>\n");
    }
    void Lines(const QStringList &lines)
    {
        FOut += QStringLiteral("<table class=\"lines\" width=\"100%\" cellspacing=\"0\" "
                               "cellpadding=\"1\">\n");
        for (const QString &l : lines)
            FOut += QStringLiteral("<tr><td>%1</td></tr>\n").arg(E(l));
        FOut += QStringLiteral("</table>\n");
    }
    const QString &Text() const { return FOut; }

private:
    QString FOut;
};

QString OrDash(const QString &s)
{
    return s.isEmpty() ? QStringLiteral("-") : s;
}

} // namespace

QString ReportToHtml(const TCommissioningReport &r, bool forPdf)
{
    THtml h;
    h.Raw(QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
                         "<title>%1 - %2</title>\n<style>\n")
              .arg(E(ReportToolName()), E(ReportTitle())));
    h.Raw(QStringLiteral(
              "body { font-family: 'DejaVu Sans', Arial, Helvetica, sans-serif; font-size: 9pt; "
              "color: #000000; }\n"
              "h1 { font-size: 15pt; margin-top: 0; margin-bottom: 6px; }\n"
              "h2 { font-size: 11.5pt; color: %1; margin-top: 14px; margin-bottom: 4px; }\n"
              "table.grid { border-collapse: collapse; border-color: #8a9ba5; }\n"
              "table.grid th { background-color: %2; text-align: left; font-weight: bold; }\n"
              "table.grid td, table.grid th { border: 1px solid #8a9ba5; padding: 3px; }\n"
              "td.key { font-weight: bold; padding-right: 14px; }\n"
              "table.lines td { font-family: 'DejaVu Sans Mono', Consolas, monospace; "
              "font-size: 8pt; }\n"
              "p.na { color: #a01010; font-weight: bold; }\n"
              "div.brand { background-color: %1; color: #ffffff; padding: 8px; "
              "font-size: 13pt; font-weight: bold; margin-bottom: 10px; }\n")
              .arg(QLatin1String(kBrandColour), QLatin1String(kHeaderFill)));
    h.Raw(QStringLiteral("</style>\n</head>\n<body>\n"));
    if (!forPdf)
        h.Raw(QStringLiteral("<div class=\"brand\">%1</div>\n").arg(E(ReportToolName())));

    h.Raw(QStringLiteral("<h1 id=\"header\">%1</h1>\n").arg(E(ReportTitle())));
    QList<QPair<QString, QString>> head{
        {QStringLiteral("Date and time"), ReportTimeText(r.Created)},
        {QStringLiteral("Tool"), QStringLiteral("%1 %2").arg(r.ToolName, r.ToolVersion)},
        {QStringLiteral("Site"), OrDash(r.Site)},
        {QStringLiteral("Installer"), OrDash(r.Installer)},
        {QStringLiteral("Logged on as"),
         r.Email.isEmpty() ? QStringLiteral("not logged on") : r.Email}};
    h.Pairs(head);

    h.Heading(QStringLiteral("unit"), QStringLiteral("The unit"));
    if (r.Unit.Available)
        h.Pairs({{QStringLiteral("Model"), r.Model},
                 {QStringLiteral("Unit type"), QString::number(r.UnitType)},
                 {QStringLiteral("Firmware"), r.Firmware},
                 {QStringLiteral("Firmware version"), OrDash(r.FirmwareVersion)},
                 {QStringLiteral("Port"), r.Port}});
    else
        h.Missing(r.Unit);

    h.Heading(QStringLiteral("connection"), QStringLiteral("Connection settings"));
    if (r.Connection.Available)
        h.Pairs({{QStringLiteral("Connection type"), r.ConnectionTypeText},
                 {QStringLiteral("APN"), OrDash(r.Apn)},
                 {QStringLiteral("User name"), OrDash(r.User)},
                 {QStringLiteral("Password"),
                  r.PasswordSet ? QStringLiteral("set") : QStringLiteral("not set")},
                 {QStringLiteral("DHCP"), r.UseDhcp ? QStringLiteral("Yes") : QStringLiteral("No")},
                 {QStringLiteral("IP address"), r.IpAddress},
                 {QStringLiteral("Net mask"), r.NetMask},
                 {QStringLiteral("Default gateway"), r.DefaultGateway},
                 {QStringLiteral("DNS server"), r.DnsServer}});
    else
        h.Missing(r.Connection);

    h.Heading(QStringLiteral("signal"), QStringLiteral("Signal strength"));
    if (r.Signal.Available) {
        const TSignalStats st = ComputeSignalStats(r.SignalSamples);
        const auto point = [](const TSignalPoint &p) {
            return QStringLiteral("%1 (%2)").arg(p.Level).arg(p.Band);
        };
        QList<QPair<QString, QString>> pairs{
            {QStringLiteral("Sampled for"), QStringLiteral("%1 s").arg(r.SignalSeconds)},
            {QStringLiteral("Readings"),
             QStringLiteral("%1, of which %2 gave a level").arg(st.Readings).arg(st.Levels)}};
        if (st.Levels > 0) {
            pairs << QPair<QString, QString>{QStringLiteral("Minimum"), point(st.Minimum)}
                  << QPair<QString, QString>{QStringLiteral("Mean"),
                                             QStringLiteral("%1 (%2)").arg(
                                                 QString::number(st.Mean, 'f', 1),
                                                 st.MeanPoint.Band)}
                  << QPair<QString, QString>{QStringLiteral("Maximum"), point(st.Maximum)};
        }
        h.Pairs(pairs);
    } else {
        h.Missing(r.Signal);
    }

    h.Heading(QStringLiteral("io-configuration"), QStringLiteral("I/O configuration"));
    if (r.IOConfig.Available) {
        QList<QStringList> rows;
        for (const TReportConfigRow &c : r.ConfigRows)
            rows << QStringList{QString::number(c.Id), c.Tag, c.Name,
                                c.InputType,           c.Uom, c.Logging};
        h.Table(QStringLiteral("config"),
                {QStringLiteral("ID"), QStringLiteral("Tag"), QStringLiteral("Name"),
                 QStringLiteral("Input type"), QStringLiteral("UOM"), QStringLiteral("Logging")},
                rows);
    } else {
        h.Missing(r.IOConfig);
    }

    h.Heading(QStringLiteral("live-values"), QStringLiteral("Live values (standard I/O)"));
    if (r.Live.Available) {
        h.Raw(QStringLiteral("<p>Read at %1</p>\n").arg(E(ReportTimeText(r.LiveReadAt))));
        QList<QStringList> rows;
        for (const TReportLiveRow &l : r.LiveRows)
            rows << QStringList{QString::number(l.Number), l.Name, l.Tag, l.Type, l.Value};
        h.Table(QStringLiteral("live"),
                {QStringLiteral("No."), QStringLiteral("Name"), QStringLiteral("Tag"),
                 QStringLiteral("Type"), QStringLiteral("Value")},
                rows);
    } else {
        h.Missing(r.Live);
    }

    h.Heading(QStringLiteral("external-io"), QStringLiteral("Live values (external I/O)"));
    if (r.External.Available) {
        h.Raw(QStringLiteral("<p>Read at %1</p>\n").arg(E(ReportTimeText(r.ExternalReadAt))));
        if (r.ExternalRows.empty()) {
            h.Raw(QStringLiteral("<p>The I/O configuration holds no external I/O.</p>\n"));
        } else {
            QList<QStringList> rows;
            for (const TReportExternalRow &e : r.ExternalRows)
                rows << QStringList{e.Name,
                                    e.Tag,
                                    e.Value,
                                    e.Logging,
                                    e.ErrorState,
                                    e.SlaveName,
                                    QString::number(e.SlaveId)};
            h.Table(QStringLiteral("external"),
                    {QStringLiteral("Name"), QStringLiteral("Tag"), QStringLiteral("Value"),
                     QStringLiteral("Logging"), QStringLiteral("Error"),
                     QStringLiteral("Slave name"), QStringLiteral("Slave ID")},
                    rows);
        }
    } else {
        h.Missing(r.External);
    }

    h.Heading(QStringLiteral("snapshot"), QStringLiteral("Latest snapshot"));
    if (r.Snapshot.Available)
        h.Lines(r.SnapshotLines);
    else
        h.Missing(r.Snapshot);

    h.Heading(QStringLiteral("log"), QStringLiteral("Session log"));
    if (r.Log.Available)
        h.Lines(r.LogLines);
    else
        h.Missing(r.Log);

    h.Raw(QStringLiteral("</body>\n</html>\n"));
    return h.Text();
}

// ---- PDF ----

namespace
{

constexpr int kDpi = 300;

int Mm(double mm)
{
    return static_cast<int>(std::lround(mm * kDpi / 25.4));
}

} // namespace

bool WriteReportPdf(const TCommissioningReport &r, QIODevice &out, QString *error)
{
    QPdfWriter writer(&out);
    writer.setResolution(kDpi);
    writer.setPageLayout(
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    writer.setTitle(QStringLiteral("%1 - %2").arg(ReportToolName(), ReportTitle()));
    writer.setCreator(QStringLiteral("%1 %2").arg(r.ToolName, r.ToolVersion));

    QFont base;
    base.setFamilies(
        {QStringLiteral("DejaVu Sans"), QStringLiteral("Arial"), QStringLiteral("Helvetica")});
    base.setStyleHint(QFont::SansSerif);
    base.setPointSizeF(9);

    QTextDocument doc;
    // Laid out in the writer's own units, so point sizes come out right.
    doc.documentLayout()->setPaintDevice(&writer);
    doc.setDefaultFont(base);
    doc.setDocumentMargin(0);
    doc.setHtml(ReportToHtml(r, true));

    const QRect page = writer.pageLayout().fullRectPixels(kDpi);
    const int side = Mm(16);
    const int bandHeight = Mm(14);
    const int top = bandHeight + Mm(8);
    const int bottom = Mm(16);
    const QRectF body(side, top, page.width() - 2 * side, page.height() - top - bottom);
    // A page height makes the layout paginate: tables break between rows and
    // repeat their header row on the next page.
    doc.setPageSize(body.size());
    const int pages = doc.pageCount();

    QPainter p;
    if (!p.begin(&writer)) {
        if (error)
            *error = QStringLiteral("The PDF could not be started.");
        return false;
    }
    QFont bandFont = base;
    bandFont.setPointSizeF(13);
    bandFont.setBold(true);
    QFont bandSmall = base;
    bandSmall.setPointSizeF(9);
    QFont footFont = base;
    footFont.setPointSizeF(8);
    const QString stamp = ReportTimeText(r.Created);
    for (int i = 0; i < pages; ++i) {
        if (i > 0)
            writer.newPage();
        // The brand's band.
        const QRect band(0, 0, page.width(), bandHeight);
        p.fillRect(band, QColor(QLatin1String(kBrandColour)));
        p.setPen(Qt::white);
        p.setFont(bandFont);
        p.drawText(band.adjusted(side, 0, -side, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   ReportToolName());
        p.setFont(bandSmall);
        // A long site name is cut short rather than run into the brand.
        const QString title =
            r.Site.isEmpty() ? ReportTitle()
                             : QFontMetrics(bandSmall, &writer)
                                   .elidedText(QStringLiteral("%1 - %2").arg(ReportTitle(), r.Site),
                                               Qt::ElideRight, page.width() / 2);
        const QString right = QStringLiteral("%1\n%2").arg(title, stamp);
        p.drawText(band.adjusted(side, 0, -side, 0), Qt::AlignRight | Qt::AlignVCenter, right);

        // The foot: tool and web host, page number.
        p.setPen(QColor(0x44, 0x44, 0x44));
        p.setFont(footFont);
        const QRect foot(side, page.height() - bottom + Mm(5), page.width() - 2 * side, Mm(6));
        p.drawLine(foot.topLeft() - QPoint(0, Mm(1)), foot.topRight() - QPoint(0, Mm(1)));
        p.drawText(foot, Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("%1 %2  %3")
                       .arg(r.ToolName, r.ToolVersion, QLatin1String(Branding::WebHost)));
        p.drawText(foot, Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("Page %1 of %2").arg(i + 1).arg(pages));

        // This page's part of the document.
        p.save();
        p.translate(body.left(), body.top() - i * body.height());
        QAbstractTextDocumentLayout::PaintContext ctx;
        ctx.clip = QRectF(0, i * body.height(), body.width(), body.height());
        ctx.palette.setColor(QPalette::Text, Qt::black);
        p.setClipRect(ctx.clip);
        doc.documentLayout()->draw(&p, ctx);
        p.restore();
    }
    if (!p.end()) {
        if (error)
            *error = QStringLiteral("The PDF could not be finished.");
        return false;
    }
    return true;
}

bool SaveReport(const TCommissioningReport &r, const QString &path, TReportFormat format,
                QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    bool ok = true;
    QString why;
    switch (format) {
    case TReportFormat::Json:
        ok = file.write(ReportToJson(r)) >= 0;
        break;
    case TReportFormat::Html:
        ok = file.write(ReportToHtml(r).toUtf8()) >= 0;
        break;
    case TReportFormat::Pdf:
        ok = WriteReportPdf(r, file, &why);
        break;
    }
    if (!ok) {
        if (error)
            *error = why.isEmpty() ? file.errorString() : why;
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
