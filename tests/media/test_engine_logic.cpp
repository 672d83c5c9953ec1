// The engine's pure logic, without threads, sleeps or files: the play state, what the display
// owes, the step cache's walk, a joined file's arithmetic and the read deadline. Built with
// assertions on, so every transition's preconditions are checked as the tables run.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <cerrno>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

#include "platform/engine/base/Aspect.h"
#include "platform/engine/base/FreshPages.h"
#include "platform/engine/base/LockOrder.h"
#include "platform/engine/input/Deadline.h"
#include "platform/engine/input/JoinMap.h"
#include "platform/engine/play/DisplayOwed.h"
#include "platform/engine/play/PlayState.h"
#include "platform/engine/play/StepCache.h"
#include "platform/engine/sound/SoundGain.h"

using namespace plim::engine;

namespace {

constexpr int64_t kSec = kUsPerSecond;

// A picture at ptsUs whose buffers hold `bytes` bytes (none: no buffer at all).
VideoFrame frameAt(int64_t ptsUs, int bytes = 0) {
    VideoFrame f;
    f.ptsUs = ptsUs;
    AVFrame* a = av_frame_alloc();
    if (bytes > 0) {
        a->format = AV_PIX_FMT_GRAY8;
        a->width = bytes;
        a->height = 1;
        av_frame_get_buffer(a, 1);
    }
    f.picture = std::shared_ptr<const AVFrame>(a, [](const AVFrame* p) {
        AVFrame* q = const_cast<AVFrame*>(p);
        av_frame_free(&q);
    });
    return f;
}

TEST(PlayState, ClockPositionAndEnd) {
    PlayState s(10 * kSec, true);
    EXPECT_EQ(s.mode(), Mode::Stopped);
    EXPECT_EQ(s.endUs(), 10 * kSec);
    s.play(std::nullopt);
    EXPECT_EQ(s.wait(), PlayState::Wait::FirstFrame);
    EXPECT_FALSE(s.clockRuns());
    EXPECT_EQ(s.positionAt(5 * kSec, std::nullopt), 0);  // waiting: the clock stands
    s.startClock(1000);
    struct Case {
        int64_t now;
        std::optional<int64_t> sound;
        int64_t want;
    } cases[] = {
        {1000 + kSec / 2, std::nullopt, kSec / 2},  // the wall clock
        {1000 + kSec / 2, 300000, 300000},          // the sound is the master clock
        {1000 + 20 * kSec, std::nullopt, 10 * kSec},  // never past the end
        {1000 + kSec, -5, 0},                          // nor before the start
    };
    for (const Case& c : cases) EXPECT_EQ(s.positionAt(c.now, c.sound), c.want) << c.now;
    s.followSound(2 * kSec, 5000);  // the wall clock goes on from the sound
    EXPECT_EQ(s.positionAt(5000 + kSec, std::nullopt), 3 * kSec);
    s.stopAt(s.positionAt(5000 + kSec, std::nullopt), Mode::Paused);
    EXPECT_EQ(s.mode(), Mode::Paused);
    EXPECT_EQ(s.positionAt(99 * kSec, std::nullopt), 3 * kSec);
    s.resume();
    EXPECT_EQ(s.endUs(), 10 * kSec);  // resume keeps the end asked for
}

TEST(PlayState, SeeksStayWithinTheMedia) {
    struct Case {
        int64_t length;
        bool known;
        int64_t seek, want;
    } cases[] = {
        {10 * kSec, true, -5, 0},
        {10 * kSec, true, 4 * kSec, 4 * kSec},
        {10 * kSec, true, 20 * kSec, 10 * kSec},
        {10 * kSec, false, 20 * kSec, 20 * kSec},  // an estimate does not bound a seek
    };
    for (const Case& c : cases) {
        PlayState s(c.length, c.known);
        EXPECT_EQ(s.seekTo(c.seek), c.want) << c.seek;
        EXPECT_EQ(s.positionUs(), c.want);
    }
}

TEST(PlayState, AnUnknownLengthIsFoundAtTheEnd) {
    PlayState s(8 * kSec, false);
    EXPECT_EQ(s.lengthUs(2 * kSec), 8 * kSec);   // the estimate...
    EXPECT_EQ(s.lengthUs(9 * kSec), 9 * kSec);   // ...never behind the position
    s.play(std::nullopt);
    EXPECT_EQ(s.endUs(), PlayState::kNoEndUs);
    s.startClock(0);
    s.finish(12 * kSec);
    EXPECT_EQ(s.mode(), Mode::Stopped);
    EXPECT_EQ(s.lengthUs(0), 12 * kSec);
    EXPECT_EQ(s.positionUs(), 12 * kSec);
    PlayState part(8 * kSec, false);  // play to a given end finds no length
    part.play(3 * kSec);
    part.startClock(0);
    part.finish(3 * kSec);
    EXPECT_FALSE(part.lengthSettled());
}

TEST(PlayState, WaitsCountFromWhenSeenAndQueriesChangeNothing) {
    PlayState s(10 * kSec, true);
    s.play(std::nullopt);
    EXPECT_EQ(s.waitedUs(5000), 0);
    EXPECT_EQ(s.waitedUs(9000), 0);  // asking does not start the count
    s.waitSeen(1000);
    s.waitSeen(3000);  // only the first sighting counts
    EXPECT_EQ(s.waitedUs(1500), 500);
    s.waitFrom(2000);
    EXPECT_EQ(s.waitedUs(2600), 600);
    s.startClock(3000);
    s.holdForData(kSec, 4000);
    EXPECT_EQ(s.wait(), PlayState::Wait::Data);
    EXPECT_EQ(s.positionAt(9 * kSec, std::nullopt), kSec);
    EXPECT_EQ(s.waitedUs(4500), 500);
}

TEST(DisplayOwed, SeeksStepsAndKeptPictures) {
    EXPECT_FALSE(DisplayOwed(false).outstanding());  // sound alone owes no picture
    DisplayOwed o(true);
    EXPECT_TRUE(o.targetDue());
    EXPECT_EQ(o.stepOriginUs(), -1);
    EXPECT_FALSE(o.targetShown());  // the open's picture is no step's
    o.shown(80000);
    EXPECT_FALSE(o.outstanding());
    EXPECT_EQ(o.stepOriginUs(), 80000);
    o.stepForward(2);
    EXPECT_TRUE(o.outstanding());
    o.stepShown();
    o.stepShown();
    EXPECT_FALSE(o.outstanding());
    o.stepForward(3);
    o.stepsEnded();
    EXPECT_EQ(o.stepsAhead(), 0);
    o.keep(frameAt(40000));
    EXPECT_TRUE(o.away());
    EXPECT_EQ(o.stepOriginUs(), 40000);
    EXPECT_EQ(o.keptOriginUs(), 40000);
    ASSERT_TRUE(o.takeKept());
    EXPECT_FALSE(o.takeKept());
    EXPECT_EQ(o.keptOriginUs(), 80000);  // not shown yet as far as it knows
    o.seek(true);  // a step back's seek
    EXPECT_FALSE(o.away());
    EXPECT_TRUE(o.targetDue());
    EXPECT_TRUE(o.targetShown());
}

TEST(StepCache, WalksWithinTheRun) {
    StepCache c(1 << 20);
    for (int64_t t : {0, 40, 80, 120, 160}) c.add(frameAt(t));
    c.add(frameAt(100));  // not later than the last: not part of the run
    struct Case {
        int64_t from;
        int frames;
        std::optional<int64_t> to;
        int left;
    } cases[] = {
        {80, 1, 120, 0},  {80, 5, 160, 3},  {80, -1, 40, 0},      {80, -3, 0, -1},
        {0, -1, {}, -1},  {160, 2, {}, 2},  {999, 1, {}, 1},      {100, -1, {}, -1},
    };
    for (const Case& k : cases) {
        int frames = k.frames;
        auto got = c.walk(k.from, frames);
        EXPECT_EQ(got ? std::optional<int64_t>(got->ptsUs) : std::nullopt, k.to) << k.from << " " << k.frames;
        EXPECT_EQ(frames, k.left) << k.from << " " << k.frames;
    }
}

TEST(StepCache, TheEarliestPicturesGoAtTheBound) {
    StepCache c(3 * frameAt(0, 1000).bytes());  // three pictures
    for (int64_t t : {0, 40, 80, 120}) c.add(frameAt(t, 1000));
    int back = -5;
    auto first = c.walk(120, back);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->ptsUs, 40);  // 0 went when 120 came
    c.begin();
    int fwd = 1;
    EXPECT_FALSE(c.walk(40, fwd));
}

