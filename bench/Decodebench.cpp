// Timings of the reply decoders and the frame exchange on full-size inputs.
//
// Every reply is built here in the unit's wire format (little-endian fields,
// a closing checksum that makes the reply add up to 0 modulo 256), and every
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
#include "ui/Treelistview.h"
#include "unit/Commissioningdataparser.h"
#include "unit/Zelvo.h"

namespace
{

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

class TBytes
{
public:
    void U8(uint8_t x) { V.push_back(x); }
    void U16(uint16_t x)
    {
        U8(static_cast<uint8_t>(x));
        U8(static_cast<uint8_t>(x >> 8));
    }
    void U32(uint32_t x)
    {
        for (int i = 0; i < 4; ++i)
            U8(static_cast<uint8_t>(x >> (8 * i)));
    }
    void F32(float f)
    {
        uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        U32(bits);
    }
    // A text field of `width` bytes, zero padded.
    void Fixed(const std::string &text, std::size_t width)
    {
        for (std::size_t i = 0; i < width; ++i)
            U8(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
    }
    void Text(const std::string &text) { V.insert(V.end(), text.begin(), text.end()); }
    std::size_t Size() const { return V.size(); }

    // Pads with zeros to total - 1 bytes and appends the checksum.
    std::vector<uint8_t> Reply(std::size_t total)
    {
        Check(V.size() + 1 <= total, "reply content fits its size");
        std::vector<uint8_t> r = V;
        r.resize(total - 1, 0);
        uint8_t sum = 0;
        for (auto b : r)
            sum = static_cast<uint8_t>(sum + b);
        r.push_back(static_cast<uint8_t>(-sum));
        return r;
    }

    std::vector<uint8_t> V;
};

// I/O-configuration records: 17 bytes (id, 6-byte tag, input type, UOM id,
// logging flags, name length) and the name.
void IOConfigRecord(TBytes &b, int32_t id, const std::string &tag, uint8_t inputType,
                    uint32_t uomId, uint8_t flags, const std::string &name)
{
    b.U32(static_cast<uint32_t>(id));
    b.Fixed(tag, TServerSideIO::TagSize);
    b.U8(inputType);
    b.U32(uomId);
    b.U8(flags);
    b.U8(static_cast<uint8_t>(name.size()));
    b.Text(name);
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
    TBytes b;
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
        IOConfigRecord(b, firstId + i, tag, static_cast<uint8_t>(1 + i % 4),
                       static_cast<uint32_t>(100 + i % 50), 0x05, name);
        ++out.Records;
        out.Externals += external ? 1 : 0;
    }
    // The rest of the reply would be read as a cut record: fill it with one
    // last record whose name takes exactly the bytes left.
    const std::size_t left = room - b.Size();
    if (left >= TServerSideIO::RecordHeaderSize) {
        IOConfigRecord(b, firstId + out.Records, "IN99", 1, 100, 0x05,
                       std::string(left - TServerSideIO::RecordHeaderSize, 'x'));
        ++out.Records;
    }
    out.Bytes = b.Reply(kReplySize);
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
    TBytes b;
    b.U16(static_cast<uint16_t>(types.size()));
    for (std::size_t i = 0; i < types.size(); ++i) {
        b.U8(static_cast<uint8_t>(types[i]));
        b.U16(static_cast<uint16_t>(1 + i % 64));
    }
    for (std::size_t i = 0; i < types.size(); ++i) {
        if (TCommissioningDataParser::SnapshotValueSize(types[i]) == 4)
            b.F32(static_cast<float>(i) * 0.25f);
        else
            b.U8(static_cast<uint8_t>(i));
    }
    return {b.Reply(kReplySize), static_cast<int>(types.size())};
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
    TBytes b;
    b.U8(kRecords);
    for (int k = 0; k < kRecords; ++k) {
        // Even records analogue (UOM 100..149), odd ones digital (200..219);
        // record 8 is the checked one.
        if (k == 8) {
            b.U32(100);
            b.U8(1);
            continue;
        }
        b.U32(k % 2 == 0 ? static_cast<uint32_t>(100 + k % kAnalogue)
                         : static_cast<uint32_t>(200 + k % kDigital));
        b.U8(static_cast<uint8_t>(1 + k % kInputTypes));
    }
    b.U8(kInputTypes);
    for (int t = 0; t < kInputTypes; ++t) {
        b.U8(static_cast<uint8_t>(1 + t));
        b.F32(1.0f);                            // multiplier
        b.F32(t == 0 ? 2.0f : 1.0f + t * 0.5f); // divisor
        b.F32(0.0f);                            // offset
        b.U8(0);                                // linear
        b.U8(0);
    }
    b.U8(kDigital);
    for (int d = 0; d < kDigital; ++d) {
        b.U32(static_cast<uint32_t>(200 + d));
        b.Fixed("Closed", TUOMs::TextFieldSize);
        b.Fixed("Open", TUOMs::TextFieldSize);
    }
    b.U8(kAnalogue);
    for (int a = 0; a < kAnalogue; ++a) {
        b.U32(static_cast<uint32_t>(100 + a));
        b.Fixed(a % 2 ? "m3/h" : "bar", TUOMs::TextFieldSize);
        b.U8(2); // clamp outside the table
        b.U8(kPoints);
        for (int p = 0; p < kPoints; ++p) {
            b.F32(100.0f * p);
            b.F32(10.0f * p);
        }
    }
    TUOMInfoReply out;
    out.Records = kRecords;
    out.InputTypes = kInputTypes;
    out.UOMs = kDigital + kAnalogue;
    out.Bytes = b.Reply(b.Size() + 1);
    Check(out.Bytes.size() <= kReplySize, "UOM information fits the reply buffer");
    return out;
}

// Input types reply: count, then 72-byte records; as many as fit 8000 bytes.
std::vector<uint8_t> BuildInputTypesReply(int &count)
{
    count = static_cast<int>((kReplySize - 2) / TAvailableInputType::RecordSize);
    count = std::min(count, 255);
    TBytes b;
    b.U8(static_cast<uint8_t>(count));
    for (int i = 0; i < count; ++i) {
        b.U8(i % 3 != 0); // selectable
        b.U8(static_cast<uint8_t>(1 + i));
        b.U8(static_cast<uint8_t>(i % 6));
        b.U8(0);
        b.U32(0);
        b.Fixed("Input type " + std::to_string(i), TAvailableInputType::NameSize);
        for (int j = 8 + TAvailableInputType::NameSize; j < TAvailableInputType::RecordSize; ++j)
            b.U8(0);
    }
    return b.Reply(kReplySize);
}

// UOM list reply: u16 count, then (id, category, name length, name) records.
std::vector<uint8_t> BuildUOMListReply(int &count)
{
    TBytes b;
    b.U16(0);
    count = 0;
    for (;; ++count) {
        const std::string name = "Unit of measure " + std::to_string(count);
        if (b.Size() + 6 + name.size() > kReplySize - 1)
            break;
        b.U32(static_cast<uint32_t>(100 + count));
        b.U8(static_cast<uint8_t>(count % 6));
        b.U8(static_cast<uint8_t>(name.size()));
        b.Text(name);
    }
    b.V[0] = static_cast<uint8_t>(count);
    b.V[1] = static_cast<uint8_t>(count >> 8);
    return b.Reply(kReplySize);
}

// Modbus data reply: 100 slaves of 51 bytes, then 255 mappings of 6 bytes
// onto I/O ids 0..254 (the counts travel in one byte each).
std::vector<uint8_t> BuildModbusReply(int &mappings)
{
    constexpr int kSlaves = 100;
    mappings = 255;
    TBytes b;
    b.U8(kSlaves);
    for (int s = 0; s < kSlaves; ++s) {
        b.U8(static_cast<uint8_t>(1 + s));
        b.Fixed("Slave " + std::to_string(1 + s), 50);
    }
    b.U8(static_cast<uint8_t>(mappings));
    for (int m = 0; m < mappings; ++m) {
        b.U32(static_cast<uint32_t>(m));
        b.U8(static_cast<uint8_t>(3 + m % 7));
        b.U8(static_cast<uint8_t>(1 + m % kSlaves));
    }
    return b.Reply(b.Size() + 1);
}

// ---------------------------------------------------------------------------
// A unit in memory

// Answers the unit's commands from memory: the unit type, one live-value
// reply, a server reply in numbered blocks, and an external value stream in
// frame-sized pieces that ends with a failed read, as the unit's does.
class TMemoryComms : public TZelvoCommsInterface
{
public:
    TMemoryComms(bool usb, uint8_t unitType) : UnitType(unitType) { SelectPort(usb, 1, 19200); }

