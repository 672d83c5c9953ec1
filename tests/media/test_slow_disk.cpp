// A disk that pauses (spinning up, a network share that stalls) is slow, not damaged: a read
// that waits 3 s during open, play or a seek loses nothing. The pause is made by the engine's
// read probe, which runs inside the time a read waits, as a blocked system call would.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "../TestSupport.h"
#include "Pump.h"
#include "ReadProbe.h"
#include "platform/engine/input/FileInput.h"
#include "platform/engine/play/Player.h"

extern "C" {
#include <libavutil/frame.h>
}

using namespace plim::engine;
using plim::test::clip;
using plim::test::pump;
using Ms = std::chrono::milliseconds;

namespace {

std::atomic<int64_t> gStallMs{0};      // a read waits this long, once...
std::atomic<int> gStallAfter{0};       // ...after this many more reads
std::atomic<bool> gStalling{false};    // a read is waiting
std::atomic<bool> gStalled{false};     // a read has waited
std::atomic<int64_t> gLowestRead{-1};  // the lowest offset read since the last reset
std::atomic<int64_t> gReads{0};        // reads so far

void stallingProbe(const std::string&, int64_t offset) {
    ++gReads;
    int64_t low = gLowestRead;
    while ((low < 0 || offset < low) && !gLowestRead.compare_exchange_weak(low, offset)) {
    }
    if (gStallMs > 0 && gStallAfter.fetch_sub(1) > 0) return;
    if (int64_t ms = gStallMs.exchange(0)) {
        gStalling = true;
        std::this_thread::sleep_for(Ms(ms));
        gStalled = true;
    }
}

// A read soon to come waits ms: the one after `after` more reads.
void stallRead(int64_t ms, int after = 0) {
    gStalling = false;
    gStalled = false;
    gLowestRead = -1;
    gStallAfter = after;
    gStallMs = ms;
}

// Returns once the reader has stopped reading (what it reads ahead is full): no read for
// 300 ms, or 10 s at most. Its reads of an earlier place are then not taken for a later one's.
void untilReadsStop() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int64_t seen = -1;
    while (gReads.load() != seen && std::chrono::steady_clock::now() < deadline) {
        seen = gReads.load();
        std::this_thread::sleep_for(Ms(300));
    }
}

double secondsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

struct SlowDiskCase {
    const char* file;
    int64_t lengthMs;
};

class SlowDisk : public ::testing::TestWithParam<SlowDiskCase> {
protected:
    void SetUp() override { setReadProbe(&stallingProbe); }
    void TearDown() override {
        gStallMs = 0;
        setReadProbe(nullptr);
    }
    std::unique_ptr<Player> open(bool sound) {
        std::unique_ptr<Player> p;
        Player::Options o;
        o.audio = sound;
        EXPECT_EQ(Player::open(clip(GetParam().file), p, o), OpenError::None);
        return p;
    }
};

TEST_P(SlowDisk, OpenWaitsForTheDisk) {
    stallRead(3000);
    auto t0 = std::chrono::steady_clock::now();
    auto p = open(false);
    ASSERT_TRUE(p);
    EXPECT_TRUE(gStalled);
    EXPECT_GE(secondsSince(t0), 2.9);
    EXPECT_NEAR(double(p->info().lengthUs) / 1000, double(GetParam().lengthMs), 50.0);
    pump(*p, [&] { return p->seekSettled(); });
    EXPECT_TRUE(p->seekSettled());
}

TEST_P(SlowDisk, PlayHoldsTheClockAndShowsEveryFrame) {
    auto p = open(true);
    ASSERT_TRUE(p);
    const int64_t fromUs = 1000000, frameUs = p->info().frameDurUs;
    p->seek(fromUs);
    pump(*p, [&] { return p->seekSettled(); });
    p->play(std::nullopt, std::nullopt);
    stallRead(3000);  // the reader's next refill, a moment into play
    std::set<int64_t> shown;
    auto t0 = std::chrono::steady_clock::now();
    pump(*p, [&] { return p->mode() != Mode::Playing; }, [&](const VideoFrame& f) { shown.insert(f.ptsUs); });
    double took = secondsSince(t0);
    EXPECT_TRUE(gStalled);
    EXPECT_EQ(p->mode(), Mode::Stopped);
    // No picture is lost to the pause (a few may be to a machine loaded by sanitizers; the
    // pause alone would take 75).
    EXPECT_LE(p->droppedFrames(), 4u);
    const int64_t expected = (GetParam().lengthMs * 1000 - fromUs) / frameUs;
    EXPECT_GE(int64_t(shown.size()), expected - 5) << "every frame from " << fromUs << " to the end";
    // The clock held for the pause, less what was read ahead of it (about a second).
    EXPECT_GE(took, double(GetParam().lengthMs - fromUs / 1000 + 3000 - 1500) / 1000) << "the clock held";
    EXPECT_NEAR(double(p->lengthUs()) / 1000, double(GetParam().lengthMs), 50.0);
}

