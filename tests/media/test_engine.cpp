// The media engine alone (no widgets): opening, lengths, playing to the end, exact seeks,
// damaged files, and storms of control calls from several threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "../TestSupport.h"
#include "Pump.h"
#include "../FrameBgra.h"
#include "../PlayerProbe.h"
#include "platform/engine/input/MediaSource.h"
#include "platform/engine/play/Player.h"
#include "platform/engine/base/TimestampFilter.h"
#include "platform/engine/decode/VideoDecoder.h"

using namespace plim::engine;
using plim::test::clip;
using plim::test::pump;

namespace {

std::unique_ptr<Player> openOk(const std::string& path) {
    std::unique_ptr<Player> p;
    Player::Options o;
    o.audio = false;
    EXPECT_EQ(Player::open(path, p, o), OpenError::None) << path;
    return p;
}

struct Format {
    const char* file;
    int width, height;
    int64_t lengthMs;
    int fps;
};

const Format kFormats[] = {
    {"mjpeg_pcm.avi", 320, 240, 3000, 25},   {"mpeg4_mp3.avi", 320, 240, 3000, 25},
    {"h264.avi", 320, 240, 3000, 25},        {"raw_rgb.avi", 160, 120, 2000, 25},
    {"mpeg1.mpg", 320, 240, 3000, 25},       {"mpeg2_mp2.mpeg", 352, 288, 3000, 25},
    {"odd_321x241.avi", 321, 241, 2000, 25}, {"hd_1080.avi", 1920, 1080, 2000, 30},
};

class FormatTest : public ::testing::TestWithParam<Format> {};

TEST_P(FormatTest, OpensWithLengthAndSize) {
    const Format& f = GetParam();
    auto p = openOk(clip(f.file));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->info().width, f.width);
    EXPECT_EQ(p->info().height, f.height);
    EXPECT_NEAR(double(p->info().lengthUs) / 1000.0, double(f.lengthMs), 1000.0 / f.fps + 1);
    EXPECT_EQ(p->mode(), Mode::Stopped);
    EXPECT_EQ(p->positionUs(), 0);
}

TEST_P(FormatTest, SeekShowsTheExactFrame) {
    const Format& f = GetParam();
    auto p = openOk(clip(f.file));
    ASSERT_TRUE(p);
    int64_t frameUs = 1000000 / f.fps;
    // Four frames in a row far from the key frame: one of each kind a B-frame pyramid has,
    // the ones a seek skips decoding on its way to the target included.
    for (int k : {0, 7, 40, 41, 42, 43, int(f.lengthMs * f.fps / 1000) - 2}) {
        int64_t at = k * frameUs + frameUs / 2;  // the middle of frame k
        p->seek(at);
        VideoFrame shown = pump(*p, [&] { return p->seekSettled(); });
        ASSERT_TRUE(shown.valid()) << f.file << " frame " << k;
        auto ref = plim::test::referenceAt(clip(f.file), at, f.width, f.height);
        ASSERT_FALSE(ref.empty());
        std::vector<uint8_t> bgra = plim::test::bgraOf(shown);
        ASSERT_FALSE(bgra.empty());
        EXPECT_GE(plim::test::psnr(bgra.data(), f.width * 4, ref, f.width, f.height), 45.0)
            << f.file << " frame " << k;
        EXPECT_EQ(p->positionUs(), k * frameUs + frameUs / 2);
    }
}

TEST_P(FormatTest, PlaysToTheEnd) {
    const Format& f = GetParam();
    auto p = openOk(clip(f.file));
    ASSERT_TRUE(p);
    p->seek(p->info().lengthUs - 500000);
    p->play(std::nullopt, std::nullopt);
    EXPECT_EQ(p->mode(), Mode::Playing);
    pump(*p, [&] { return p->mode() != Mode::Playing; });
    EXPECT_EQ(p->mode(), Mode::Stopped);
    EXPECT_EQ(p->positionUs(), p->lengthUs());
    EXPECT_NEAR(double(p->lengthUs()), double(p->info().lengthUs), 41000.0) << "the length found is the one told";
}

