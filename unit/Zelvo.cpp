#include "unit/Zelvo.h"

#include <QtEndian>

#include <QString>

#include <algorithm>
#include <cstring>

#include "common/Errormanager.h"
#include "link/Zelvocommsinterface.h"
#include "model/Availableinputtype.h"
#include "model/Availableinputtypes.h"
#include "model/Fixediolists.h"
#include "model/Ios.h"
#include "model/Modelexceptions.h"
#include "model/Uomdescriptions.h"
#include "model/Uommanager.h"

namespace
{

// One frame carries at most 255 data bytes.
constexpr int kFrameBufferSize = 256;

// A reply length as the framer reported it, kept within the buffer.
int ClampLength(int32_t length)
{
    return std::clamp<int32_t>(length, 0, kFrameBufferSize);
}

} // namespace

TZelvo::TZelvo(TZelvoCommsInterface &comms, TErrorManager *log) : TZelvo(comms, comms.Pacing(), log)
{
}

TZelvo::TZelvo(TZelvoCommsInterface &comms, TPacing pacing, TErrorManager *log)
    : Comms(comms), Pacing(pacing), ErrorLog(log), IOList(std::make_unique<TIOs>())
{
    // Show the model the link implies before the unit is asked.
    BuildIOList(Comms.IsUsbMode() ? UNIT_TYPE_OSTRA : UNIT_TYPE_VELLO);
    IOList->OnValueEdited = [this](TIOs *, uint8_t number, int32_t value) {
        SetIOValue(number, value);
    };
    // A live value typed that is no number is told in the message box.
    IOList->SetInvalidEntryHandler([log](const QString &message) {
        if (log != nullptr)
            log->QueueMessage(message, MK_ERROR);
    });
    UOMs = std::make_unique<TUOMManager>(log);
    ServerIOs = std::make_unique<TServerSideIOs>(this, log);
    InputTypes = std::make_unique<TAvailableInputTypes>(log);
    Descriptions = std::make_unique<TUOMDescriptions>(log);
}

TZelvo::~TZelvo()
{
    IOList.reset();
    UOMs.reset();
    IOUOMTable.reset();
    ServerIOs.reset();
    InputTypes.reset();
    Descriptions.reset();
}

// ---------------------------------------------------------------------------
// Connecting

int TZelvo::CheckFirmware()
{
    std::string version;
    const int result = Comms.CheckFirmware(version);
    const bool answered = result == FIRMWARE_OK || result == FIRMWARE_TOO_OLD;
    {
        // A unit that did not answer may not be the one whose version was
        // kept, so its text is forgotten.
        std::lock_guard<std::mutex> lock(VersionLock);
        FirmwareText = answered ? version : std::string();
    }
    if (answered && ErrorLog != nullptr)
        ErrorLog->SetStatus(QStringLiteral("Connected to ") + QString::fromLatin1(version));
    return result;
}

bool TZelvo::ReadUnitType()
{
    // A damaged reply still hands over its byte: the type changes only with a
    // good reply, so the list and the live decoder never disagree about it.
    uint8_t type = UnitType;
    if (!Comms.ReadUnitType(type))
        return false;
    UnitType = type;
    BuildIOList(UnitType);
    return true;
}

void TZelvo::BuildIOList(uint8_t unitType)
{
    BuildFixedIOList(*IOList, unitType);
}

std::string TZelvo::FirmwareVersion() const
{
    std::lock_guard<std::mutex> lock(VersionLock);
    return FirmwareText;
}

bool TZelvo::LoadSettings()
{
    for (int attempt = 0; attempt < kSettingsAttempts; ++attempt) {
        // An aborted link ends the retries at once.
        if (!Comms.Pause(Pacing.RetryPause))
            return false;
        if (Comms.ReadSettingsBlock(Settings.Bytes))
            return true;
    }
    return false;
}

void TZelvo::GetSettings(TConnectionSettings &settings) const
{
    settings = ConnectionSettingsFromBlock(Settings);
}

TConnectionSettings TZelvo::GetSettings() const
{
    return ConnectionSettingsFromBlock(Settings);
}

