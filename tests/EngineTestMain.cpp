// The main of the engine's test programs (no Qt): the program's process-wide settings first.
#include <gtest/gtest.h>

#include "app/Process.h"

int main(int argc, char** argv) {
    plim::settleProcess();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
