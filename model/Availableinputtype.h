#pragma once

#include <QString>

#include <cstdint>

class TAvailableInputTypes;
class TBlockReader;

// A named input type the user may pick for an input in the edit dialog.
class TAvailableInputType
{
public:
    // Size of one record in the block, and of its name field.
    static constexpr int RecordSize = 72;
    static constexpr int NameSize = 50;

    explicit TAvailableInputType(TAvailableInputTypes *owner = nullptr) : Owner(owner) {}

    TAvailableInputTypes *Owner;
    QString Name;
    bool Selectable = false;
    bool SecondFlag = false; // stored with the record, not used by the tool
    uint8_t InputTypeID = 0;
    uint8_t UOMCategory = 0; // Category of the UOM descriptions that fit

    // Reads one 72-byte record at the reader's position.
    void Read(TBlockReader &reader);
};