bool TZelvo::SaveSettings(const TConnectionSettings &settings)
{
    // Read-modify-write: every byte the tool does not own goes back exactly
    // as the unit has it now, so a failed re-read must send nothing.
    if (!LoadSettings())
        return false;
    TUnitSettingsBlock block = Settings;
    if (!ApplyConnectionSettingsToBlock(settings, block)) {
        AddLogTo(ErrorLog, QString::fromLatin1(ConnectionSettingsProblem(settings)));
        return false;
    }
    bool written = false;
    for (int attempt = 0; attempt < kSettingsAttempts && !written; ++attempt) {
        if (!Comms.Pause(Pacing.RetryPause))
            return false;
        written = Comms.WriteSettingsBlock(block.Bytes);
    }
    if (!written)
        return false;
    Settings = block;
    return Comms.ApplySettings();
}

// ---------------------------------------------------------------------------
// Live data

bool TZelvo::PollLiveValues()
{
    uint8_t reply[kFrameBufferSize] = {};
    int32_t length = 0;
    if (Comms.Query(CMD_READ_LIVE_VALUES, reply, length)) {
        DecodeLiveValues(reply, ClampLength(length));
        ++LiveAnswered;
    } else {
        ++LiveFailures;
        ++LiveFailed;
    }
    // Any five failures end live reading, consecutive or not.
    if (LiveFailures < kLiveFailureLimit)
        return true;
    LiveFailures = 0;
    return false;
}

void TZelvo::DecodeLiveValues(const uint8_t *data, int length)
{
    // Nothing is scaled before the UOM information has arrived.
    if (!IOUOMTable || data == nullptr)
        return;
    if (UnitType == UNIT_TYPE_OSTRA) {
        if (length < 2)
            return;
        const unsigned mask = qFromLittleEndian<quint16>(data);
        for (int n = 0; n < 8; ++n)
            IOList->SetValue(static_cast<uint8_t>(n), (mask >> n) & 1u ? 1.0L : 0.0L);
        for (int n = 8; n < kOstraOwnIOCount; ++n) {
            const int at = 2 + 4 * (n - 8);
            if (at + 4 > length)
                break;
            IOList->SetValue(static_cast<uint8_t>(n),
                             ConvertWithRecord(n, qFromLittleEndian<quint32>(data + at)));
        }
    } else if (UnitType == UNIT_TYPE_VELLO) {
        for (int n = 0; n < kVelloOwnIOCount; ++n) {
            const int at = 4 * n;
            if (at + 4 > length)
                break;
            IOList->SetValue(static_cast<uint8_t>(n),
                             ConvertWithRecord(n, qFromLittleEndian<quint32>(data + at)));
        }
    }
}

bool TZelvo::PollExternalIO()
{
    uint8_t reply[kFrameBufferSize] = {};
    int32_t length = 0;
    switch (ExternalPhase) {
    case 0: {
        const int n = ServerIOs->ExternalCount();
        if (n <= 0)
            break;
        uint8_t payload[2] = {};
        qToLittleEndian<quint16>(static_cast<quint16>(n), payload);
        if (Comms.Send(CMD_EXT_START, payload, sizeof payload)) {
            if (ExternalArea.empty())
                ExternalArea.assign(static_cast<std::size_t>(kExternalAreaSize), 0);
            ExternalOffset = 0;
            ExternalCountAtStart = n;
            ExternalPhase = 1;
        }
        break;
    }
    case 1:
        if (Comms.Query(CMD_EXT_READ_VALUES, reply, length)) {
            // A stream longer than the area is cut at the area's end.
            const int room = kExternalAreaSize - ExternalOffset;
            const int take = std::min(ClampLength(length), room);
            if (take > 0) {
                std::memcpy(ExternalArea.data() + ExternalOffset, reply,
                            static_cast<std::size_t>(take));
                ExternalOffset += take;
            }
        } else {
            // The first failed read marks the end of the stream.
            ExternalPhase = 2;
            if (IOUOMTable)
                DecodeExternalValues();
        }
        break;
    case 2:
        if (Comms.Query(CMD_EXT_READ_ERRORS, reply, length)) {
            ApplyErrorFlags(true, reply, ClampLength(length));
            ExternalPhase = 3;
        }
        break;
    case 3:
        if (Comms.Query(CMD_EXT_WRITE_ERRORS, reply, length)) {
            ApplyErrorFlags(false, reply, ClampLength(length));
            ExternalPhase = 0;
        }
        break;
    default:
        ExternalPhase = 0;
        break;
    }
    return true;
}

