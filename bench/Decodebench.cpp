// Timings of the reply decoders and the frame exchange on full-size inputs.
//
// Every reply is built here in the unit's wire format with the tests' record
// builder (little-endian fields, a closing checksum that makes the reply add
// up to 0 modulo 256), and every
// set-up checks that the decoder really took it in (record counts, a scaled
// value), so a timing can never come from a parse that gave up early. A
// failed check ends the program with status 1 before anything is timed.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QStringList>
#include <QTreeWidget>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "link/Framing.h"
#include "link/Zelvocommsinterface.h"
#include "model/Availableinputtypes.h"
#include "model/Inputtypes.h"
#include "model/Io.h"
#include "model/Ios.h"
#include "model/Serversideio.h"
#include "model/Serversideios.h"
#include "model/Uomdescriptions.h"
#include "model/Uommanager.h"
#include "model/Uoms.h"
#include "protocol/Commands.h"
#include "tests/support/Scriptedcomms.h"
#include "tests/support/Wirerecord.h"
#include "ui/Treelistview.h"
#include "unit/Commissioningdataparser.h"
#include "unit/Zelvo.h"

namespace
{

using zelvo::test::TBytes;
using zelvo::test::TReply;
using zelvo::test::TScriptedComms;
using zelvo::test::TScriptedPort;
using zelvo::test::TWireRecord;

// The job engine's reply buffer, and so the largest server reply.
constexpr std::size_t kReplySize = 8000;

void Check(bool ok, const char *what)
{
    if (ok)
        return;
    std::fprintf(stderr, "zelvo-bench: set-up check failed: %s\n", what);
    std::exit(1);
}

// ---------------------------------------------------------------------------
// Reply bytes

// The reply padded with zeros to total - 1 bytes, and its checksum.
std::vector<uint8_t> Reply(TWireRecord b, std::size_t total)
{
    Check(b.Size() + 1 <= total, "reply content fits its size");
    b.Fill(total - 1 - b.Size(), 0);
    return b.Sealed();
}

struct TIOConfigReply {
    std::vector<uint8_t> Bytes;
    int Records = 0;
    int Externals = 0;
};

// One 8000-byte I/O-configuration reply: a more-to-follow flag, then records
// alternating between the unit's own I/O and external I/O until the reply is
// full. Ids and external numbers start at the given values so that several
// replies make one configuration.
TIOConfigReply BuildIOConfigReply(bool moreToFollow, int firstId, int firstExternal)
{
    TIOConfigReply out;
    TWireRecord b;
    b.U8(moreToFollow ? 1 : 0);
    const std::size_t room = kReplySize - 1; // the checksum
    for (int i = 0;; ++i) {
        const bool external = i % 2 == 1;
        char tag[8];
        std::string name;
        if (external) {
            std::snprintf(tag, sizeof tag, "EXT%03d", (firstExternal + out.Externals) % 1000);
            name = "Modbus register " + std::to_string(firstExternal + out.Externals);
        } else {
            std::snprintf(tag, sizeof tag, "IN%02d", i % 100);
            name = "Pump station inlet " + std::to_string(i);
        }
        if (b.Size() + TServerSideIO::RecordHeaderSize + name.size() > room)
            break;
        b.IOConfig(firstId + i, tag, 1 + i % 4, static_cast<uint32_t>(100 + i % 50), 0x05, name);
        ++out.Records;
        out.Externals += external ? 1 : 0;
    }
    // The rest of the reply would be read as a cut record: fill it with one
    // last record whose name takes exactly the bytes left.
    const std::size_t left = room - b.Size();
    if (left >= TServerSideIO::RecordHeaderSize) {
        b.IOConfig(firstId + out.Records, "IN99", 1, 100, 0x05,
                   std::string(left - TServerSideIO::RecordHeaderSize, 'x'));
        ++out.Records;
    }
    out.Bytes = Reply(b, kReplySize);
    return out;
}

struct TSnapshotReply {
    std::vector<uint8_t> Bytes;
    int Items = 0;
};

// An 8000-byte snapshot: item table, then the values in item order, the item
// types cycling through every valid type (1- and 4-byte values).
TSnapshotReply BuildSnapshotReply()
{
    std::vector<int> types;
    std::size_t size = 2 + 1; // count and checksum
    for (int i = 0;; ++i) {
        const int type = i % (TCommissioningDataParser::kMaxSnapshotItemType + 1);
        const std::size_t item = 3 + TCommissioningDataParser::SnapshotValueSize(type);
        if (size + item > kReplySize)
            break;
        size += item;
        types.push_back(type);
    }
    TWireRecord b;
    b.U16(static_cast<int>(types.size()));
    for (std::size_t i = 0; i < types.size(); ++i)
        b.U8(types[i]).U16(static_cast<int>(1 + i % 64));
    for (std::size_t i = 0; i < types.size(); ++i) {
        if (TCommissioningDataParser::SnapshotValueSize(types[i]) == 4)
            b.F32(static_cast<float>(i) * 0.25f);
        else
            b.U8(static_cast<int>(i));
    }
    return {Reply(b, kReplySize), static_cast<int>(types.size())};
}

// UOM information laid out so that I/O 8 checks the whole conversion: input
// type 1 halves the raw value, UOM 100 maps X 0..900 to Y 0..90, so raw 1000
// reads 50.
constexpr uint32_t kCheckRaw = 1000;
constexpr long double kCheckValue = 50.0L;

struct TUOMInfoReply {
    std::vector<uint8_t> Bytes;
    int Records = 0;
    int InputTypes = 0;
    int UOMs = 0;
};

// The largest UOM-information reply that still fits 8000 bytes: 255 per-I/O
// records, 30 input types, 20 digital UOMs and 50 analogue UOMs with 10-point
// tables.
TUOMInfoReply BuildUOMInfoReply()
{
    constexpr int kRecords = 255;
    constexpr int kInputTypes = 30;
    constexpr int kDigital = 20;
    constexpr int kAnalogue = 50;
    constexpr int kPoints = 10;
    TWireRecord b;
    b.U8(kRecords);
    for (int k = 0; k < kRecords; ++k) {
        // Even records analogue (UOM 100..149), odd ones digital (200..219);
        // record 8 is the checked one.
        if (k == 8)
            b.IOUOM(100, 1);
        else
            b.IOUOM(k % 2 == 0 ? static_cast<uint32_t>(100 + k % kAnalogue)
                               : static_cast<uint32_t>(200 + k % kDigital),
                    1 + k % kInputTypes);
    }
    b.U8(kInputTypes);
    for (int t = 0; t < kInputTypes; ++t) // linear; the first halves
        b.InputType(1 + t, 1.0f, t == 0 ? 2.0f : 1.0f + t * 0.5f, 0.0f, 0);
    b.U8(kDigital);
    for (int d = 0; d < kDigital; ++d)
        b.DigitalUOM(200 + d, "Closed", "Open");
    b.U8(kAnalogue);
    std::vector<std::pair<float, float>> table;
    for (int p = 0; p < kPoints; ++p)
        table.emplace_back(100.0f * p, 10.0f * p);
    for (int a = 0; a < kAnalogue; ++a) // clamped outside the table
        b.AnalogueUOM(100 + a, a % 2 ? "m3/h" : "bar", 2, table);
    TUOMInfoReply out;
    out.Records = kRecords;
    out.InputTypes = kInputTypes;
    out.UOMs = kDigital + kAnalogue;
    out.Bytes = b.Sealed();
    Check(out.Bytes.size() <= kReplySize, "UOM information fits the reply buffer");
    return out;
}

// Input types reply: count, then 72-byte records; as many as fit 8000 bytes.
std::vector<uint8_t> BuildInputTypesReply(int &count)
{
    count = static_cast<int>((kReplySize - 2) / TAvailableInputType::RecordSize);
    count = std::min(count, 255);
    Check(TAvailableInputType::RecordSize == 72 && TAvailableInputType::NameSize == 50,
          "available input types have the builder's layout");
    TWireRecord b;
    b.U8(count);
    for (int i = 0; i < count; ++i) // every third one not selectable
        b.AvailableType(i % 3 != 0, 1 + i, i % 6, 0, "Input type " + std::to_string(i));
    return Reply(b, kReplySize);
}

// UOM list reply: u16 count, then (id, category, name length, name) records.
std::vector<uint8_t> BuildUOMListReply(int &count)
{
    TWireRecord records;
    count = 0;
    for (;; ++count) {
        const std::string name = "Unit of measure " + std::to_string(count);
        if (2 + records.Size() + 6 + name.size() > kReplySize - 1)
            break;
        records.UOMDescription(100 + count, count % 6, name);
    }
    return Reply(TWireRecord().U16(count).Append(records), kReplySize);
}

// Modbus data reply: 100 slaves of 51 bytes, then 255 mappings of 6 bytes
// onto I/O ids 0..254 (the counts travel in one byte each).
std::vector<uint8_t> BuildModbusReply(int &mappings)
{
    constexpr int kSlaves = 100;
    mappings = 255;
    TWireRecord b;
    b.U8(kSlaves);
    for (int s = 0; s < kSlaves; ++s)
        b.U8(1 + s).Fixed("Slave " + std::to_string(1 + s), 50);
    b.U8(mappings);
    for (int m = 0; m < mappings; ++m)
        b.U32(static_cast<uint32_t>(m)).U8(3 + m % 7).U8(1 + m % kSlaves);
    return b.Sealed();
}

// ---------------------------------------------------------------------------
// A unit in memory

// The scripted unit answering at once: the unit type, one live-value reply,
// a server reply in numbered blocks, and an external value stream in
// frame-sized pieces that ends with a failed read, as the unit's does. Every
// exchange runs through the link's frame exchange; nothing waits on a line.
struct TMemoryUnit {
    TMemoryUnit(bool usb, uint8_t unitType) : Comms(usb, zelvo::test::TUnscriptedSend::Ack)
    {
        Comms.KeepRequests = false;
        Comms.Always(CMD_READ_UNIT_TYPE, TBytes{unitType});
        TBytes flags(32, 0);
        flags[0] = 0x01;
        flags[1] = 0x80;
        Comms.Always(CMD_EXT_READ_ERRORS, flags);
        Comms.Always(CMD_EXT_WRITE_ERRORS, flags);
        Comms.AnswerWith([this](const TScriptedComms::TRequest &r) -> std::optional<TReply> {
            if (r.Command != CMD_EXT_READ_VALUES)
                return std::nullopt;
            if (ExternalAt >= ExternalStream.size()) {
                ExternalAt = 0;
                return TReply::Refused();
            }
            const std::size_t take = std::min<std::size_t>(252, ExternalStream.size() - ExternalAt);
            TBytes piece(ExternalStream.begin() + static_cast<long>(ExternalAt),
                         ExternalStream.begin() + static_cast<long>(ExternalAt + take));
            ExternalAt += take;
            return piece;
        });
    }
    void SetLiveReply(const TBytes &reply) { Comms.Always(CMD_READ_LIVE_VALUES, reply); }
    // Held for every download.
    void SetMessage(const TBytes &message)
    {
        Comms.QueueMessage(message);
        Comms.Always(CMD_READ_MESSAGE_LENGTH,
                     TWireRecord().U16(zelvo::test::MessageTotal(message)));
    }

