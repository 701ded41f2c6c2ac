#include "model/Availableinputtype.h"

#include "model/Blockreader.h"

void TAvailableInputType::Read(TBlockReader &reader)
{
    // Check the whole record first, so a cut record changes nothing.
    reader.Require(RecordSize);
    Selectable = reader.ReadU8() != 0;
    InputTypeID = reader.ReadU8();
    UOMCategory = reader.ReadU8();
    SecondFlag = reader.ReadU8() != 0;
    reader.Skip(4);
    Name = reader.ReadFixedText(NameSize);
    reader.Skip(RecordSize - 8 - NameSize);
}
