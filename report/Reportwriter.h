#pragma once

// Writing the commissioning report as JSON, self-contained HTML or an A4 PDF.

#include "report/Report.h"

#include <QByteArray>
#include <QString>

class QIODevice;

// The same data in every format; the JSON keys are listed in README.
QByteArray ReportToJson(const TCommissioningReport &report);
// One self-contained HTML file (inline style, no external resources), also
// well-formed XML. `forPdf` leaves out the brand band, which the PDF draws
// on every page instead.
QString ReportToHtml(const TCommissioningReport &report, bool forPdf = false);
// A4, the brand's band at the top of every page and "Page n of m" at the
// foot; tables break across pages with their header row repeated. Needs a
// QGuiApplication (the offscreen platform will do).
bool WriteReportPdf(const TCommissioningReport &report, QIODevice &out, QString *error);

// Writes the file atomically: a report that fails half-way never replaces
// the file that was there. False with the reason otherwise.
bool SaveReport(const TCommissioningReport &report, const QString &path, TReportFormat format,
                QString *error);