    TScriptedComms Comms;
    TBytes ExternalStream;
    std::size_t ExternalAt = 0;
};

// A unit object of the given model with its type read.
struct TUnitRig {
    explicit TUnitRig(uint8_t unitType)
        : Memory(unitType == UNIT_TYPE_OSTRA, unitType),
          Unit(Memory.Comms, TPacing::Shrunk(1000), nullptr)
    {
        Check(Unit.ReadUnitType(), "unit type read");
        Check(Unit.GetUnitType() == unitType, "unit type taken");
    }

    bool Parse(int16_t type, const std::vector<uint8_t> &reply)
    {
        Parser.SetType(type);
        return Parser.ParseReply(reply.data(), static_cast<int>(reply.size()), &Unit);
    }

    void AttachViews()
    {
        Unit.AttachIOListView(new TTreeListView(&LiveView));
        Unit.AttachConfigView(new TTreeListView(&ConfigView));
        Unit.AttachExternalView(new TTreeListView(&ExternalView));
    }

    void LoadUOMInformation()
    {
        const TUOMInfoReply info = BuildUOMInfoReply();
        Check(Parse(MSG_READ_UOM_INFO, info.Bytes), "UOM information accepted");
        Check(Unit.IOUOMRecordCount() == info.Records, "every UOM record kept");
        Check(Unit.UOMManager().UOMs()->Count() == info.UOMs, "every UOM kept");
    }

