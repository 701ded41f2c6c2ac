#pragma once

#include <QString>

#include <cstdint>

class TUOMDescriptions;
class TBlockReader;

// One entry of the server's UOM list: id, category and name.
class TUOMDescription
{
public:
    explicit TUOMDescription(TUOMDescriptions *owner = nullptr) : Owner(owner) {}

    const QString &GetName() const { return Name; }
    int32_t GetUOMID() const { return UOMID; }
    int32_t GetCategory() const { return Category; }

    TUOMDescriptions *Owner;
    QString Name;
    int32_t UOMID = 0;
    int32_t Category = 0;

    // Reads one record (6 + name length bytes) at the reader's position.
    void Read(TBlockReader &reader);
};
