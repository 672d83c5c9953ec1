// The player's parts alone: the presenter, the stepper and the transport built over
// hand-made pieces, with no threads and no clips; the clock is the test's.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

#include "platform/engine/base/DiskWait.h"
#include "platform/engine/play/FramePull.h"
#include "platform/engine/play/PlayPieces.h"
#include "platform/engine/sound/SoundDevice.h"

using namespace plim::engine;

namespace {

constexpr int64_t kMs = 1000;
constexpr int64_t kFrame = 40 * kMs;
constexpr int64_t kT0 = 1000 * kUsPerSecond;  // where the test's clock stands at the start

// A player's pieces and parts as Player::assemble builds them, over a 25 fps video of
// `lengthUs`, after open: generation 1, its first picture due.
struct Parts {
    explicit Parts(int64_t lengthUs, std::unique_ptr<SoundDevice> withSound = nullptr) : sound(std::move(withSound)) {
        showing.state = PlayState(lengthUs, true);
        showing.owed = DisplayOwed(true);
        decoded.ends.readFrom(gens.current(), 0);
        if (sound) sound->flush(gens.current(), 0);
        transport = std::make_unique<Transport>(gens, decoded.fq, showing, sound.get());
        stepper = std::make_unique<Stepper>(kFrame, gens, decoded, showing, *transport);
        presenter = std::make_unique<Presenter>(Presenter::Facts{true, kFrame}, gens, decoded.fq, decoded.ends, showing,
                                                *transport, Presenter::Input{disk, packets}, sound.get());
    }
    // The video thread hands on the picture at ptsUs for the current generation.
    void decode(int64_t ptsUs, bool target = false) {
        ASSERT_LT(decoded.fq.size(), 3u) << "the frame queue would block";
        AVFrame* a = av_frame_alloc();
        VideoFrame f;
        f.picture = std::shared_ptr<const AVFrame>(a, [](const AVFrame* p) {
            AVFrame* q = const_cast<AVFrame*>(p);
            av_frame_free(&q);
        });
        f.gen = gens.current();
        f.ptsUs = ptsUs;
        f.durUs = kFrame;
        f.seekTarget = target;
        decoded.fq.push(std::move(f));
    }
    void videoEnds(int64_t lastEndUs) { decoded.ends.videoEnd(gens.current(), lastEndUs); }
    // The display's pull at the test's time: the time of the picture handed on, or -1.
    int64_t pull(int64_t nowUs) {
        auto f = pullFrameLocked(*presenter, *stepper, showing.owed, nowUs);
        return f ? f->ptsUs : -1;
    }
    void play() {
        if (showing.state.mode() != Mode::Playing) stepper->reseekIfAwayLocked();
        showing.state.play(std::nullopt);
    }
    int64_t position(int64_t nowUs) const { return transport->clockLocked(nowUs); }

    Generations gens;
    Decoded decoded;
    Showing showing;
    DiskWait disk;
    PacketQueue packets{0, 0};
    std::unique_ptr<SoundDevice> sound;
    std::unique_ptr<Transport> transport;
    std::unique_ptr<Stepper> stepper;
    std::unique_ptr<Presenter> presenter;
};

// Opened with its first picture shown and the next decoded, then playing from the test's
// time kT0.
void openAndPlay(Parts& p) {
    p.decode(0, true);
    p.decode(40 * kMs);
    ASSERT_EQ(p.pull(kT0), 0);
    p.play();
    ASSERT_EQ(p.pull(kT0), -1);  // the clock starts: nothing new is due yet
    ASSERT_TRUE(p.showing.state.clockRuns());
}

}  // namespace

