#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

class TErrorManager;
class TListRow;

// Logging modes of a server-side I/O.
enum TLoggingMode : int32_t {
    LOG_NONE = 0,            // "No Log"
    LOG_DISPLAY_ONLY = 1,    // "Display Only"
    LOG_LOG_AND_DISPLAY = 2, // "Log & Display"
    LOG_LOG_ONLY = 3,        // "Log Only"
};

// One I/O of the configuration as the server holds it. External I/O
// (Modbus registers the unit polls) have "EXT" in the tag and also carry a
// live value, an error state and their slave's details.
class TServerSideIO
{
public:
    // Received record: 17 bytes, then the name.
    static constexpr std::size_t RecordHeaderSize = 17;
    // Upload record: 11 bytes, then the name.
    static constexpr std::size_t UploadHeaderSize = 11;
    static constexpr std::size_t TagSize = 6;
    // Longest name an upload record can carry (one length byte).
    static constexpr int MaxUploadNameLength = 255;

    // A tag that names no external number is logged on `log`; null logs
    // nothing.
    explicit TServerSideIO(TErrorManager *log = nullptr);
    ~TServerSideIO();
    TServerSideIO(const TServerSideIO &) = delete;
    TServerSideIO &operator=(const TServerSideIO &) = delete;

    // Reads one received record from at most `length` bytes and returns the
    // bytes consumed (17 + name length). Returns 0 and leaves the record
    // untouched when the bytes do not hold the whole record. A tag with "EXT"
    // but no number at characters 4 to 6 keeps the record as an internal I/O.
    std::size_t Populate(const uint8_t *data, std::size_t length);

    // Fills a row of the configuration view (external false) or of the
    // external view (external true) and remembers it; null is ignored.
    void AttachListItem(TListRow *row, bool external);
    // Forgets both rows (called before the rows are removed).
    void DetachListItems();
    // Forgets the row of one view (its view is being destroyed).
    void DetachListItem(bool external) { (external ? FExternalItem : FConfigItem) = nullptr; }

    TListRow *ConfigItem() const { return FConfigItem; }
    TListRow *ExternalItem() const { return FExternalItem; }
    int32_t IOID() const { return FIOID; }
    // The tag up to its first NUL; RawTag() is the 6 bytes as received.
    QString Tag() const;
    const QByteArray &RawTag() const { return FTag; }
    uint8_t InputTypeID() const { return FInputTypeID; }
    int32_t UOMID() const { return FUOMID; }
    const QString &FriendlyName() const { return FFriendlyName; }
    int32_t LoggingMode() const { return FLoggingMode; }
    bool IsExternal() const { return FIsExternal; }
    int32_t ExternalNumber() const { return FExternalNumber; }
    long double Value() const { return FValue; }
    int32_t ModbusDataType() const { return FModbusDataType; }
    int32_t SlaveID() const { return FSlaveID; }
    const QString &SlaveName() const { return FSlaveName; }
    int32_t ErrorState() const { return FErrorState; }
    bool Changed() const { return FChanged; }

    // Stores the mode; a mode in 0..3 also rewrites the "Logging" column of
    // both rows that exist.
    void SetLoggingMode(int32_t mode);
    void SetFriendlyName(const QString &name);
    void SetInputTypeID(uint8_t id) { FInputTypeID = id; }
    void SetUOMID(int32_t id) { FUOMID = id; }
    void SetChanged(bool changed) { FChanged = changed; }
    void SetValue(long double value);
    // Raises or clears the read (isRead) or write error bit.
    void SetErrorBit(bool isRead, bool set);
    void SetSlaveName(const QString &name);
    void SetSlaveID(int32_t id);
    void SetModbusDataType(int32_t type) { FModbusDataType = type; }

    // Bytes of the value in the external value stream: 4 for data types 3..9,
    // else 2.
    int ValueByteLength() const;

    // Size of this record's upload record; 0 when it is not changed.
    std::size_t UploadRecordSize() const;
    // Writes the upload record at dst when the record is changed and the
    // record fits in capacity; otherwise returns false with length 0.
    bool BuildUploadRecord(uint8_t *dst, std::size_t capacity, std::size_t &length) const;

    // "No Log", "Display Only", "Log & Display", "Log Only"; empty outside 0..3.
    static QString LoggingModeText(int32_t mode);
    // "No Error", "Read Error", "Write Error", "Read/Write Error".
    static QString ErrorStateText(int32_t state);
    // The logging flags as the unit sends them, to a mode.
    static int32_t DecodeLoggingFlags(uint8_t flags);
    // A mode to the flag byte the server expects on upload. The two codings
    // are not inverse to each other; both are what the server uses.
    static uint8_t EncodeLoggingFlags(int32_t mode);
    // The external number at characters 4 to 6 of a tag holding "EXT";
    // false when there is no "EXT" or no number there.
    static bool ParseExternalNumber(const QByteArray &tag, int32_t &number);

private:
    TErrorManager *FLog;
    TListRow *FConfigItem = nullptr;
    TListRow *FExternalItem = nullptr;
    int32_t FIOID = 0;
    QByteArray FTag;
    uint8_t FInputTypeID = 0;
    int32_t FUOMID = 0;
    QString FFriendlyName;
    int32_t FLoggingMode = LOG_NONE;
    bool FIsExternal = false;
    int32_t FExternalNumber = 0;
    long double FValue = 0;
    int32_t FModbusDataType = 0;
    int32_t FSlaveID = 0;
    QString FSlaveName = QStringLiteral("<Unknown>");
    int32_t FErrorState = 0;
    bool FChanged = false;
};
