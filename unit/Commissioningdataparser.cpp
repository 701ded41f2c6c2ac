#include "unit/Commissioningdataparser.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

#include "common/Errormanager.h"
#include "link/Zelvocommsinterface.h"
#include "protocol/Commands.h"
#include "unit/Zelvo.h"

namespace
{

constexpr std::array<const char *, 19> kSnapshotPrefixes = {
    "ERR", "IN", "IN",  "EXT", "EXT", "PWM", "DO",  "EXT", "EXT", "VAR",
    "ALM", "AO", "BUZ", "RI",  "RL",  "CNT", "TMR", "RTC", "FRQ",
};

// Slave records of the Modbus reply: id byte and a 50-byte zero-padded name.
constexpr int kSlaveRecordSize = 51;
constexpr int kSlaveNameSize = 50;
constexpr int kMappingRecordSize = 6;
constexpr int kUOMRecordSize = 5;

} // namespace

void TCommissioningDataParser::SetPayload(const uint8_t *data, int length)
{
    if (data == nullptr || length <= 0) {
        Payload.clear();
        PayloadLen = 0;
        return;
    }
    Payload.assign(data, data + length);
    PayloadLen = length;
}

void TCommissioningDataParser::SetPayload(const std::vector<uint8_t> &data)
{
    SetPayload(data.data(), static_cast<int>(data.size()));
}

int TCommissioningDataParser::BuildMessage()
{
    const int p = PayloadLen;
    MessageBytes.assign(static_cast<std::size_t>(kHeaderSize + p + 1), 0);
    MessageLen = kHeaderSize;
    uint32_t n = 0;
    uint8_t sum = 0;
    if (p > 0) {
        std::memcpy(&MessageBytes[kHeaderSize], Payload.data(), static_cast<std::size_t>(p));
        MessageLen = kHeaderSize + p + 1;
        n = static_cast<uint32_t>(p + 1);
        // The payload goes with one message only.
        PayloadLen = 0;
        for (int i = 0; i < p; ++i)
            sum =
                static_cast<uint8_t>(sum + MessageBytes[static_cast<std::size_t>(kHeaderSize + i)]);
    }
    // Payload and checksum add up to 0 modulo 256; without a payload the
    // checksum byte is not part of the message.
    MessageBytes[static_cast<std::size_t>(kHeaderSize + p)] = static_cast<uint8_t>(-sum);

    const auto type = static_cast<uint16_t>(MessageType);
    qToLittleEndian<quint16>(type, &MessageBytes[0]);
    qToLittleEndian<quint32>(static_cast<quint32>(n), &MessageBytes[2]);
    qToLittleEndian<quint16>(static_cast<quint16>(n), &MessageBytes[6]);
    return MessageLen;
}

bool TCommissioningDataParser::SendMessage(TZelvoCommsInterface &comms)
{
    const int length = BuildMessage();
    if (MessageType == MSG_WRITE_IO_CONFIG)
        return comms.WriteIOConfigMessage(MessageBytes.data(), length);
    return comms.WriteMessage(MessageBytes.data(), length);
}

void TCommissioningDataParser::ReportError(const QString &text)
{
    if (ErrorLog != nullptr) {
        ErrorLog->SetStatus(text);
        ErrorLog->AddLog(text);
        ErrorLog->FlushLog();
    }
}

void TCommissioningDataParser::EnableTabs()
{
    if (EnableTabsHook)
        EnableTabsHook();
}

void TCommissioningDataParser::ForgetReceived(int type)
{
    switch (type) {
    case MSG_READ_BASIC_INFO:
        BasicInfoReceived = false;
        break;
    case MSG_READ_UOM_INFO:
        UOMsReceived = false;
        break;
    case MSG_READ_IO_CONFIG:
        IOConfigurationReceived = false;
        break;
    case MSG_READ_UOM_LIST:
        UOMListsReceived = false;
        break;
    case MSG_READ_INPUT_TYPES:
        InputTypesReceived = false;
        break;
    case MSG_READ_MODBUS_DATA:
        ModbusDataReceived = false;
        break;
    default:
        break;
    }
}

