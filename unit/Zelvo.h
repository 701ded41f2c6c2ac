#pragma once

// The tool's model of the connected unit: firmware check, unit type and the
// fixed I/O list, the settings block, live values of the unit's own I/O, the
// external (Modbus) I/O cycle, writing an I/O value, and the configuration
// data model that the server's replies fill.

#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/Pacing.h"
#include "model/Serversideios.h"
#include "protocol/Commands.h"
#include "unit/Connectionsettings.h"

class TAvailableInputTypes;
class TErrorManager;
class TIOs;
class TUOMDescriptions;
class TUOMManager;
class TZelvoCommsInterface;

// One entry of the per-I/O UOM table, as received (5 bytes: u32 UOM id, u8
// input type id).
struct TIOUOMRecord {
    uint32_t UOMID = 0;
    uint8_t InputTypeID = 0;
};

class TZelvo
{
public:
    // Own-I/O records of the UOM table and live-value reply sizes.
    static constexpr int kOstraOwnIOCount = 54;
    static constexpr int kVelloOwnIOCount = 41;
    static constexpr int kOstraLiveReplySize = 186;
    static constexpr int kVelloLiveReplySize = 164;
    static constexpr int kLiveFailureLimit = 5;
    static constexpr int kSettingsAttempts = 10;
    // The unit is told the external count as u16, and each external I/O
    // takes 4 bytes of the value stream.
    static constexpr int kMaxExternalCount = 65535;
    static constexpr int kExternalAreaSize = 4 * kMaxExternalCount;
    static constexpr int kErrorFlagBytes = 32;

    // Builds the I/O list of the model that the link mode implies (OSTRA on
    // the USB bridge, VELLO on a COM port) before the unit is asked.
    // The pauses are those of the link's pacing unless given. Status texts,
    // log lines and messages go to `log`, which the model lists are given
    // too; null (a unit object used on its own) shows them nowhere.
    TZelvo(TZelvoCommsInterface &comms, TErrorManager *log);
    TZelvo(TZelvoCommsInterface &comms, TPacing pacing, TErrorManager *log);
    ~TZelvo();
    TZelvo(const TZelvo &) = delete;
    TZelvo &operator=(const TZelvo &) = delete;

    // Connecting. CheckFirmware keeps the version text the unit reported
    // (empty when it did not answer).
    int CheckFirmware();
    // Safe from any thread.
    std::string FirmwareVersion() const;
    bool ReadUnitType();
    void BuildIOList(uint8_t unitType);
    bool LoadSettings();
    void GetSettings(TConnectionSettings &settings) const;
    TConnectionSettings GetSettings() const;
    bool SaveSettings(const TConnectionSettings &settings);
    bool IsVelloUnit() const { return UnitType == UNIT_TYPE_VELLO; }
    uint8_t GetUnitType() const { return UnitType; }

    // Live data.
    bool PollLiveValues();
    bool PollExternalIO();
    // CMD_SET_IO_VALUE: the I/O number, then the value as s32 little-endian.
    // True when the unit acknowledged it.
    bool SetIOValue(uint8_t number, int32_t value);

    // Decoders behind the polls, bounded by the bytes actually received.
    void DecodeLiveValues(const uint8_t *data, int length);
    void DecodeExternalValues();
    void ApplyErrorFlags(bool isRead, const uint8_t *data, int length);

    // Server replies, handed over by the data parser.
    void ApplyUOMInformation(int recordCount, const uint8_t *records, const uint8_t *rest,
                             int restLength);
    void RefreshIODisplay();
    long double ConvertRaw(uint32_t raw, int externalNumber) const;
    void LoadIOConfiguration(const uint8_t *data, int length);
    void LoadInputTypes(const uint8_t *data, int length);
    void LoadUOMList(const uint8_t *data, int length);
    void SetModbusMapping(int32_t ioId, int32_t dataType, int32_t slaveId,
                          const QString &slaveName);

    // Pass-throughs to the owned model.
    void AttachIOListView(TListView *view);
    void AttachConfigView(TListView *view);
    void AttachExternalView(TListView *view);
    int GetUOMCategory(int inputTypeId) const;
    // The MSG_WRITE_IO_CONFIG payload of the records with unsent changes;
    // false (and empty) when there are none.
    bool BuildIOConfigUpload(std::vector<uint8_t> &upload);
    // The same into a caller's buffer of `capacity` bytes. Only Built writes
    // anything; TooLarge tells the caller that the changes do not fit.
    TUploadResult BuildIOConfigUpload(uint8_t *dst, std::size_t capacity, std::size_t &length);
    // The changed records that fit `capacity` (TServerSideIOs::BuildUploadPart).
    TUploadResult BuildIOConfigUploadPart(uint8_t *dst, std::size_t capacity, std::size_t &length,
                                          std::vector<int32_t> &sentIds);
    void CommitIOConfig();
    // Marks the records with these IOIDs as uploaded; the others keep their
    // changes.
    void CommitIOConfig(const std::vector<int32_t> &sentIds);
    void ClearIOConfig();
    bool MoreIOConfigToFollow() const { return MoreToFollow; }

    // The owned model, for the window, the engine and tests.
    TIOs &IOs() { return *IOList; }
    TUOMManager &UOMManager() { return *UOMs; }
    TServerSideIOs &ServerSideIOs() { return *ServerIOs; }
    TAvailableInputTypes &AvailableInputTypes() { return *InputTypes; }
    TUOMDescriptions &UOMDescriptions() { return *Descriptions; }
    const TUnitSettingsBlock &SettingsBlock() const { return Settings; }
    int ExternalReadPhase() const { return ExternalPhase; }
    int ExternalReceived() const { return ExternalOffset; }
    int LiveFailureCount() const { return LiveFailures; }
    // Live reads answered and failed since the unit object was made, so a
    // front end shows a round only when it was actually read.
    std::uint32_t LiveReadsAnswered() const { return LiveAnswered; }
    std::uint32_t LiveReadsFailed() const { return LiveFailed; }
    bool HasIOUOMTable() const { return IOUOMTable.has_value(); }
    int IOUOMRecordCount() const;
    // Record `index` of the UOM table; false when there is no table or the
    // table is shorter (the record counts as missing).
    bool IOUOMRecordAt(int index, TIOUOMRecord &record) const;

    // Own-I/O records of the UOM table for a unit type.
    static int OwnIOCount(uint8_t unitType);
    // Index of external I/O `number` (1-based) in the UOM table.
    static int ExternalRecordIndex(uint8_t unitType, int number);

private:
    long double ConvertWithRecord(int index, uint32_t raw) const;

    bool MoreToFollow = false;
    TZelvoCommsInterface &Comms;
    TPacing Pacing;
    TErrorManager *ErrorLog;
    uint8_t UnitType = 0;
    // Written by the worker's firmware check, read by front ends.
    mutable std::mutex VersionLock;
    std::string FirmwareText;
    std::unique_ptr<TIOs> IOList;
    std::unique_ptr<TUOMManager> UOMs;
    std::optional<std::vector<TIOUOMRecord>> IOUOMTable;
    std::unique_ptr<TServerSideIOs> ServerIOs;
    std::unique_ptr<TAvailableInputTypes> InputTypes;
    std::unique_ptr<TUOMDescriptions> Descriptions;
    TUnitSettingsBlock Settings;
    int ExternalPhase = 0;

    int LiveFailures = 0;
    std::uint32_t LiveAnswered = 0;
    std::uint32_t LiveFailed = 0;
    int ExternalOffset = 0;
    int ExternalCountAtStart = 0;
    std::vector<uint8_t> ExternalArea;
};