    uint8_t UnitType;
    std::vector<uint8_t> LiveReply;
    std::vector<uint8_t> Message;
    std::vector<uint8_t> ExternalStream;
    std::size_t ExternalAt = 0;

    bool Query(uint8_t command, uint8_t *reply, int32_t &replyLength) override
    {
        switch (command) {
        case CMD_READ_UNIT_TYPE:
            reply[0] = UnitType;
            replyLength = 1;
            return true;
        case CMD_READ_LIVE_VALUES:
            return Serve(LiveReply.data(), LiveReply.size(), reply, replyLength);
        case CMD_READ_MESSAGE_LENGTH: {
            // One header byte per block of 254 message bytes.
            const std::size_t blocks =
                (Message.size() + kMessageBlockBytes - 1) / kMessageBlockBytes;
            const std::size_t total = Message.size() + blocks;
            reply[0] = static_cast<uint8_t>(total);
            reply[1] = static_cast<uint8_t>(total >> 8);
            replyLength = 2;
            return true;
        }
        case CMD_EXT_READ_VALUES: {
            if (ExternalAt >= ExternalStream.size()) {
                ExternalAt = 0;
                return false;
            }
            const std::size_t take = std::min<std::size_t>(252, ExternalStream.size() - ExternalAt);
            Serve(ExternalStream.data() + ExternalAt, take, reply, replyLength);
            ExternalAt += take;
            return true;
        }
        case CMD_EXT_READ_ERRORS:
        case CMD_EXT_WRITE_ERRORS: {
            static const uint8_t flags[32] = {0x01, 0x80};
            return Serve(flags, sizeof flags, reply, replyLength);
        }
        default:
            return false;
        }
    }

