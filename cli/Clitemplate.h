#pragma once

// Configuration templates: the unit's I/O configuration as a human-editable
// JSON file, and the plan that applies one to a unit with the Edit I/O
// dialog's rules. Free of the engine: the caller hands over plain views of
// the records, the input types and the UOM list it read.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

struct TIORecordView {
    QString Tag;
    QString Name;
    int InputTypeId = 0;
    int UomId = 0;
    int Logging = 0;
};

struct TInputTypeView {
    int Id = 0;
    QString Name;
    bool Selectable = false;
    int Category = 0;
};

struct TUomView {
    int Id = 0;
    QString Name;
    int Category = 0;
};

// One entry of a template; a field left out keeps the unit's value. Input
// type and UOM are given by id (a number) or by name.
struct TTemplateEntry {
    QString Tag;
    std::optional<QString> Name;
    std::optional<QString> InputType;
    std::optional<QString> Uom;
    std::optional<int> Logging;
};

struct TTemplateChange {
    int Index = -1;          // of the record in the list handed to the plan
    TIORecordView Target;    // the record as it is to be
    QStringList Differences; // "name: old -> new", one per changed field
};

struct TTemplatePlan {
    std::vector<TTemplateChange> Changes;
    // Why entries cannot be applied; any one stops the whole apply.
    QStringList Refusals;
};

// Longest friendly name the unit keeps.
constexpr int kMaxFriendlyName = 64;

// The logging mode's text ("No Log", "Display Only", "Log & Display",
// "Log Only"), and a mode from its text or its number 0..3 (nullopt when
// neither).
QString LoggingText(int mode);
std::optional<int> ParseLoggingMode(const QString &text);

// Writes the records as a template file.
QByteArray WriteTemplate(const QString &model, const std::vector<TIORecordView> &records,
                         const std::vector<TInputTypeView> &types,
                         const std::vector<TUomView> &uoms);

// Reads a template file; false with `error` (which names the entry) when it
// is not one.
bool ParseTemplate(const QByteArray &bytes, std::vector<TTemplateEntry> &entries, QString &error);

// Plans the edits: per record the dialog's rules (only inputs change type,
// only selectable types, the UOM from the type's category, a category with
// fewer than two UOMs gives UOM id 5, logging 0..3, names up to 64
// characters). Entries that change nothing produce no change.
TTemplatePlan PlanTemplate(const std::vector<TIORecordView> &records,
                           const std::vector<TInputTypeView> &types,
                           const std::vector<TUomView> &uoms,
                           const std::vector<TTemplateEntry> &entries);
