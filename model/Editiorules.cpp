#include "model/Editiorules.h"

#include "model/Availableinputtype.h"
#include "model/Availableinputtypes.h"
#include "model/Modelexceptions.h"
#include "model/Serversideio.h"
#include "model/Uomdescription.h"
#include "model/Uomdescriptions.h"

#include <exception>

namespace editio
{

namespace
{

std::optional<int> Number(const QString &text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(n) : std::nullopt;
}

bool SameName(const QString &a, const QString &b)
{
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

// An input type by id, or else by name.
const TAvailableInputType *ResolveType(const TAvailableInputTypes &types, const QString &text)
{
    if (const auto id = Number(text))
        return *id >= 0 && *id <= 255 ? types.Find(static_cast<uint8_t>(*id)) : nullptr;
    for (int i = 0; i < types.Count(); ++i)
        if (SameName(types.At(i)->Name, text))
            return types.At(i);
    return nullptr;
}

// A UOM among the choices, by id or name.
const TUOMDescription *ResolveUom(const TChoices<TUOMDescription> &choices, const QString &text)
{
    const auto id = Number(text);
    for (const TUOMDescription *u : choices.Entries)
        if (id ? u->UOMID == *id : SameName(u->Name, text))
            return u;
    return nullptr;
}

bool IsLatin1(const QString &text)
{
    for (QChar c : text)
        if (c.unicode() > 0xFF || c.unicode() == 0)
            return false;
    return true;
}

// The unit's logging flags read "Display Only" (0x04) and "Log Only" (0x01)
// back as "No Log": uploading either would change the record.
bool SurvivesUpload(int logging)
{
    return logging != LOG_DISPLAY_ONLY && logging != LOG_LOG_ONLY;
}

QString NotListed(int inputTypeId)
{
    return QStringLiteral("its input type %1 is not among the unit's input types").arg(inputTypeId);
}

} // namespace

bool MayChangeInputType(const QString &tag)
{
    return tag.contains(QLatin1String("IN"), Qt::CaseSensitive);
}

TChoices<TAvailableInputType> InputTypeChoices(const TAvailableInputTypes &types, uint8_t currentId)
{
    TChoices<TAvailableInputType> choices;
    const TAvailableInputType *current = nullptr;
    for (int i = 0; i < types.Count() && current == nullptr; ++i) {
        const TAvailableInputType *t = types.At(i);
        if (t->InputTypeID != currentId)
            continue;
        choices.Entries.push_back(t);
        if (t->Selectable)
            current = t;
    }
    choices.Current = choices.Entries.empty() ? -1 : 0;
    if (current == nullptr)
        return choices;

    // A selectable type may be switched to any selectable type.
    choices.Entries.clear();
    for (int i = 0; i < types.Count(); ++i) {
        const TAvailableInputType *t = types.At(i);
        if (!t->Selectable)
            continue;
        if (t == current)
            choices.Current = static_cast<int>(choices.Entries.size());
        choices.Entries.push_back(t);
    }
    return choices;
}

TChoices<TUOMDescription> UomChoices(const TUOMDescriptions &uoms, int32_t category,
                                     int32_t currentUomId)
{
    TChoices<TUOMDescription> choices;
    for (int i = 0; i < uoms.Count(); ++i) {
        const TUOMDescription *u = uoms.At(i);
        if (u->Category != category)
            continue;
        if (u->UOMID == currentUomId)
            choices.Current = static_cast<int>(choices.Entries.size());
        choices.Entries.push_back(u);
    }
    return choices;
}

bool UomChoicesForType(const TAvailableInputTypes &types, const TUOMDescriptions &uoms,
                       uint8_t inputTypeId, int32_t currentUomId,
                       TChoices<TUOMDescription> &choices, QString &error)
{
    choices = {};
    try {
        const TAvailableInputType *type = types.GetAvailableInputType(inputTypeId);
        choices = UomChoices(uoms, type->UOMCategory, currentUomId);
    } catch (const std::exception &e) {
        error = ExceptionMessage(e);
        return false;
    }
    return true;
}

int32_t UomAfterTypeChange(const TChoices<TUOMDescription> &choices)
{
    return UomIsChosen(choices) ? choices.Entries.front()->UOMID : SingleUomId;
}

std::optional<QString> NameFromField(const QString &held, const QString &field)
{
    // The field only cut a longer name for display; the user did not.
    const QString typed = field.left(MaxNameLength);
    if (typed == held.left(MaxNameLength))
        return std::nullopt;
    return typed;
}

TRecord RecordOf(const TServerSideIO &io)
{
    return {io.Tag(), io.FriendlyName(), io.InputTypeID(), io.UOMID(), io.LoggingMode()};
}

bool Changes(const TRecord &now, const TRecord &target)
{
    return target.Name != now.Name || target.Logging != now.Logging ||
           target.InputTypeId != now.InputTypeId || target.UomId != now.UomId;
}

TPlan PlanEdit(const TRecord &now, const TRequest &request, const TAvailableInputTypes &types,
               const TUOMDescriptions &uoms)
{
    TPlan plan;
    plan.Target = now;
    TRecord &target = plan.Target;
    const auto refuse = [&plan](TRule rule, const QString &text) {
        plan.Refusals.push_back({rule, text});
    };

    // The name the unit holds already is no change, even when it is longer
    // than a new name may be: it goes back as it is, never cut.
    if (request.Name && *request.Name != now.Name) {
        if (request.Name->size() > MaxNameLength)
            refuse(TRule::NameTooLong,
                   QStringLiteral("the name is longer than %1 characters").arg(MaxNameLength));
        else if (!IsLatin1(*request.Name))
            refuse(TRule::NameNotStorable,
                   QStringLiteral("the name holds characters the unit cannot store"));
        else
            target.Name = *request.Name;
    }
    if (request.Logging)
        target.Logging = *request.Logging;

    const TAvailableInputType *current = now.InputTypeId >= 0 && now.InputTypeId <= 255
                                             ? types.Find(static_cast<uint8_t>(now.InputTypeId))
                                             : nullptr;
    bool typeChanged = false;
    if (request.InputType) {
        const QString &asked = *request.InputType;
        const TAvailableInputType *wanted = ResolveType(types, asked);
        if (!wanted && Number(asked) == now.InputTypeId) {
            // The record's own type, unknown to the unit's list: no change.
        } else if (!wanted) {
            refuse(TRule::NoSuchInputType,
                   QStringLiteral("the unit offers no input type \"%1\"").arg(asked));
        } else if (wanted->InputTypeID != now.InputTypeId) {
            if (!MayChangeInputType(now.Tag))
                refuse(TRule::NotAnInput,
                       QStringLiteral("only inputs can change their input type"));
            else if (!current)
                refuse(TRule::InputTypeUnknown, NotListed(now.InputTypeId));
            else if (!current->Selectable)
                refuse(
                    TRule::InputTypeFixed,
                    QStringLiteral("its input type \"%1\" cannot be changed").arg(current->Name));
            else if (!wanted->Selectable)
                refuse(
                    TRule::TypeNotSelectable,
                    QStringLiteral("the input type \"%1\" cannot be selected").arg(wanted->Name));
            else {
                target.InputTypeId = wanted->InputTypeID;
                typeChanged = true;
            }
        }
    }

    const TAvailableInputType *type =
        typeChanged ? types.Find(static_cast<uint8_t>(target.InputTypeId)) : current;
    TChoices<TUOMDescription> list;
    if (type)
        list = UomChoices(uoms, type->UOMCategory, target.UomId);
    const TUOMDescription *wantedUom = request.Uom ? ResolveUom(list, *request.Uom) : nullptr;
    const auto uomText = [&request] { return request.Uom.value_or(QString()); };
    const auto notOffered = [&] {
        refuse(TRule::UomNotOffered,
               QStringLiteral("the UOM \"%1\" is not offered for the input type \"%2\"")
                   .arg(uomText(), type->Name));
    };
    if (typeChanged) {
        const int32_t uom = UomAfterTypeChange(list);
        if (!UomIsChosen(list)) {
            target.UomId = uom;
            const bool single = Number(uomText()) == SingleUomId ||
                                (wantedUom && wantedUom->UOMID == SingleUomId) ||
                                (list.Entries.size() == 1 && wantedUom == list.Entries[0]);
            if (request.Uom && !single)
                refuse(TRule::SingleUom,
                       QStringLiteral("the input type \"%1\" has a single UOM; the UOM is set to "
                                      "id %2, not \"%3\"")
                           .arg(type->Name, QString::number(SingleUomId), uomText()));
        } else if (request.Uom && !wantedUom) {
            notOffered();
        } else {
            target.UomId = wantedUom ? wantedUom->UOMID : uom;
        }
    } else if (request.Uom) {
        const bool givenAsCurrent = !wantedUom && Number(uomText()) == target.UomId;
        if (givenAsCurrent || (wantedUom && wantedUom->UOMID == now.UomId)) {
            // The record's own UOM: no change.
        } else if (!type) {
            refuse(TRule::InputTypeUnknown, NotListed(now.InputTypeId));
        } else if (!wantedUom) {
            notOffered();
        } else if (!UomIsChosen(list)) {
            refuse(TRule::UomFixed,
                   QStringLiteral("the UOM of the input type \"%1\" cannot be changed")
                       .arg(type->Name));
        } else {
            target.UomId = wantedUom->UOMID;
        }
    }

    const bool edits = Changes(now, target);
    // A record the dialog cannot open is not edited at all.
    if (edits && !current && plan.Ok())
        refuse(TRule::RecordNotEditable,
               NotListed(now.InputTypeId) + QStringLiteral("; the record cannot be edited"));
    if (edits && plan.Ok() && !SurvivesUpload(target.Logging))
        refuse(TRule::LoggingNotUploaded,
               QStringLiteral("logging \"%1\" does not survive an upload (the unit reads it back "
                              "as \"No Log\"); choose No Log or Log & Display")
                   .arg(TServerSideIO::LoggingModeText(target.Logging)));
    return plan;
}

void ApplyEdit(TServerSideIO &record, const TRecord &target)
{
    record.SetFriendlyName(target.Name);
    record.SetInputTypeID(static_cast<uint8_t>(target.InputTypeId));
    record.SetUOMID(target.UomId);
    record.SetLoggingMode(target.Logging);
    record.SetChanged(true);
}

} // namespace editio
