// The unit object and the data parser against the simulated unit on a
// pseudo-terminal, for both models: OSTRA over a virtual USB bridge, VELLO
// over a mapped COM port.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>

#include "common/Errormanager.h"
#include "link/Ftd2xx.h"
#include "link/Portmap.h"
#include "link/Zelvocommsinterface.h"
#include "model/Io.h"
#include "model/Ios.h"
#include "model/Serversideio.h"
#include "protocol/Commands.h"
#include "sim/UnitSimulator.h"
#include "tests/support/TestUtil.h"
#include "unit/Commissioningdataparser.h"
#include "unit/Zelvo.h"

namespace
{

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

constexpr int kComPort = 9;
constexpr int kWaitingUpload = 5;
constexpr int kUploading = 6;
constexpr int kWaitingDownload = 8;
constexpr int kLoggingOff = 9;

uint32_t U32At(const Bytes &b, std::size_t at)
{
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// An independent reading of the simulator's conversion tables: the input
// type's formula, then the UOM's table, with its out-of-range rule.
std::optional<double> Reference(const zsim::UomTables &t, std::size_t record, uint32_t raw)
{
    double v = raw;
    if (record >= t.records.size())
        return v;
    const auto &rec = t.records[record];
    for (const auto &f : t.inputTypes) {
        if (f.id != rec.inputType)
            continue;
        const double m = f.multiplier, d = f.divisor, o = f.offset;
        if (f.kind == 0)
            v = v * m / d + o;
        else if (f.kind == 1)
            v = m / (v * d) + o;
        else if (f.kind == 2)
            v = v * m / (d - v);
        break;
    }
    for (const auto &u : t.analogue) {
        if (u.id != static_cast<int32_t>(rec.uomId))
            continue;
        const auto &p = u.points;
        if (p.size() < 2)
            return std::nullopt;
        const bool asc = p[0].first < p[1].first;
        auto before = [&](double a, double b) { return asc ? a < b : a > b; };
        // Inside the table (the last point counts as beyond it).
        for (std::size_t i = 0; i + 1 < p.size(); ++i) {
            if (!before(v, p[i].first) && before(v, p[i + 1].first)) {
                const double s = (p[i + 1].second - p[i].second) / (p[i + 1].first - p[i].first);
                return p[i].second + s * (v - p[i].first);
            }
        }
        if (u.outOfRange == 0)
            return raw;
        const bool low = before(v, p[0].first);
        const auto &a = low ? p[0] : p[p.size() - 2];
        const auto &b = low ? p[1] : p.back();
        if (u.outOfRange == 2)
            return low ? a.second : b.second;
        return a.second + (b.second - a.second) / (b.first - a.first) * (v - a.first);
    }
    return v; // digital UOMs and unknown ids pass the formula's result
}

void ExpectNear(long double actual, double expected, const std::string &what)
{
    EXPECT_NEAR(static_cast<double>(actual), expected, 1e-3 + std::fabs(expected) * 1e-5) << what;
}

class UnitE2E : public ::testing::TestWithParam<zsim::Model>
{
protected:
    void SetUp() override
    {
        zsim::Options o;
        o.model = GetParam();
        o.sfStepMs = 5;
        o.applyResetMs = 20;
        Sim = std::make_unique<zsim::UnitSimulator>(o);
        std::string error;
        ASSERT_TRUE(Sim->Start(&error)) << error;
        Comms = std::make_unique<TZelvoCommsInterface>(TPacing::Shrunk(10));
        if (IsOstra()) {
            Ftd2xx::RegisterVirtualBridge("Zelvo", Sim->SlavePath());
            Comms->SelectPort(true, 1, 19200);
        } else {
            ASSERT_TRUE(MapComPort(kComPort, Sim->SlavePath()));
            Comms->SelectPort(false, kComPort, 19200);
        }
        ASSERT_TRUE(Comms->Open());
        Unit = std::make_unique<TZelvo>(*Comms, &Errors);
    }

    void TearDown() override
    {
        Unit.reset();
        if (Comms)
            Comms->Close();
        Comms.reset();
        Sim.reset();
        Ftd2xx::ClearVirtualBridges();
        ClearComPortMap();
    }

    bool IsOstra() const { return GetParam() == zsim::Model::Ostra; }

    void Connect()
    {
        ASSERT_EQ(Unit->CheckFirmware(), 0);
        ASSERT_TRUE(Unit->ReadUnitType());
        ASSERT_TRUE(Unit->LoadSettings());
    }

    bool WaitForState(int state)
    {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (std::chrono::steady_clock::now() < deadline) {
            uint8_t s = 0;
            if (Comms->ReadSFState(s) && s == state)
                return true;
        }
        return false;
    }

    // One store-and-forward job: upload the message when the unit waits for
    // it, download and parse the reply when it has one.
    bool RunJob(int16_t type)
    {
        Parser.SetType(type);
        uint8_t state = 0;
        if (!Comms->ReadSFState(state))
            return false;
        if (state != kWaitingUpload && (!Comms->WriteSFCommand(1) || !WaitForState(kWaitingUpload)))
            return false;
        if (!Parser.SendMessage(*Comms) || !Comms->WriteSFCommand(kUploading) ||
            !WaitForState(kWaitingDownload))
            return false;
        std::vector<uint8_t> buffer(8000);
        uint16_t length = 0;
        if (!Comms->ReadMessage(buffer.data(), buffer.size(), length))
            return false;
        const bool ok = Parser.ParseReply(buffer.data(), length, Unit.get());
        // Stay online for the next job.
        Comms->WriteSFCommand(1);
        return ok;
    }

    void LoadConfiguration()
    {
        Unit->ClearIOConfig();
        int parts = 0;
        do {
            ASSERT_TRUE(RunJob(MSG_READ_IO_CONFIG));
            ASSERT_LT(++parts, 20);
        } while (Unit->MoreIOConfigToFollow());
        ASSERT_TRUE(RunJob(MSG_READ_MODBUS_DATA));
        ASSERT_TRUE(RunJob(MSG_READ_UOM_INFO));
        Comms->WriteSFCommand(kLoggingOff);
    }

    // The log the unit object and the parser are given.
    TErrorManager Errors{zelvo::test::FreshLogPath()};
    std::unique_ptr<zsim::UnitSimulator> Sim;
    std::unique_ptr<TZelvoCommsInterface> Comms;
    std::unique_ptr<TZelvo> Unit;
    TCommissioningDataParser Parser{&Errors};
};

} // namespace

TEST_P(UnitE2E, Connect_FirmwareTypeAndSettings)
{
    ASSERT_EQ(Unit->CheckFirmware(), 0);
    EXPECT_TRUE(Errors.StatusText().startsWith(QStringLiteral("Connected to ")));
    const Bytes version = Sim->LastReplyData(CMD_READ_VERSION);
    std::string text(version.begin(), std::find(version.begin(), version.end(), uint8_t{0}));
    EXPECT_EQ(Errors.StatusText(),
              QStringLiteral("Connected to ") + QString::fromLatin1(text.c_str()));

    ASSERT_TRUE(Unit->ReadUnitType());
    EXPECT_EQ(Unit->GetUnitType(), Sim->UnitType());
    EXPECT_EQ(Unit->IOs().Count(), IsOstra() ? 47 : 41);
    EXPECT_EQ(Unit->IsVelloUnit(), !IsOstra());

    ASSERT_TRUE(Unit->LoadSettings());
    const Bytes held = Sim->SettingsBlock();
    EXPECT_EQ(Bytes(Unit->SettingsBlock().Bytes.begin(), Unit->SettingsBlock().Bytes.end()), held);
}

TEST_P(UnitE2E, SaveSettings_EachTypeChangesOnlyItsFields)
{
    Connect();
    struct Row {
        int32_t type;
        std::vector<std::pair<std::size_t, std::size_t>> fields;
    };
    const Row rows[] = {
        {2, {{5, 1}, {38, 45}, {83, 20}, {103, 125}}},
        {0, {{5, 1}, {6, 12}, {228, 4}, {295, 1}}},
    };
    for (const auto &row : rows) {
        const Bytes before = Sim->SettingsBlock();
        TConnectionSettings s = Unit->GetSettings();
        s.ConnectionType = row.type;
        s.APN = "field.apn.example";
        s.Username = "commissioner";
        s.Password = "s3cret";
        s.UseDHCP = !s.UseDHCP;
        s.IPAddress = 0x0A000102;
        s.NetMask = 0xFFFF0000;
        s.DefaultGateway = 0x0A000001;
        s.DNSServer = 0x01010101;
        ASSERT_TRUE(Unit->SaveSettings(s)) << row.type;
        const Bytes after = Sim->SettingsBlock();
        ASSERT_EQ(after.size(), 313u);
        for (std::size_t i = 0; i < after.size(); ++i) {
            bool inField = false;
            for (auto [off, width] : row.fields)
                inField |= i >= off && i < off + width;
            if (!inField) {
                EXPECT_EQ(after[i], before[i]) << "type " << row.type << " offset " << i;
            }
        }
        TUnitSettingsBlock block;
        std::copy(after.begin(), after.end(), block.Bytes.begin());
        const auto back = ConnectionSettingsFromBlock(block);
        EXPECT_EQ(back.ConnectionType, row.type);
        if (row.type == 2) {
            EXPECT_EQ(back.APN, s.APN);
            EXPECT_EQ(back.Username, s.Username);
            EXPECT_EQ(back.Password, s.Password);
        } else {
            EXPECT_EQ(back.IPAddress, s.IPAddress);
            EXPECT_EQ(back.NetMask, s.NetMask);
            EXPECT_EQ(back.DefaultGateway, s.DefaultGateway);
            EXPECT_EQ(back.DNSServer, s.DNSServer);
            EXPECT_EQ(back.UseDHCP, s.UseDHCP);
        }
        // The unit restarts after applying; wait until it answers again.
        ASSERT_TRUE(zelvo::test::WaitFor([&] { return Unit->LoadSettings(); }, 5s));
    }
}

TEST_P(UnitE2E, LiveValues_ScaledThroughTheServedTables)
{
    Connect();
    ASSERT_TRUE(RunJob(MSG_READ_UOM_INFO));
    Comms->WriteSFCommand(kLoggingOff);
    ASSERT_TRUE(Parser.HasUOMs());
    const auto tables = Sim->ServedUoms();
    ASSERT_EQ(Unit->IOUOMRecordCount(), static_cast<int>(tables.records.size()));

    ASSERT_TRUE(Unit->PollLiveValues());
    const Bytes raw = Sim->LastLiveValues();
    ASSERT_EQ(raw.size(), IsOstra() ? 186u : 164u);
    int checked = 0;
    for (int i = 0; i < Unit->IOs().Count(); ++i) {
        const TIO *io = Unit->IOs().At(i);
        const int n = io->Number;
        double expected;
        if (IsOstra() && n < 8) {
            expected = (raw[0] | raw[1] << 8) >> n & 1;
        } else {
            const std::size_t at = IsOstra() ? 2 + 4 * (n - 8) : 4 * n;
            const auto ref = Reference(tables, static_cast<std::size_t>(n), U32At(raw, at));
            if (!ref)
                continue;
            expected = *ref;
        }
        ExpectNear(io->Value, expected, "I/O " + std::to_string(n));
        ++checked;
    }
    EXPECT_GE(checked, IsOstra() ? 40 : 35);
}

TEST_P(UnitE2E, ExternalCycle_ValuesAndErrorFlags)
{
    Connect();
    LoadConfiguration();
    auto &ios = Unit->ServerSideIOs();
    ASSERT_GT(ios.ExternalCount(), 0);

    // One whole cycle: start, values until the stream ends, both flag sets.
    bool sawFlags = false;
    ASSERT_TRUE(zelvo::test::WaitFor(
        [&] {
            Unit->PollExternalIO();
            sawFlags = sawFlags || Unit->ExternalReadPhase() == 3;
            return sawFlags && Unit->ExternalReadPhase() == 0;
        },
        10s));

    const auto tables = Sim->ServedUoms();
    const Bytes stream = Sim->LastExternalStream();
    const Bytes readErrors = Sim->ExternalReadErrors();
    const Bytes writeErrors = Sim->ExternalWriteErrors();
    ASSERT_EQ(static_cast<int>(stream.size()), 4 * ios.ExternalCount());
    // UOM record of external I/O 1: after the own I/O and the gap of each model.
    const int base = IsOstra() ? 82 : 44;
    int checked = 0;
    for (int i = 0; i < ios.Count(); ++i) {
        const TServerSideIO *io = ios.Item(i);
        if (!io->IsExternal())
            continue;
        const int e = io->ExternalNumber();
        const std::size_t slot = 4 * static_cast<std::size_t>(e - 1);
        if (slot + 4 > stream.size())
            continue;
        uint32_t raw = U32At(stream, slot);
        if (io->ValueByteLength() == 2)
            raw &= 0xFFFF;
        const auto ref = Reference(tables, static_cast<std::size_t>(base + e - 1), raw);
        if (ref)
            ExpectNear(io->Value(), *ref, io->Tag().toStdString());
        const int bit = (e - 1) % 8;
        const std::size_t byte = static_cast<std::size_t>((e - 1) / 8);
        const int expectedState = (readErrors[byte] >> bit & 1) | (writeErrors[byte] >> bit & 1)
                                                                      << 1;
        EXPECT_EQ(io->ErrorState(), expectedState) << io->Tag().toStdString();
        ++checked;
    }
    EXPECT_GT(checked, 0);
    // The simulator flags write errors on two of its I/Os: they show.
    EXPECT_TRUE(std::any_of(writeErrors.begin(), writeErrors.end(), [](uint8_t b) { return b; }));
}

TEST_P(UnitE2E, Snapshot_LinesFromTheServer)
{
    Connect();
    QStringList lines;
    int tabs = 0;
    Parser.SetSnapshotSink([&] { lines.clear(); }, [&](const QString &l) { lines << l; });
    Parser.SetEnableTabsHook([&] { ++tabs; });
    ASSERT_TRUE(RunJob(MSG_READ_SNAPSHOT));
    EXPECT_FALSE(lines.isEmpty());
    for (const auto &l : lines)
        EXPECT_TRUE(l.contains(QStringLiteral(": "))) << l.toStdString();
    EXPECT_EQ(tabs, 1);
}

INSTANTIATE_TEST_SUITE_P(BothModels, UnitE2E,
                         ::testing::Values(zsim::Model::Ostra, zsim::Model::Vello),
                         [](const auto &info) {
                             return info.param == zsim::Model::Ostra ? std::string("Ostra")
                                                                     : std::string("Vello");
                         });