    TMemoryUnit Memory;
    TZelvo Unit;
    TCommissioningDataParser Parser{nullptr};
    QTreeWidget LiveView;
    QTreeWidget ConfigView;
    QTreeWidget ExternalView;
};

// ---------------------------------------------------------------------------
// Server replies

// One 8000-byte I/O-configuration reply into an emptied list, as job 9 does
// it; arg 1 with the configuration and external views attached (the window),
// arg 0 without (the command-line front end).
void BM_ParseReply_IOConfig(benchmark::State &state)
{
    TUnitRig rig(UNIT_TYPE_VELLO);
    if (state.range(0) != 0)
        rig.AttachViews();
    const TIOConfigReply reply = BuildIOConfigReply(false, 1, 1);
    Check(rig.Parse(MSG_READ_IO_CONFIG, reply.Bytes), "I/O configuration accepted");
    Check(rig.Unit.ServerSideIOs().Count() == reply.Records, "every I/O record read");
    Check(rig.Unit.ServerSideIOs().ExternalCount() == reply.Externals, "every external counted");
    if (state.range(0) != 0)
        Check(rig.ConfigView.topLevelItemCount() == reply.Records + 1, "configuration view filled");
    for (auto _ : state) {
        rig.Unit.ClearIOConfig();
        rig.Parse(MSG_READ_IO_CONFIG, reply.Bytes);
    }
    state.counters["records"] = reply.Records;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(reply.Bytes.size()));
}
BENCHMARK(BM_ParseReply_IOConfig)->ArgName("views")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A configuration that spans several full replies, loaded one after the other
// into the same list with the views attached: each reply rebuilds the rows of
// every record so far, so the cost per reply grows with the list.
void BM_ParseReply_IOConfigDownload(benchmark::State &state)
{
    TUnitRig rig(UNIT_TYPE_VELLO);
    rig.AttachViews();
    const int replies = static_cast<int>(state.range(0));
    std::vector<TIOConfigReply> parts;
    int records = 0;
    int externals = 0;
    for (int i = 0; i < replies; ++i) {
        parts.push_back(BuildIOConfigReply(i + 1 < replies, 1 + records, 1 + externals));
        records += parts.back().Records;
        externals += parts.back().Externals;
    }
    auto download = [&] {
        rig.Unit.ClearIOConfig();
        for (const auto &p : parts)
            rig.Parse(MSG_READ_IO_CONFIG, p.Bytes);
    };
    download();
    Check(rig.Unit.ServerSideIOs().Count() == records, "every record of every reply read");
    Check(!rig.Unit.MoreIOConfigToFollow(), "last reply ends the configuration");
    for (auto _ : state)
        download();
    state.counters["records"] = records;
}
BENCHMARK(BM_ParseReply_IOConfigDownload)
    ->ArgName("replies")
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Unit(benchmark::kMicrosecond);

