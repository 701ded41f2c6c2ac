#pragma once

// The tool's end of the server message protocol: builds the envelope of the
// current job's message, hands it to the block transfer, checks the server's
// reply and decodes it by message type into the unit object's data model.

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class TErrorManager;
class TZelvo;
class TZelvoCommsInterface;

class TCommissioningDataParser
{
public:
    static constexpr int kBasicInfoSize = 21;
    static constexpr int kHeaderSize = 8;
    // Snapshot item types 0..18 name their lines; anything above is invalid.
    static constexpr int kMaxSnapshotItemType = 18;

    // Hooks that the window fills: the snapshot memo (cleared, then one call
    // per line) and "enable the tabs again" after replies that end a job.
    using TClearHook = std::function<void()>;
    using TLineHook = std::function<void(const QString &line)>;
    using TEnableTabsHook = std::function<void()>;

    // A refused or damaged reply is told on `log` (status and log line);
    // null tells nobody.
    explicit TCommissioningDataParser(TErrorManager *log) : ErrorLog(log) {}

    void SetType(int16_t type) { MessageType = type; }
    int16_t GetType() const { return MessageType; }

    // Replaces the stored payload with a copy. A payload is used by one
    // BuildMessage only.
    void SetPayload(const uint8_t *data, int length);
    void SetPayload(const std::vector<uint8_t> &data);
    int PayloadLength() const { return PayloadLen; }

    // Builds the envelope (type, n, n, payload, checksum) of the current
    // type and payload; returns the message length (8 without payload).
    int BuildMessage();
    const uint8_t *Message() const { return MessageBytes.data(); }
    int MessageLength() const { return MessageLen; }

    // BuildMessage, then the block write that fits the type.
    bool SendMessage(TZelvoCommsInterface &comms);

    // Checks a downloaded reply (length and checksum) and decodes it by the
    // current type. `unit` may be null: the unit's model is then not fed.
    bool ParseReply(const uint8_t *reply, int length, TZelvo *unit);

    QString JobText() const { return JobText(MessageType); }
    static QString JobText(int type);

    bool HasBasicInfo() const { return BasicInfoReceived; }
    bool HasUOMs() const { return UOMsReceived; }
    bool HasIOConfiguration() const { return IOConfigurationReceived; }
    bool HasUOMLists() const { return UOMListsReceived; }
    bool HasInputTypes() const { return InputTypesReceived; }
    bool HasModbusData() const { return ModbusDataReceived; }
    // Sets the received flag of the reply to message `type` back to false:
    // its data is being fetched again, or what came of it is incomplete.
    void ForgetReceived(int type);

    const std::array<uint8_t, kBasicInfoSize> &BasicInfo() const { return BasicInformation; }

    void SetSnapshotSink(TClearHook clear, TLineHook addLine);
    void SetEnableTabsHook(TEnableTabsHook hook);

    // Prefix of snapshot item type 0..18, and the width of its value (4 for
    // an IEEE single, 1 for a byte); null / 0 for an invalid type.
    static const char *SnapshotPrefix(int itemType);
    static int SnapshotValueSize(int itemType);

private:
    void ReportError(const QString &text);
    void EnableTabs();
    void DecodeBasicInfo(const uint8_t *data, int length);
    void DecodeSnapshot(const uint8_t *data, int length);
    void DecodeUOMInformation(const uint8_t *data, int length, TZelvo *unit);
    void DecodeModbusData(const uint8_t *data, int length, TZelvo *unit);

    std::array<uint8_t, kBasicInfoSize> BasicInformation{};
    bool BasicInfoReceived = false;
    bool UOMsReceived = false;
    bool IOConfigurationReceived = false;
    bool UOMListsReceived = false;
    bool InputTypesReceived = false;
    bool ModbusDataReceived = false;
    std::vector<uint8_t> MessageBytes;
    int MessageLen = 0;
    int16_t MessageType = 0;
    std::vector<uint8_t> Payload;
    int PayloadLen = 0;

    TErrorManager *ErrorLog;
    TClearHook ClearSnapshot;
    TLineHook AddSnapshotLine;
    TEnableTabsHook EnableTabsHook;
};
