#include "sim/Server.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <algorithm>
#include <cctype>
#include <cmath>

namespace zsim
{

namespace
{

std::string Lower(std::string s)
{
    for (auto &c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Output positions of a write-output message, and what each is on a model.
int OutputNumber(Model m, int index)
{
    if (m == Model::Ostra) {
        if (index < 8)
            return index; // DO01..DO04, RL01..RL04
        if (index == 8)
            return 30; // buzzer
        if (index < 13)
            return 31 + (index - 9); // PWM
        if (index < 17)
            return 35 + (index - 13); // AO
        return -1;
    }
    if (index == 8)
        return 12;
    if (index >= 9 && index < 13)
        return 8 + (index - 9);
    return -1; // no digital, relay or analogue outputs on this model
}

} // namespace

Bytes Refusal(uint8_t code)
{
    return Bytes{code};
}

Server::Server(const Plant &plant, const std::string &account) : plant_(plant)
{
    auto colon = account.find(':');
    email_ = account.substr(0, colon);
    password_ = colon == std::string::npos ? std::string() : account.substr(colon + 1);
    for (const auto &c : plant.own)
        if (!c.tag.empty())
            config_.push_back({10400 + c.number, c.tag, c.inputType, c.uomId, c.logging, c.name});
    for (const auto &c : plant.external)
        config_.push_back({10600 + c.number, c.tag, c.inputType, c.uomId, c.logging, c.name});
}

Bytes Server::Handle(const ServerMessage &m, UnitHooks &hooks)
{
    if (!m.valid)
        return Refusal(refusal::Malformed);
    switch (m.type) {
    case msg::ReadBasicInfo:
        return BasicInfo();
    case msg::ReadSnapshot:
        return Snapshot(hooks);
    case msg::WriteOutput:
        return WriteOutput(m.payload, hooks);
    case msg::ReadUomInfo:
        return UomInformation();
    case msg::BufferTest:
        return BufferTest(m.payload);
    case msg::Logon:
        return Logon(m.payload);
    case msg::ReadIoConfig:
        return ReadIoConfig();
    case msg::ReadUomList:
        return UomList();
    case msg::ReadInputTypes:
        return InputTypes();
    case msg::ReadModbusData:
        return ModbusData();
    case msg::WriteIoConfig:
        return WriteIoConfig(m.payload);
    default:
        return Refusal(refusal::Unsupported);
    }
}

Bytes Server::BasicInfo() const
{
    Bytes b;
    PutFixed(b, plant_.model == Model::Ostra ? "ZO2-0042173" : "ZV3-0031958", 16);
    b.push_back(plant_.unitType);
    b.push_back(2);         // firmware major
    b.push_back(61);        // firmware minor
    b.push_back(4);         // hardware revision
    PutU32(b, 1718000000u); // last contact with the server, seconds since 1970
    PutU16(b, uint16_t(config_.size()));
    PutU16(b, uint16_t(plant_.external.size()));
    PutFixed(b, "Zelvo", 8);
    return SealReply(b);
}

Bytes Server::Snapshot(UnitHooks &hooks) const
{
    struct Item {
        uint8_t type;
        uint16_t number;
        double value;
    };
    const bool ostra = plant_.model == Model::Ostra;
    const int in0 = ostra ? 8 : 0; // number of IN01
    auto own = [&](int n) { return hooks.OwnEngineering(n); };
    std::vector<Item> items = {
        {0, 1, 0},
        {1, 1, own(in0)},
        {1, 3, own(in0 + 2)},
        {2, 6, own(in0 + 5)},
        {3, 1, hooks.ExternalEngineering(1)},
        {4, 8, hooks.ExternalEngineering(8)},
        {5, 1, own(ostra ? 31 : 8)},
        {6, 1, ostra ? own(0) : 0},
        {6, 12, 0},
        {7, 11, hooks.ExternalEngineering(11)},
        {8, 9, hooks.ExternalEngineering(9)},
        {9, 2, ostra ? 0 : own(18)},
        {10, 3, 1},
        {11, 2, ostra ? own(36) : 0},
        {12, 1, own(ostra ? 30 : 12)},
        {13, 4, 0},
        {14, 2, ostra ? own(5) : 0},
        {15, 1, own(ostra ? 43 : 15)},
        {16, 1, ostra ? 0 : own(33)},
        {17, 1, 13.75},
        {18, 1, own(ostra ? 39 : 13)},
    };
    Bytes b;
    PutU16(b, uint16_t(items.size()));
    for (const auto &i : items) {
        b.push_back(i.type);
        PutU16(b, i.number);
    }
    for (const auto &i : items) {
        switch (i.type) {
        case 1:
        case 3:
        case 5:
        case 7:
        case 9:
        case 11:
        case 15:
        case 16:
        case 17:
        case 18:
            PutF32(b, float(i.value));
            break;
        default:
            b.push_back(uint8_t(std::clamp(std::lround(i.value), 0L, 255L)));
            break;
        }
    }
    return SealReply(b);
}

Bytes Server::WriteOutput(const Bytes &p, UnitHooks &hooks) const
{
    if (p.size() != 1)
        return Refusal(refusal::Malformed);
    int index = p[0] >> 1;
    bool on = p[0] & 1;
    int number = OutputNumber(plant_.model, index);
    if (number < 0)
        return Refusal(refusal::Rejected);
    double eng = on ? 1 : 0;
    if (index >= 9 && index < 13)
        eng = on ? 100 : 0; // PWM duty, %
    else if (index >= 13)
        eng = on ? 20 : 4; // analogue output, mA
    hooks.SetOutput(number, eng);
    return SealReply({0x01});
}

UomTables Server::Uoms() const
{
    const Catalogue &cat = TheCatalogue();
    UomTables t;
    t.inputTypes = cat.inputTypes;
    t.digital = cat.digital;
    t.analogue = cat.analogue;
    size_t count = size_t(plant_.externalBase) + plant_.external.size();
    t.records.resize(count);
    // The table follows the configuration as the server holds it now.
    auto fromConfig = [&](int32_t id, UomAssignment &a) {
        for (const auto &r : config_)
            if (r.id == id) {
                a.uomId = uint32_t(r.uomId);
                a.inputType = r.inputType;
            }
    };
    for (const auto &c : plant_.own) {
        auto &a = t.records[size_t(c.number)];
        a = {uint32_t(c.uomId), c.inputType};
        fromConfig(10400 + c.number, a);
    }
    for (const auto &c : plant_.external) {
        auto &a = t.records[size_t(plant_.externalBase + c.number - 1)];
        a = {uint32_t(c.uomId), c.inputType};
        fromConfig(10600 + c.number, a);
    }
    return t;
}

Bytes Server::UomInformation() const
{
    UomTables t = Uoms();
    Bytes b;
    b.push_back(uint8_t(t.records.size()));
    for (const auto &r : t.records) {
        PutU32(b, r.uomId);
        b.push_back(r.inputType);
    }
    b.push_back(uint8_t(t.inputTypes.size()));
    for (const auto &i : t.inputTypes) {
        b.push_back(i.id);
        PutF32(b, i.multiplier);
        PutF32(b, i.divisor);
        PutF32(b, i.offset);
        b.push_back(i.kind);
        b.push_back(i.flag ? 1 : 0);
    }
    b.push_back(uint8_t(t.digital.size()));
    for (const auto &d : t.digital) {
        PutU32(b, uint32_t(d.id));
        PutFixed(b, d.offText, 16);
        PutFixed(b, d.onText, 16);
    }
    b.push_back(uint8_t(t.analogue.size()));
    for (const auto &a : t.analogue) {
        PutU32(b, uint32_t(a.id));
        PutFixed(b, a.units, 16);
        b.push_back(a.outOfRange);
        b.push_back(uint8_t(a.points.size()));
        for (const auto &pt : a.points) {
            PutF32(b, pt.first);
            PutF32(b, pt.second);
        }
    }
    return SealReply(b);
}

Bytes Server::BufferTest(const Bytes &p) const
{
    if (p.size() != 500)
        return Refusal(refusal::BufferTestFailed);
    for (size_t j = 0; j < p.size(); ++j)
        if (p[j] != j % 251)
            return Refusal(refusal::BufferTestFailed);
    return SealReply({0x01});
}

Bytes Server::Logon(const Bytes &p) const
{
    if (p.size() != 144)
        return Refusal(refusal::Malformed);
    std::string email;
    for (size_t i = 0; i < 128 && p[i]; ++i)
        email.push_back(char(p[i]));
    QByteArray md5 =
        QCryptographicHash::hash(QByteArray::fromStdString(password_), QCryptographicHash::Md5);
    bool digestOk = md5.size() == 16;
    for (int i = 0; digestOk && i < 16; ++i)
        digestOk = p[size_t(128 + i)] == (uint8_t(md5[i]) & 0x7F);
    // Addresses compare without regard to case, as the server's account store does.
    if (Lower(email) != Lower(email_) || !digestOk)
        return Refusal(refusal::LogonFailed);
    return SealReply({0x01});
}

Bytes Server::ReadIoConfig()
{
    if (ioCursor_ >= config_.size())
        ioCursor_ = 0;
    size_t end = std::min(config_.size(), ioCursor_ + kRecordsPerPart);
    Bytes b;
    b.push_back(end < config_.size() ? 1 : 0);
    for (size_t i = ioCursor_; i < end; ++i) {
        const auto &r = config_[i];
        PutU32(b, uint32_t(r.id));
        PutFixed(b, r.tag, 6);
        b.push_back(r.inputType);
        PutU32(b, uint32_t(r.uomId));
        b.push_back(r.loggingFlags);
        size_t n = std::min<size_t>(r.name.size(), 255);
        b.push_back(uint8_t(n));
        b.insert(b.end(), r.name.begin(), r.name.begin() + long(n));
    }
    ioCursor_ = end < config_.size() ? end : 0;
    return SealReply(b);
}

Bytes Server::UomList() const
{
    const auto &d = TheCatalogue().descriptions;
    Bytes b;
    PutU16(b, uint16_t(d.size()));
    for (const auto &u : d) {
        PutU32(b, uint32_t(u.id));
        b.push_back(u.category);
        b.push_back(uint8_t(u.name.size()));
        b.insert(b.end(), u.name.begin(), u.name.end());
    }
    return SealReply(b);
}

Bytes Server::InputTypes() const
{
    const auto &a = TheCatalogue().available;
    Bytes b;
    b.push_back(uint8_t(a.size()));
    for (const auto &t : a) {
        b.push_back(t.selectable ? 1 : 0);
        b.push_back(t.id);
        b.push_back(t.category);
        b.push_back(t.flag ? 1 : 0);
        b.insert(b.end(), 4, 0xEE); // reserved
        PutFixed(b, t.name, 50);
        b.insert(b.end(), 14, 0xEE); // reserved
    }
    return SealReply(b);
}

Bytes Server::ModbusData() const
{
    const auto &slaves = ModbusSlaves();
    Bytes b;
    b.push_back(uint8_t(slaves.size()));
    for (const auto &s : slaves) {
        b.push_back(s.id);
        PutFixed(b, s.name, 50);
    }
    b.push_back(uint8_t(plant_.external.size()));
    for (const auto &c : plant_.external) {
        PutU32(b, uint32_t(10600 + c.number));
        b.push_back(c.modbusType);
        b.push_back(c.slave);
    }
    return SealReply(b);
}

Bytes Server::WriteIoConfig(const Bytes &p)
{
    const Catalogue &cat = TheCatalogue();
    struct Change {
        size_t index;
        IoConfigRecord rec;
    };
    std::vector<Change> changes;
    size_t pos = 0;
    // Check every record first, so that a bad upload changes nothing.
    while (pos < p.size()) {
        if (p.size() - pos < 11)
            return Refusal(refusal::Malformed);
        int32_t id = int32_t(GetU32(&p[pos]));
        uint8_t it = p[pos + 4];
        int32_t uom = int32_t(GetU32(&p[pos + 5]));
        uint8_t flags = p[pos + 9];
        size_t n = p[pos + 10];
        if (p.size() - pos - 11 < n)
            return Refusal(refusal::Malformed);
        auto found = std::find_if(config_.begin(), config_.end(),
                                  [&](const IoConfigRecord &r) { return r.id == id; });
        if (found == config_.end() || !cat.InputType(it) || !cat.KnowsUom(uom))
            return Refusal(refusal::Rejected);
        IoConfigRecord rec = *found;
        rec.inputType = it;
        rec.uomId = uom;
        rec.loggingFlags = flags;
        rec.name.assign(p.begin() + long(pos + 11), p.begin() + long(pos + 11 + n));
        changes.push_back({size_t(found - config_.begin()), rec});
        pos += 11 + n;
    }
    if (changes.empty())
        return Refusal(refusal::Malformed);
    for (const auto &c : changes)
        config_[c.index] = c.rec;
    return SealReply({0x01});
}

} // namespace zsim
