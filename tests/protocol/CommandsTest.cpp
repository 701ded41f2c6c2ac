#include <gtest/gtest.h>

#include "protocol/Commands.h"

namespace
{

using Bytes = std::vector<uint8_t>;

// RFC 1321 test digests with every byte masked to 7 bits.
std::array<uint8_t, 16> Masked(const char *hex)
{
    std::array<uint8_t, 16> out{};
    for (std::size_t i = 0; i < 16; ++i)
        out[i] = static_cast<uint8_t>(std::stoi(std::string(hex + 2 * i, 2), nullptr, 16) & 0x7F);
    return out;
}

TEST(PasswordDigest, KnownDigests_AreMaskedToSevenBits)
{
    EXPECT_EQ(PasswordDigest(""), Masked("d41d8cd98f00b204e9800998ecf8427e"));
    EXPECT_EQ(PasswordDigest("abc"), Masked("900150983cd24fb0d6963f7d28e17f72"));
    EXPECT_EQ(PasswordDigest("message digest"), Masked("f96b697d7cb7938d525a2f31aaf161d0"));
    // Bytes above 0x7F in the password are hashed as they are.
    EXPECT_NE(PasswordDigest("\xE9t\xE9"), PasswordDigest("\x69t\x69"));
}

TEST(LogonPayload, TenCharacterAddress_IsZeroPaddedAndFollowedByDigest)
{
    Bytes payload;
    ASSERT_TRUE(BuildLogonPayload("a@zelvo.x", "secret", payload));
    ASSERT_EQ(payload.size(), 144u);
    EXPECT_EQ(Bytes(payload.begin(), payload.begin() + 9),
              Bytes({'a', '@', 'z', 'e', 'l', 'v', 'o', '.', 'x'}));
    for (std::size_t i = 9; i < 128; ++i)
        ASSERT_EQ(payload[i], 0) << i;
    const auto digest = PasswordDigest("secret");
    EXPECT_EQ(Bytes(payload.begin() + 128, payload.end()), Bytes(digest.begin(), digest.end()));
    // The password itself never travels.
    const std::string p(payload.begin(), payload.end());
    EXPECT_EQ(p.find("secret"), std::string::npos);
}

TEST(LogonPayload, AddressLengthLimit_128FillsFieldAnd129IsRefused)
{
    Bytes payload;
    ASSERT_TRUE(BuildLogonPayload(std::string(128, 'm'), "", payload));
    EXPECT_EQ(payload[127], 'm');
    const auto empty = PasswordDigest("");
    EXPECT_EQ(Bytes(payload.begin() + 128, payload.end()), Bytes(empty.begin(), empty.end()));

    Bytes untouched{1, 2, 3};
    EXPECT_FALSE(BuildLogonPayload(std::string(129, 'm'), "", untouched));
    EXPECT_EQ(untouched, Bytes({1, 2, 3}));
}

TEST(BufferTestPayload, CounterWrapsAfter250)
{
    const Bytes p = BuildBufferTestPayload();
    ASSERT_EQ(p.size(), 500u);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[250], 250);
    EXPECT_EQ(p[251], 0);
    EXPECT_EQ(p[499], 248);
}

TEST(WriteOutputPayload, IndexTimesTwoPlusState)
{
    EXPECT_EQ(BuildWriteOutputPayload(OutputIndex("AO04"), 1), Bytes{33});
    EXPECT_EQ(BuildWriteOutputPayload(OutputIndex("DO01"), 0), Bytes{0});
    EXPECT_EQ(BuildWriteOutputPayload(OutputIndex("Buzzer"), 1), Bytes{17});
    EXPECT_EQ(OutputIndex("PWM01"), 9);
    EXPECT_EQ(OutputIndex("ao04"), -1);
    EXPECT_EQ(OutputIndex(""), -1);
}

// ---- settings block ----

TUnitSettingsBlock Filled(uint8_t value)
{
    TUnitSettingsBlock b;
    b.Bytes.fill(value);
    return b;
}

TEST(TUnitSettingsBlock, Addresses_AreLittleEndianWithFirstOctetMostSignificant)
{
    TUnitSettingsBlock b = Filled(0xEE);
    b.SetIPAddress(0xC0A80102); // 192.168.1.2
    EXPECT_EQ(Bytes(b.Bytes.begin() + 6, b.Bytes.begin() + 10), Bytes({0x02, 0x01, 0xA8, 0xC0}));
    b.SetNetMask(0xFFFFFF00);
    b.SetDefaultGateway(0x0A000001);
    b.SetDNSServer(0x08080404);
    EXPECT_EQ(b.Bytes[10], 0x00);
    EXPECT_EQ(b.Bytes[13], 0xFF);
    EXPECT_EQ(b.Bytes[14], 0x01);
    EXPECT_EQ(b.Bytes[228], 0x04);
    EXPECT_EQ(b.Bytes[231], 0x08);
    EXPECT_EQ(b.IPAddress(), 0xC0A80102u);
    EXPECT_EQ(b.NetMask(), 0xFFFFFF00u);
    EXPECT_EQ(b.DefaultGateway(), 0x0A000001u);
    EXPECT_EQ(b.DNSServer(), 0x08080404u);
}

