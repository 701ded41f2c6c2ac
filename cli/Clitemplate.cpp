#include "cli/Clitemplate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <set>

namespace
{

const char *const kFormat = "zelvo-io-config";
constexpr int kFormatVersion = 1;
// The UOM id a record gets when its input type's category offers fewer than
// two UOMs (the dialog's disabled UOM list).
constexpr int kSingleUomId = 5;

const char *const kLoggingTexts[4] = {"No Log", "Display Only", "Log & Display", "Log Only"};

QString Key(QString tag)
{
    tag = tag.trimmed();
    if (tag.startsWith('[') && tag.endsWith(']'))
        tag = tag.mid(1, tag.size() - 2);
    return tag.trimmed().toUpper();
}

const TInputTypeView *TypeById(const std::vector<TInputTypeView> &types, int id)
{
    for (const auto &t : types)
        if (t.Id == id)
            return &t;
    return nullptr;
}

QString TypeText(const std::vector<TInputTypeView> &types, int id)
{
    const TInputTypeView *t = TypeById(types, id);
    return t ? t->Name : QString::number(id);
}

QString UomText(const std::vector<TUomView> &uoms, int id)
{
    for (const auto &u : uoms)
        if (u.Id == id)
            return u.Name;
    return QString::number(id);
}

std::optional<int> Number(const QString &text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(n) : std::nullopt;
}

const TInputTypeView *ResolveType(const std::vector<TInputTypeView> &types, const QString &text)
{
    if (const auto id = Number(text))
        return TypeById(types, *id);
    for (const auto &t : types)
        if (t.Name.trimmed().compare(text.trimmed(), Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

// A UOM of the category, by id or name.
const TUomView *ResolveUom(const std::vector<const TUomView *> &list, const QString &text)
{
    const auto id = Number(text);
    for (const TUomView *u : list)
        if (id ? u->Id == *id : u->Name.trimmed().compare(text.trimmed(), Qt::CaseInsensitive) == 0)
            return u;
    return nullptr;
}

// A JSON string literal.
QByteArray Encoded(const QString &text)
{
    const QByteArray a = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return a.mid(1, a.size() - 2);
}

bool IsLatin1(const QString &text)
{
    for (QChar c : text)
        if (c.unicode() > 0xFF || c.unicode() == 0)
            return false;
    return true;
}

// A JSON field as text: strings as they are, numbers as whole numbers.
std::optional<QString> FieldText(const QJsonObject &o, const char *name, bool &bad)
{
    const QJsonValue v = o.value(QLatin1String(name));
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    if (v.isString())
        return v.toString();
    if (v.isDouble() && v.toDouble() == static_cast<double>(v.toInt()))
        return QString::number(v.toInt());
    bad = true;
    return std::nullopt;
}

} // namespace

QString LoggingText(int mode)
{
    return mode >= 0 && mode <= 3 ? QString::fromLatin1(kLoggingTexts[mode])
                                  : QString::number(mode);
}

std::optional<int> ParseLoggingMode(const QString &text)
{
    if (const auto n = Number(text))
        return *n >= 0 && *n <= 3 ? n : std::nullopt;
    for (int i = 0; i < 4; ++i)
        if (text.trimmed().compare(QLatin1String(kLoggingTexts[i]), Qt::CaseInsensitive) == 0)
            return i;
    return std::nullopt;
}

QByteArray WriteTemplate(const QString &model, const std::vector<TIORecordView> &records,
                         const std::vector<TInputTypeView> &types,
                         const std::vector<TUomView> &uoms)
{
    // Written by hand rather than through QJsonDocument, so every entry
    // reads in the same order: tag, name, input type, UOM, logging.
    QByteArray out = "{\n";
    out += "    \"format\": " + Encoded(QString::fromLatin1(kFormat)) + ",\n";
    out += "    \"version\": " + QByteArray::number(kFormatVersion) + ",\n";
    out += "    \"model\": " + Encoded(model) + ",\n";
    out += "    \"io\": [";
    bool first = true;
    for (const auto &r : records) {
        const TInputTypeView *t = TypeById(types, r.InputTypeId);
        // A UOM name is unique only within a category: the id is written
        // when the name would not find the same UOM again.
        const TUomView *byId = nullptr;
        int sameName = 0;
        for (const auto &u : uoms)
            if (u.Id == r.UomId && (!t || u.Category == t->Category))
                byId = &u;
        if (byId)
            for (const auto &u : uoms)
                sameName += (!t || u.Category == t->Category) &&
                                    u.Name.compare(byId->Name, Qt::CaseInsensitive) == 0
                                ? 1
                                : 0;
        // With the input type unknown, the category is too: the id is written.
        const bool uomByName = t && byId && sameName == 1 && !Number(byId->Name);
        const bool typeByName = t && !Number(t->Name);
        out += first ? "\n" : ",\n";
        first = false;
        out += "        {\"tag\": " + Encoded(r.Tag.trimmed()) + ", \"name\": " + Encoded(r.Name) +
               ",\n         \"inputType\": " +
               (typeByName ? Encoded(t->Name) : QByteArray::number(r.InputTypeId)) +
               ", \"uom\": " + (uomByName ? Encoded(byId->Name) : QByteArray::number(r.UomId)) +
               ", \"logging\": " + Encoded(LoggingText(r.Logging)) + "}";
    }
    out += "\n    ]\n}\n";
    return out;
}

bool ParseTemplate(const QByteArray &bytes, std::vector<TTemplateEntry> &entries, QString &error)
{
    QJsonParseError pe{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &pe);
    if (pe.error != QJsonParseError::NoError) {
        error =
            QStringLiteral("not valid JSON at offset %1: %2").arg(pe.offset).arg(pe.errorString());
        return false;
    }
    const QJsonObject root = doc.object();
    if (!doc.isObject() || root.value("format").toString() != QLatin1String(kFormat)) {
        error =
            QStringLiteral("not a zelvo-io-config file (\"format\" must be \"%1\")").arg(kFormat);
        return false;
    }
    if (root.value("version").toInt(-1) != kFormatVersion) {
        error = QStringLiteral("version %1 is not known; this program reads version %2")
                    .arg(root.value("version").toVariant().toString())
                    .arg(kFormatVersion);
        return false;
    }
    if (!root.value("io").isArray()) {
        error = QStringLiteral("\"io\" must be a list of entries");
        return false;
    }
    entries.clear();
    const QJsonArray io = root.value("io").toArray();
    for (qsizetype i = 0; i < io.size(); ++i) {
        const QString where = QStringLiteral("entry %1").arg(i + 1);
        if (!io[i].isObject()) {
            error = where + QStringLiteral(" is not an object");
            return false;
        }
        const QJsonObject o = io[i].toObject();
        TTemplateEntry e;
        e.Tag = o.value("tag").toString();
        if (e.Tag.trimmed().isEmpty()) {
            error = where + QStringLiteral(" has no tag");
            return false;
        }
        bool bad = false;
        if (o.contains("name")) {
            if (!o.value("name").isString()) {
                error = where + QStringLiteral(" (%1): \"name\" must be text").arg(e.Tag);
                return false;
            }
            e.Name = o.value("name").toString();
        }
        e.InputType = FieldText(o, "inputType", bad);
        e.Uom = FieldText(o, "uom", bad);
        if (const auto logging = FieldText(o, "logging", bad)) {
            e.Logging = ParseLoggingMode(*logging);
            if (!e.Logging) {
                error = where + QStringLiteral(" (%1): logging \"%2\" is not 0 to 3 nor No Log, "
                                               "Display Only, Log & Display or Log Only")
                                    .arg(e.Tag, *logging);
                return false;
            }
        }
        if (bad) {
            error = where + QStringLiteral(" (%1): inputType, uom and logging are text or whole "
                                           "numbers")
                                .arg(e.Tag);
            return false;
        }
        entries.push_back(e);
    }
    return true;
}

TTemplatePlan PlanTemplate(const std::vector<TIORecordView> &records,
                           const std::vector<TInputTypeView> &types,
                           const std::vector<TUomView> &uoms,
                           const std::vector<TTemplateEntry> &entries)
{
    TTemplatePlan plan;
    std::set<QString> seen;
    for (const TTemplateEntry &e : entries) {
        const QString key = Key(e.Tag);
        const QString tag = e.Tag.trimmed();
        if (!seen.insert(key).second) {
            plan.Refusals << QStringLiteral("%1: appears more than once").arg(tag);
            continue;
        }
        int index = -1;
        for (std::size_t i = 0; i < records.size() && index < 0; ++i)
            if (Key(records[i].Tag) == key)
                index = static_cast<int>(i);
        if (index < 0) {
            plan.Refusals << QStringLiteral("%1: the unit has no I/O with this tag").arg(tag);
            continue;
        }
        const TIORecordView &now = records[static_cast<std::size_t>(index)];
        TIORecordView target = now;
        QStringList refusals;

        // The name the unit holds already is no change, even when it is longer
        // than a new name may be: it goes back as it is, never cut.
        if (e.Name && *e.Name != now.Name) {
            if (e.Name->size() > kMaxFriendlyName)
                refusals << QStringLiteral("%1: the name is longer than %2 characters")
                                .arg(tag)
                                .arg(kMaxFriendlyName);
            else if (!IsLatin1(*e.Name))
                refusals << QStringLiteral("%1: the name holds characters the unit cannot store")
                                .arg(tag);
            else
                target.Name = *e.Name;
        }
        if (e.Logging)
            target.Logging = *e.Logging;

        const TInputTypeView *current = TypeById(types, now.InputTypeId);
        bool typeChanged = false;
        if (e.InputType) {
            const TInputTypeView *wanted = ResolveType(types, *e.InputType);
            if (!wanted && Number(*e.InputType) == now.InputTypeId) {
                // The record's own type, unknown to the unit's list: no change.
            } else if (!wanted) {
                refusals << QStringLiteral("%1: the unit offers no input type \"%2\"")
                                .arg(tag, *e.InputType);
            } else if (wanted->Id != now.InputTypeId) {
                if (!now.Tag.contains(QLatin1String("IN")))
                    refusals
                        << QStringLiteral("%1: only inputs can change their input type").arg(tag);
                else if (!current)
                    refusals << QStringLiteral("%1: its input type %2 is not among the unit's "
                                               "input types")
                                    .arg(tag)
                                    .arg(now.InputTypeId);
                else if (!current->Selectable)
                    refusals << QStringLiteral("%1: its input type \"%2\" cannot be changed")
                                    .arg(tag, current->Name);
                else if (!wanted->Selectable)
                    refusals << QStringLiteral("%1: the input type \"%2\" cannot be selected")
                                    .arg(tag, wanted->Name);
                else {
                    target.InputTypeId = wanted->Id;
                    typeChanged = true;
                }
            }
        }

        const TInputTypeView *type = TypeById(types, target.InputTypeId);
        std::vector<const TUomView *> list;
        if (type)
            for (const auto &u : uoms)
                if (u.Category == type->Category)
                    list.push_back(&u);
        const TUomView *wantedUom = e.Uom ? ResolveUom(list, *e.Uom) : nullptr;
        const bool uomGivenAsCurrent = e.Uom && !wantedUom && Number(*e.Uom) == target.UomId;
        if (typeChanged) {
            if (list.size() < 2) {
                target.UomId = kSingleUomId;
                if (e.Uom && !(Number(*e.Uom) == kSingleUomId ||
                               (wantedUom && wantedUom->Id == kSingleUomId) ||
                               (list.size() == 1 && wantedUom == list[0])))
                    refusals << QStringLiteral("%1: the input type \"%2\" has a single UOM; the "
                                               "UOM is set to id %3, not \"%4\"")
                                    .arg(tag, type->Name)
                                    .arg(kSingleUomId)
                                    .arg(*e.Uom);
            } else if (e.Uom && !wantedUom) {
                refusals << QStringLiteral("%1: the UOM \"%2\" is not offered for the input type "
                                           "\"%3\"")
                                .arg(tag, *e.Uom, type->Name);
            } else {
                target.UomId = wantedUom ? wantedUom->Id : list.front()->Id;
            }
        } else if (e.Uom && !uomGivenAsCurrent && !(wantedUom && wantedUom->Id == now.UomId)) {
            if (!type)
                refusals << QStringLiteral("%1: its input type %2 is not among the unit's input "
                                           "types")
                                .arg(tag)
                                .arg(now.InputTypeId);
            else if (!wantedUom)
                refusals << QStringLiteral("%1: the UOM \"%2\" is not offered for the input type "
                                           "\"%3\"")
                                .arg(tag, *e.Uom, type->Name);
            else if (list.size() < 2)
                refusals << QStringLiteral("%1: the UOM of the input type \"%2\" cannot be changed")
                                .arg(tag, type->Name);
            else
                target.UomId = wantedUom->Id;
        }
        // A record the dialog cannot open is not edited at all.
        const bool edits = target.Name != now.Name || target.Logging != now.Logging ||
                           target.InputTypeId != now.InputTypeId || target.UomId != now.UomId;
        if (edits && !current && refusals.isEmpty())
            refusals << QStringLiteral("%1: its input type %2 is not among the unit's input types; "
                                       "the record cannot be edited")
                            .arg(tag)
                            .arg(now.InputTypeId);
        // The unit's logging flags read "Display Only" (0x04) and "Log Only"
        // (0x01) back as "No Log": uploading such a record would change it.
        if (edits && refusals.isEmpty() && (target.Logging == 1 || target.Logging == 3))
            refusals << QStringLiteral("%1: logging \"%2\" does not survive an upload (the unit "
                                       "reads it back as \"No Log\"); choose No Log or Log & "
                                       "Display")
                            .arg(tag, LoggingText(target.Logging));
        if (!refusals.isEmpty()) {
            plan.Refusals << refusals;
            continue;
        }
        if (!edits)
            continue;
        TTemplateChange c;
        c.Index = index;
        c.Target = target;
        const auto diff = [&c](const char *field, const QString &a, const QString &b) {
            if (a != b)
                c.Differences
                    << QStringLiteral("%1: \"%2\" -> \"%3\"").arg(QLatin1String(field), a, b);
        };
        diff("name", now.Name, target.Name);
        diff("input type", TypeText(types, now.InputTypeId), TypeText(types, target.InputTypeId));
        diff("UOM", UomText(uoms, now.UomId), UomText(uoms, target.UomId));
        diff("logging", LoggingText(now.Logging), LoggingText(target.Logging));
        if (c.Differences.isEmpty()) // same texts, other ids
            c.Differences << QStringLiteral("input type %1 -> %2, UOM %3 -> %4")
                                 .arg(now.InputTypeId)
                                 .arg(target.InputTypeId)
                                 .arg(now.UomId)
                                 .arg(target.UomId);
        plan.Changes.push_back(c);
    }
    return plan;
}