INSTANTIATE_TEST_SUITE_P(Clips, FormatTest, ::testing::ValuesIn(kFormats),
                         [](const auto& info) {
                             std::string n = info.param.file;
                             for (char& c : n) if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

TEST(Engine, RefusesWhatItCannotPlay) {
    struct Case {
        const char* file;
        OpenError error;
    } cases[] = {{"does-not-exist.avi", OpenError::FileNotFound}, {"empty.avi", OpenError::InvalidFile},
                 {"notavideo.avi", OpenError::InvalidFile}};
    for (const Case& c : cases) {
        std::unique_ptr<Player> p;
        EXPECT_EQ(Player::open(clip(c.file), p), c.error) << c.file;
        EXPECT_FALSE(p);
    }
    std::unique_ptr<Player> p;
    EXPECT_EQ(Player::open(PLIM_CLIPS_DIR, p), OpenError::InvalidFile);  // a folder
}

TEST(Engine, AudioOnlyFilePlaysWithoutPicture) {
    auto p = openOk(clip("audio_only.avi"));
    ASSERT_TRUE(p);
    EXPECT_FALSE(p->info().hasVideo);
    EXPECT_TRUE(p->info().hasAudio);
    p->seek(p->info().lengthUs - 300000);
    p->play(std::nullopt, std::nullopt);
    pump(*p, [&] { return p->mode() != Mode::Playing; });
    EXPECT_EQ(p->positionUs(), p->info().lengthUs);
}

TEST(Engine, StopKeepsPositionAndPlayContinues) {
    auto p = openOk(clip("mpeg4_mp3.avi"));
    ASSERT_TRUE(p);
    p->play(std::nullopt, std::nullopt);
    pump(*p, [&] { return p->positionUs() > 400000; });
    p->stop();
    int64_t at = p->positionUs();
    EXPECT_GT(at, 300000);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(p->positionUs(), at);
    EXPECT_EQ(p->mode(), Mode::Stopped);
    p->play(std::nullopt, std::nullopt);
    pump(*p, [&] { return p->positionUs() > at + 100000; }, 3000);
    EXPECT_GT(p->positionUs(), at + 100000);
}

TEST(Engine, DamagedFilesNeverCrashOrHang) {
    for (const char* f : {"truncated.avi", "bitflip.avi"}) {
        std::unique_ptr<Player> p;
        Player::Options o;
        o.audio = false;
        if (Player::open(clip(f), p, o) != OpenError::None) continue;  // refused is fine
        p->seek(p->info().lengthUs / 2);
        pump(*p, [&] { return p->seekSettled(); });
        p->seek(0);
        p->play(std::nullopt, std::nullopt);
        pump(*p, [&] { return p->mode() != Mode::Playing; }, 30000);
        EXPECT_EQ(p->mode(), Mode::Stopped) << f;
    }
}

TEST(Engine, SharedMediaPlaysOrIsRefused) {
    if (!plim::test::haveSharedMedia()) GTEST_SKIP() << "no shared media";
    for (const auto& e : std::filesystem::directory_iterator(plim::test::sharedMedia())) {
        std::string ext = e.path().extension().string();
        if (ext != ".avi" && ext != ".mpg") continue;
        std::unique_ptr<Player> p;
        Player::Options o;
        o.audio = false;
        OpenError err = Player::open(e.path().string(), p, o);
        if (err != OpenError::None) {
            EXPECT_TRUE(err == OpenError::InvalidFile || err == OpenError::CannotLoadDriver) << e.path() << " " << int(err);
            continue;
        }
        pump(*p, [&] { return p->seekSettled(); });
        int64_t len = p->info().lengthUs;
        p->seek(std::max<int64_t>(0, len - 800000));
        p->play(std::nullopt, std::nullopt);
        pump(*p, [&] { return p->mode() != Mode::Playing; }, 30000);
        EXPECT_EQ(p->mode(), Mode::Stopped) << e.path();
    }
}

// Also with sound that changes its format mid-stream and sound that ends early.
class Storm : public ::testing::TestWithParam<std::pair<const char*, bool>> {};

TEST_P(Storm, OfControlCallsFromManyThreads) {
    std::unique_ptr<Player> p;
    Player::Options o;
    o.audio = GetParam().second;
    ASSERT_EQ(Player::open(clip(GetParam().first), p, o), OpenError::None);
    std::atomic<bool> stop{false};
    std::thread display([&] {
        while (!stop) {
            p->frameToShow(Player::nowUs());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::vector<std::thread> workers;
    for (int t = 0; t < 3; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < 60; ++i) {
                switch ((i + t) % 5) {
                    case 0: p->play(std::nullopt, std::nullopt); break;
                    case 1: p->seek((i * 137 % 3000) * 1000); break;
                    case 2: p->stop(); break;
                    case 3: p->pause(); p->resume(); break;
                    default: (void)p->positionUs(); (void)p->mode(); break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
    }
    for (auto& w : workers) w.join();
    stop = true;
    display.join();
    p.reset();  // close while the engine may be busy: joins cleanly
}

INSTANTIATE_TEST_SUITE_P(Clips, Storm,
                         ::testing::Values(std::pair{"h264.avi", false}, std::pair{"mp3_stereo_mono.avi", true},
                                           std::pair{"ac3_51_stereo.avi", true}, std::pair{"short_sound.avi", true}));

TEST(Engine, OpenAndCloseRepeatedly) {
    for (int i = 0; i < 20; ++i) {
        auto p = openOk(clip(i % 2 ? "mpeg1.mpg" : "mjpeg_pcm.avi"));
        if (i % 3 == 0) p->play(std::nullopt, std::nullopt);
        if (i % 3 == 1) p->seek(1000000);
    }
}

}  // namespace

// --- sound -----------------------------------------------------------------------------
// SDL's dummy driver plays in real time without a sound card; with no driver at all the
// same tests run silently on the system clock (a second ctest entry).

namespace {

std::unique_ptr<Player> openWithSound(const std::string& path) {
    std::unique_ptr<Player> p;
    EXPECT_EQ(Player::open(path, p), OpenError::None) << path;
    return p;
}

TEST(Sound, ClipsWithAndWithoutSoundPlayToTheirEnd) {
    for (const char* f : {"mjpeg_pcm.avi", "mpeg4_mp3.avi", "mpeg2_mp2.mpeg", "h264.avi", "audio_only.avi", "ac3_51.avi",
                          "aac.avi", "adpcm.avi"}) {
        auto p = openWithSound(clip(f));
        ASSERT_TRUE(p);
        p->seek(p->info().lengthUs - 600000);
        p->play(std::nullopt, std::nullopt);
        EXPECT_EQ(p->mode(), Mode::Playing) << f;
        pump(*p, [&] { return p->mode() != Mode::Playing; }, 10000);
        EXPECT_EQ(p->mode(), Mode::Stopped) << f;
        EXPECT_EQ(p->positionUs(), p->lengthUs()) << f;
        EXPECT_NEAR(double(p->lengthUs()), double(p->info().lengthUs), 41000.0) << f;
    }
}

// The sound track played is the one marked default, else the first, whatever their rates: a
// DVD's first track, not its louder 5.1 second one.
TEST(Sound, TheDefaultTrackElseTheFirstIsPlayed) {
    struct Case {
        const char* file;
        int track;  // the stream index
    } cases[] = {{"dvd_two_tracks.vob", 2}, {"second_default.mkv", 2}, {"mpeg4_mp3.avi", 1}};
    for (const Case& c : cases) {
        std::unique_ptr<MediaSource> src;
        ASSERT_EQ(MediaSource::open(clip(c.file), src), OpenError::None) << c.file;
        EXPECT_EQ(src->audioIndex(), c.track) << c.file;
    }
    auto p = openWithSound(clip("dvd_two_tracks.vob"));
    ASSERT_TRUE(p);
    p->play(std::nullopt, std::nullopt);
    pump(*p, [&] { return p->mode() != Mode::Playing; }, 10000);
    EXPECT_EQ(p->positionUs(), p->lengthUs());
}

// The picture follows the sound: when each frame is shown, the sound heard is at its time.
TEST(Sound, PictureAndSoundStayWithin40msAlsoAfterSeeksAndPauses) {
    auto p = openWithSound(clip("beeps.avi"));
    ASSERT_TRUE(p);
    int64_t worst = 0;
    int measured = 0;
    auto watch = [&](int ms) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until) {
            if (auto f = p->frameToShow(Player::nowUs())) {
                if (auto a = PlayerProbe::soundTimeUs(*p)) {
                    worst = std::max<int64_t>(worst, std::llabs(f->ptsUs - *a));
                    ++measured;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    p->seek(1200000);
    p->play(std::nullopt, std::nullopt);
    watch(700);
    p->pause();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    p->resume();
    watch(500);
    p->seek(500000);
    p->play(std::nullopt, std::nullopt);
    watch(600);
    if (measured == 0) GTEST_SKIP() << "no audio device";
    EXPECT_LE(worst, 40000) << "worst offset over " << measured << " frames";
}

TEST(Sound, StopsAtOnceAndNoStaleSoundAfterASeek) {
    auto p = openWithSound(clip("mjpeg_pcm.avi"));
    ASSERT_TRUE(p);
    p->play(std::nullopt, std::nullopt);
    pump(*p, [&] { return p->positionUs() > 500000; }, 3000);
    if (!PlayerProbe::soundTimeUs(*p)) GTEST_SKIP() << "no audio device";
    p->stop();
    EXPECT_FALSE(PlayerProbe::soundTimeUs(*p).has_value());  // the device plays silence from its next pull on
    p->seek(2000000);
    p->play(std::nullopt, std::nullopt);
    pump(*p, [&] { return PlayerProbe::soundTimeUs(*p).has_value(); }, 3000);
    auto a = PlayerProbe::soundTimeUs(*p);
    ASSERT_TRUE(a.has_value());
    EXPECT_GE(*a, 2000000 - 50000);  // what is heard comes from the new position
    EXPECT_LE(*a, 2000000 + 150000);
}

TEST(Sound, CloseDuringPlaybackJoinsCleanly) {
    for (int i = 0; i < 5; ++i) {
        auto p = openWithSound(clip(i % 2 ? "mpeg4_mp3.avi" : "mpeg2_mp2.mpeg"));
        ASSERT_TRUE(p);
        p->play(std::nullopt, std::nullopt);
        pump(*p, [&] { return p->positionUs() > 100000; }, 2000);
        if (i % 2) p->seek(1000000);
    }
}

// Damaged timestamps: an isolated bad one never moves the clock, a real discontinuity (a
// reset in a joined file) is followed without a leap, and the first time must be plausible.
TEST(Engine, TimestampFilterKeepsTimesContinuous) {
    struct Case {
        const char* what;
        int64_t window;
        std::vector<int64_t> raw, want;
    };
    const int64_t B = INT64_MAX - 5;  // wildly damaged
    const Case cases[] = {
        {"clean", 0, {0, 40, 80, 120}, {0, 40, 80, 120}},
        {"one outlier", 0, {0, 40, 9000000, 120, 160}, {0, 40, 80, 120, 160}},
        {"overflowing outlier", 0, {0, 40, B, 120}, {0, 40, 80, 120}},
        {"reset to zero", 0, {5000000, 5000040, 0, 40, 80}, {5000000, 5000040, 5000080, 5000120, 5000160}},
        {"jump forward", 0, {0, 40, 7000000, 7000040}, {0, 40, 80, 120}},
        {"restart one second back", 0, {1000000, 1000040, 40, 80, 120}, {1000000, 1000040, 1000080, 1000120, 1000160}},
        {"first out of window", 1000000, {-90000000, -89999960, -89999920}, {0, 40, 80}},
        {"first in window", 1000000, {500000, 500040}, {500000, 500040}},
    };
    for (const Case& c : cases) {
        TimestampFilter t;
        t.setWindow(c.window);
        t.reset(0);
        for (size_t i = 0; i < c.raw.size(); ++i) EXPECT_EQ(t.fix(c.raw[i], 40), c.want[i]) << c.what << " #" << i;
    }
    // Within a length the file tells for sure, a consistent jump forward is a gap kept;
    // beyond it, rebased.
    for (int64_t gapEnd : {10000000, 5000000}) {
        TimestampFilter t;
        t.setGapEnd(gapEnd);
        t.reset(0);
        std::vector<int64_t> got;
        for (int64_t us : {0, 40, 7000000, 7000040, 7000080}) got.push_back(t.fix(us, 40));
        EXPECT_EQ(got, gapEnd > 7000080 ? std::vector<int64_t>({0, 40, 80, 7000040, 7000080})
                                        : std::vector<int64_t>({0, 40, 80, 120, 160}));
    }
    // A later part of a joined file: its own times, moved to where it starts, whatever the window.
    TimestampFilter part;
    part.setWindow(1000000);
    part.reset(0, 2000000);
    EXPECT_EQ(part.fix(500000, 40), 2500000);
    EXPECT_EQ(part.fix(500040, 40), 2500040);
    TimestampFilter trusted;  // an index's times: a hold of four seconds is kept whole
    trusted.setTrusted(true);
    trusted.reset(0);
    for (int64_t us : {0, 40, 4000040, 4000080}) EXPECT_EQ(trusted.fix(us, 40), us);
}

// Small and ordinary streams decode on one thread; only streams a single core could fall
// behind on get more, never more than the cores or the cap.
TEST(Engine, DecoderThreadsFollowThePixelRate) {
    struct Case {
        const char* what;
        int w, h;
        int64_t frameDurUs;
        unsigned cores;
        int want;
    };
    const Case cases[] = {
        {"320x240 25 fps", 320, 240, 40000, 8, 1},
        {"1080p30", 1920, 1080, 33333, 2, 1},
        {"1080p30, rate unknown", 1920, 1080, 0, 2, 1},
        {"1080p60", 1920, 1080, 16667, 2, 2},
        {"2160p30 on 2 cores", 3840, 2160, 33333, 2, 2},
        {"2160p30 on 16 cores", 3840, 2160, 33333, 16, kMaxDecoderThreads},
        {"2160p30, cores unknown", 3840, 2160, 33333, 0, 1},
        {"size unknown", 0, 0, 33333, 4, 1},
        {"damaged size", -5, 4000, 33333, 4, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(decoderThreadsFor(c.w, c.h, c.frameDurUs, c.cores), c.want) << c.what;
}

// Sound that pauses or changes its format never holds up the picture: play reaches the end
// in real time, with the sound device or without one. (Sound that ends early:
// PlayParts.SoundEndingBeforeThePicture.)
TEST(Sound, GappySoundStillPlaysToTheEndInRealTime) {
    for (const char* f : {"gap_sound.mpg"}) {
        auto p = openWithSound(clip(f));
        ASSERT_TRUE(p);
        pump(*p, [&] { return p->seekSettled(); });
        auto start = std::chrono::steady_clock::now();
        p->play(std::nullopt, std::nullopt);
        pump(*p, [&] { return p->mode() != Mode::Playing; }, 20000);
        double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(p->mode(), Mode::Stopped) << f;
        EXPECT_NEAR(took, double(p->lengthUs()) / 1e6, 0.5) << f;
        EXPECT_EQ(p->positionUs(), p->lengthUs()) << f;
    }
}

TEST(Sound, FormatChangesMidStreamPlayOnWithTheClock) {
    for (const char* f : {"mp3_stereo_mono.avi", "mp3_rate_change.avi", "ac3_51_stereo.avi", "mp2_stereo_mono.mpg"}) {
        auto p = openWithSound(clip(f));
        ASSERT_TRUE(p);
        p->play(std::nullopt, std::nullopt);
        int64_t heard = -1;  // the latest sound time seen; stays -1 without an audio device
        pump(*p, [&] {
            if (auto a = PlayerProbe::soundTimeUs(*p)) heard = std::max(heard, *a);
            return p->mode() != Mode::Playing;
        });
        EXPECT_EQ(p->mode(), Mode::Stopped) << f;
        EXPECT_EQ(p->positionUs(), p->lengthUs()) << f;
        if (heard >= 0) {
            EXPECT_GT(heard, 1300000) << f << ": the sound after the change is heard";
        }
    }
}

// Files that do not say how long they are play to their real end; the length is refined.
TEST(Engine, UnknownLengthPlaysToTheRealEnd) {
    for (const char* f : {"es_mpeg1.mpg", "mpjpeg.mpg"}) {
        auto p = openOk(clip(f));
        ASSERT_TRUE(p) << f;
        EXPECT_FALSE(p->info().lengthKnown) << f;
        pump(*p, [&] { return p->seekSettled(); });
        p->play(std::nullopt, std::nullopt);
        pump(*p, [&] { return p->mode() != Mode::Playing; }, 15000);
        EXPECT_EQ(p->mode(), Mode::Stopped) << f;
        EXPECT_NEAR(double(p->lengthUs()) / 1e6, 3.0, 0.2) << f;
        EXPECT_EQ(p->positionUs(), p->lengthUs()) << f;
        p->seek(1500000);  // within the length found
        VideoFrame shown = pump(*p, [&] { return p->seekSettled(); });
        EXPECT_TRUE(shown.valid()) << f;
        EXPECT_EQ(p->positionUs(), 1500000) << f;
    }
}

// The frame shown is the reference's picture k: its pixels (45 dB) and its time.
void expectPicture(const plim::test::ReferenceDecode& ref, const VideoFrame& shown, size_t k, const std::string& what) {
    ASSERT_TRUE(shown.valid()) << what;
    std::vector<uint8_t> bgra = plim::test::bgraOf(shown);
    EXPECT_GE(plim::test::psnrColumns(bgra.data(), ref.width * 4, ref.frame(k), ref.width * 4, 0, ref.width, ref.height),
              45.0)
        << what << " to frame " << k;
    EXPECT_NEAR(double(shown.ptsUs), double(ref.timesUs[k]), 2.0) << what << " to frame " << k;
}

// The open shows the file's first picture once, the one decoded while the file was probed:
// decoding it again from the start hands it on neither to a step nor to play.
TEST(Engine, OpenShowsTheFirstPictureOnceAndStepsAndPlayGoOnFromIt) {
    for (const char* f : {"h264_854x480_bf.avi", "mpeg2_mp2.mpeg", "mpeg4_322x240_bf.avi", "hevc10.mkv", "h264_aac.mp4",
                          "phone_rotate90.mp4", "dvd_ntsc_169.mpg"}) {
        SCOPED_TRACE(f);
        auto ref = plim::test::referenceDecode(clip(f));
        ASSERT_GE(ref.frames(), 40u);
        auto p = openOk(clip(f));
        ASSERT_TRUE(p);
        auto expectFrame = [&](const VideoFrame& shown, size_t k) { expectPicture(ref, shown, k, "open or step"); };
        int handed = 0;
        auto count = [&](const VideoFrame&) { ++handed; };
        expectFrame(pump(*p, [&] { return p->seekSettled(); }, count), 0);
        for (size_t k = 1; k <= 3; ++k) {
            p->step(1);
            expectFrame(pump(*p, [&] { return p->seekSettled(); }, count), k);
        }
        EXPECT_EQ(handed, 4) << "one picture for the open and one for each step";
        std::vector<int64_t> played;
        p->play(std::nullopt, ref.timesUs[20]);
        // Every fifth picture played is the reference's for its time, as pictures made whole
        // from their neighbours must be too.
        pump(*p, [&] { return p->mode() != Mode::Playing; }, [&](const VideoFrame& v) {
            if (played.size() % 5 == 0) expectPicture(ref, v, size_t(std::max(0, ref.indexAt(v.ptsUs))), "play");
            played.push_back(v.ptsUs);
        });
        ASSERT_FALSE(played.empty());
        EXPECT_GT(played.front(), ref.timesUs[3]) << "play goes on after the picture shown";
        EXPECT_TRUE(std::is_sorted(played.begin(), played.end()) &&
                    std::adjacent_find(played.begin(), played.end()) == played.end())
            << "no picture shown twice";
    }
}

// Steps show exactly the next and the previous frame, in files with B-frames (where steps
// back come from the pictures a seek kept) and in program streams, and stop at either end.
TEST(Engine, StepsShowExactlyTheNextAndThePreviousFrame) {
    for (const char* f : {"h264.avi", "mpeg2_mp2.mpeg", "mpeg4_322x240_bf.avi", "dvd_ntsc_169.mpg", "dv_ntsc_43.avi"}) {
        SCOPED_TRACE(f);
        auto ref = plim::test::referenceDecode(clip(f));
        ASSERT_GE(ref.frames(), 50u);
        auto p = openOk(clip(f));
        ASSERT_TRUE(p);
        int at = 40;
        auto expectShown = [&](const VideoFrame& shown, int k, const char* what) {
            expectPicture(ref, shown, size_t(k), what);
            // A seek stands where it was asked to, as does a step past the end; a step moves the
            // position to the frame's time.
            std::string w = what;
            if (w != "seek" && w != "at the end") {
                EXPECT_EQ(p->positionUs(), shown.ptsUs) << what;
            }
        };
        VideoFrame shown;
        auto settle = [&] {
            VideoFrame s = pump(*p, [&] { return p->seekSettled(); });
            if (s.valid()) shown = s;
        };
        p->seek(ref.timesUs[size_t(at)] + 1000);
        settle();
        expectShown(shown, at, "seek");
        for (int delta : {1, 1, 1, -1, -1, -1, -1, -1, -1, 1, 1, -1, 3, -4}) {
            p->step(delta);
            settle();
            at += delta;
            expectShown(shown, at, delta > 0 ? "forward" : "back");
        }
        p->seek(0);
        settle();
        p->step(-1);
        settle();
        expectShown(shown, 0, "back from the first frame");
        p->seek(p->lengthUs());
        settle();
        int last = int(ref.frames()) - 1;
        p->step(1);
        settle();
        expectShown(shown, last, "at the end");
        EXPECT_EQ(p->positionUs(), p->lengthUs());
        p->step(-1);
        settle();
        expectShown(shown, last - 1, "back from the last frame");
        p->play(std::nullopt, std::nullopt);
        EXPECT_EQ(p->mode(), Mode::Playing);
        pump(*p, [&] { return p->mode() != Mode::Playing; });
        EXPECT_EQ(p->positionUs(), p->lengthUs()) << "plays on from a kept picture to the end";
    }
}

}  // namespace
