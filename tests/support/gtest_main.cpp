#include <gtest/gtest.h>

#include "support/temp_home.h"

// Every GoogleTest program runs in a temporary home of its own, so no test can read or change
// the real user's settings, recordings or logs.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    sonaro::test::TempHome home;
    return RUN_ALL_TESTS();
}