// The luma plane of a picture, row by row.
std::vector<uint8_t> lumaOf(const VideoFrame& f) {
    std::vector<uint8_t> y;
    const AVFrame* pic = f.picture.get();
    for (int row = 0; row < pic->height; ++row)
        y.insert(y.end(), pic->data[0] + ptrdiff_t(row) * pic->linesize[0], pic->data[0] + ptrdiff_t(row) * pic->linesize[0] + pic->width);
    return y;
}

TEST_P(SlowDisk, SeekWaitsForTheDiskAndShowsTheExactFrame) {
    auto p = open(false);
    ASSERT_TRUE(p);
    const int64_t target = GetParam().lengthMs * 1000 * 3 / 4 + 10000;
    auto seekTo = [&](int64_t us) {
        p->seek(us);
        return pump(*p, [&] { return p->seekSettled(); });
    };
    VideoFrame calm = seekTo(target);  // the disk answering at once
    seekTo(0);
    untilReadsStop();    // the pictures after 0 read ahead are not the seek's reads
    stallRead(3000, 1);  // within the seek, as it reads the first pictures
    VideoFrame slow = seekTo(target);
    EXPECT_TRUE(gStalled);
    ASSERT_TRUE(calm.valid() && slow.valid());
    const int64_t frameUs = p->info().frameDurUs;
    EXPECT_EQ(slow.ptsUs, target / frameUs * frameUs) << "the frame at the target, not a fallback's";
    EXPECT_TRUE(lumaOf(slow) == lumaOf(calm)) << "the whole picture, not what arrived before the pause";
    // Decoding did not fall back to the start of the file: it began well after it.
    struct stat sb{};
    ASSERT_EQ(::stat(clip(GetParam().file).c_str(), &sb), 0);
    EXPECT_GT(gLowestRead.load(), int64_t(sb.st_size) / 8);
}

// How many descriptors this process holds on the file at path.
int handlesOn(const std::string& path) {
    int n = 0;
    std::error_code ec;
    const auto file = std::filesystem::canonical(path, ec);
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd", ec))
        if (std::filesystem::read_symlink(e.path(), ec) == file) ++n;
    return n;
}

// A read that does not come back (a share gone away) does not hold up a close: the close
// returns at once, and the file is closed and its memory freed when the read comes back.
TEST_P(SlowDisk, CloseDuringAReadHeldInTheKernelReturnsAtOnce) {
    const std::string path = clip(GetParam().file);
    auto p = open(true);
    ASSERT_TRUE(p);
    p->play(std::nullopt, std::nullopt);
    stallRead(5000);  // the reader's next refill
    auto t0 = std::chrono::steady_clock::now();
    while (!gStalling && secondsSince(t0) < 5) std::this_thread::sleep_for(Ms(5));
    ASSERT_TRUE(gStalling);
    EXPECT_GE(handlesOn(path), 1);
    t0 = std::chrono::steady_clock::now();
    p.reset();
    EXPECT_LT(secondsSince(t0), 0.5) << "the close waited for the read";
    EXPECT_FALSE(gStalled) << "the read was still held when the close returned";
    while (DiskRead::leftBehind() > 0 && secondsSince(t0) < 10) std::this_thread::sleep_for(Ms(20));
    EXPECT_TRUE(gStalled);
    EXPECT_EQ(DiskRead::leftBehind(), 0);
    EXPECT_EQ(handlesOn(path), 0) << "the file is closed once its read came back";
}

INSTANTIATE_TEST_SUITE_P(Clips, SlowDisk,
                         ::testing::Values(SlowDiskCase{"slow_disk.avi", 4000}, SlowDiskCase{"mpeg2_mp2.mpeg", 3000}),
                         [](const auto& info) { return std::string(info.param.file).substr(0, 5); });

}  // namespace
