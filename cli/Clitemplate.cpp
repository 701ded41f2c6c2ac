#include "cli/Clitemplate.h"

#include "model/Availableinputtype.h"
#include "model/Availableinputtypes.h"
#include "model/Serversideio.h"
#include "model/Uomdescription.h"
#include "model/Uomdescriptions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <set>

namespace
{

const char *const kFormat = "zelvo-io-config";
constexpr int kFormatVersion = 1;

QString Key(QString tag)
{
    tag = tag.trimmed();
    if (tag.startsWith('[') && tag.endsWith(']'))
        tag = tag.mid(1, tag.size() - 2);
    return tag.trimmed().toUpper();
}

const TAvailableInputType *TypeById(const TAvailableInputTypes &types, int id)
{
    return id >= 0 && id <= 255 ? types.Find(static_cast<uint8_t>(id)) : nullptr;
}

QString TypeText(const TAvailableInputTypes &types, int id)
{
    const TAvailableInputType *t = TypeById(types, id);
    return t ? t->Name : QString::number(id);
}

QString UomText(const TUOMDescriptions &uoms, int id)
{
    const TUOMDescription *u = uoms.Find(id);
    return u ? u->Name : QString::number(id);
}

std::optional<int> Number(const QString &text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(n) : std::nullopt;
}

// A JSON string literal.
QByteArray Encoded(const QString &text)
{
    const QByteArray a = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return a.mid(1, a.size() - 2);
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
    const QString text = TServerSideIO::LoggingModeText(mode);
    return text.isEmpty() ? QString::number(mode) : text;
}

std::optional<int> ParseLoggingMode(const QString &text)
{
    if (const auto n = Number(text))
        return *n >= LOG_NONE && *n <= LOG_LOG_ONLY ? n : std::nullopt;
    for (int mode = LOG_NONE; mode <= LOG_LOG_ONLY; ++mode)
        if (text.trimmed().compare(TServerSideIO::LoggingModeText(mode), Qt::CaseInsensitive) == 0)
            return mode;
    return std::nullopt;
}

QByteArray WriteTemplate(const QString &model, const std::vector<editio::TRecord> &records,
                         const TAvailableInputTypes &types, const TUOMDescriptions &uoms)
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
        const TAvailableInputType *t = TypeById(types, r.InputTypeId);
        const auto inCategory = [t](const TUOMDescription *u) {
            return !t || u->Category == t->UOMCategory;
        };
        // A UOM name is unique only within a category: the id is written
        // when the name would not find the same UOM again.
        const TUOMDescription *byId = nullptr;
        int sameName = 0;
        for (int i = 0; i < uoms.Count(); ++i)
            if (uoms.At(i)->UOMID == r.UomId && inCategory(uoms.At(i)))
                byId = uoms.At(i);
        if (byId)
            for (int i = 0; i < uoms.Count(); ++i)
                sameName += inCategory(uoms.At(i)) &&
                                    uoms.At(i)->Name.compare(byId->Name, Qt::CaseInsensitive) == 0
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

TTemplatePlan PlanTemplate(const std::vector<editio::TRecord> &records,
                           const TAvailableInputTypes &types, const TUOMDescriptions &uoms,
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
        const editio::TRecord &now = records[static_cast<std::size_t>(index)];
        const editio::TPlan edit = editio::PlanEdit(now, e, types, uoms);
        if (!edit.Ok()) {
            for (const editio::TRefusal &r : edit.Refusals)
                plan.Refusals << tag + QStringLiteral(": ") + r.Text;
            continue;
        }
        if (!editio::Changes(now, edit.Target))
            continue;
        const editio::TRecord &target = edit.Target;
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
