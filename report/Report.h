#pragma once

// The commissioning report: what the unit was found and left with, gathered
// through the job engine and written as PDF, HTML or JSON.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

class TSerialThread;
struct TConnectionSettings;

enum class TReportFormat { Pdf, Html, Json };

// The format a file name asks for by its extension (.pdf, .html or .htm,
// .json; any case); none for anything else.
std::optional<TReportFormat> ReportFormatFromPath(const QString &path);

// Whether a section was asked for and, if so, whether its data could be had.
struct TReportSection {
    bool Included = true;
    bool Available = false;
    QString Reason; // why it is not available (or not included)

    void MarkAvailable()
    {
        Available = true;
        Reason.clear();
    }
    void MarkUnavailable(const QString &why)
    {
        Available = false;
        Reason = why;
    }
    void MarkNotIncluded(const QString &why)
    {
        Included = false;
        Available = false;
        Reason = why;
    }
};

// A signal reading as the window's meter shows it.
struct TSignalPoint {
    int Level = 0;
    QString Band;
};

// Minimum, mean and maximum of the readings that gave a level. No signal
// (99) counts as the empty bar the meter draws (level 0); a failed read
// (150) and a read without data (255) are not levels and are only counted.
struct TSignalStats {
    int Readings = 0; // samples taken
    int Levels = 0;   // samples that gave a level (0..31, or 99 as 0)
    int NoLevel = 0;  // failed reads and reads without data
    TSignalPoint Minimum;
    TSignalPoint Maximum;
    double Mean = 0;        // one decimal is shown
    TSignalPoint MeanPoint; // the band of the mean rounded to a whole level
};
TSignalStats ComputeSignalStats(const std::vector<std::uint8_t> &samples);

struct TReportConfigRow {
    int Id = 0;
    QString Tag;
    QString Name;
    QString InputType; // name from the server's input types, else its id
    QString Uom;       // name from the server's UOM list, else its id
    QString Logging;
    bool External = false;
};

struct TReportLiveRow {
    int Number = 0;
    QString Name;
    QString Tag;
    QString Type;
    QString Value; // as the live page shows it, units included
    QString Units;
};

struct TReportExternalRow {
    QString Name;
    QString Tag;
    QString Value; // "<No data>" before values were read
    QString Logging;
    QString ErrorState;
    QString SlaveName;
    int SlaveId = 0;
};

struct TCommissioningReport {
    // Header.
    QDateTime Created; // local time; shown with its UTC offset
    QString ToolName;
    QString ToolVersion;
    QString Site;
    QString Installer;
    QString Email; // the logged-on e-mail, empty when nobody logged on

    TReportSection Unit;
    QString Model;
    int UnitType = 0;
    QString Firmware;        // the version text the unit reported
    QString FirmwareVersion; // its version number
    QString Port;

    // The password itself is never taken into the report: only whether one
    // is set.
    TReportSection Connection;
    int ConnectionType = 0;
    QString ConnectionTypeText;
    QString Apn;
    QString User;
    bool PasswordSet = false;
    bool UseDhcp = false;
    QString IpAddress;
    QString NetMask;
    QString DefaultGateway;
    QString DnsServer;

    TReportSection Signal;
    int SignalSeconds = 0;
    std::vector<std::uint8_t> SignalSamples;

    TReportSection IOConfig;
    std::vector<TReportConfigRow> ConfigRows;

    TReportSection Live;
    QDateTime LiveReadAt;
    std::vector<TReportLiveRow> LiveRows;

    TReportSection External;
    QDateTime ExternalReadAt;
    std::vector<TReportExternalRow> ExternalRows;

    TReportSection Snapshot;
    QStringList SnapshotLines;

    TReportSection Log;
    QStringList LogLines;

    // Sections that were asked for but could not be filled.
    QStringList UnavailableSections() const;
};

// The report's title, the tool's name ("Zelvo Marlune") and "Page n of m".
QString ReportTitle();
QString ReportToolName();

// Fill from what the engine holds now (GUI thread; the engine resting).
// The settings are those the unit reported when it connected.
void CollectUnit(TSerialThread &engine, TCommissioningReport &report);
void CollectConnection(const TConnectionSettings &settings, TCommissioningReport &report);
void CollectIOConfig(TSerialThread &engine, TCommissioningReport &report);
void CollectLive(TSerialThread &engine, TCommissioningReport &report);
void CollectExternal(TSerialThread &engine, TCommissioningReport &report);

// The port the engine was told to use, as the installer would name it.
QString ReportPortText(TSerialThread &engine);

// The local time with its UTC offset, ISO 8601 ("2026-12-09T01:30:00+01:00").
QString ReportTimeText(const QDateTime &t);
