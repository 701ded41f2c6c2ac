#include "model/Uomdescription.h"

#include "model/Blockreader.h"

void TUOMDescription::Read(TBlockReader &reader)
{
    reader.Require(6);
    const int32_t id = reader.ReadI32();
    const int32_t category = reader.ReadU8();
    const std::size_t nameLength = reader.ReadU8();
    // Fields are taken only once the name is known to be complete.
    Name = reader.ReadText(nameLength);
    UOMID = id;
    Category = category;
}
