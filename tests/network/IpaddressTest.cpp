#include "network/Ipaddress.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <random>
#include <string>

namespace
{

const QString kA = QStringLiteral(
    "An IP number must contain four integers (separated by a full stop) between 0 and 255.");
const QString kB =
    QStringLiteral("Too many integers. An IP number must contain four integers between 0 and 255.");
const QString kC =
    QStringLiteral("Each part of the IP number must be an integer between 0 and 255.");

// Collects what ParseIPAddress shows through the installed sink.
class ParseIPAddressWithSink : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetIPAddressMessageSink([this](const QString &message) { shown << message; });
    }
    void TearDown() override { SetIPAddressMessageSink(nullptr); }

    QStringList shown;
};

} // namespace

TEST(ParseIPAddress, ValidTexts_GiveFirstPartInMostSignificantByte)
{
    struct Row {
        const char *text;
        std::uint32_t value;
    };
    const Row rows[] = {
        {"192.168.1.10", 0xC0A8010Au},
        {"10.1.2.3", 0x0A010203u},
        {"0.0.0.0", 0u},
        {"255.255.255.255", 0xFFFFFFFFu},
        // Leading zeros are decimal, never octal.
        {"010.001.0.09", 0x0A010009u},
        // One leading sign is part of a decimal integer.
        {"+1.2.3.4", 0x01020304u},
        {"-0.0.0.1", 0x00000001u},
    };
    for (const Row &row : rows) {
        std::uint32_t value = 0x12345678u;
        int messages = 0;
        EXPECT_TRUE(ParseIPAddress(row.text, value, [&](const QString &) { ++messages; }))
            << row.text;
        EXPECT_EQ(value, row.value) << row.text;
        EXPECT_EQ(messages, 0) << row.text;
    }
}

TEST(ParseIPAddress, InvalidTexts_ShowOneMessageAndLeaveValue)
{
    struct Row {
        const char *text;
        TIPAddressResult result;
    };
    const Row rows[] = {
        {"192.168.1", IP_TOO_FEW_PARTS},
        {"", IP_TOO_FEW_PARTS},
        {"1921681", IP_TOO_FEW_PARTS},
        {"192.168.1.10.5", IP_TOO_MANY_PARTS},
        {"1.2.3.4.", IP_TOO_MANY_PARTS},
        {"192.168..10", IP_BAD_PART},
        {"1.2.3.", IP_BAD_PART},
        {"192.168.1.x", IP_BAD_PART},
        {"256.0.0.1", IP_BAD_PART},
        {"1.2.3.256", IP_BAD_PART},
        {"-1.0.0.1", IP_BAD_PART},
        {"1.2.3.99999999999999999999", IP_BAD_PART},
        {"1.2.3.4294967297", IP_BAD_PART},
        {" 1.2.3.4", IP_BAD_PART},
        {"1.2.3.4 ", IP_BAD_PART},
        {"0x1.2.3.4", IP_BAD_PART},
        {"+.2.3.4", IP_BAD_PART},
        {"+-1.2.3.4", IP_BAD_PART},
        {"1e2.2.3.4", IP_BAD_PART},
        // Digits of other scripts (Arabic-Indic three, full-width one).
        {"1.2.3.\u0663", IP_BAD_PART},
        {"\uFF11.2.3.4", IP_BAD_PART},
        // A bad part is found before the parts run out.
        {"a.b", IP_BAD_PART},
    };
    for (const Row &row : rows) {
        std::uint32_t value = 0x12345678u;
        QStringList shown;
        EXPECT_FALSE(ParseIPAddress(row.text, value, [&](const QString &m) { shown << m; }))
            << row.text;
        EXPECT_EQ(value, 0x12345678u) << row.text;
        ASSERT_EQ(shown.size(), 1) << row.text;
        EXPECT_EQ(shown[0], IPAddressMessage(row.result)) << row.text;
        EXPECT_EQ(CheckIPAddress(row.text, value), row.result) << row.text;
    }
}

TEST_F(ParseIPAddressWithSink, Failures_ShowThroughInstalledSink)
{
    std::uint32_t value = 0;
    EXPECT_TRUE(ParseIPAddress("1.2.3.4", value));
    EXPECT_FALSE(ParseIPAddress("1.2.3", value));
    EXPECT_FALSE(ParseIPAddress("1.2.3.4.5", value));
    EXPECT_FALSE(ParseIPAddress("1.2.3.256", value));
    EXPECT_EQ(shown, (QStringList{kA, kB, kC}));
    EXPECT_EQ(value, 0x01020304u);
}

TEST(FormatIPAddress, RandomValues_FormatWithoutLeadingZerosAndParseBack)
{
    EXPECT_EQ(FormatIPAddress(0xC0A8010Au), "192.168.1.10");
    EXPECT_EQ(FormatIPAddress(0u), "0.0.0.0");
    EXPECT_EQ(FormatIPAddress(0xFFFFFFFFu), "255.255.255.255");

    std::mt19937 random(20240611);
    for (int i = 0; i < 5000; ++i) {
        const std::uint32_t value = random();
        const QString text = FormatIPAddress(value);
        const std::string expected =
            std::to_string(value >> 24) + "." + std::to_string((value >> 16) & 255) + "." +
            std::to_string((value >> 8) & 255) + "." + std::to_string(value & 255);
        ASSERT_EQ(text.toStdString(), expected);
        std::uint32_t parsed = ~value;
        ASSERT_EQ(CheckIPAddress(text, parsed), IP_OK) << expected;
        ASSERT_EQ(parsed, value) << expected;
    }
}