TEST(JoinMap, PartsFollowEachOtherWithoutAGap) {
    // Two parts whose clocks both start at 1 s; the first ends at 3 s, the second at 3.4 s.
    JoinMap none;
    EXPECT_EQ(none.lengthUs(kSec, 3 * kSec), 2 * kSec);
    JoinMap m({JoinMap::Join{.pos = 1000, .startUs = kSec, .prevEndUs = 3 * kSec}});
    const int64_t origin = kSec;
    EXPECT_EQ(m.partStartUs(0, origin), 0);
    EXPECT_EQ(m.partStartUs(1, origin), 2 * kSec);
    EXPECT_EQ(m.lengthUs(origin, 3400000), 4400000);
    struct Case {
        int64_t us;
        size_t part;
        int64_t offset;
    } cases[] = {{0, 0, 0}, {1999999, 0, 0}, {2 * kSec, 1, 2 * kSec}, {4 * kSec, 1, 2 * kSec}};
    for (const Case& c : cases) {
        size_t part = m.partAt(c.us, origin);
        EXPECT_EQ(part, c.part) << c.us;
        EXPECT_EQ(m.offsetUs(part, origin), c.offset) << c.us;
    }
    JoinMap::Span s0 = m.span(0, origin, 5000, 3400000), s1 = m.span(1, origin, 5000, 3400000);
    EXPECT_EQ(std::vector<int64_t>({s0.pos, s0.endPos, s0.startUs, s0.endUs}), std::vector<int64_t>({0, 1000, kSec, 3 * kSec}));
    EXPECT_EQ(std::vector<int64_t>({s1.pos, s1.endPos, s1.startUs, s1.endUs}), std::vector<int64_t>({1000, 5000, kSec, 3400000}));
}

