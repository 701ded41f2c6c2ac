#include "model/Serversideio.h"

#include "common/Errormanager.h"
#include "model/Blockreader.h"
#include "model/Listview.h"

#include <QtEndian>

#include <cstdio>
#include <cstring>
#include <vector>

namespace
{

// Columns shared by both views, then those of the external view only.
enum {
    colName = 0,
    colTag = 1,
    colLogging = 2,
    colValue = 3,
    colError = 4,
    colSlaveName = 5,
    colSlaveID = 6,
};

void WriteLE32(uint8_t *dst, int32_t value)
{
    qToLittleEndian<quint32>(static_cast<quint32>(value), dst);
}

QByteArray UploadName(const QString &name)
{
    // One length byte: a longer name is cut to 255 bytes rather than have its
    // length wrap round and send the wrong bytes.
    return name.toLatin1().left(TServerSideIO::MaxUploadNameLength);
}

} // namespace

TServerSideIO::TServerSideIO(TErrorManager *log) : FLog(log) {}

TServerSideIO::~TServerSideIO() = default;

std::size_t TServerSideIO::Populate(const uint8_t *data, std::size_t length)
{
    TBlockReader reader(data, length);
    if (reader.Remaining() < RecordHeaderSize)
        return 0;
    const std::size_t nameLength = data[RecordHeaderSize - 1];
    if (reader.Remaining() < RecordHeaderSize + nameLength)
        return 0;

    FIOID = reader.ReadI32();
    FTag = QByteArray(reinterpret_cast<const char *>(data + reader.Position()),
                      static_cast<qsizetype>(TagSize));
    reader.Skip(TagSize);
    FInputTypeID = reader.ReadU8();
    FUOMID = reader.ReadI32();
    FLoggingMode = DecodeLoggingFlags(reader.ReadU8());
    reader.Skip(1);
    FFriendlyName = reader.ReadText(nameLength);

    int32_t number = 0;
    FIsExternal = ParseExternalNumber(FTag, number);
    FExternalNumber = FIsExternal ? number : 0;
    if (!FIsExternal && FTag.contains("EXT"))
        AddLogTo(FLog, QStringLiteral(
                           "TServerSideIO::Populate Exception - tag %1 has no external number, "
                           "kept as an internal I/O")
                           .arg(Tag()));
    return reader.Position();
}

QString TServerSideIO::Tag() const
{
    const qsizetype nul = FTag.indexOf('\0');
    return QString::fromLatin1(nul < 0 ? FTag : FTag.left(nul));
}

bool TServerSideIO::ParseExternalNumber(const QByteArray &tag, int32_t &number)
{
    if (!tag.contains("EXT"))
        return false;
    // Characters 4 to 6 of the tag, counted from 1; leading blanks allowed.
    QByteArray digits = tag.mid(3, 3);
    while (!digits.isEmpty() && digits.front() == ' ')
        digits.remove(0, 1);
    if (digits.isEmpty())
        return false;
    int32_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    number = value;
    return true;
}

int32_t TServerSideIO::DecodeLoggingFlags(uint8_t flags)
{
    if ((flags & 0x04) == 0)
        return LOG_NONE;
    if (flags & 0x01)
        return LOG_LOG_AND_DISPLAY;
    if (flags & 0x02)
        return LOG_DISPLAY_ONLY;
    return LOG_NONE;
}

uint8_t TServerSideIO::EncodeLoggingFlags(int32_t mode)
{
    switch (mode) {
    case LOG_DISPLAY_ONLY:
        return 0x04;
    case LOG_LOG_AND_DISPLAY:
        return 0x05;
    case LOG_LOG_ONLY:
        return 0x01;
    default:
        return 0x00;
    }
}

QString TServerSideIO::LoggingModeText(int32_t mode)
{
    switch (mode) {
    case LOG_NONE:
        return QStringLiteral("No Log");
    case LOG_DISPLAY_ONLY:
        return QStringLiteral("Display Only");
    case LOG_LOG_AND_DISPLAY:
        return QStringLiteral("Log & Display");
    case LOG_LOG_ONLY:
        return QStringLiteral("Log Only");
    default:
        return QString();
    }
}

QString TServerSideIO::ErrorStateText(int32_t state)
{
    switch (state) {
    case 0:
        return QStringLiteral("No Error");
    case 1:
        return QStringLiteral("Read Error");
    case 2:
        return QStringLiteral("Write Error");
    case 3:
        return QStringLiteral("Read/Write Error");
    default:
        return QString();
    }
}

