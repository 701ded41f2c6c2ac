// The input-type list of the UOM information block, read on its own from an
// exact heap copy of the input.

#include <cstdlib>
#include <vector>

#include "model/Inputtypes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    std::vector<uint8_t> exact(data, data + size);
    TInputTypes types;
    std::size_t consumed = 0;
    types.PopulateInputTypes(exact.empty() ? nullptr : exact.data(), exact.size(), consumed);
    if (consumed > size)
        std::abort();
    return 0;
}
