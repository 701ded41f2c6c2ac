#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "model/Uom.h"

class TErrorManager;
class TUOMManager;

// The units of measure read from the UOM-information block, in block order.
class TUOMs
{
public:
    // Sizes of the records in the block.
    static constexpr std::size_t DigitalRecordSize = 36;
    static constexpr std::size_t AnalogueHeaderSize = 22; // before the points
    static constexpr std::size_t TextFieldSize = 16;

    // A block cut short is logged on `log` (and so is a table cut short, by
    // the UOM it belongs to); null logs nothing.
    explicit TUOMs(TUOMManager *owner = nullptr, TErrorManager *log = nullptr);
    ~TUOMs();
    TUOMs(const TUOMs &) = delete;
    TUOMs &operator=(const TUOMs &) = delete;

    TUOMManager *Owner() const { return FOwner; }

    // Replaces the list from the UOM part of the block: digital count and
    // records, then analogue count and records. Reads at most `length` bytes;
    // a block that ends early keeps the complete records before the cut and
    // logs "TUOMs::PopulateUOMs Exception - " with the reason. Returns the
    // bytes consumed by complete parts.
    std::size_t PopulateUOMs(const uint8_t *data, std::size_t length);

    // The first UOM with that id; raises EItemNotFound when there is none.
    TUOM *GetUOM(int32_t uomId) const;

    void Clear();
    // Appends and takes ownership.
    void Add(std::unique_ptr<TUOM> uom);
    int Count() const { return static_cast<int>(FItems.size()); }
    TUOM *Item(int index) const { return FItems.at(static_cast<std::size_t>(index)).get(); }

private:
    TUOMManager *FOwner;
    TErrorManager *FLog;
    std::vector<std::unique_ptr<TUOM>> FItems;
};
