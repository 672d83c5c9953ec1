// The main of every widget test program: a QApplication on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/Process.h"

int main(int argc, char** argv) {
    plim::settleProcess();
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