// An 8000-byte snapshot into a list of lines (the memo's stand-in).
void BM_ParseReply_Snapshot(benchmark::State &state)
{
    const TSnapshotReply reply = BuildSnapshotReply();
    TCommissioningDataParser parser(nullptr);
    QStringList lines;
    parser.SetSnapshotSink([&] { lines.clear(); },
                           [&](const QString &line) { lines.append(line); });
    parser.SetType(MSG_READ_SNAPSHOT);
    const auto length = static_cast<int>(reply.Bytes.size());
    Check(parser.ParseReply(reply.Bytes.data(), length, nullptr), "snapshot accepted");
    Check(lines.size() == reply.Items, "a line for every snapshot item");
    Check(lines.front() == QStringLiteral("ERR01: 0"), "first snapshot line");
    for (auto _ : state)
        parser.ParseReply(reply.Bytes.data(), length, nullptr);
    state.counters["items"] = reply.Items;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * length);
}
BENCHMARK(BM_ParseReply_Snapshot)->Unit(benchmark::kMicrosecond);

// The UOM information: per-I/O records, input types, digital and analogue
// UOMs with their tables, then the live list's display texts.
void BM_ParseReply_UOMInfo(benchmark::State &state)
{
    TUnitRig rig(UNIT_TYPE_OSTRA);
    if (state.range(0) != 0)
        rig.AttachViews();
    const TUOMInfoReply reply = BuildUOMInfoReply();
    rig.LoadUOMInformation();
    Check(rig.Unit.UOMManager().InputTypes()->Count() == reply.InputTypes, "every input type kept");
    for (auto _ : state)
        rig.Parse(MSG_READ_UOM_INFO, reply.Bytes);
    state.counters["bytes"] = static_cast<double>(reply.Bytes.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(reply.Bytes.size()));
}
BENCHMARK(BM_ParseReply_UOMInfo)->ArgName("views")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_ParseReply_InputTypes(benchmark::State &state)
{
    TUnitRig rig(UNIT_TYPE_VELLO);
    int count = 0;
    const std::vector<uint8_t> reply = BuildInputTypesReply(count);
    Check(rig.Parse(MSG_READ_INPUT_TYPES, reply), "input types accepted");
    Check(rig.Unit.AvailableInputTypes().Count() == count, "every input type read");
    for (auto _ : state)
        rig.Parse(MSG_READ_INPUT_TYPES, reply);
    state.counters["records"] = count;
}
BENCHMARK(BM_ParseReply_InputTypes)->Unit(benchmark::kMicrosecond);

