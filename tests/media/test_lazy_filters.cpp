// libavfilter is loaded only by a picture that needs a filter: files of upright SDR pictures
// with square pixels play, seek and step without it ever being mapped into the process;
// a turned phone clip and an HDR clip load it and are shown right. Without the plug-in, they
// play as decoded. Each case runs in a process of its own (see tests/CMakeLists.txt).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "../TestSupport.h"
#include "Pump.h"
#include "../FrameBgra.h"
#include "platform/engine/play/Player.h"

using namespace plim::engine;
using plim::test::clip;
using plim::test::pump;

namespace {

bool libavfilterMapped() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find("libavfilter.so") != std::string::npos) return true;
    return false;
}

// Opens the clip, shows its first picture, plays a little, seeks and steps both ways;
// returns the first picture shown.
VideoFrame exercise(const std::string& name) {
    std::unique_ptr<Player> p;
    Player::Options o;
    o.audio = false;
    EXPECT_EQ(Player::open(clip(name), p, o), OpenError::None) << name;
    if (!p) return {};
    VideoFrame first = pump(*p, [&] { return p->seekSettled(); });
    p->play(std::nullopt, 300000);
    pump(*p, [&] { return p->mode() != Mode::Playing; });
    p->seek(p->info().lengthUs / 2);
    pump(*p, [&] { return p->seekSettled(); });
    for (int frames : {1, -1}) {
        p->step(frames);
        pump(*p, [&] { return p->seekSettled(); });
    }
    return first;
}

bool pluginForcedAway() {
    const char* forced = std::getenv("PLIM_FILTERS_PLUGIN");
    return forced && *forced;
}

TEST(LazyFilters, OnlyPicturesThatNeedAFilterLoadLibavfilter) {
    if (pluginForcedAway()) GTEST_SKIP() << "run without PLIM_FILTERS_PLUGIN";
    ASSERT_FALSE(libavfilterMapped()) << "the program itself must not link libavfilter";
    for (const char* plain : {"mjpeg_pcm.avi", "mpeg2_mp2.mpeg", "h264_aac.mp4", "hevc10.mkv"}) {
        EXPECT_TRUE(exercise(plain).valid()) << plain;
        EXPECT_FALSE(libavfilterMapped()) << plain << " needs no filter and must not load one";
    }
    // Turned: the picture stands upright, as ffmpeg's own decode turns it.
    auto ref = plim::test::referenceDecode(clip("phone_rotate90.mp4"));
    VideoFrame turned = exercise("phone_rotate90.mp4");
    ASSERT_TRUE(turned.valid());
    EXPECT_TRUE(libavfilterMapped()) << "a turned picture loads the filters";
    ASSERT_EQ(turned.width, ref.width);
    ASSERT_EQ(turned.height, ref.height);
    std::vector<uint8_t> bgra = plim::test::bgraOf(turned);
    EXPECT_GE(plim::test::psnrColumns(bgra.data(), ref.width * 4, ref.frame(0), ref.width * 4, 0, ref.width, ref.height),
              45.0);
    // HDR: mapped to 8-bit RGB for an SDR screen.
    VideoFrame hdr = exercise("hdr_pq.mkv");
    ASSERT_TRUE(hdr.valid());
    EXPECT_EQ(hdr.picture->format, AV_PIX_FMT_GBRP) << "PQ pictures are tone-mapped";
}

// The plug-in missing (a broken install): turned and HDR pictures play as decoded.
TEST(LazyFilters, WithoutThePluginPicturesAreShownAsDecoded) {
    if (!pluginForcedAway()) GTEST_SKIP() << "run with PLIM_FILTERS_PLUGIN naming no plug-in";
    for (const char* name : {"phone_rotate90.mp4", "hdr_pq.mkv"}) {
        VideoFrame f = exercise(name);
        ASSERT_TRUE(f.valid()) << name;
        EXPECT_NE(f.picture->format, AV_PIX_FMT_GBRP) << name;
    }
    VideoFrame stored = exercise("phone_rotate90.mp4");
    EXPECT_EQ(stored.width, 320) << "shown as stored, on its side";
    EXPECT_FALSE(libavfilterMapped());
}

}  // namespace
