#pragma once

#include "model/Inputtype.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class TErrorManager;

// The conversion formulas, owned by the UOM manager.
class TInputTypes
{
public:
    // A block cut short is logged on `log`; null logs nothing.
    explicit TInputTypes(TErrorManager *log = nullptr) : ErrorLog(log) {}
    TInputTypes(const TInputTypes &) = delete;
    TInputTypes &operator=(const TInputTypes &) = delete;

    // Replaces the list from the input-type part of the UOM-information
    // block: a count byte, then 15-byte records. Reads no further than
    // `length` bytes; a record cut short ends the reading (logged) and the
    // complete records stay. consumed = 1 + 15 x records read (0 for an
    // empty block). Returns whether every announced record was read.
    bool PopulateInputTypes(const uint8_t *data, std::size_t length, std::size_t &consumed);
    bool PopulateInputTypes(const QByteArray &data, std::size_t &consumed)
    {
        return PopulateInputTypes(reinterpret_cast<const uint8_t *>(data.constData()),
                                  static_cast<std::size_t>(data.size()), consumed);
    }

    // The first record with that id; raises EItemNotFound when none has it.
    TInputType *GetInputType(int32_t id) const;

    void Clear() { Records.clear(); }
    int Count() const { return static_cast<int>(Records.size()); }
    TInputType *At(int index) const { return Records.at(static_cast<std::size_t>(index)).get(); }
    // Appends a record and takes ownership.
    void Add(std::unique_ptr<TInputType> record);

private:
    TErrorManager *ErrorLog;
    std::vector<std::unique_ptr<TInputType>> Records;
};