bool TCommissioningDataParser::ParseReply(const uint8_t *reply, int length, TZelvo *unit)
{
    // A reply of one byte (or none) is the server's refusal.
    if (reply == nullptr || length <= 1) {
        ReportError(QStringLiteral("NACK recieved"));
        return false;
    }
    uint8_t sum = 0;
    for (int i = 0; i < length - 1; ++i)
        sum = static_cast<uint8_t>(sum + reply[i]);
    if (reply[length - 1] != static_cast<uint8_t>(-sum)) {
        ReportError(QStringLiteral("Checksum error"));
        return false;
    }

    // The decoders read the reply's content only: every byte before the
    // checksum, and never more than arrived.
    const int content = length - 1;
    switch (MessageType) {
    case MSG_READ_BASIC_INFO:
        DecodeBasicInfo(reply, content);
        BasicInfoReceived = true;
        break;
    case MSG_READ_SNAPSHOT:
        DecodeSnapshot(reply, content);
        EnableTabs();
        break;
    case MSG_READ_UOM_INFO:
        DecodeUOMInformation(reply, content, unit);
        UOMsReceived = true;
        EnableTabs();
        break;
    case MSG_READ_IO_CONFIG:
        if (unit)
            unit->LoadIOConfiguration(reply, length);
        IOConfigurationReceived = true;
        break;
    case MSG_READ_UOM_LIST:
        if (unit)
            unit->LoadUOMList(reply, length);
        UOMListsReceived = true;
        break;
    case MSG_READ_INPUT_TYPES:
        if (unit)
            unit->LoadInputTypes(reply, length);
        InputTypesReceived = true;
        break;
    case MSG_READ_MODBUS_DATA:
        DecodeModbusData(reply, content, unit);
        ModbusDataReceived = true;
        EnableTabs();
        break;
    default:
        // Output, buffer test, logon and upload replies carry nothing: the
        // good reply itself is the result.
        break;
    }
    return true;
}

void TCommissioningDataParser::DecodeBasicInfo(const uint8_t *data, int length)
{
    // A short block keeps zeros where nothing arrived.
    BasicInformation.fill(0);
    const int n = std::min(length, kBasicInfoSize);
    std::memcpy(BasicInformation.data(), data, static_cast<std::size_t>(std::max(n, 0)));
}

const char *TCommissioningDataParser::SnapshotPrefix(int itemType)
{
    if (itemType < 0 || itemType > kMaxSnapshotItemType)
        return nullptr;
    return kSnapshotPrefixes[static_cast<std::size_t>(itemType)];
}

int TCommissioningDataParser::SnapshotValueSize(int itemType)
{
    switch (itemType) {
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
        return 4;
    case 0:
    case 2:
    case 4:
    case 6:
    case 8:
    case 10:
    case 12:
    case 13:
    case 14:
        return 1;
    default:
        return 0;
    }
}

void TCommissioningDataParser::DecodeSnapshot(const uint8_t *data, int length)
{
    if (ClearSnapshot)
        ClearSnapshot();
    if (length < 2)
        return;
    const int count = qFromLittleEndian<qint16>(data);
    const long tableEnd = 2L + 3L * std::max(count, 0);
    long valueAt = tableEnd;
    for (int i = 0; i < count; ++i) {
        const long itemAt = 2L + 3L * i;
        // An item whose table entry did not arrive ends the snapshot.
        if (itemAt + 3 > length)
            return;
        const int type = data[itemAt];
        const int number = qFromLittleEndian<quint16>(data + itemAt + 1);
        if (type > kMaxSnapshotItemType) {
            ReportError(QStringLiteral("type is not valid - %1").arg(type));
            return;
        }
        const int size = SnapshotValueSize(type);
        if (valueAt + size > length)
            return;
        QString value;
        if (size == 4) {
            const uint32_t bits = qFromLittleEndian<quint32>(data + valueAt);
            float f;
            std::memcpy(&f, &bits, sizeof f);
            value = QString::asprintf("%.2f", static_cast<double>(f));
        } else {
            value = QString::number(data[valueAt]);
        }
        valueAt += size;
        const QString name =
            QString::fromLatin1(kSnapshotPrefixes[static_cast<std::size_t>(type)]) +
            (number < 10 ? QStringLiteral("0") : QString()) + QString::number(number);
        if (AddSnapshotLine)
            AddSnapshotLine(name + QStringLiteral(": ") + value);
    }
}