void BM_ParseReply_UOMList(benchmark::State &state)
{
    TUnitRig rig(UNIT_TYPE_VELLO);
    int count = 0;
    const std::vector<uint8_t> reply = BuildUOMListReply(count);
    Check(rig.Parse(MSG_READ_UOM_LIST, reply), "UOM list accepted");
    Check(rig.Unit.UOMDescriptions().Count() == count, "every UOM description read");
    for (auto _ : state)
        rig.Parse(MSG_READ_UOM_LIST, reply);
    state.counters["records"] = count;
}
BENCHMARK(BM_ParseReply_UOMList)->Unit(benchmark::kMicrosecond);

// Modbus data against a full configuration: each mapping looks its I/O up.
void BM_ParseReply_ModbusData(benchmark::State &state)
{
    TUnitRig rig(UNIT_TYPE_VELLO);
    const TIOConfigReply config = BuildIOConfigReply(false, 0, 1);
    Check(rig.Parse(MSG_READ_IO_CONFIG, config.Bytes), "I/O configuration accepted");
    int mappings = 0;
    const std::vector<uint8_t> reply = BuildModbusReply(mappings);
    Check(rig.Parse(MSG_READ_MODBUS_DATA, reply), "Modbus data accepted");
    int named = 0;
    for (int i = 0; i < rig.Unit.ServerSideIOs().Count(); ++i)
        named += rig.Unit.ServerSideIOs().Item(i)->SlaveName().startsWith("Slave ") ? 1 : 0;
    Check(named == std::min(mappings, config.Records), "every mapped I/O has its slave");
    for (auto _ : state)
        rig.Parse(MSG_READ_MODBUS_DATA, reply);
    state.counters["mappings"] = mappings;
}
BENCHMARK(BM_ParseReply_ModbusData)->Unit(benchmark::kMicrosecond);

