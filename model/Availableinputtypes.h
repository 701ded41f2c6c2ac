#pragma once

#include "model/Availableinputtype.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class TErrorManager;

// The input types offered in the edit dialog, owned by the unit object.
class TAvailableInputTypes
{
public:
    // A block cut short is logged on `log`; null logs nothing.
    explicit TAvailableInputTypes(TErrorManager *log = nullptr) : ErrorLog(log) {}
    TAvailableInputTypes(const TAvailableInputTypes &) = delete;
    TAvailableInputTypes &operator=(const TAvailableInputTypes &) = delete;

    // Replaces the list from the block: a count byte, then 72-byte records,
    // read no further than `length` bytes. A record cut short ends the
    // reading (logged); the complete records stay. Returns whether every
    // announced record was read.
    bool PopulateAvailableInputTypes(const uint8_t *data, std::size_t length);
    bool PopulateAvailableInputTypes(const QByteArray &data)
    {
        return PopulateAvailableInputTypes(reinterpret_cast<const uint8_t *>(data.constData()),
                                           static_cast<std::size_t>(data.size()));
    }

    // The first record with that id; raises EItemNotFound when none has it.
    TAvailableInputType *GetAvailableInputType(uint8_t id) const;
    // The first record with that id, or null.
    TAvailableInputType *Find(uint8_t id) const;

    void Clear() { Records.clear(); }
    int Count() const { return static_cast<int>(Records.size()); }
    TAvailableInputType *At(int index) const
    {
        return Records.at(static_cast<std::size_t>(index)).get();
    }
    void Add(std::unique_ptr<TAvailableInputType> record);

private:
    TErrorManager *ErrorLog;
    std::vector<std::unique_ptr<TAvailableInputType>> Records;
};
