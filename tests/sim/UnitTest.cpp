// The unit's answers to single requests: framing, settings block, version,
// unit type, live values, external I/O and signal monitoring.

#include "SimClient.h"
#include "tests/support/TestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

using namespace zsimtest;
using zsim::Model;

namespace
{

Bytes ReadFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

std::string Text(const Bytes &b, size_t at)
{
    std::string s;
    for (size_t i = at; i < b.size() && b[i]; ++i)
        s.push_back(char(b[i]));
    return s;
}

Bytes ReadBlock(SimClient &c)
{
    Answer a = c.Exchange(0x00), b = c.Exchange(0x01);
    if (!a.checksumOk() || !b.checksumOk())
        return {};
    Bytes block = a.data();
    Bytes rest = b.data();
    block.insert(block.end(), rest.begin(), rest.end());
    return block;
}

// Forward conversion with the tables the unit serves: input type, then UOM.
double Scale(const zsim::UomTables &t, uint32_t raw, uint8_t inputType, uint32_t uomId)
{
    double x = raw;
    for (const auto &f : t.inputTypes) {
        if (f.id != inputType)
            continue;
        if (f.kind == 0)
            x = x * f.multiplier / f.divisor + f.offset;
        else if (f.kind == 1)
            x = f.multiplier / (x * f.divisor) + f.offset;
        else if (f.kind == 2)
            x = x * f.multiplier / (f.divisor - x);
    }
    for (const auto &u : t.analogue) {
        if (u.id != int32_t(uomId))
            continue;
        const auto &p = u.points;
        for (size_t i = 0; i + 1 < p.size(); ++i) {
            double lo = std::min(p[i].first, p[i + 1].first);
            double hi = std::max(p[i].first, p[i + 1].first);
            if (x >= lo && x <= hi)
                return p[i].second + (x - p[i].first) * (p[i + 1].second - p[i].second) /
                                         (p[i + 1].first - p[i].first);
        }
        // Outside the table: the UOM's rule.
        bool below = (p[0].first < p[1].first) ? x < p[0].first : x > p[0].first;
        size_t a = below ? 0 : p.size() - 2, b = a + 1;
        if (u.outOfRange == 1)
            return p[a].second +
                   (x - p[a].first) * (p[b].second - p[a].second) / (p[b].first - p[a].first);
        if (u.outOfRange == 2)
            return below ? p.front().second : p.back().second;
        return NAN;
    }
    return x;
}

uint32_t U32(const Bytes &b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

} // namespace

TEST(UnitFraming, ByteExamples_RequestsInRepliesOut)
{
    Running r(FastOptions());
    ASSERT_TRUE(r.started) << r.error;
    SimClient &c = *r.client;

    c.WriteRaw({0x0A, 0x00, 0x15, 0x1F});
    EXPECT_EQ(c.ReadAnswer().raw, (Bytes{0x03, 0x01, 0x15, 0x00, 0x17}));
    c.WriteRaw({0x0A, 0x01, 0x16, 0x01, 0x1C});
    EXPECT_EQ(c.ReadAnswer().raw, (Bytes{0x01}));
    ASSERT_TRUE(c.WaitSf(5));
    c.WriteRaw({0x0A, 0x00, 0x15, 0x1F});
    EXPECT_EQ(c.ReadAnswer().raw, (Bytes{0x03, 0x01, 0x15, 0x05, 0x12}));
    // Nothing to download yet: the block request is refused.
    c.WriteRaw({0x0A, 0x01, 0x19, 0x00, 0x12});
    EXPECT_EQ(c.ReadAnswer().raw, (Bytes{0x00}));
    // An empty-payload send is acknowledged by the status byte alone.
    c.WriteRaw({0x0A, 0x00, 0x14, 0x1E});
    EXPECT_EQ(c.ReadAnswer().raw, (Bytes{0x01}));
}

TEST(UnitFraming, MalformedRequests_RefusedWithStatusZeroAndUnitKeepsAnswering)
{
    Running r(FastOptions());
    ASSERT_TRUE(r.started) << r.error;
    SimClient &c = *r.client;
    const std::vector<std::pair<const char *, Bytes>> rows = {
        {"bad checksum", {0x0A, 0x00, 0x15, 0x1E}},
        {"unknown command", RequestFrame(0x07)},
        {"payload on a query", RequestFrame(0x15, {0x01})},
        {"sf request 4", RequestFrame(0x16, {0x04})},
        {"sf request without byte", RequestFrame(0x16)},
        {"settings part of 10 bytes", RequestFrame(0x02, Bytes(10, 0))},
        {"external count 0", RequestFrame(0x1C, {0, 0})},
        {"external count 257", RequestFrame(0x1C, {0x01, 0x01})},
        {"monitor byte 2", RequestFrame(0x1A, {0x02})},
        {"set value of I/O 200", RequestFrame(0x06, {200, 1, 0, 0, 0})},
        {"block read while idle", RequestFrame(0x19, {0x00})},
        {"block write while idle", RequestFrame(0x17, Bytes(20, 0))},
    };
    for (const auto &[name, frame] : rows) {
        c.WriteRaw(frame);
        EXPECT_EQ(c.ReadAnswer().raw, Bytes{0x00}) << name;
        EXPECT_EQ(c.SfState(), 0) << "after " << name;
    }
}

TEST(UnitFraming, NoiseAndStalledFragments_IgnoredAndNextFrameAnswered)
{
    Running r(FastOptions());
    ASSERT_TRUE(r.started) << r.error;
    SimClient &c = *r.client;
    Bytes noisy{0xFF, 0x00, 0x55};
    Bytes f = RequestFrame(0x0D);
    noisy.insert(noisy.end(), f.begin(), f.end());
    c.WriteRaw(noisy);
    EXPECT_EQ(c.ReadAnswer().data(), Bytes{3});

    // A fragment that stalls longer than the frame gap is dropped, so the
    // next whole frame is read from its own start byte.
    c.WriteRaw({0x0A, 0x05});
    EXPECT_TRUE(c.Drain(std::chrono::milliseconds(150)).empty());
    EXPECT_EQ(c.Exchange(0x0D).data(), Bytes{3});
    EXPECT_TRUE(c.Drain(std::chrono::milliseconds(20)).empty());
}

TEST(UnitIdentity, VersionAndUnitType_PerModelAndOptions)
{
    struct Row {
        Model model;
        std::string version;
        std::string expect;
        uint8_t type;
    };
    for (const Row &row :
         {Row{Model::Vello, "", "V2.61?", 3}, Row{Model::Ostra, "3.05", "V3.05?", 2},
          Row{Model::Ostra, "2.57", "V2.57?", 2}}) {
        auto o = FastOptions(row.model);
        o.version = row.version;
        Running r(o);
        ASSERT_TRUE(r.started) << r.error;
        Bytes v = r.client->Exchange(0xDF).data();
        std::string text(v.begin(), v.end());
        // The first "V" of the text starts the number.
        EXPECT_EQ(text.find('V'), 0u) << text;
        EXPECT_EQ(text.rfind(row.expect, 0), 0u) << text;
        EXPECT_EQ(r.client->Exchange(0x0D).data(), Bytes{row.type});
    }
}

TEST(UnitSettings, DefaultBlock_RealisticFieldsAndRecognisableOpaqueBytes)
{
    Running r(FastOptions());
    ASSERT_TRUE(r.started) << r.error;
    Bytes b = ReadBlock(*r.client);
    ASSERT_EQ(b.size(), 313u);
    EXPECT_EQ(b[5], 2);
    EXPECT_EQ((Bytes{b[6], b[7], b[8], b[9]}), (Bytes{0x32, 0x01, 0xA8, 0xC0})); // 192.168.1.50
    EXPECT_EQ(Text(b, 38), "vello");
    EXPECT_EQ(Text(b, 83), "telemetry");
    EXPECT_EQ(Text(b, 103), "iot.zelvo.example");
    EXPECT_NE(b[295], 0);
    for (size_t i : {0u, 4u, 20u, 37u, 232u, 294u, 296u, 312u})
        EXPECT_EQ(b[i], uint8_t(i)) << "opaque byte " << i;
}

TEST(UnitSettings, WriteApplyAndRestart_BlockKeptSilentForResetAndPersisted)
{
    std::string file = zelvo::test::TempDir() + "/unit.bin";
    auto o = FastOptions();
    o.settingsFile = file;
    Bytes changed;
    {
        Running r(o);
        ASSERT_TRUE(r.started) << r.error;
        SimClient &c = *r.client;
        changed = ReadBlock(c);
        ASSERT_EQ(changed.size(), 313u);
        changed[5] = 0;
        changed[0] = 0xAB;
        std::memcpy(&changed[103], "apn.two\0", 8);
        changed[312] = 0x5A;
        Bytes p1(changed.begin(), changed.begin() + 255), p2(changed.begin() + 255, changed.end());
        EXPECT_EQ(c.Exchange(0x02, p1).raw, Bytes{0x01});
        // The first part alone does not change the block.
        EXPECT_NE(ReadBlock(c), changed);
        EXPECT_EQ(c.Exchange(0x03, p2).raw, Bytes{0x01});
        EXPECT_EQ(ReadBlock(c), changed);
        EXPECT_EQ(r.sim.SettingsBlock(), changed);

        EXPECT_EQ(c.Exchange(0x14).raw, Bytes{0x01});
        // Restarting: requests go unanswered for a while, then it answers again.
        EXPECT_FALSE(c.Exchange(0x0D, {}, std::chrono::milliseconds(20)).complete);
        EXPECT_TRUE(zelvo::test::WaitFor(
            [&] { return c.Exchange(0x0D, {}, std::chrono::milliseconds(30)).complete; }));
        c.Drain(std::chrono::milliseconds(10));
        EXPECT_EQ(ReadFile(file), changed);
    }
    Running again(o);
    ASSERT_TRUE(again.started) << again.error;
    EXPECT_EQ(ReadBlock(*again.client), changed);
}

TEST(UnitSettings, FileOfWrongSize_StartFailsAndFileUntouched)
{
    std::string file = zelvo::test::TempDir() + "/short.bin";
    std::ofstream(file, std::ios::binary) << "not a settings block";
    auto o = FastOptions();
    o.settingsFile = file;
    zsim::UnitSimulator sim(o);
    std::string error;
    EXPECT_FALSE(sim.Start(&error));
    EXPECT_NE(error.find("313"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(file).size(), 20u);
}

TEST(UnitLive, ValuesInModelLayout_ScaleIntoTheServedTablesAndMove)
{
    for (Model m : {Model::Ostra, Model::Vello}) {
        Running r(FastOptions(m));
        ASSERT_TRUE(r.started) << r.error;
        Bytes first = r.client->Exchange(0x0A).data();
        const bool ostra = m == Model::Ostra;
        ASSERT_EQ(first.size(), ostra ? 186u : 164u);
        EXPECT_EQ(r.sim.LastLiveValues(), first);

        zsim::UomTables t = r.sim.ServedUoms();
        const int own = ostra ? 54 : 41;
        ASSERT_GE(int(t.records.size()), own);
        for (int n = ostra ? 8 : 0; n < own; ++n) {
            uint32_t raw = U32(first, ostra ? 2 + 4 * size_t(n - 8) : 4 * size_t(n));
            const auto &rec = t.records[size_t(n)];
            double v = Scale(t, raw, rec.inputType, rec.uomId);
            EXPECT_TRUE(std::isfinite(v)) << "I/O " << n << " raw " << raw;
        }
        if (ostra) {
            // Pressure on IN01 in bar, temperature on IN03 in degC.
            const auto &p = t.records[8];
            double bar = Scale(t, U32(first, 2), p.inputType, p.uomId);
            EXPECT_GT(bar, 2.0);
            EXPECT_LT(bar, 6.0);
            const auto &tc = t.records[10];
            double degc = Scale(t, U32(first, 10), tc.inputType, tc.uomId);
            EXPECT_GT(degc, 15.0);
            EXPECT_LT(degc, 27.0);
        }
        // Counters and sensors move: a later reading differs.
        EXPECT_TRUE(zelvo::test::WaitFor([&] { return r.client->Exchange(0x0A).data() != first; },
                                         std::chrono::seconds(3)));
    }
}

TEST(UnitLive, SetIoValue_ChangesTheValueReportedNext)
{
    Running v(FastOptions(Model::Vello));
    ASSERT_TRUE(v.started) << v.error;
    EXPECT_EQ(v.client->Exchange(0x06, {17, 0xD2, 0x04, 0, 0}).raw, Bytes{0x01});
    Bytes d = v.client->Exchange(0x0A).data();
    ASSERT_EQ(d.size(), 164u);
    EXPECT_EQ(U32(d, 4 * 17), 1234u);

    Running o(FastOptions(Model::Ostra));
    ASSERT_TRUE(o.started) << o.error;
    EXPECT_EQ(o.client->Exchange(0x06, {2, 1, 0, 0, 0}).raw, Bytes{0x01});
    EXPECT_EQ(o.client->Exchange(0x06, {3, 0, 0, 0, 0}).raw, Bytes{0x01});
    d = o.client->Exchange(0x0A).data();
    ASSERT_EQ(d.size(), 186u);
    EXPECT_TRUE(d[0] & 0x04);
    EXPECT_FALSE(d[0] & 0x08);
    // Numbers 47..53 have no I/O on this model.
    EXPECT_EQ(o.client->Exchange(0x06, {47, 1, 0, 0, 0}).raw, Bytes{0x00});
}

TEST(UnitExternal, Cycle_StreamInVaryingChunksEndedByRefusalAndErrorBitmaps)
{
    Running r(FastOptions(Model::Ostra));
    ASSERT_TRUE(r.started) << r.error;
    SimClient &c = *r.client;
    EXPECT_EQ(c.Exchange(0x1D).raw, Bytes{0x00}) << "no cycle started";
    EXPECT_EQ(c.Exchange(0x1C, {12, 0}).raw, Bytes{0x01});
    Bytes stream;
    std::set<size_t> sizes;
    for (int i = 0; i < 100; ++i) {
        Answer a = c.Exchange(0x1D);
        if (!a.ack())
            break;
        ASSERT_TRUE(a.checksumOk());
        sizes.insert(a.data().size());
        Bytes d = a.data();
        stream.insert(stream.end(), d.begin(), d.end());
    }
    EXPECT_EQ(stream.size(), 48u);
    EXPECT_EQ(stream, r.sim.LastExternalStream());
    EXPECT_GE(sizes.size(), 3u);
    EXPECT_TRUE(sizes.count(0)) << "an empty chunk is part of the stream";
    EXPECT_EQ(c.Exchange(0x1D).raw, Bytes{0x00}) << "the stream stays ended";
    // External I/O 1 is a mains voltage in tenths of a volt, a 16-bit register.
    uint32_t tenths = U32(stream, 0);
    EXPECT_GT(tenths, 2200u);
    EXPECT_LT(tenths, 2400u);
    // External I/O 10 has no slave: value 0, read and write error flags.
    EXPECT_EQ(U32(stream, 36), 0u);
    Bytes re = c.Exchange(0x1E).data(), we = c.Exchange(0x1F).data();
    ASSERT_EQ(re.size(), 32u);
    ASSERT_EQ(we.size(), 32u);
    EXPECT_TRUE(re[1] & 0x02);
    EXPECT_TRUE(we[1] & 0x02);
    EXPECT_TRUE(we[1] & 0x08);
}

TEST(UnitSignal, Monitoring_WandersWithinRangeAnd99WhileOff)
{
    Running r(FastOptions());
    ASSERT_TRUE(r.started) << r.error;
    SimClient &c = *r.client;
    EXPECT_EQ(c.Exchange(0x1B).data(), Bytes{99});
    EXPECT_EQ(c.Exchange(0x1A, {1}).raw, Bytes{0x01});
    EXPECT_TRUE(r.sim.SignalMonitoring());
    std::set<int> seen;
    for (int i = 0; i < 30; ++i) {
        Bytes d = c.Exchange(0x1B).data();
        ASSERT_EQ(d.size(), 1u);
        EXPECT_LE(d[0], 31);
        seen.insert(d[0]);
    }
    EXPECT_GT(seen.size(), 2u);
    EXPECT_EQ(c.Exchange(0x1A, {0}).raw, Bytes{0x01});
    EXPECT_EQ(c.Exchange(0x1B).data(), Bytes{99});
}