void TCommissioningDataParser::DecodeUOMInformation(const uint8_t *data, int length, TZelvo *unit)
{
    if (length < 1 || unit == nullptr)
        return;
    const int announced = data[0];
    const int recordsEnd = 1 + kUOMRecordSize * announced;
    if (recordsEnd <= length) {
        unit->ApplyUOMInformation(announced, data + 1, data + recordsEnd, length - recordsEnd);
        return;
    }
    // The table was cut short: keep the complete records, and there is no
    // list of input types and UOMs behind it.
    const int complete = (length - 1) / kUOMRecordSize;
    unit->ApplyUOMInformation(complete, data + 1, data + length, 0);
}

void TCommissioningDataParser::DecodeModbusData(const uint8_t *data, int length, TZelvo *unit)
{
    if (length < 1)
        return;
    const int slaves = data[0];
    int at = 1;
    struct Slave {
        int Id;
        QString Name;
    };
    std::vector<Slave> slaveList;
    for (int i = 0; i < slaves; ++i, at += kSlaveRecordSize) {
        if (at + kSlaveRecordSize > length)
            return; // the mapping count lies behind the missing records
        const uint8_t *rec = data + at;
        const auto *name = reinterpret_cast<const char *>(rec + 1);
        const auto nameLength =
            static_cast<int>(std::find(name, name + kSlaveNameSize, '\0') - name);
        slaveList.push_back({rec[0], QString::fromLatin1(name, nameLength)});
    }
    if (at >= length)
        return;
    const int mappings = data[at];
    at += 1;
    for (int i = 0; i < mappings; ++i, at += kMappingRecordSize) {
        if (at + kMappingRecordSize > length)
            return;
        const uint8_t *rec = data + at;
        const auto ioId = static_cast<int32_t>(qFromLittleEndian<quint32>(rec));
        const int dataType = rec[4];
        const int slaveId = rec[5];
        QString slaveName = QStringLiteral("<unknown>");
        for (const auto &s : slaveList) {
            if (s.Id == slaveId) {
                slaveName = s.Name;
                break;
            }
        }
        if (unit)
            unit->SetModbusMapping(ioId, dataType, slaveId, slaveName);
    }
}

QString TCommissioningDataParser::JobText(int type)
{
    switch (type) {
    case 1:
        return QStringLiteral("Start Reading Basic Information.");
    case 2:
        return QStringLiteral("Start retrieving the latest snapshot.");
    case 3:
        return QStringLiteral("Start writing the state of an output.");
    case 4:
        return QStringLiteral("Read the next block of data.");
    case 5:
        return QStringLiteral("Write the next block of data.");
    case 6:
        return QStringLiteral("Start reading the UOM information.");
    case 7:
        return QStringLiteral("Start the buffer test.");
    case 8:
        return QStringLiteral("Start logging on.");
    case 9:
        return QStringLiteral("Start reading the IO configuration.");
    case 10:
        return QStringLiteral("Start reading the UOM list.");
    case 11:
        return QStringLiteral("Start reading the input types.");
    case 12:
        return QStringLiteral("Start reading modbus data.");
    case 13:
        return QStringLiteral("Start writing IO configuration.");
    default:
        return QStringLiteral("Command Unknown");
    }
}

void TCommissioningDataParser::SetSnapshotSink(TClearHook clear, TLineHook addLine)
{
    ClearSnapshot = std::move(clear);
    AddSnapshotLine = std::move(addLine);
}

void TCommissioningDataParser::SetEnableTabsHook(TEnableTabsHook hook)
{
    EnableTabsHook = std::move(hook);
}