TEST(Deadline, WaitsForTheDiskAreGivenBack) {
    struct Case {
        bool forgive;
        int64_t waitUs;      // one read that waited this long, ending at 1000 + waitUs
        int64_t deadlineUs;  // where the deadline then stands
    } cases[] = {
        {true, 10000, 1000 + kSec},                     // a quick read is work
        {true, 200000, 1000 + kSec + 200000},           // a wait is given back
        {true, 30 * kSec, 1000 + kSec + kMaxDiskWaitUs},  // up to a limit
        {false, 200000, 1000 + kSec},                   // a budget of wall time gives nothing back
    };
    for (const Case& c : cases) {
        Deadline d;
        d.arm(kSec, c.forgive, 1000);
        d.beginWait(1000);
        EXPECT_EQ(d.waitingUs(1000 + c.waitUs / 2), c.waitUs / 2);
        d.endWait(1000 + c.waitUs);
        EXPECT_EQ(d.waitingUs(1000 + c.waitUs), 0);
        EXPECT_FALSE(d.passed(c.deadlineUs)) << c.waitUs;
        EXPECT_TRUE(d.passed(c.deadlineUs + 1)) << c.waitUs;
    }
    Deadline d;
    EXPECT_FALSE(d.passed(INT64_MAX / 2));  // never armed
    d.arm(10, true, 0);
    d.disarm();
    EXPECT_FALSE(d.passed(100));
    d.interrupt();
    EXPECT_TRUE(d.passed(0));
}

