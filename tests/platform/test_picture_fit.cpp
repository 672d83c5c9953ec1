// The picture's size on screen: the video's own whenever its window fits the work area, else
// the largest of the same shape with which the window fits.
#include <gtest/gtest.h>

#include "platform/display/PictureFit.h"

namespace {

TEST(PictureFit, OwnSizeWhenItFitsElseTheLargestOfItsShape) {
    struct Case {
        int w, h, extraW, extraH, workW, workH;
        plim::display::PictureFit want;
    };
    const Case cases[] = {
        {320, 240, 8, 30, 1280, 800, {320, 240, false}},
        {1276, 770, 4, 30, 1280, 800, {1276, 770, false}},     // fits to the last pixel
        {1277, 770, 4, 30, 1280, 800, {1276, 769, true}},      // one pixel too wide
        {1920, 1080, 6, 29, 1920, 1080, {1868, 1051, true}},   // the height meets the screen first
        {3840, 2160, 6, 29, 1920, 1200, {1914, 1077, true}},   // the width does
        {1080, 1920, 6, 29, 1920, 1080, {590, 1049, true}},    // a phone's portrait video, an even width
        {3840, 2160, 0, 0, 1916, 1050, {1866, 1050, true}},    // 1867 would be odd: libswscale's slow path
        {8000, 10, 4, 4, 1000, 800, {996, 1, true}},           // never thinner than a pixel
        {0, 0, 4, 4, 1000, 800, {0, 0, false}},                // nothing to show
    };
    for (const auto& c : cases) {
        plim::display::PictureFit got = plim::display::fitPicture(c.w, c.h, c.extraW, c.extraH, c.workW, c.workH);
        EXPECT_EQ(got.width, c.want.width) << c.w << "x" << c.h << " in " << c.workW << "x" << c.workH;
        EXPECT_EQ(got.height, c.want.height) << c.w << "x" << c.h << " in " << c.workW << "x" << c.workH;
        EXPECT_EQ(got.scaled, c.want.scaled) << c.w << "x" << c.h;
        EXPECT_LE(got.width + (got.scaled ? c.extraW : 0), c.workW);
    }
}

}  // namespace

namespace {

// Full screen: as large as the screen allows, larger or smaller than the video, its shape kept.
TEST(PictureFit, FillingAnAreaKeepsTheShapeWithAnEvenWidth) {
    struct Case {
        int w, h, areaW, areaH;
        plim::display::PictureFit want;
    };
    const Case cases[] = {
        {480, 270, 1600, 1000, {1600, 900, true}},     // wider than the screen's shape: the width fills
        {320, 240, 1920, 1080, {1440, 1080, true}},    // narrower: the height fills
        {853, 480, 1280, 720, {1280, 720, true}},      // a 16:9 DVD on a 16:9 screen (853 -> 1280)
        {1080, 1920, 1920, 1080, {608, 1080, true}},   // portrait: 607.5 rounds to 608, even
        {3840, 2160, 1920, 1080, {1920, 1080, true}},  // smaller
        {641, 360, 641, 360, {640, 360, true}},        // odd, and the area's own width: one narrower
        {640, 360, 0, 360, {640, 360, false}},         // no area: the video's own size
    };
    for (const auto& c : cases) {
        plim::display::PictureFit got = plim::display::fillArea(c.w, c.h, c.areaW, c.areaH);
        EXPECT_EQ(got.width, c.want.width) << c.w << "x" << c.h << " in " << c.areaW << "x" << c.areaH;
        EXPECT_EQ(got.height, c.want.height) << c.w << "x" << c.h << " in " << c.areaW << "x" << c.areaH;
        EXPECT_EQ(got.scaled, c.want.scaled) << c.w << "x" << c.h;
        if (c.areaW > 0) EXPECT_LE(got.width, c.areaW);
        if (c.areaH > 0) EXPECT_LE(got.height, c.areaH);
    }
}

}  // namespace