void TZelvo::DecodeExternalValues()
{
    const auto converter = [this](uint32_t raw, int32_t number) { return ConvertRaw(raw, number); };
    // Each external I/O has a 4-byte slot; only slots that arrived complete
    // in this cycle are decoded, the others keep their last value.
    for (int i = 0; i < ExternalCountAtStart; ++i) {
        const int at = 4 * i;
        if (at + 4 > ExternalOffset)
            break;
        ServerIOs->ApplyExternalValue(ExternalArea.data() + at,
                                      static_cast<std::size_t>(ExternalOffset - at), i, converter);
    }
}

void TZelvo::ApplyErrorFlags(bool isRead, const uint8_t *data, int length)
{
    if (data == nullptr)
        return;
    // Only the flag bytes that arrived are applied.
    const int bytes = std::min(length, kErrorFlagBytes);
    for (int i = 0; i < bytes; ++i)
        for (int j = 0; j < 8; ++j)
            ServerIOs->ApplyErrorBit(isRead, 8 * i + j + 1, (data[i] >> j) & 1);
}

bool TZelvo::SetIOValue(uint8_t number, int32_t value)
{
    uint8_t payload[5] = {number};
    qToLittleEndian<quint32>(static_cast<quint32>(value), payload + 1);
    return Comms.Send(CMD_SET_IO_VALUE, payload, sizeof payload);
}

// ---------------------------------------------------------------------------
// Server replies

void TZelvo::ApplyUOMInformation(int recordCount, const uint8_t *records, const uint8_t *rest,
                                 int restLength)
{
    std::vector<TIOUOMRecord> table;
    if (records != nullptr && recordCount > 0) {
        table.reserve(static_cast<std::size_t>(recordCount));
        for (int k = 0; k < recordCount; ++k) {
            const uint8_t *rec = records + 5 * k;
            table.push_back({qFromLittleEndian<quint32>(rec), rec[4]});
        }
    }
    IOUOMTable = std::move(table);
    UOMs->PopulateUOMInformation(
        rest, rest == nullptr ? 0 : static_cast<std::size_t>(std::max(restLength, 0)));
    RefreshIODisplay();
}

void TZelvo::RefreshIODisplay()
{
    if (!IOUOMTable)
        return;
    const int count = OwnIOCount(UnitType);
    for (int k = 0; k < count; ++k) {
        // A missing record and an unknown UOM both show as "no UOM".
        bool isDigital = false;
        QString units;
        QString onText = QStringLiteral("ON");
        QString offText = QStringLiteral("OFF");
        TIOUOMRecord rec;
        if (IOUOMRecordAt(k, rec))
            UOMs->GetUOMDisplay(static_cast<int32_t>(rec.UOMID), isDigital, units, onText, offText);
        IOList->SetUOMDisplay(static_cast<uint8_t>(k), isDigital, units, onText, offText);
    }
    IOList->SetEditable(true);
}

long double TZelvo::ConvertRaw(uint32_t raw, int externalNumber) const
{
    return ConvertWithRecord(ExternalRecordIndex(UnitType, externalNumber), raw);
}

long double TZelvo::ConvertWithRecord(int index, uint32_t raw) const
{
    TIOUOMRecord rec;
    // Without its record an I/O has no input type and no UOM: the raw value.
    if (!IOUOMRecordAt(index, rec))
        return static_cast<long double>(raw);
    return UOMs->ConvertValue(rec.InputTypeID, static_cast<int32_t>(rec.UOMID), raw);
}