// The whole block transfer of an 8000-byte reply (32 block frames) from a
// unit that answers at once: the framing and assembly cost without the line
// time.
void BM_ReadMessage(benchmark::State &state)
{
    TMemoryUnit unit(false, UNIT_TYPE_VELLO);
    const std::vector<uint8_t> message = BuildIOConfigReply(false, 1, 1).Bytes;
    unit.SetMessage(message);
    TScriptedComms &comms = unit.Comms;
    std::vector<uint8_t> buffer(kReplySize);
    uint16_t length = 0;
    Check(comms.ReadMessage(buffer.data(), buffer.size(), length), "message read");
    Check(comms.ReadMessage(buffer.data(), buffer.size(), length), "message read again");
    Check(length == kReplySize && buffer == message, "message read whole and unchanged");
    for (auto _ : state) {
        comms.ReadMessage(buffer.data(), buffer.size(), length);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kReplySize);
}
BENCHMARK(BM_ReadMessage)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------------------
// Live values

std::vector<uint8_t> BuildLiveReply(uint8_t unitType)
{
    TWireRecord b;
    int first = 0;
    int count = TZelvo::kVelloOwnIOCount;
    if (unitType == UNIT_TYPE_OSTRA) {
        b.U16(0x00A5); // digital states of I/O 0..7
        first = 8;
        count = TZelvo::kOstraOwnIOCount;
    }
    for (int n = first; n < count; ++n)
        b.U32(n == 8 ? kCheckRaw : static_cast<uint32_t>(37 * n % 1800));
    return b.Bytes();
}

// One live-value reply of each model, decoded and scaled into the live list;
// arg 1 with the live view attached, so every value's text is redrawn.
void BM_DecodeLiveValues(benchmark::State &state, uint8_t unitType)
{
    TUnitRig rig(unitType);
    if (state.range(0) != 0)
        rig.AttachViews();
    rig.LoadUOMInformation();
    const std::vector<uint8_t> reply = BuildLiveReply(unitType);
    Check(static_cast<int>(reply.size()) == (unitType == UNIT_TYPE_OSTRA
                                                 ? TZelvo::kOstraLiveReplySize
                                                 : TZelvo::kVelloLiveReplySize),
          "live reply has the model's size");
    rig.Unit.DecodeLiveValues(reply.data(), static_cast<int>(reply.size()));
    const TIO *io = rig.Unit.IOs().FindIO(8);
    Check(io != nullptr && std::fabs(static_cast<double>(io->Value - kCheckValue)) < 1e-9,
          "I/O 8 scaled through its input type and UOM table");
    for (auto _ : state)
        rig.Unit.DecodeLiveValues(reply.data(), static_cast<int>(reply.size()));
}
BENCHMARK_CAPTURE(BM_DecodeLiveValues, Ostra, uint8_t{UNIT_TYPE_OSTRA})
    ->ArgName("views")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_DecodeLiveValues, Vello, uint8_t{UNIT_TYPE_VELLO})
    ->ArgName("views")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond);

// One poll of live values through the comms interface (reply in memory).
void BM_PollLiveValues(benchmark::State &state)
{
    TUnitRig rig(UNIT_TYPE_OSTRA);
    rig.LoadUOMInformation();
    rig.Memory.SetLiveReply(BuildLiveReply(UNIT_TYPE_OSTRA));
    Check(rig.Unit.PollLiveValues() && rig.Unit.LiveFailureCount() == 0, "live poll succeeds");
    for (auto _ : state)
        rig.Unit.PollLiveValues();
}
BENCHMARK(BM_PollLiveValues)->Unit(benchmark::kMicrosecond);

// One whole external I/O cycle (start, value stream in frames, both error
// flag reads) for the externals of a full configuration reply.
void BM_ExternalCycle(benchmark::State &state)
{
    TUnitRig rig(UNIT_TYPE_VELLO);
    rig.LoadUOMInformation();
    const TIOConfigReply config = BuildIOConfigReply(false, 1, 1);
    Check(rig.Parse(MSG_READ_IO_CONFIG, config.Bytes), "I/O configuration accepted");
    const int externals = rig.Unit.ServerSideIOs().ExternalCount();
    Check(externals == config.Externals && externals > 0, "externals counted");
    TWireRecord stream;
    for (int i = 0; i < externals; ++i)
        stream.U32(static_cast<uint32_t>(10 * (i + 1)));
    rig.Memory.ExternalStream = stream.Bytes();
    auto cycle = [&] {
        // Phase 0 starts, phase 1 reads until the stream ends, then 2 and 3.
        do
            rig.Unit.PollExternalIO();
        while (rig.Unit.ExternalReadPhase() != 0);
    };
    cycle();
    Check(rig.Unit.ExternalReceived() == 4 * externals, "whole value stream received");
    const TServerSideIO *first = rig.Unit.ServerSideIOs().FindExternal(1);
    Check(first != nullptr && first->Value() != 0, "first external value applied");
    for (auto _ : state)
        cycle();
    state.counters["externals"] = externals;
}
BENCHMARK(BM_ExternalCycle)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------------------
// Scaling