// While the clock runs, each pull hands on the latest picture due; the ones it passes are
// dropped, never shown late; nothing is handed on before its time.
TEST(PlayParts, DueAndLateFramesAndDrops) {
    struct Pull {
        std::vector<int64_t> decodedMs;  // pictures arriving before the pull
        int64_t atMs;                    // the pull, after play began
        int64_t shownMs;                 // -1: nothing handed on
        uint64_t dropped;                // so far
    };
    const Pull pulls[] = {
        {{80}, 20, -1, 0},       // not yet due
        {{}, 40, 40, 0},         // due exactly
        {{}, 79, -1, 0},         //
        {{120, 160}, 170, 160, 2},  // 80 and 120 passed: dropped
        {{200}, 199, -1, 2},
        {{}, 260, 200, 2},       // late, but the latest due: shown
    };
    Parts p(10 * kUsPerSecond);
    openAndPlay(p);
    for (const Pull& s : pulls) {
        for (int64_t ms : s.decodedMs) p.decode(ms * kMs);
        EXPECT_EQ(p.pull(kT0 + s.atMs * kMs), s.shownMs < 0 ? -1 : s.shownMs * kMs) << "pull at " << s.atMs;
        EXPECT_EQ(p.showing.dropped, s.dropped) << "pull at " << s.atMs;
    }
}

// Forward steps take decoded pictures one each; past the last picture the steps still
// waiting are let go and the last picture stays, its time the position.
TEST(PlayParts, StepsAtTheEnd) {
    struct Step {
        int frames;
        std::vector<int64_t> decodedMs;
        int64_t shownMs;  // the picture the step's pulls end on (-1: none)
        int64_t positionMs;
        bool owes;        // a step still waits for a picture
    };
    const Step steps[] = {
        {1, {}, -1, 0, true},          // nothing decoded yet: the step waits
        {0, {40}, 40, 40, false},      // it comes
        {5, {80}, 80, 80, true},       // one of five
        {0, {}, -1, 80, true},         // the stream goes on: they wait
    };
    Parts p(120 * kMs);
    p.decode(0, true);
    ASSERT_EQ(p.pull(kT0), 0);
    for (const Step& s : steps) {
        if (s.frames) p.stepper->stepLocked(s.frames);
        for (int64_t ms : s.decodedMs) p.decode(ms * kMs);
        EXPECT_EQ(p.pull(kT0), s.shownMs < 0 ? -1 : s.shownMs * kMs);
        EXPECT_EQ(p.position(kT0), s.positionMs * kMs);
        EXPECT_EQ(p.showing.owed.stepsAhead() > 0, s.owes);
    }
    p.videoEnds(120 * kMs);  // no picture after 80
    EXPECT_EQ(p.pull(kT0), -1);
    EXPECT_EQ(p.showing.owed.stepsAhead(), 0);
    EXPECT_FALSE(p.showing.owed.outstanding());
    EXPECT_EQ(p.position(kT0), 80 * kMs);
    EXPECT_EQ(p.showing.owed.shownPtsUs(), 80 * kMs);
}

// A seek while steps wait: they are forgotten, the pictures decoded for the old place are
// dropped (queued or still to come), and nothing is shown until the seek's picture.
TEST(PlayParts, ASeekDuringAStep) {
    Parts p(10 * kUsPerSecond);
    p.decode(0, true);
    ASSERT_EQ(p.pull(kT0), 0);
    p.stepper->stepLocked(2);
    p.decode(40 * kMs);
    const uint64_t before = p.gens.current();
    p.transport->seekLocked(400 * kMs);
    EXPECT_GT(p.gens.current(), before);
    EXPECT_EQ(p.decoded.fq.size(), 0u);
    EXPECT_EQ(p.showing.owed.stepsAhead(), 0);
    SeekRequest asked;
    ASSERT_TRUE(p.gens.takeRequest(asked));
    EXPECT_EQ(asked.targetUs, 400 * kMs);
    EXPECT_FALSE(asked.continuesOpen);
    // A picture of the old generation, still on its way, is refused.
    VideoFrame stale;
    stale.gen = before;
    stale.ptsUs = 80 * kMs;
    EXPECT_FALSE(p.decoded.fq.push(stale));
    EXPECT_EQ(p.pull(kT0), -1);
    EXPECT_TRUE(p.showing.owed.targetDue());
    p.decode(360 * kMs);  // decoded on the way to the target
    EXPECT_EQ(p.pull(kT0), -1);
    p.decoded.fq.tryPop();
    p.decode(400 * kMs, true);
    EXPECT_EQ(p.pull(kT0), 400 * kMs);
    EXPECT_FALSE(p.showing.owed.outstanding());
    EXPECT_EQ(p.position(kT0), 400 * kMs);
}