    bool QueryWithPayload(uint8_t command, const uint8_t *payload, uint32_t payloadLength,
                          uint8_t *reply, int32_t &replyLength) override
    {
        if (command != CMD_READ_MESSAGE_BLOCK || payloadLength != 1)
            return Query(command, reply, replyLength);
        const std::size_t at = std::size_t{payload[0]} * kMessageBlockBytes;
        if (at >= Message.size())
            return false;
        const std::size_t take = std::min(kMessageBlockBytes, Message.size() - at);
        reply[0] = payload[0];
        std::memcpy(reply + 1, Message.data() + at, take);
        replyLength = static_cast<int32_t>(take + 1);
        return true;
    }

    bool Send(uint8_t, const uint8_t *, uint32_t) override { return true; }

private:
    static bool Serve(const uint8_t *data, std::size_t n, uint8_t *reply, int32_t &replyLength)
    {
        std::memcpy(reply, data, n);
        replyLength = static_cast<int32_t>(n);
        return true;
    }
};

// A unit object of the given model with its type read.
struct TUnitRig {
    explicit TUnitRig(uint8_t unitType)
        : Comms(unitType == UNIT_TYPE_OSTRA, unitType), Unit(Comms, TPacing::Shrunk(1000))
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

    TMemoryComms Comms;
    TZelvo Unit;
    TCommissioningDataParser Parser;
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
    TCommissioningDataParser parser;
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
// unit that answers at once: the assembly cost without the line time.
void BM_ReadMessage(benchmark::State &state)
{
    TMemoryComms comms(false, UNIT_TYPE_VELLO);
    comms.Message = BuildIOConfigReply(false, 1, 1).Bytes;
    std::vector<uint8_t> buffer(kReplySize);
    uint16_t length = 0;
    Check(comms.ReadMessage(buffer.data(), buffer.size(), length), "message read");
    Check(length == kReplySize && buffer == comms.Message, "message read whole and unchanged");
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
    TBytes b;
    int first = 0;
    int count = TZelvo::kVelloOwnIOCount;
    if (unitType == UNIT_TYPE_OSTRA) {
        b.U16(0x00A5); // digital states of I/O 0..7
        first = 8;
        count = TZelvo::kOstraOwnIOCount;
    }
    for (int n = first; n < count; ++n)
        b.U32(n == 8 ? kCheckRaw : static_cast<uint32_t>(37 * n % 1800));
    return b.V;
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
    rig.Comms.LiveReply = BuildLiveReply(UNIT_TYPE_OSTRA);
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
    TBytes stream;
    for (int i = 0; i < externals; ++i)
        stream.U32(static_cast<uint32_t>(10 * (i + 1)));
    rig.Comms.ExternalStream = stream.V;
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

// Plays a unit's reply bytes to the frame exchange; writes go nowhere.
class TMemoryPort
{
public:
    std::vector<uint8_t> Reply;
    std::size_t At = 0;

    int32_t DiscardInput() { return 0; }
    int32_t WriteBytes(const uint8_t *, uint32_t, uint32_t) { return 0; }
    int32_t ReadBytes(uint8_t *buffer, uint32_t count, uint32_t)
    {
        if (At + count > Reply.size())
            return 1;
        std::memcpy(buffer, Reply.data() + At, count);
        At += count;
        return 0;
    }
};

// A full frame: status (accepted, data follows), length 255, reply code,
// 255 data bytes and the XOR checksum of everything before it.
std::vector<uint8_t> BuildFullReplyFrame()
{
    std::vector<uint8_t> f = {framing::kStatusAck | framing::kStatusData, 255, 0x19};
    for (int i = 0; i < 255; ++i)
        f.push_back(static_cast<uint8_t>(i * 7));
    uint8_t x = 0;
    for (auto b : f)
        x ^= b;
    f.push_back(x);
    return f;
}

void BM_FrameExchange(benchmark::State &state)
{
    TMemoryPort port;
    port.Reply = BuildFullReplyFrame();
    const uint8_t block = 3;
    uint8_t reply[256];
    int32_t length = 0;
    Check(framing::Exchange(port, 5000, 0x19, &block, 1, reply, length, true) && length == 255,
          "full reply frame accepted");
    for (auto _ : state) {
        port.At = 0;
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
    TCommissioningDataParser parser;
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