void TZelvo::LoadIOConfiguration(const uint8_t *data, int length)
{
    if (data == nullptr || length < 1)
        return;
    MoreToFollow = data[0] != 0;
    // Records lie between the flag byte and the checksum.
    if (length > 2)
        ServerIOs->PopulateRecords(data + 1, static_cast<std::size_t>(length - 2));
    else
        ServerIOs->Refresh();
}

void TZelvo::LoadInputTypes(const uint8_t *data, int length)
{
    // The model reads the content only, not the reply's checksum byte.
    if (data == nullptr || length < 2)
        return;
    InputTypes->PopulateAvailableInputTypes(data, static_cast<std::size_t>(length - 1));
}

void TZelvo::LoadUOMList(const uint8_t *data, int length)
{
    if (data == nullptr || length < 2)
        return;
    Descriptions->PopulateUOMDescriptions(data, static_cast<std::size_t>(length - 1));
}

void TZelvo::SetModbusMapping(int32_t ioId, int32_t dataType, int32_t slaveId,
                              const QString &slaveName)
{
    ServerIOs->SetModbusInfo(ioId, dataType, slaveId, slaveName);
}

// ---------------------------------------------------------------------------
// Pass-throughs

void TZelvo::AttachIOListView(TListView *view)
{
    IOList->AttachListView(view);
}

void TZelvo::AttachConfigView(TListView *view)
{
    ServerIOs->AttachConfigView(view);
}

void TZelvo::AttachExternalView(TListView *view)
{
    ServerIOs->AttachExternalView(view);
}

int TZelvo::GetUOMCategory(int inputTypeId) const
{
    if (inputTypeId < 0 || inputTypeId > 255)
        return 0;
    try {
        const TAvailableInputType *t =
            InputTypes->GetAvailableInputType(static_cast<uint8_t>(inputTypeId));
        return t ? t->UOMCategory : 0;
    } catch (const EItemNotFound &) {
        return 0;
    }
}

bool TZelvo::BuildIOConfigUpload(std::vector<uint8_t> &upload)
{
    std::size_t total = 0;
    for (int i = 0; i < ServerIOs->Count(); ++i)
        total += ServerIOs->Item(i)->UploadRecordSize();
    upload.assign(total, 0);
    std::size_t length = 0;
    if (total == 0 ||
        ServerIOs->BuildUpload(upload.data(), total, length) != TUploadResult::Built) {
        upload.clear();
        return false;
    }
    upload.resize(length);
    return true;
}

TUploadResult TZelvo::BuildIOConfigUpload(uint8_t *dst, std::size_t capacity, std::size_t &length)
{
    length = 0;
    return ServerIOs->BuildUpload(dst, capacity, length);
}

TUploadResult TZelvo::BuildIOConfigUploadPart(uint8_t *dst, std::size_t capacity,
                                              std::size_t &length, std::vector<int32_t> &sentIds)
{
    return ServerIOs->BuildUploadPart(dst, capacity, length, sentIds);
}

void TZelvo::CommitIOConfig()
{
    ServerIOs->ClearChanged();
}

void TZelvo::CommitIOConfig(const std::vector<int32_t> &sentIds)
{
    ServerIOs->ClearChanged(sentIds);
}

void TZelvo::ClearIOConfig()
{
    ServerIOs->Clear();
}

// ---------------------------------------------------------------------------
// UOM table

int TZelvo::IOUOMRecordCount() const
{
    return IOUOMTable ? static_cast<int>(IOUOMTable->size()) : 0;
}

bool TZelvo::IOUOMRecordAt(int index, TIOUOMRecord &record) const
{
    if (!IOUOMTable || index < 0 || index >= static_cast<int>(IOUOMTable->size()))
        return false;
    record = (*IOUOMTable)[static_cast<std::size_t>(index)];
    return true;
}

int TZelvo::OwnIOCount(uint8_t unitType)
{
    return unitType == UNIT_TYPE_VELLO ? kVelloOwnIOCount : kOstraOwnIOCount;
}

int TZelvo::ExternalRecordIndex(uint8_t unitType, int number)
{
    switch (unitType) {
    case UNIT_TYPE_OSTRA:
        return number + 81;
    case UNIT_TYPE_VELLO:
        return number + 43;
    default:
        return number - 1;
    }
}