// A reading through a known input type and a 10-point table, the lookups
// running to the end of the lists (the worst case of the linear search).
void BM_ConvertValue_Known(benchmark::State &state)
{
    TUnitRig rig(UNIT_TYPE_VELLO);
    rig.LoadUOMInformation();
    const TUOMManager &m = rig.Unit.UOMManager();
    Check(m.ConvertValue(1, 100, kCheckRaw) == kCheckValue, "known conversion");
    uint32_t raw = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(m.ConvertValue(30, 149, raw));
        raw = (raw + 97) % 1800;
    }
}
BENCHMARK(BM_ConvertValue_Known);

// A reading whose input type and UOM are not in the lists: the raw value, by
// way of the not-found path.
void BM_ConvertValue_Unknown(benchmark::State &state)
{
    TUnitRig rig(UNIT_TYPE_VELLO);
    rig.LoadUOMInformation();
    const TUOMManager &m = rig.Unit.UOMManager();
    Check(m.ConvertValue(99, 999, 1234) == 1234.0L, "unknown ids give the raw value");
    for (auto _ : state)
        benchmark::DoNotOptimize(m.ConvertValue(99, 999, 1234));
}
BENCHMARK(BM_ConvertValue_Unknown);

// ---------------------------------------------------------------------------
// Frames

void BM_FrameExchange(benchmark::State &state)
{
    // A full frame: status (accepted, data follows), length 255, reply code,
    // 255 data bytes and the XOR checksum of everything before it.
    TBytes data;
    for (int i = 0; i < 255; ++i)
        data.push_back(static_cast<uint8_t>(i * 7));
    TScriptedPort port;
    port.Load(zelvo::test::ReplyFrame(0x19, data));
    const uint8_t block = 3;
    uint8_t reply[256];
    int32_t length = 0;
    Check(framing::Exchange(port, 5000, 0x19, &block, 1, reply, length, true) && length == 255,
          "full reply frame accepted");
    for (auto _ : state) {
        port.Rewind();
        benchmark::DoNotOptimize(
            framing::Exchange(port, 5000, 0x19, &block, 1, reply, length, true));
    }
}
BENCHMARK(BM_FrameExchange);

// The biggest request frame and the envelope of an 8000-byte upload.
void BM_BuildRequest(benchmark::State &state)
{
    std::array<uint8_t, framing::kFrameBuffer> frame{};
    std::vector<uint8_t> payload(framing::kMaxPayload, 0x5A);
    Check(framing::BuildRequest(frame, 0x17, payload.data(), framing::kMaxPayload) ==
              framing::kMaxPayload + 4,
          "largest request built");
    for (auto _ : state)
        benchmark::DoNotOptimize(
            framing::BuildRequest(frame, 0x17, payload.data(), framing::kMaxPayload));
}
BENCHMARK(BM_BuildRequest);

void BM_BuildMessage(benchmark::State &state)
{
    TCommissioningDataParser parser(nullptr);
    parser.SetType(MSG_WRITE_IO_CONFIG);
    std::vector<uint8_t> payload(kReplySize - 9, 0x33);
    parser.SetPayload(payload);
    Check(parser.BuildMessage() == static_cast<int>(kReplySize), "upload envelope built");
    for (auto _ : state) {
        parser.SetPayload(payload);
        benchmark::DoNotOptimize(parser.BuildMessage());
    }
}
BENCHMARK(BM_BuildMessage)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    // The list views need an application; no window is ever shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
