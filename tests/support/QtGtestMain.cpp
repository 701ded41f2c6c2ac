#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // Tests never need a display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Where the source and build trees are, for tests that read shipped files.
    if (!qEnvironmentVariableIsSet("ZELVO_SOURCE_DIR"))
        qputenv("ZELVO_SOURCE_DIR", ZELVO_TEST_SOURCE_DIR);
    if (!qEnvironmentVariableIsSet("ZELVO_BINARY_DIR"))
        qputenv("ZELVO_BINARY_DIR", ZELVO_TEST_BINARY_DIR);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