// A read still waiting for the disk is given up only where the deadline, with the wait given
// back as it would be on return, has passed; or on an interrupt.
TEST(Deadline, AReadStillWaitingIsGivenUpOnlyPastTheDeadlineItWouldHave) {
    struct Case {
        const char* what;
        bool armed, forgive;
        int64_t waitingUs;  // the read in progress has waited this long, until now
        int64_t nowUs;
        bool givesUp;
    } cases[] = {
        {"disarmed, waiting an hour", false, true, 3600 * kSec, 3600 * kSec, false},
        {"not waiting, within the budget", true, true, 0, kSec / 2, false},
        {"not waiting, past the budget", true, true, 0, kSec + 1, true},
        {"a 3 s wait is given back", true, true, 3 * kSec, 3 * kSec, false},
        {"a wait beyond the limit is not", true, true, kSec + kMaxDiskWaitUs + 1, kSec + kMaxDiskWaitUs + 1, true},
        {"a budget of wall time gives nothing back", true, false, 2 * kSec, 2 * kSec, true},
    };
    for (const Case& c : cases) {
        Deadline d;
        const int64_t t0 = 1000;  // the clock's zero is "no wait in progress"
        if (c.armed) d.arm(kSec, c.forgive, t0);
        if (c.waitingUs > 0) d.beginWait(t0 + c.nowUs - c.waitingUs);
        EXPECT_EQ(d.givesUpWaiting(t0 + c.nowUs), c.givesUp) << c.what;
        d.interrupt();
        EXPECT_TRUE(d.givesUpWaiting(t0 + c.nowUs)) << c.what << ", interrupted";
    }
}

// The lock order is checked where it is compiled in (debug and sanitizer builds): a player's
// lock before one structure's, never the other way round, never two structures' at once.
TEST(LockOrder, OnlyThePlayersLockThenOneStructuresLock) {
#ifndef PLIM_CHECK_LOCK_ORDER
    GTEST_SKIP() << "the lock order is checked in debug and sanitizer builds";
#else
    PlayerMutex player, other;
    StructureMutex queue, cache;
    {
        std::lock_guard<PlayerMutex> a(player);
        std::lock_guard<StructureMutex> b(queue);
    }
    {
        std::lock_guard<StructureMutex> b(queue);  // alone, as the threads take them
    }
    ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
    struct Wrong {
        const char* what;
        void (*take)(PlayerMutex&, PlayerMutex&, StructureMutex&, StructureMutex&);
    };
    const Wrong wrong[] = {
        {"a player's lock taken while holding a structure's",
         [](PlayerMutex& p, PlayerMutex&, StructureMutex& q, StructureMutex&) {
             std::lock_guard<StructureMutex> b(q);
             std::lock_guard<PlayerMutex> a(p);
         }},
        {"two structure locks held",
         [](PlayerMutex&, PlayerMutex&, StructureMutex& q, StructureMutex& c) {
             std::lock_guard<StructureMutex> b(q);
             std::lock_guard<StructureMutex> d(c);
         }},
        {"two players' locks held",
         [](PlayerMutex& p, PlayerMutex& o, StructureMutex&, StructureMutex&) {
             std::lock_guard<PlayerMutex> a(p);
             std::lock_guard<PlayerMutex> b(o);
         }},
    };
    for (const auto& w : wrong) EXPECT_DEATH(w.take(player, other, queue, cache), w.what);
#endif
}

}  // namespace

