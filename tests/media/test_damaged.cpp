// Damaged media through the real service: a deterministic set of damaged variants of the
// test clips (truncations, bit flips, zeroed ranges, damaged headers, damaged MPEG
// timestamps, 4 GiB holes, empty and random files). Each is opened, played to its end under a
// wall-clock cap, sought three times and closed: refused cleanly or played, never a crash, a
// sanitizer report or a hang. A variant of today's files also does what ffmpeg's own decode
// says it can: plays at least nearly the pictures ffmpeg decodes from it, or is refused
// only when ffmpeg gets no picture from it either.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "../ReferenceDecode.h"
#include "../TestSupport.h"
#include "DamagedSet.h"
#include "platform/forms/Handles.h"
#include "platform/mci/MciService.h"

using namespace plim::test;

namespace {

// The pictures ffmpeg decodes from the file's first video stream; 0 when it opens none.
int ffmpegPictures(const std::string& path) {
    return std::atoi(readCommand("ffprobe -v quiet -select_streams v:0 -count_frames -show_entries "
                                 "stream=nb_read_frames -of csv=p=0 '" + path + "' 2>/dev/null")
                         .c_str());
}

// Pictures ffmpeg decodes but the viewer may leave out: a torn picture at a cut, or one whose
// damage the decoder marks and the viewer skips.
int slackFor(int ffmpegCount) { return 2 + ffmpegCount / 10; }

class DamagedMedia : public ::testing::TestWithParam<size_t> {
protected:
    std::shared_ptr<plim::mci::MciService> service = plim::mci::createService();
    uint32_t send(const std::string& cmd, std::string* reply = nullptr) {
        char buf[1024] = {};
        uint32_t e = service->sendString(cmd, buf, sizeof buf, 0);
        if (reply) *reply = buf;
        return e;
    }
    // Handles events until the device's mode is no longer "playing" or the time runs out.
    bool playsToItsEnd(int64_t capMs) {
        QElapsedTimer t;
        t.start();
        std::string mode = "playing";
        while (mode == "playing" && t.elapsed() < capMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            send("status dmg mode", &mode);
        }
        return mode != "playing";
    }
};

// Under the sanitizers everything runs a few times slower than in a release build; the caps
// are generous multiples of the release figures (open within 2 s, close at once).
constexpr int64_t kOpenCapMs = 6000;
constexpr int64_t kCloseCapMs = 2000;
constexpr int64_t kPlayMarginMs = 4000;

TEST_P(DamagedMedia, IsRefusedOrPlaysWithoutCrashOrHang) {
    const Variant v = variants()[GetParam()];
    std::mt19937 rnd(uint32_t(GetParam() * 7919 + 17));
    std::string dir = std::filesystem::temp_directory_path() / ("plim-damaged-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::string path = dir + "/v" + std::to_string(GetParam()) + v.ext;
    std::string what = v.clip + " " + name(v.damage) + " " + std::to_string(v.level);
    ASSERT_TRUE(writeVariant(v, damaged(v, rnd, PLIM_CLIPS_DIR), path)) << what;

    QWidget host;
    QElapsedTimer t;
    t.start();
    uint32_t e = send("open \"" + path + "\" alias dmg style child parent " + std::to_string(plim::forms::handleOf(&host)));
    int64_t openMs = t.elapsed();
    EXPECT_LT(openMs, kOpenCapMs) << what;
    std::printf("[ variant  ] %-40s open %4lld ms: %s\n", what.c_str(), static_cast<long long>(openMs),
                e ? ("refused " + std::to_string(e)).c_str() : "played");
    if (e == 0) {
        std::string len;
        EXPECT_EQ(send("status dmg length", &len), 0u);
        int64_t lengthMs = std::atoll(len.c_str());
        EXPECT_GE(lengthMs, 0);
        send("window dmg state show");  // sound alone has no window: 346
        EXPECT_EQ(send("play dmg"), 0u);
        EXPECT_TRUE(playsToItsEnd(std::min<int64_t>(lengthMs, 10000) + kPlayMarginMs)) << what << " length " << lengthMs;
        // Where the file did not tell its length for sure, it is now the one play found.
        EXPECT_EQ(send("status dmg length", &len), 0u);
        lengthMs = std::atoll(len.c_str());
        if (isToday(v.clip)) {
            int ffmpeg = ffmpegPictures(path);
            std::string frames;
            send("set dmg time format frames");
            EXPECT_EQ(send("status dmg length", &frames), 0u);
            send("set dmg time format milliseconds");
            std::printf("[ pictures ] %-40s %s of ffmpeg's %d\n", what.c_str(), frames.c_str(), ffmpeg);
            EXPECT_GE(std::atoi(frames.c_str()), ffmpeg - slackFor(ffmpeg)) << what << ": plays what decodes";
        }
        for (int64_t to : {lengthMs / 3, 2 * lengthMs / 3, int64_t(0)}) {
            EXPECT_EQ(send("seek dmg to " + std::to_string(to)), 0u) << what;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 30);
        }
        t.restart();
        EXPECT_EQ(send("close dmg"), 0u);
        EXPECT_LT(t.elapsed(), kCloseCapMs) << what;
    } else {
        EXPECT_TRUE(e == 296u || e == 275u || e == 266u) << what << " refused with " << e;
        if (isToday(v.clip)) {
            int ffmpeg = ffmpegPictures(path);
            std::printf("[ pictures ] %-40s refused; ffmpeg decodes %d\n", what.c_str(), ffmpeg);
            EXPECT_EQ(ffmpeg, 0) << what << ": refused, yet ffmpeg decodes pictures from it";
        }
    }
    if (!std::getenv("PLIM_KEEP_VARIANTS")) std::filesystem::remove(path);
}

INSTANTIATE_TEST_SUITE_P(Variants, DamagedMedia, ::testing::Range(size_t(0), variants().size()));

// Damaged pack and PES times that claim eleven hours for 1.6 s of data: play ends once the
// data has been shown and heard, and the length becomes the one found.
TEST_F(DamagedMedia, ALengthFromDamagedTimesEndsWithTheData) {
    std::string path = sharedMedia() + "/../reproducers/roundup_damaged_times.mpg";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no reproducers";
    QWidget host;
    ASSERT_EQ(send("open \"" + path + "\" alias dmg style child parent " + std::to_string(plim::forms::handleOf(&host))), 0u);
    send("window dmg state show");
    ASSERT_EQ(send("play dmg"), 0u);
    EXPECT_TRUE(playsToItsEnd(1600 + kPlayMarginMs));
    std::string len;
    EXPECT_EQ(send("status dmg length", &len), 0u);
    EXPECT_NEAR(std::atof(len.c_str()), 1600.0, 300.0);
    EXPECT_EQ(send("close dmg"), 0u);
}

TEST(DamagedMediaSet, HasAtLeastTwoHundredVariants) { EXPECT_GE(variants().size(), 200u); }

}  // namespace
