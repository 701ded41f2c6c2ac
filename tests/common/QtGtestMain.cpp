#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv)
{
    // Tests never need a display.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Where the source and build trees are, for tests that read shipped files.
    setenv("ZELVO_SOURCE_DIR", ZELVO_TEST_SOURCE_DIR, 0);
    setenv("ZELVO_BINARY_DIR", ZELVO_TEST_BINARY_DIR, 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
