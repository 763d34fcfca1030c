// The default pick aperture follows the screen width, and is chosen once per process.
#include "korvex/testing.h"
#include "tiller/part/ghandlepart.h"

#include <gtest/gtest.h>

TEST(PickAperture, FollowsTheScreenWidthTable) {
    EXPECT_EQ(tiller::PickApertureForScreenWidth(640), 3);
    EXPECT_EQ(tiller::PickApertureForScreenWidth(699), 3);
    EXPECT_EQ(tiller::PickApertureForScreenWidth(700), 4);
    EXPECT_EQ(tiller::PickApertureForScreenWidth(1099), 4);
    EXPECT_EQ(tiller::PickApertureForScreenWidth(1100), 6);
    EXPECT_EQ(tiller::PickApertureForScreenWidth(1899), 6);
    EXPECT_EQ(tiller::PickApertureForScreenWidth(1920), 8);
    EXPECT_EQ(tiller::PickApertureForScreenWidth(2499), 8);
    EXPECT_EQ(tiller::PickApertureForScreenWidth(2560), 5);
}

TEST(PickAperture, DefaultIsTakenFromTheHostOnceAndKept) {
    kvSetScreenWidth(640);
    EXPECT_EQ(tiller::DefaultPickAperture(), 3);
    kvSetScreenWidth(2560);
    EXPECT_EQ(tiller::DefaultPickAperture(), 3);
    kvSetScreenWidth(1920);
}
