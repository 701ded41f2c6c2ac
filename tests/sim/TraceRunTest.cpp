// A scripted run of the program itself with its trace: a raw-frame client
// reads the version, the unit type and the settings block, and runs one
// server message through the whole store-and-forward cycle.

#include "SimClient.h"
#include "tests/support/TestUtil.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <unistd.h>

using namespace zsimtest;
using std::chrono::milliseconds;

TEST(Program, ScriptedRunWithTrace_ShowsEveryRequestReplyAndStateChange)
{
    const char *bin = std::getenv("ZELVO_BINARY_DIR");
    ASSERT_NE(bin, nullptr);
    const std::string link = zelvo::test::TempDir() + "/zelvo-unit";
    QProcess p;
    p.start(
        QString::fromStdString(std::string(bin) + "/sim/zelvo-unit-sim"),
        {"--model", "ostra", "--sf-step", "40", "--trace", "--link", QString::fromStdString(link)});
    ASSERT_TRUE(p.waitForStarted(5000));
    ASSERT_TRUE(zelvo::test::WaitFor([&] { return p.canReadLine() || p.waitForReadyRead(50); },
                                     std::chrono::seconds(5)));
    std::string banner = p.readLine().trimmed().toStdString();
    EXPECT_NE(banner.find("OSTRA unit on /dev/pts/"), std::string::npos) << banner;

    {
        // Through the symbolic link, as a user would name the port.
        SimClient c(link);
        ASSERT_TRUE(c.ok());
        Bytes v = c.Exchange(0xDF).data();
        EXPECT_EQ(std::string(v.begin(), v.end()).rfind("V2.61?", 0), 0u);
        EXPECT_EQ(c.Exchange(0x0D).data(), Bytes{2});
        EXPECT_EQ(c.Exchange(0x00).data().size(), 255u);
        EXPECT_EQ(c.Exchange(0x01).data().size(), 58u);
        ASSERT_EQ(c.SfState(), 0);
        ASSERT_TRUE(c.SfCommand(1));
        ASSERT_TRUE(c.WaitSf(5, milliseconds(3000), milliseconds(30)));
        ASSERT_TRUE(c.WriteMessage(Envelope(1, {}), false));
        ASSERT_TRUE(c.SfCommand(6));
        ASSERT_TRUE(c.WaitSf(8, milliseconds(3000), milliseconds(30)));
        Bytes reply;
        ASSERT_TRUE(c.ReadMessage(&reply));
        EXPECT_TRUE(SumIsZero(reply));
        ASSERT_TRUE(c.SfCommand(9));
        ASSERT_TRUE(c.WaitSf(0, milliseconds(3000), milliseconds(30)));
    }
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    std::string trace = banner + "\n" + p.readAllStandardOutput().toStdString();
    for (const char *expect :
         {"-> 0A 00 DF D5", "CMD_READ_VERSION", "CMD_READ_UNIT_TYPE", "CMD_READ_SETTINGS_1",
          "CMD_READ_SETTINGS_2", "CMD_WRITE_MESSAGE_BLOCK", "CMD_READ_MESSAGE_LENGTH",
          "CMD_READ_MESSAGE_BLOCK", "SF_IDLE -> SF_CONNECTING", "SF_UPLOADING -> SF_PROCESSING",
          "server MSG_READ_BASIC_INFO", "SF_LOGGING_OFF -> SF_IDLE"})
        EXPECT_NE(trace.find(expect), std::string::npos) << expect << "\n" << trace;
    // The link is removed when the program stops.
    EXPECT_NE(access(link.c_str(), F_OK), 0);
    // Kept beside the build for people who want to read a whole exchange.
    std::ofstream(std::string(bin) + "/zelvo-unit-sim-trace.txt") << trace;
}