// Camcorder and DVD pictures widen or narrow to their display aspect, height kept; square
// pixels, no ratio and ratios from damaged headers leave the width alone.
TEST(Aspect, DisplayWidthKeepsTheHeightAndRefusesAbsurdRatios) {
    struct Case {
        int width;
        SampleAspect sar;
        int want;
    } cases[] = {
        {720, {32, 27}, 853},   // NTSC DVD 16:9
        {720, {8, 9}, 640},     // NTSC DV 4:3
        {720, {64, 45}, 1024},  // PAL DV 16:9
        {720, {16, 15}, 768},   // PAL DVD 4:3
        {1440, {4, 3}, 1920},   // HDV
        {704, {10, 11}, 640},   // NTSC DV, rounded
        {320, {1, 1}, 320},     {320, {0, 0}, 320},    {320, {0, 1}, 320}, {320, {-4, 3}, 320},
        {320, {4, -3}, 320},    {320, {100, 1}, 320},  {320, {1, 100}, 320},
        {8192, {4, 1}, 16384},  {0, {32, 27}, 0},      {1, {1, 4}, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(displayWidthFor(c.width, c.sar), c.want) << c.width << " at " << c.sar.num << ":" << c.sar.den;
}

// The whole pages of a writable range are made present, and no page outside it; memory
// that cannot be written, or a range holding no whole page, is left as it was.
TEST(FreshPages, OnlyTheWholePagesOfWritableMemoryAreMadePresent) {
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    constexpr size_t kPages = 8;
    struct Case {
        const char* name;
        int prot;
        size_t offset, bytes;  // of the range asked for, from the mapping's start
        bool made;
        size_t first, last;  // the pages present afterwards, [first, last)
    };
    const Case cases[] = {
        {"whole mapping", PROT_READ | PROT_WRITE, 0, kPages * page, true, 0, kPages},
        {"unaligned ends", PROT_READ | PROT_WRITE, page / 2, 4 * page, true, 1, 4},
        {"less than a page", PROT_READ | PROT_WRITE, 1, page, false, 0, 0},
        {"read-only", PROT_READ, 0, kPages * page, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        void* m = mmap(nullptr, kPages * page, c.prot, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(m, MAP_FAILED);
        auto* base = static_cast<uint8_t*>(m);
        bool made = plim::engine::makePagesPresent(base + c.offset, c.bytes);
        if (c.made && !made && errno == EINVAL) {
            munmap(m, kPages * page);
            GTEST_SKIP() << "the kernel cannot make pages present in one call (Linux 5.14)";
        }
        EXPECT_EQ(made, c.made);
        std::vector<unsigned char> present(kPages);
        ASSERT_EQ(mincore(m, kPages * page, present.data()), 0);
        for (size_t i = 0; i < kPages; ++i) EXPECT_EQ(present[i] & 1, i >= c.first && i < c.last ? 1 : 0) << "page " << i;
        munmap(m, kPages * page);
    }
    EXPECT_FALSE(plim::engine::makePagesPresent(nullptr, 4 * page));
}

namespace {

// The sound level as heard: samples scaled on their way to the device, a change reached
// over a ramp of a few milliseconds (never a jump, which clicks), and at once after silence.
TEST(SoundGain, ScalesTheSamplesAndRampsEachChange) {
    constexpr int kRate = 48000, kRamp = 240;  // 5 ms at 48 kHz
    struct Case {
        const char* what;
        double level;
        bool settle;
        int16_t in;
        int16_t firstOut, lastOut;  // the first frame, and every frame past the ramp
    } cases[] = {
        {"full: untouched", 1.0, false, 12345, 12345, 12345},
        {"half, ramped down", 0.5, false, 20000, 19917, 10000},
        {"silence, ramped down", 0.0, false, -20000, -19917, 0},
        {"half after silence: at once", 0.5, true, 20000, 10000, 10000},
        {"past full: clamped to full", 3.0, false, -32768, -32768, -32768},
        {"below silence: clamped to none", -1.0, true, 32767, 0, 0},
    };
    for (const auto& c : cases) {
        plim::engine::SoundGain gain(kRate);
        gain.setLevel(c.level);
        if (c.settle) gain.settle();
        std::vector<int16_t> stereo(2 * 2 * kRamp, c.in);
        gain.apply(stereo.data(), 2 * kRamp, 2);
        EXPECT_EQ(stereo[0], c.firstOut) << c.what;
        EXPECT_EQ(stereo[1], c.firstOut) << c.what << ": both channels alike";
        EXPECT_EQ(stereo.back(), c.lastOut) << c.what;
        for (size_t i = 2; i < stereo.size(); i += 2)
            ASSERT_LE(std::abs(stereo[i] - stereo[i - 2]), std::abs(int(c.in)) / (kRamp - 1) + 1) << c.what << ": no jump";
    }
}

// A level set while the device pulls is reached over the next ramp, wherever it starts.
TEST(SoundGain, AChangeMidwayStartsFromWhereTheGainIs) {
    plim::engine::SoundGain gain(48000);
    std::vector<int16_t> block(100, 10000);
    gain.setLevel(0.0);
    gain.apply(block.data(), 100, 1);  // 100 of the 240 frames down
    EXPECT_NEAR(block.back(), 10000 * (1.0 - 100.0 / 240), 50);
    gain.setLevel(1.0);
    std::fill(block.begin(), block.end(), 10000);
    gain.apply(block.data(), 100, 1);
    EXPECT_NEAR(block.front(), 10000 * (1.0 - 99.0 / 240), 50) << "back up from there, not from full or silence";
    EXPECT_EQ(block.back(), 10000);
}

}  // namespace
