// The unit object's own decoders: live values, the external value cycle and
// the settings block, after an I/O configuration and a UOM information reply
// have set up what they scale with.
//
// Input: mode byte, then two length-prefixed parts (u16 little-endian) with
// the I/O configuration and UOM information contents, then the wire stream
// the polls read their frames from.

#include <cstdlib>
#include <vector>

#include "protocol/Commands.h"
#include "tests/support/Scriptedcomms.h"
#include "tests/support/Wirerecord.h"
#include "unit/Commissioningdataparser.h"
#include "unit/Connectionsettings.h"
#include "unit/Zelvo.h"

namespace
{

// Takes a length-prefixed part; the length is cut to what is left.
std::vector<uint8_t> TakePart(const uint8_t *&data, std::size_t &size)
{
    if (size < 2)
        return {};
    std::size_t n = data[0] | static_cast<std::size_t>(data[1]) << 8;
    data += 2;
    size -= 2;
    if (n > size)
        n = size;
    std::vector<uint8_t> part(data, data + n);
    data += n;
    size -= n;
    return part;
}

void Parse(TCommissioningDataParser &parser, TZelvo &unit, int16_t type,
           const std::vector<uint8_t> &part)
{
    const std::vector<uint8_t> content = zelvo::test::WithChecksum(part);
    parser.SetType(type);
    parser.ParseReply(content.data(), static_cast<int>(content.size()), &unit);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;
    const std::vector<uint8_t> ioConfig = TakePart(data, size);
    const std::vector<uint8_t> uomInfo = TakePart(data, size);

    zelvo::test::TScriptedComms comms(data, size, (mode & 0x80) != 0);
    TZelvo unit(comms, nullptr);
    unit.BuildIOList((mode & 1) ? UNIT_TYPE_OSTRA : UNIT_TYPE_VELLO);
    TCommissioningDataParser parser(nullptr);
    if (mode & 2)
        Parse(parser, unit, MSG_READ_IO_CONFIG, ioConfig);
    if (mode & 4)
        Parse(parser, unit, MSG_READ_UOM_INFO, uomInfo);

    for (int round = 0; round < 32 && !comms.Port().Exhausted(); ++round) {
        switch ((mode >> 3) & 3) {
        case 0:
            unit.PollLiveValues();
            break;
        case 1:
            unit.PollExternalIO();
            break;
        case 2: {
            if (unit.LoadSettings()) {
                const TConnectionSettings settings = unit.GetSettings();
                unit.SaveSettings(settings);
            }
            break;
        }
        default:
            unit.PollLiveValues();
            unit.PollExternalIO();
            break;
        }
    }
    // The decoders are also called straight with what arrived.
    unit.DecodeLiveValues(uomInfo.data(), static_cast<int>(uomInfo.size()));
    unit.ApplyErrorFlags((mode & 0x20) != 0, ioConfig.data(), static_cast<int>(ioConfig.size()));
    return 0;
}