void TServerSideIO::AttachListItem(TListRow *row, bool external)
{
    if (row == nullptr)
        return;
    if (external)
        FExternalItem = row;
    else
        FConfigItem = row;
    row->SetText(colName, FFriendlyName);
    row->SetText(colTag, QStringLiteral("[%1]").arg(Tag()));
    row->SetText(colLogging, LoggingModeText(FLoggingMode));
    if (external && FIsExternal) {
        // Value and error state show again once new readings arrive.
        row->SetText(colValue, QStringLiteral("<No data>"));
        row->SetText(colError, QStringLiteral("<Unknown>"));
        row->SetText(colSlaveName, FSlaveName);
        row->SetText(colSlaveID, QString::number(FSlaveID));
    }
}

void TServerSideIO::DetachListItems()
{
    FConfigItem = nullptr;
    FExternalItem = nullptr;
}

void TServerSideIO::SetLoggingMode(int32_t mode)
{
    FLoggingMode = mode;
    if (mode < LOG_NONE || mode > LOG_LOG_ONLY)
        return;
    const QString text = LoggingModeText(mode);
    if (FConfigItem)
        FConfigItem->SetText(colLogging, text);
    if (FExternalItem)
        FExternalItem->SetText(colLogging, text);
}

void TServerSideIO::SetFriendlyName(const QString &name)
{
    FFriendlyName = name;
    if (FConfigItem)
        FConfigItem->SetText(colName, name);
    if (FExternalItem)
        FExternalItem->SetText(colName, name);
}

void TServerSideIO::SetValue(long double value)
{
    FValue = value;
    if (FExternalItem == nullptr)
        return;
    // Sized from the formatted length: "%0.2Lf" of a huge extended value has
    // thousands of digits, and a cut text would show a wrong number.
    const int n = std::snprintf(nullptr, 0, "%0.2Lf ", value);
    if (n < 0) {
        FExternalItem->SetText(colValue, QString());
        return;
    }
    std::vector<char> text(static_cast<std::size_t>(n) + 1);
    std::snprintf(text.data(), text.size(), "%0.2Lf ", value);
    FExternalItem->SetText(colValue, QString::fromLatin1(text.data(), n));
}

void TServerSideIO::SetErrorBit(bool isRead, bool set)
{
    if (isRead) {
        if (set && FErrorState != 1 && FErrorState != 3)
            FErrorState += 1;
        else if (!set && FErrorState != 0 && FErrorState != 2)
            FErrorState -= 1;
    } else {
        if (set && FErrorState < 2)
            FErrorState += 2;
        else if (!set && FErrorState >= 2)
            FErrorState -= 2;
    }
    if (FExternalItem)
        FExternalItem->SetText(colError, ErrorStateText(FErrorState));
}

void TServerSideIO::SetSlaveName(const QString &name)
{
    FSlaveName = name;
    if (FExternalItem)
        FExternalItem->SetText(colSlaveName, name);
}

void TServerSideIO::SetSlaveID(int32_t id)
{
    FSlaveID = id;
    if (FExternalItem)
        FExternalItem->SetText(colSlaveID, QString::number(id));
}

int TServerSideIO::ValueByteLength() const
{
    return FModbusDataType >= 3 && FModbusDataType <= 9 ? 4 : 2;
}

std::size_t TServerSideIO::UploadRecordSize() const
{
    if (!FChanged)
        return 0;
    return UploadHeaderSize + static_cast<std::size_t>(UploadName(FFriendlyName).size());
}

bool TServerSideIO::BuildUploadRecord(uint8_t *dst, std::size_t capacity, std::size_t &length) const
{
    length = 0;
    const std::size_t size = UploadRecordSize();
    if (size == 0 || dst == nullptr || size > capacity)
        return false;
    const QByteArray name = UploadName(FFriendlyName);
    WriteLE32(dst, FIOID);
    dst[4] = FInputTypeID;
    WriteLE32(dst + 5, FUOMID);
    dst[9] = EncodeLoggingFlags(FLoggingMode);
    dst[10] = static_cast<uint8_t>(name.size());
    if (!name.isEmpty())
        std::memcpy(dst + UploadHeaderSize, name.constData(),
                    static_cast<std::size_t>(name.size()));
    length = size;
    return true;
}
