#include <gtest/gtest.h>

#include <QApplication>

// The window needs an application object; listing the tests needs none, so test
// discovery works without a display.
int main(int argc, char* argv[]) {
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
