#include "ReportTestUtil.h"

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QXmlStreamReader>

namespace reporttest
{

QString PdfText(const QString &path, int first, int last)
{
    QStringList args{QStringLiteral("-layout"), QStringLiteral("-f"), QString::number(first)};
    if (last > 0)
        args << QStringLiteral("-l") << QString::number(last);
    args << path << QStringLiteral("-");
    QProcess p;
    p.start(QStringLiteral("pdftotext"), args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QString();
    // Ligatures ("fi") come out as one character; a reader's search sees the
    // letters.
    return QString::fromUtf8(p.readAllStandardOutput()).normalized(QString::NormalizationForm_KC);
}

int PdfPages(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {path});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return -1;
    for (const QString &line : QString::fromUtf8(p.readAllStandardOutput()).split('\n'))
        if (line.startsWith(QLatin1String("Pages:")))
            return line.mid(6).trimmed().toInt();
    return -1;
}

THtmlReport ParseHtml(const QByteArray &bytes)
{
    THtmlReport out;
    QXmlStreamReader xml(bytes);
    QString section = QStringLiteral("header");
    QStringList cells;
    bool inRow = false;
    bool inHead = false;
    QString cell;
    int cellDepth = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QString name = xml.name().toString();
            const auto attrs = xml.attributes();
            if (attrs.hasAttribute(QStringLiteral("src")) ||
                attrs.hasAttribute(QStringLiteral("href")) || name == QLatin1String("link"))
                out.HasExternalReference = true;
            if (name == QLatin1String("h2"))
                section = attrs.value(QStringLiteral("id")).toString();
            if (name == QLatin1String("thead"))
                inHead = true;
            if (name == QLatin1String("tr")) {
                inRow = true;
                cells.clear();
            }
            if (name == QLatin1String("td") || name == QLatin1String("th")) {
                cell.clear();
                ++cellDepth;
            }
        } else if (xml.isEndElement()) {
            const QString name = xml.name().toString();
            if (name == QLatin1String("td") || name == QLatin1String("th")) {
                cells << cell;
                --cellDepth;
            }
            if (name == QLatin1String("tr") && inRow) {
                inRow = false;
                if (inHead)
                    out.HeaderRows[section] = cells.join('|');
                else
                    out.Rows[section] << cells.join('|');
            }
            if (name == QLatin1String("thead"))
                inHead = false;
        } else if (xml.isCharacters()) {
            out.Sections[section] += xml.text().toString();
            if (cellDepth > 0)
                cell += xml.text().toString();
        }
    }
    out.WellFormed = !xml.hasError();
    out.Error = xml.errorString();
    return out;
}

QJsonObject ParseJson(const QByteArray &bytes, QString *error)
{
    QJsonParseError e{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &e);
    if (error)
        *error = e.error == QJsonParseError::NoError ? QString() : e.errorString();
    return doc.object();
}

QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace reporttest
