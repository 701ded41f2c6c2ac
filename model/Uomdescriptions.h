#pragma once

#include "model/Uomdescription.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class TErrorManager;

// The server's UOM list, owned by the unit object.
class TUOMDescriptions
{
public:
    // A block cut short is logged on `log`; null logs nothing.
    explicit TUOMDescriptions(TErrorManager *log = nullptr) : ErrorLog(log) {}
    TUOMDescriptions(const TUOMDescriptions &) = delete;
    TUOMDescriptions &operator=(const TUOMDescriptions &) = delete;

    // Replaces the list from the block: a uint16 count, then records of
    // 6 + name length bytes, read no further than `length` bytes. A record
    // cut short ends the reading (logged); the complete records stay.
    // Returns whether every announced record was read.
    bool PopulateUOMDescriptions(const uint8_t *data, std::size_t length);
    bool PopulateUOMDescriptions(const QByteArray &data)
    {
        return PopulateUOMDescriptions(reinterpret_cast<const uint8_t *>(data.constData()),
                                       static_cast<std::size_t>(data.size()));
    }

    // The first record with that id, or null.
    TUOMDescription *Find(int32_t id) const;

    void Clear() { Records.clear(); }
    int Count() const { return static_cast<int>(Records.size()); }
    TUOMDescription *At(int index) const
    {
        return Records.at(static_cast<std::size_t>(index)).get();
    }
    void Add(std::unique_ptr<TUOMDescription> record);

private:
    TErrorManager *ErrorLog;
    std::vector<std::unique_ptr<TUOMDescription>> Records;
};
