// The main of GoogleTest programs that need a Qt application (on the offscreen platform in CTest).
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
