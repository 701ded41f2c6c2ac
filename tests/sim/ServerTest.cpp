// The emulated server: the content of each reply, decoded here by the
// record layouts, and the messages that change or check something.

#include "SimClient.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace zsimtest;
using zsim::Model;

namespace
{

uint32_t U32(const Bytes &b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

struct ConfigRecord {
    uint32_t id;
    std::string tag, name;
    uint8_t inputType, flags;
    uint32_t uom;
};

// Splits one I/O configuration reply; false when the records overrun it.
bool ParseConfig(const Bytes &r, bool *more, std::vector<ConfigRecord> *out)
{
    *more = r[0] != 0;
    size_t pos = 1;
    while (pos < r.size() - 1) {
        if (pos + 17 > r.size() - 1)
            return false;
        ConfigRecord c;
        c.id = U32(r, pos);
        c.tag.assign(r.begin() + long(pos + 4), r.begin() + long(pos + 10));
        c.inputType = r[pos + 10];
        c.uom = U32(r, pos + 11);
        c.flags = r[pos + 15];
        size_t n = r[pos + 16];
        if (pos + 17 + n > r.size() - 1)
            return false;
        c.name.assign(r.begin() + long(pos + 17), r.begin() + long(pos + 17 + n));
        out->push_back(c);
        pos += 17 + n;
    }
    return pos == r.size() - 1;
}

// Reads the whole I/O configuration through chained jobs.
std::vector<ConfigRecord> ReadConfig(SimClient &c, int *parts)
{
    std::vector<ConfigRecord> all;
    Bytes reply;
    bool more = true;
    *parts = 0;
    if (!c.RunJob(9, {}, &reply, 1, 1))
        return {};
    for (;;) {
        ++*parts;
        EXPECT_TRUE(SumIsZero(reply));
        EXPECT_TRUE(ParseConfig(reply, &more, &all));
        if (!more || *parts > 10)
            break;
        if (!c.RunChained(9, {}, &reply, 1))
            return {};
    }
    EXPECT_TRUE(c.SfCommand(9));
    EXPECT_TRUE(c.WaitSf(0));
    return all;
}

Bytes Job(SimClient &c, uint16_t type, const Bytes &payload = {})
{
    Bytes reply;
    EXPECT_TRUE(c.RunJob(type, payload, &reply)) << "job " << type;
    EXPECT_TRUE(c.WaitSf(0));
    return reply;
}

Bytes LogonPayload(const std::string &email, const std::string &password)
{
    Bytes p(144, 0);
    std::copy(email.begin(), email.end(), p.begin());
    QByteArray md5 =
        QCryptographicHash::hash(QByteArray::fromStdString(password), QCryptographicHash::Md5);
    for (int i = 0; i < 16; ++i)
        p[size_t(128 + i)] = uint8_t(md5[i]) & 0x7F;
    return p;
}

Bytes UploadRecord(uint32_t id, uint8_t it, uint32_t uom, uint8_t flags, const std::string &name)
{
    return zelvo::test::TWireRecord().IOUpload(int32_t(id), it, uom, flags, name);
}

Bytes operator+(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(Server, BasicInfoAndUnknownTypes_GoodReplyOrOneByteRefusal)
{
    Running r(FastOptions());
    ASSERT_TRUE(r.started) << r.error;
    Bytes info = Job(*r.client, 1);
    EXPECT_GE(info.size(), 22u);
    EXPECT_TRUE(SumIsZero(info));
    for (uint16_t type : {4, 5, 14, 0x0100}) {
        Bytes reply = Job(*r.client, type);
        EXPECT_EQ(reply.size(), 1u) << "type " << type;
    }
}

TEST(Server, UomInformation_RecordPerOwnAndExternalIoAndEveryFormatVariant)
{
    for (Model m : {Model::Ostra, Model::Vello}) {
        Running r(FastOptions(m));
        ASSERT_TRUE(r.started) << r.error;
        Bytes b = Job(*r.client, 6);
        ASSERT_TRUE(SumIsZero(b));
        size_t n = b[0];
        // External I/O e sits at e + 81 (OSTRA) or e + 43 (VELLO); 12 external I/O.
        EXPECT_EQ(n, m == Model::Ostra ? 94u : 56u);
        size_t pos = 1 + 5 * n;
        std::set<uint32_t> recordUoms;
        for (size_t i = 0; i < n; ++i)
            recordUoms.insert(U32(b, 1 + 5 * i));
        size_t types = b[pos++];
        std::set<int> kinds;
        for (size_t i = 0; i < types; ++i, pos += 15)
            kinds.insert(b[pos + 13]);
        EXPECT_EQ(kinds, (std::set<int>{0, 1, 2}));
        std::set<uint32_t> known{0};
        size_t digital = b[pos++];
        EXPECT_GE(digital, 2u);
        for (size_t i = 0; i < digital; ++i, pos += 36)
            known.insert(U32(b, pos));
        size_t analogue = b[pos++];
        std::set<int> rules, sizes;
        for (size_t i = 0; i < analogue; ++i) {
            ASSERT_LT(pos + 22, b.size());
            known.insert(U32(b, pos));
            rules.insert(b[pos + 20]);
            sizes.insert(b[pos + 21]);
            pos += 22 + 8 * size_t(b[pos + 21]);
        }
        EXPECT_EQ(pos, b.size() - 1) << "the block fills the reply up to its checksum";
        EXPECT_EQ(rules, (std::set<int>{0, 1, 2}));
        EXPECT_TRUE(sizes.count(2) && sizes.count(3));
        EXPECT_GE(*sizes.rbegin(), 10);
        for (uint32_t u : recordUoms)
            EXPECT_TRUE(known.count(u)) << "UOM " << u << " has no table";
    }
}

TEST(Server, IoConfiguration_SeveralPartsWithExternalRecordsAndOddNames)
{
    Running r(FastOptions(Model::Ostra));
    ASSERT_TRUE(r.started) << r.error;
    int parts = 0;
    auto all = ReadConfig(*r.client, &parts);
    EXPECT_GE(parts, 2);
    EXPECT_GE(all.size(), 30u);
    EXPECT_EQ(all.size(), r.sim.IoConfiguration().size());
    int external = 0;
    std::set<size_t> lengths;
    for (const auto &c : all) {
        EXPECT_EQ(c.tag.size(), 6u);
        external += c.tag.find("EXT") != std::string::npos;
        lengths.insert(c.name.size());
    }
    EXPECT_EQ(external, 12);
    EXPECT_TRUE(lengths.count(0) && lengths.count(1));
    EXPECT_GT(*lengths.rbegin(), 60u);
    // A new session starts the read again from the first part.
    int again = 0;
    EXPECT_EQ(ReadConfig(*r.client, &again).size(), all.size());
}

TEST(Server, Catalogues_InputTypesUomListAndModbusAgreeWithEachOther)
{
    Running r(FastOptions());
    ASSERT_TRUE(r.started) << r.error;
    Bytes types = Job(*r.client, 11);
    ASSERT_TRUE(SumIsZero(types));
    ASSERT_EQ(types.size(), 1 + 72 * size_t(types[0]) + 1);
    Bytes list = Job(*r.client, 10);
    ASSERT_TRUE(SumIsZero(list));
    size_t count = size_t(list[0] | list[1] << 8);
    std::map<int, int> perCategory;
    std::set<uint32_t> listed;
    size_t pos = 2;
    for (size_t i = 0; i < count; ++i) {
        listed.insert(U32(list, pos));
        ++perCategory[list[pos + 4]];
        pos += 6 + list[pos + 5];
    }
    EXPECT_EQ(pos, list.size() - 1);
    EXPECT_GE(perCategory.size(), 5u);
    bool someNotSelectable = false;
    for (size_t i = 0; i < types[0]; ++i) {
        const uint8_t *rec = &types[1 + 72 * i];
        someNotSelectable |= rec[0] == 0;
        if (rec[0]) {
            EXPECT_GT(perCategory[rec[2]], 0) << "selectable type without UOMs";
        }
    }
    EXPECT_TRUE(someNotSelectable);
    // Every listed UOM can be scaled with the tables the unit serves.
    auto t = r.sim.ServedUoms();
    std::set<uint32_t> tables{0};
    for (const auto &d : t.digital)
        tables.insert(uint32_t(d.id));
    for (const auto &a : t.analogue)
        tables.insert(uint32_t(a.id));
    for (uint32_t id : listed)
        EXPECT_TRUE(tables.count(id)) << id;

    Bytes mb = Job(*r.client, 12);
    ASSERT_TRUE(SumIsZero(mb));
    size_t slaves = mb[0];
    std::set<int> slaveIds;
    for (size_t i = 0; i < slaves; ++i)
        slaveIds.insert(mb[1 + 51 * i]);
    size_t mpos = 1 + 51 * slaves;
    size_t maps = mb[mpos++];
    ASSERT_EQ(mb.size(), mpos + 6 * maps + 1);
    int missing = 0;
    for (size_t i = 0; i < maps; ++i)
        missing += !slaveIds.count(mb[mpos + 6 * i + 5]);
    EXPECT_EQ(missing, 1);
}

TEST(Server, Snapshot_CarriesEveryItemTypeWithMatchingValueSizes)
{
    Running r(FastOptions(Model::Ostra));
    ASSERT_TRUE(r.started) << r.error;
    Bytes reply;
    ASSERT_TRUE(r.client->RunJob(2, {}, &reply, 2));
    ASSERT_TRUE(SumIsZero(reply));
    size_t n = size_t(reply[0] | reply[1] << 8);
    std::set<int> kinds;
    size_t values = 0;
    for (size_t i = 0; i < n; ++i) {
        int type = reply[2 + 3 * i];
        kinds.insert(type);
        bool wide = std::set<int>{1, 3, 5, 7, 9, 11, 15, 16, 17, 18}.count(type);
        values += wide ? 4 : 1;
    }
    EXPECT_EQ(kinds.size(), 19u);
    EXPECT_EQ(reply.size(), 2 + 3 * n + values + 1);
}

TEST(Server, Logon_OneAccountAcceptedByDigestEverythingElseRefused)
{
    auto o = FastOptions();
    o.account = "Fitter@Example.org:s3cret";
    Running r(o);
    ASSERT_TRUE(r.started) << r.error;
    struct Row {
        const char *what;
        Bytes payload;
        bool accepted;
    };
    const Row rows[] = {
        {"right account", LogonPayload("Fitter@Example.org", "s3cret"), true},
        {"address in other case", LogonPayload("fitter@example.ORG", "s3cret"), true},
        {"wrong password", LogonPayload("Fitter@Example.org", "secret"), false},
        {"other address", LogonPayload("someone@example.org", "s3cret"), false},
        {"short payload", Bytes(100, 0x41), false},
    };
    for (const auto &row : rows) {
        Bytes reply = Job(*r.client, 8, row.payload);
        if (row.accepted)
            EXPECT_TRUE(SumIsZero(reply)) << row.what;
        else
            EXPECT_EQ(reply.size(), 1u) << row.what;
    }
}

TEST(Server, BufferTest_PatternCheckedByteForByte)
{
    Running r(FastOptions());
    ASSERT_TRUE(r.started) << r.error;
    Bytes good(500);
    for (size_t j = 0; j < good.size(); ++j)
        good[j] = uint8_t(j % 251);
    EXPECT_TRUE(SumIsZero(Job(*r.client, 7, good)));
    Bytes wrong = good;
    wrong[251] = 251; // a counter that wrapped at 256
    EXPECT_EQ(Job(*r.client, 7, wrong).size(), 1u);
    EXPECT_EQ(Job(*r.client, 7, Bytes(good.begin(), good.end() - 1)).size(), 1u);
}

TEST(Server, WriteOutput_SetsWhatTheUnitReportsOrRefusesAMissingOutput)
{
    Running o(FastOptions(Model::Ostra));
    ASSERT_TRUE(o.started) << o.error;
    // "RL03" on: index 6, state 1.
    EXPECT_TRUE(SumIsZero(Job(*o.client, 3, {13})));
    EXPECT_TRUE(o.client->Exchange(0x0A).data()[0] & 0x40);
    EXPECT_TRUE(SumIsZero(Job(*o.client, 3, {12})));
    EXPECT_FALSE(o.client->Exchange(0x0A).data()[0] & 0x40);

    Running v(FastOptions(Model::Vello));
    ASSERT_TRUE(v.started) << v.error;
    EXPECT_EQ(Job(*v.client, 3, {1}).size(), 1u) << "no DO01 on this model";
    EXPECT_EQ(Job(*v.client, 3, {34}).size(), 1u) << "index 17 does not exist";
}

TEST(Server, WriteIoConfig_BareBlocksAppliedAndReadBackWithStoredFlags)
{
    Running r(FastOptions(Model::Vello));
    ASSERT_TRUE(r.started) << r.error;
    auto before = r.sim.IoConfiguration();
    ASSERT_GE(before.size(), 45u);
    // 45 changed records of 22 bytes: a message of 999 bytes in four bare frames.
    Bytes payload;
    for (size_t i = 0; i < 45; ++i)
        payload = payload + UploadRecord(uint32_t(before[i].id), 1, 200, i % 2 ? 0x04 : 0x01,
                                         "Renamed " + std::to_string(100 + i));
    Bytes reply = Job(*r.client, 13, payload);
    EXPECT_TRUE(SumIsZero(reply));
    auto msgs = r.sim.ServerMessages();
    ASSERT_FALSE(msgs.empty());
    EXPECT_TRUE(msgs.back().valid);
    EXPECT_EQ(msgs.back().payload, payload);

    int parts = 0;
    auto after = ReadConfig(*r.client, &parts);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after[0].name, "Renamed 100");
    EXPECT_EQ(after[0].flags, 0x01);
    EXPECT_EQ(after[1].flags, 0x04);
    EXPECT_EQ(after[44].uom, 200u);
    EXPECT_EQ(after[45].name, before[45].name);
    // The UOM table follows the new configuration of own I/O 0.
    EXPECT_EQ(r.sim.ServedUoms().records[0].uomId, 200u);
}

TEST(Server, WriteIoConfig_UnknownIdOrTruncatedRecord_RefusedAndNothingChanged)
{
    Running r(FastOptions());
    ASSERT_TRUE(r.started) << r.error;
    auto before = r.sim.IoConfiguration();
    Bytes good = UploadRecord(uint32_t(before[0].id), 1, 200, 0x05, "Changed");
    Bytes unknown = good + UploadRecord(999999, 1, 200, 0x05, "Nobody");
    Bytes badUom = good + UploadRecord(uint32_t(before[1].id), 1, 4242, 0x05, "x");
    Bytes truncated = good + Bytes{1, 2, 3};
    for (const Bytes *p : {&unknown, &badUom, &truncated}) {
        EXPECT_EQ(Job(*r.client, 13, *p).size(), 1u);
        EXPECT_EQ(r.sim.IoConfiguration()[0].name, before[0].name);
    }
}
