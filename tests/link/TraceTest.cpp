// The link trace: what support sees of each exchange shape, and nothing at
// all while it is off.

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "link/Framing.h"
#include "link/Portresult.h"
#include "link/Trace.h"
#include "tests/support/TestUtil.h"

namespace
{

// Hands out scripted reply bytes; a read beyond them is a short transfer.
struct TScriptPort {
    std::deque<uint8_t> Bytes;
    int32_t WriteBytes(const uint8_t *, uint32_t, uint32_t) { return PortOK; }
    int32_t DiscardInput() { return PortOK; }
    int32_t ReadBytes(uint8_t *buffer, uint32_t count, uint32_t)
    {
        for (uint32_t i = 0; i < count; ++i) {
            if (Bytes.empty())
                return PortErrorShortTransfer;
            buffer[i] = Bytes.front();
            Bytes.pop_front();
        }
        return PortOK;
    }
};

std::vector<std::string> Lines(const std::string &path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class LinkTrace : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Path = zelvo::test::TempDir() + "/trace.txt";
        ASSERT_TRUE(linktrace::Install(Path));
    }
    void TearDown() override { linktrace::Uninstall(); }

    bool Query(std::vector<uint8_t> reply, uint8_t command = 0x15)
    {
        TScriptPort port;
        port.Bytes.assign(reply.begin(), reply.end());
        uint8_t data[255];
        int32_t n = 0;
        return framing::Exchange(port, 10, command, nullptr, 0, data, n, false);
    }

    std::string Path;
};

TEST_F(LinkTrace, ExchangeShapes_EachFrameOneLineWithStampDirectionHexAndName)
{
    EXPECT_TRUE(Query({0x03, 0x01, 0x15, 0x04, 0x13}));
    EXPECT_FALSE(Query({0x00}, 0x14));
    EXPECT_FALSE(Query({0x03, 0x05, 0x19, 0x01}, 0x19)); // cut after 4 bytes
    linktrace::Event("purge");

    const auto lines = Lines(Path);
    ASSERT_EQ(lines.size(), 9u) << "header, 3 requests, 3 replies, time-out, purge";
    EXPECT_EQ(lines[0].rfind("# zelvo link trace, ", 0), 0u);
    // hh:mm:ss.mmm, direction, bytes, name (columns of the simulator's trace).
    EXPECT_EQ(lines[1].substr(12),
              " -> 0A 00 15 1F" + std::string(25 + 2, ' ') + "CMD_READ_SF_STATE");
    EXPECT_EQ(lines[1][2], ':');
    EXPECT_EQ(lines[1][8], '.');
    EXPECT_EQ(lines[2].substr(12),
              " <- 03 01 15 04 13" + std::string(22 + 2, ' ') + "CMD_READ_SF_STATE");
    EXPECT_NE(lines[4].find("<- 00 "), std::string::npos);
    EXPECT_NE(lines[4].find("CMD_APPLY_SETTINGS (refused)"), std::string::npos);
    // The bytes of a read that came up short are not known; those before it are.
    EXPECT_NE(lines[6].find("<- 03 05 "), std::string::npos);
    EXPECT_NE(lines[6].find("(incomplete)"), std::string::npos);
    EXPECT_EQ(lines[7].substr(12), " ** time-out waiting for CMD_READ_MESSAGE_BLOCK");
    EXPECT_EQ(lines[8].substr(12), " ** purge");
}

TEST_F(LinkTrace, SilentUnitAndSend_TimeOutWithoutReplyLine)
{
    EXPECT_FALSE(Query({}));
    TScriptPort port;
    port.Bytes = {0x01};
    const uint8_t payload[2] = {0x00, 0x41};
    EXPECT_TRUE(framing::Send(port, 10, 0x17, payload, 2));

    const auto lines = Lines(Path);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_NE(lines[2].find("** time-out waiting for CMD_READ_SF_STATE"), std::string::npos);
    EXPECT_NE(lines[3].find("-> 0A 02 17 00 41 "), std::string::npos);
    EXPECT_NE(lines[4].find("<- 01 "), std::string::npos);
}

TEST_F(LinkTrace, Uninstalled_WritesNothingAndFileCanBeReplaced)
{
    linktrace::Uninstall();
    EXPECT_TRUE(Query({0x01}));
    EXPECT_EQ(Lines(Path).size(), 1u);
    EXPECT_FALSE(linktrace::Install(zelvo::test::TempDir() + "/no-such-dir/trace.txt"));
    EXPECT_FALSE(linktrace::Active());
}

} // namespace