TEST(TUnitSettingsBlock, ChangingEveryField_LeavesOpaqueBytesAsRead)
{
    TUnitSettingsBlock b;
    for (std::size_t i = 0; i < b.Bytes.size(); ++i)
        b.Bytes[i] = static_cast<uint8_t>(i * 31 + 7);
    const TUnitSettingsBlock original = b;
    b.SetConnectionType(kConnectionTypeMobile);
    b.SetIPAddress(1);
    b.SetNetMask(2);
    b.SetDefaultGateway(3);
    b.SetDNSServer(4);
    ASSERT_TRUE(b.SetUserName("user"));
    ASSERT_TRUE(b.SetPassword("pw"));
    ASSERT_TRUE(b.SetAPN("internet"));
    b.SetUseDHCP(true);

    // Bytes the tool owns: the fields plus each text's terminator.
    auto owned = [](std::size_t i) {
        return i == 5 || (i >= 6 && i < 18) || (i >= 228 && i < 232) || i == 295 ||
               (i >= 38 && i < 38 + 5) || (i >= 83 && i < 83 + 3) || (i >= 103 && i < 103 + 9);
    };
    for (std::size_t i = 0; i < b.Bytes.size(); ++i) {
        if (!owned(i)) {
            ASSERT_EQ(b.Bytes[i], original.Bytes[i]) << "offset " << i;
        }
    }
    EXPECT_EQ(b.Bytes[5], 2);
    EXPECT_EQ(b.Bytes[38 + 4], 0);
    EXPECT_EQ(b.Bytes[295], 1);
}

struct TextRow {
    const char *Name;
    std::size_t Offset;
    std::size_t Max;
    bool (TUnitSettingsBlock::*Set)(const std::string &);
    std::string (TUnitSettingsBlock::*Get)() const;
};

class SettingsText : public testing::TestWithParam<TextRow>
{
};

TEST_P(SettingsText, LongestTextFitsWithTerminatorAndLongerIsRefused)
{
    const TextRow row = GetParam();
    TUnitSettingsBlock b = Filled(0x41);
    const std::string longest(row.Max, 'z');
    ASSERT_TRUE((b.*row.Set)(longest));
    EXPECT_EQ((b.*row.Get)(), longest);
    EXPECT_EQ(b.Bytes[row.Offset + row.Max], 0);
    // The next field starts untouched.
    EXPECT_EQ(b.Bytes[row.Offset + row.Max + 1], 0x41);

    const TUnitSettingsBlock before = b;
    EXPECT_FALSE((b.*row.Set)(std::string(row.Max + 1, 'y')));
    EXPECT_FALSE((b.*row.Set)(std::string("a\0b", 3)));
    EXPECT_EQ(b, before);

    // A shorter text keeps the unit's bytes after its terminator.
    ASSERT_TRUE((b.*row.Set)("ab"));
    EXPECT_EQ((b.*row.Get)(), "ab");
    EXPECT_EQ(b.Bytes[row.Offset + 3], 'z');
}

TEST_P(SettingsText, FieldWithoutTerminator_IsReadUpToItsLimit)
{
    const TextRow row = GetParam();
    const TUnitSettingsBlock b = Filled('q');
    EXPECT_EQ((b.*row.Get)(), std::string(row.Max, 'q'));
}

INSTANTIATE_TEST_SUITE_P(
    Fields, SettingsText,
    testing::Values(TextRow{"UserName", 38, 44, &TUnitSettingsBlock::SetUserName,
                            &TUnitSettingsBlock::UserName},
                    TextRow{"Password", 83, 19, &TUnitSettingsBlock::SetPassword,
                            &TUnitSettingsBlock::Password},
                    TextRow{"APN", 103, 124, &TUnitSettingsBlock::SetAPN,
                            &TUnitSettingsBlock::APN}),
    [](const auto &info) { return std::string(info.param.Name); });

TEST(TUnitSettingsBlock, UseDHCP_AnyNonzeroByteMeansOn)
{
    TUnitSettingsBlock b;
    b.Bytes[295] = 0x80;
    EXPECT_TRUE(b.UseDHCP());
    b.SetUseDHCP(false);
    EXPECT_EQ(b.Bytes[295], 0);
    EXPECT_FALSE(b.UseDHCP());
}

} // namespace
