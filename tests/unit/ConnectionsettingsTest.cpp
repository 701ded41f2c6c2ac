#include "unit/Connectionsettings.h"

#include <gtest/gtest.h>

#include <random>

namespace
{

// A block full of recognisable noise, so any byte written by mistake shows.
TUnitSettingsBlock NoisyBlock()
{
    TUnitSettingsBlock b;
    std::mt19937 rng(4242);
    for (auto &byte : b.Bytes)
        byte = static_cast<uint8_t>(rng() | 1); // no zero bytes: texts run to field end
    return b;
}

std::vector<std::size_t> ChangedOffsets(const TUnitSettingsBlock &a, const TUnitSettingsBlock &b)
{
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < a.Bytes.size(); ++i)
        if (a.Bytes[i] != b.Bytes[i])
            changed.push_back(i);
    return changed;
}

bool Within(std::size_t offset, std::size_t from, std::size_t width)
{
    return offset >= from && offset < from + width;
}

} // namespace

TEST(TConnectionSettings, FromBlock_AddressesFirstOctetMostSignificant)
{
    TUnitSettingsBlock b;
    // 192.168.1.2 is stored as 02 01 A8 C0.
    const uint8_t ip[] = {0x02, 0x01, 0xA8, 0xC0};
    std::copy(std::begin(ip), std::end(ip), b.Bytes.begin() + 6);
    b.Bytes[228] = 0x08;
    b.Bytes[229] = 0x08;
    b.Bytes[230] = 0x08;
    b.Bytes[231] = 0x08;
    b.Bytes[5] = 0;
    b.Bytes[295] = 7; // any nonzero value is DHCP on
    const char apn[] = "internet";
    std::copy(std::begin(apn), std::end(apn), b.Bytes.begin() + 103);

    const auto s = ConnectionSettingsFromBlock(b);
    EXPECT_EQ(s.ConnectionType, 0);
    EXPECT_EQ(s.IPAddress, 0xC0A80102u);
    EXPECT_EQ(s.DNSServer, 0x08080808u);
    EXPECT_TRUE(s.UseDHCP);
    EXPECT_EQ(s.APN, "internet");
    EXPECT_EQ(s.Username, "");
}

TEST(TConnectionSettings, FromBlock_UnterminatedTextsStopAtFieldEnd)
{
    const auto s = ConnectionSettingsFromBlock(NoisyBlock());
    EXPECT_EQ(s.Username.size(), 44u);
    EXPECT_EQ(s.Password.size(), 19u);
    EXPECT_EQ(s.APN.size(), 124u);
}

TEST(TConnectionSettings, ApplyMobile_WritesOnlyTypeAndTexts)
{
    const auto before = NoisyBlock();
    auto after = before;
    TConnectionSettings s;
    s.ConnectionType = 2;
    s.APN = "apn.example";
    s.Username = "user";
    s.Password = "pw";
    s.IPAddress = 0x01020304; // must not be written for a mobile save
    s.UseDHCP = true;
    ASSERT_TRUE(ApplyConnectionSettingsToBlock(s, after));

    for (auto off : ChangedOffsets(before, after)) {
        EXPECT_TRUE(off == 5 || Within(off, 38, 5) || Within(off, 83, 3) || Within(off, 103, 12))
            << "offset " << off;
    }
    EXPECT_EQ(after.Bytes[5], 2);
    EXPECT_EQ(after.Bytes[38 + 4], 0);                    // terminator written
    EXPECT_EQ(after.Bytes[38 + 5], before.Bytes[38 + 5]); // bytes after it kept
    EXPECT_EQ(ConnectionSettingsFromBlock(after).APN, "apn.example");
    EXPECT_EQ(ConnectionSettingsFromBlock(after).Password, "pw");
}

TEST(TConnectionSettings, ApplyEthernet_WritesOnlyTypeAddressesAndDHCP)
{
    const auto before = NoisyBlock();
    auto after = before;
    TConnectionSettings s;
    s.ConnectionType = 0;
    s.APN = "ignored";
    s.IPAddress = 0xC0A8010A;
    s.NetMask = 0xFFFFFF00;
    s.DefaultGateway = 0xC0A80101;
    s.DNSServer = 0x01010101;
    s.UseDHCP = false;
    ASSERT_TRUE(ApplyConnectionSettingsToBlock(s, after));

    for (auto off : ChangedOffsets(before, after)) {
        EXPECT_TRUE(off == 5 || Within(off, 6, 12) || Within(off, 228, 4) || off == 295)
            << "offset " << off;
    }
    EXPECT_EQ(after.Bytes[6], 0x0A);
    EXPECT_EQ(after.Bytes[9], 0xC0);
    EXPECT_EQ(after.Bytes[295], 0);
    const auto back = ConnectionSettingsFromBlock(after);
    EXPECT_EQ(back.NetMask, 0xFFFFFF00u);
    EXPECT_EQ(back.DefaultGateway, 0xC0A80101u);
    EXPECT_EQ(back.DNSServer, 0x01010101u);
}

TEST(TConnectionSettings, ApplyMobile_TextTooLongOrWithZero_RefusedBlockUnchanged)
{
    struct Row {
        const char *what;
        std::string apn, user, pw;
    };
    const Row rows[] = {
        {"apn 125", std::string(125, 'a'), "u", "p"},
        {"user 45", "a", std::string(45, 'u'), "p"},
        {"password 20", "a", "u", std::string(20, 'p')},
        {"zero in password", "a", "u", std::string("p\0q", 3)},
    };
    for (const auto &row : rows) {
        const auto before = NoisyBlock();
        auto after = before;
        TConnectionSettings s;
        s.ConnectionType = 2;
        s.APN = row.apn;
        s.Username = row.user;
        s.Password = row.pw;
        EXPECT_FALSE(ConnectionSettingsProblem(s).empty()) << row.what;
        EXPECT_FALSE(ApplyConnectionSettingsToBlock(s, after)) << row.what;
        EXPECT_EQ(after, before) << row.what;
    }
}

TEST(TConnectionSettings, ApplyMobile_LongestTextsFitExactly)
{
    auto block = NoisyBlock();
    TConnectionSettings s;
    s.ConnectionType = 2;
    s.APN = std::string(124, 'a');
    s.Username = std::string(44, 'u');
    s.Password = std::string(19, 'p');
    ASSERT_TRUE(ApplyConnectionSettingsToBlock(s, block));
    EXPECT_EQ(block.Bytes[103 + 124], 0);
    EXPECT_EQ(block.Bytes[38 + 44], 0);
    EXPECT_EQ(block.Bytes[83 + 19], 0);
    const auto back = ConnectionSettingsFromBlock(block);
    EXPECT_EQ(back.APN, s.APN);
    EXPECT_EQ(back.Username, s.Username);
    EXPECT_EQ(back.Password, s.Password);
}