// The clock is held only while the reader waits for the disk and what is due is not there;
// packets waiting for the decoder, or a short wait, hold nothing.
TEST(PlayParts, TheDiskWaitingWithNothingToShowHoldsTheClock) {
    struct Case {
        int64_t diskWaitMs;  // how long the read in progress has waited (0: none waits)
        bool packetsQueued;
        bool held;
    };
    const Case cases[] = {
        {0, false, false},
        {20, false, false},   // a wait shorter than the hold's threshold
        {100, true, false},   // the decoder has work: the picture is on its way
        {100, false, true},
    };
    for (const Case& c : cases) {
        Parts p(10 * kUsPerSecond);
        openAndPlay(p);
        const int64_t at = kT0 + 100 * kMs;  // the picture after 40 is due and missing
        if (c.diskWaitMs) p.disk.begin(at - c.diskWaitMs * kMs);
        if (c.packetsQueued) p.packets.push(PacketItem{p.gens.current(), InputEnd{}});
        EXPECT_EQ(p.pull(at), 40 * kMs);
        bool held = p.showing.state.wait() == PlayState::Wait::Data;
        EXPECT_EQ(held, c.held) << "disk waited " << c.diskWaitMs << " ms, packets " << c.packetsQueued;
        if (!held) continue;
        // Held where it stood: later pulls while the disk still waits move nothing.
        EXPECT_EQ(p.position(at + 500 * kMs), 100 * kMs);
        EXPECT_EQ(p.pull(at + 500 * kMs), -1);
        EXPECT_EQ(p.position(at + 500 * kMs), 100 * kMs);
        // The data comes: the clock goes on from there, and nothing was dropped.
        p.disk.end(at + 600 * kMs);
        p.decode(80 * kMs);
        p.decode(120 * kMs);
        EXPECT_EQ(p.pull(at + 600 * kMs), 80 * kMs);  // the clock restarts at 100 ms
        EXPECT_EQ(p.pull(at + 620 * kMs), 120 * kMs);
        EXPECT_EQ(p.showing.dropped, 0u);
    }
}

// Sound that ends before the pictures: the clock goes on on its own, and play ends where
// the pictures end, not where the sound did.
TEST(PlayParts, SoundEndingBeforeThePicture) {
    auto sound = SoundDevice::openUnplayed(SoundFormat{48000, 2});
    ASSERT_TRUE(sound);
    SoundDevice* dev = sound.get();
    Parts p(240 * kMs, std::move(sound));
    dev->add(p.gens.current(), SoundChunk{0, std::vector<uint8_t>(48000 / 10 * 4)});  // 100 ms
    dev->endOfStream(p.gens.current());
    openAndPlay(p);
    std::vector<uint8_t> out(48000 / 10 * 4 + 4096);
    dev->fill(out.data(), int(out.size()));  // heard to its end
    ASSERT_TRUE(dev->drained(p.gens.current()));
    // The wall clock took over from the sound at most a device buffer (21 ms) behind.
    p.decode(120 * kMs);
    p.decode(160 * kMs);
    EXPECT_EQ(p.pull(kT0 + 190 * kMs), 160 * kMs);  // past the sound's end, 100 ms
    EXPECT_EQ(p.showing.state.mode(), Mode::Playing);
    p.decode(200 * kMs);
    p.videoEnds(240 * kMs);
    EXPECT_EQ(p.pull(kT0 + 230 * kMs), 200 * kMs);
    EXPECT_EQ(p.showing.state.mode(), Mode::Playing);
    p.pull(kT0 + 300 * kMs);
    EXPECT_NE(p.showing.state.mode(), Mode::Playing);
    EXPECT_EQ(p.position(kT0 + 400 * kMs), 240 * kMs);
}
