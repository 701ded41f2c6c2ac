#pragma once

// Configuration templates: the unit's I/O configuration as a human-editable
// JSON file, and the plan that applies one to a unit with the Edit I/O
// rules (model/Editiorules.h). Free of the engine: the caller hands over the
// records as values, and the input types and the UOM list it read.

#include "model/Editiorules.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class TAvailableInputTypes;
class TUOMDescriptions;

// One entry of a template; a field left out keeps the unit's value. Input
// type and UOM are given by id (a number) or by name.
struct TTemplateEntry : editio::TRequest {
    QString Tag;
};

struct TTemplateChange {
    int Index = -1;          // of the record in the list handed to the plan
    editio::TRecord Target;  // the record as it is to be
    QStringList Differences; // "name: old -> new", one per changed field
};

struct TTemplatePlan {
    std::vector<TTemplateChange> Changes;
    // Why entries cannot be applied; any one stops the whole apply.
    QStringList Refusals;
};

// Longest friendly name an edit may give (the option parser's name for it).
constexpr int kMaxFriendlyName = editio::MaxNameLength;

// The logging mode's text ("No Log", "Display Only", "Log & Display",
// "Log Only"), and a mode from its text or its number 0..3 (nullopt when
// neither).
QString LoggingText(int mode);
std::optional<int> ParseLoggingMode(const QString &text);

// Writes the records as a template file.
QByteArray WriteTemplate(const QString &model, const std::vector<editio::TRecord> &records,
                         const TAvailableInputTypes &types, const TUOMDescriptions &uoms);

// Reads a template file; false with `error` (which names the entry) when it
// is not one.
bool ParseTemplate(const QByteArray &bytes, std::vector<TTemplateEntry> &entries, QString &error);

// Plans the edits: each entry names its record by tag (any case, brackets
// and padding ignored) and goes through the Edit I/O rules; an entry that
// changes nothing produces no change. Refusals start with the entry's tag.
TTemplatePlan PlanTemplate(const std::vector<editio::TRecord> &records,
                           const TAvailableInputTypes &types, const TUOMDescriptions &uoms,
                           const std::vector<TTemplateEntry> &entries);
