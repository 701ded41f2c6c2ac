#pragma once

// The Edit I/O rules: what may change in a record of the server's I/O
// configuration and how, whoever asks (the Edit I/O dialog, a template,
// `io-config set`). Free of widgets; nothing here throws.

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class TAvailableInputType;
class TAvailableInputTypes;
class TServerSideIO;
class TUOMDescription;
class TUOMDescriptions;

namespace editio
{

// Longest friendly name a user may give. The unit may hold a longer one,
// which is kept whole as long as nobody changes it.
constexpr int MaxNameLength = 64;
// The UOM id a record gets when its input type's category offers fewer than
// two UOMs (the user has none to choose).
constexpr int32_t SingleUomId = 5;

// Only inputs ("IN" in the tag, in capitals) may change their input type.
bool MayChangeInputType(const QString &tag);

// Entries offered, in list order, and the one selected (-1: none).
template <typename T> struct TChoices {
    std::vector<const T *> Entries;
    int Current = -1;
};

// The input types offered for a record of type currentId: every selectable
// type when the record's type is selectable (its own selected), else only
// the records of that type (the first selected); none for a type the unit
// does not list.
TChoices<TAvailableInputType> InputTypeChoices(const TAvailableInputTypes &types,
                                               uint8_t currentId);

// The UOMs of one category with currentUomId selected (the last entry with
// that id; none when no entry has it).
TChoices<TUOMDescription> UomChoices(const TUOMDescriptions &uoms, int32_t category,
                                     int32_t currentUomId);

// The UOMs for a record of input type inputTypeId: those of the type's
// category. False with the text to show when the unit does not list the type
// (the record cannot be edited).
bool UomChoicesForType(const TAvailableInputTypes &types, const TUOMDescriptions &uoms,
                       uint8_t inputTypeId, int32_t currentUomId,
                       TChoices<TUOMDescription> &choices, QString &error);

// The user picks the UOM only from two choices on.
inline bool UomIsChosen(const TChoices<TUOMDescription> &choices)
{
    return choices.Entries.size() >= 2;
}

// The UOM a record gets when its input type changes: the first choice, or
// SingleUomId when there is nothing to choose.
int32_t UomAfterTypeChange(const TChoices<TUOMDescription> &choices);

// The name to store from a field that shows at most MaxNameLength characters
// of the record's name `held`: none while the field shows what it was given
// (the record keeps its whole name), else the field's text, at most
// MaxNameLength characters of it.
std::optional<QString> NameFromField(const QString &held, const QString &field);

// The fields of a record an edit may change, with its tag, as values.
struct TRecord {
    QString Tag;
    QString Name;
    int InputTypeId = 0;
    int UomId = 0;
    int Logging = 0;
};

TRecord RecordOf(const TServerSideIO &io);

// An edit asked for in words; a field left out keeps the record's value.
// Input type and UOM are given by id (a number) or by name (any case).
struct TRequest {
    std::optional<QString> Name;
    std::optional<QString> InputType;
    std::optional<QString> Uom;
    std::optional<int> Logging;
};

// The rule a request broke.
enum class TRule {
    NameTooLong,        // a new name over MaxNameLength characters
    NameNotStorable,    // a character outside Latin-1 (or a NUL)
    NoSuchInputType,    // the unit offers no such input type
    NotAnInput,         // only inputs change their input type
    InputTypeUnknown,   // the record's own type is not among the unit's
    InputTypeFixed,     // the record's type is not selectable
    TypeNotSelectable,  // the type asked for is not selectable
    SingleUom,          // the new type's category gives SingleUomId
    UomNotOffered,      // not a UOM of the type's category
    UomFixed,           // the category offers no choice of UOM
    RecordNotEditable,  // the dialog could not open the record
    LoggingNotUploaded, // "Display Only"/"Log Only" read back as "No Log"
};

struct TRefusal {
    TRule Rule;
    QString Text; // what the user is told, without the tag
};

struct TPlan {
    TRecord Target;                 // the record as it is to be
    std::vector<TRefusal> Refusals; // any one: nothing of the edit applies
    bool Ok() const { return Refusals.empty(); }
};

// Checks a request against the record `now`, the unit's input types and its
// UOM list. A request that changes nothing gives Target == now.
TPlan PlanEdit(const TRecord &now, const TRequest &request, const TAvailableInputTypes &types,
               const TUOMDescriptions &uoms);

// True when the target differs from the record in any field an edit changes.
bool Changes(const TRecord &now, const TRecord &target);

// Writes the target's name, input type, UOM and logging mode to the record
// and marks it changed for the next upload.
void ApplyEdit(TServerSideIO &record, const TRecord &target);

} // namespace editio
