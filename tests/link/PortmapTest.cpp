#include <gtest/gtest.h>

#include "link/Ftd2xx.h"
#include "link/Portmap.h"

namespace
{

TEST(Portmap, ComNumbers_ResolveToSerialDevicesUnlessMapped)
{
    ClearComPortMap();
    EXPECT_EQ(ResolvePortName("COM1"), "/dev/ttyS0");
    EXPECT_EQ(ResolvePortName("COM16"), "/dev/ttyS15");
    EXPECT_TRUE(ApplyComOption("3=/dev/ttyUSB0"));
    EXPECT_EQ(ResolvePortName("COM3"), "/dev/ttyUSB0");
    EXPECT_EQ(ResolvePortName("COM4"), "/dev/ttyS3");
    // Not a port number: nothing to open rather than some other device.
    EXPECT_EQ(ResolvePortName("COM0"), "");
    EXPECT_EQ(ResolvePortName("COM-1"), "");
    EXPECT_EQ(ResolvePortName("COM3x"), "");
    EXPECT_EQ(ResolvePortName("/dev/pts/7"), "/dev/pts/7");
    ClearComPortMap();
    EXPECT_EQ(ResolvePortName("COM3"), "/dev/ttyS2");
}

struct OptionRow {
    const char *Text;
    bool Ok;
    int Number = 0;
    const char *Path = "";
};

class PortOption : public testing::TestWithParam<OptionRow>
{
};

TEST_P(PortOption, Parse)
{
    const OptionRow row = GetParam();
    int number = -99;
    std::string path = "unchanged";
    EXPECT_EQ(ParsePortOption(row.Text, number, path), row.Ok);
    EXPECT_EQ(number, row.Ok ? row.Number : -99);
    EXPECT_EQ(path, row.Ok ? row.Path : "unchanged");
}

INSTANTIATE_TEST_SUITE_P(Rows, PortOption,
                         testing::Values(OptionRow{"3=/dev/ttyUSB0", true, 3, "/dev/ttyUSB0"},
                                         OptionRow{"16=/dev/pts/4", true, 16, "/dev/pts/4"},
                                         OptionRow{"2=/tmp/a=b", true, 2, "/tmp/a=b"},
                                         OptionRow{"0=/dev/x", false},
                                         OptionRow{"-1=/dev/x", false},
                                         OptionRow{"x=/dev/x", false}, OptionRow{"3=", false},
                                         OptionRow{"=/dev/x", false}, OptionRow{"3", false},
                                         OptionRow{"3 =/dev/x", false}));

TEST(Portmap, UsbOption_RegistersVirtualBridge)
{
    std::string description, path;
    EXPECT_TRUE(ParseUsbOption("Zelvo Unit=/dev/pts/3", description, path));
    EXPECT_EQ(description, "Zelvo Unit");
    EXPECT_EQ(path, "/dev/pts/3");
    EXPECT_FALSE(ParseUsbOption("=/dev/pts/3", description, path));
    EXPECT_FALSE(ParseUsbOption("Zelvo", description, path));
    EXPECT_FALSE(ParseUsbOption("Zelvo=", description, path));

    Ftd2xx::ClearVirtualBridges();
    ASSERT_TRUE(ApplyUsbOption("Zelvo=/dev/pts/3"));
    ASSERT_TRUE(ApplyUsbOption("Zelvo=/dev/pts/5"));
    const auto bridges = Ftd2xx::ListBridges();
    ASSERT_GE(bridges.size(), 1u);
    EXPECT_EQ(bridges[0].Description, "Zelvo");
    EXPECT_EQ(bridges[0].DevicePath, "/dev/pts/5");
    Ftd2xx::ClearVirtualBridges();
}

} // namespace
