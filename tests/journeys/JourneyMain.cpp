// The journeys' program: gtest, with a screenshot of the screen for every failure.
#include <gtest/gtest.h>

#include "journeys/Journey.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    qs::journey::installScreenshotOnFailure();
    return RUN_ALL_TESTS();
}
