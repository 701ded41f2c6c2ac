#pragma once

// Reading back what a report file holds: the text of a PDF (pdftotext), the
// sections of an HTML file (parsed as XML) and the JSON object.

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>

namespace reporttest
{

// The text of pages first..last of a PDF (0: to the end); empty when
// pdftotext is missing or fails.
QString PdfText(const QString &path, int first = 1, int last = 0);
int PdfPages(const QString &path);

struct THtmlReport {
    bool WellFormed = false;
    QString Error;
    // Section id (h2 id) -> the text that follows it up to the next section.
    QMap<QString, QString> Sections;
    // Rows of each table, cells joined by '|', under the section they follow.
    QMap<QString, QStringList> Rows;
    // Header cells of the tables under each section, joined by '|'.
    QMap<QString, QString> HeaderRows;
    bool HasExternalReference = false; // a src= or href= or <link>
};
THtmlReport ParseHtml(const QByteArray &bytes);

QJsonObject ParseJson(const QByteArray &bytes, QString *error = nullptr);

QByteArray ReadFile(const QString &path);

} // namespace reporttest
