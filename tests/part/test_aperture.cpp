// The default pick aperture follows the screen width, and is chosen once per process.
#include "korvex/testing.h"
#include "tiller/part/ghandlepart.h"

#include <gtest/gtest.h>

TEST(PickAperture, FollowsTheScreenWidthTable) {
    const int widthAndAperture[][2] = {{640, 3},  {699, 3},  {700, 4},  {1099, 4}, {1100, 6},
                                       {1899, 6}, {1920, 8}, {2499, 8}, {2560, 5}};
    for (const auto& [width, aperture] : widthAndAperture)
        EXPECT_EQ(tiller::PickApertureForScreenWidth(width), aperture) << width;
}

TEST(PickAperture, DefaultIsTakenFromTheHostOnceAndKept) {
    kvSetScreenWidth(640);
    EXPECT_EQ(tiller::DefaultPickAperture(), 3);
    kvSetScreenWidth(2560);
    EXPECT_EQ(tiller::DefaultPickAperture(), 3);
    kvSetScreenWidth(1920);
}
