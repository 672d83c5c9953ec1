// libFuzzer target: a media file, through what the program does with one. Each input becomes
// a file (a memfd, read through /proc/self/fd by the engine's own FileInput and DiskRead),
// opened by the engine's player as `plim FILE` opens it; then it plays its first pictures, is
// stepped, sought to the middle and near the end, stepped back and forth, asked its length
// and position, and closed.
//
// The sound is decoded and buffered as always, into a device that no audio driver plays: the
// harness pulls it as the device would, a few milliseconds of it each time it pulls a
// picture. (SDL's dummy driver sleeps a buffer's length and more at every close, which held
// a run to 60-400 ms of waiting.)
//
// Every wait for a picture is bounded by the engine's own read budget plus a second: a wait
// past that is a hang, and a finding (it aborts with what was waited for). The display is
// pulled as the window's timer pulls it, without waiting in real time: the display's clock
// and the sound pulled run ahead of the wall clock while it plays.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "PlayerProbe.h"
#include "app/Process.h"
#include "platform/engine/input/MediaSource.h"
#include "platform/engine/play/Player.h"

namespace {
using plim::engine::Player;

// The longest a healthy wait may take: the engine's budget for one blocking read (the open's
// is shorter) and a second, as the program promises a user.
constexpr auto kWaitBound = std::chrono::microseconds(plim::engine::kReadBudgetUs) + std::chrono::seconds(1);
constexpr size_t kMaxInput = 1 << 20;
constexpr int kPullFrames = 256;     // sound pulled with each picture pulled
constexpr int kPlayTicks = 24;       // pulls of the display while it plays
constexpr int64_t kTickUs = 40000;   // how far its clock moves a pull

// The display's clock: the wall clock, or ahead of it while playing; never going back.
int64_t g_now = 0;
int64_t displayNow(int64_t ahead = 0) {
    g_now = std::max(g_now + ahead, Player::nowUs());
    return g_now;
}

// Pulls frames until the player has shown what the last command asked for.
void settle(Player& p, const char* what) {
    const auto start = std::chrono::steady_clock::now();
    while (!p.seekSettled()) {
        p.frameToShow(displayNow());
        plim::engine::PlayerProbe::pullSound(p, kPullFrames);
        if (std::chrono::steady_clock::now() - start > kWaitBound) {
            std::fprintf(stderr, "fuzz_media: a hang: %s took longer than its budget and a second\n", what);
            std::abort();
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

// The input as a file of its own; -1 when none can be made.
int asFile(const uint8_t* data, size_t size) {
    int fd = memfd_create("fuzz_media", MFD_CLOEXEC);
    if (fd < 0) return -1;
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) {
            close(fd);
            return -1;
        }
        done += size_t(n);
    }
    return fd;
}

// Plays a little: the display is pulled with its clock a frame's time further each time, and
// sound to match, then paused.
void playAWhile(Player& p) {
    p.play(std::nullopt, std::nullopt);
    for (int i = 0; i < kPlayTicks && p.mode() == plim::engine::Mode::Playing; ++i) {
        p.frameToShow(displayNow(kTickUs));
        plim::engine::PlayerProbe::pullSound(p, 4 * kPullFrames);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    p.pause();
}

void exercise(Player& p) {
    settle(p, "the open's picture");
    playAWhile(p);
    if (!p.info().hasVideo) {  // sound alone: sought, nothing to step through
        p.seek(p.lengthUs() / 2);
        settle(p, "a seek to the middle");
        return;
    }
    for (int i = 0; i < 2; ++i) {
        p.step(1);
        settle(p, "a step forward");
    }
    const int64_t length = p.lengthUs();
    p.seek(length / 2);
    settle(p, "a seek to the middle");
    p.seek(std::max<int64_t>(0, length - 200000));
    settle(p, "a seek near the end");
    p.step(-1);
    settle(p, "a step back");
    p.step(1);
    settle(p, "a step forward again");
    (void)p.positionUs();
    (void)p.lengthUs();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    plim::settleProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > kMaxInput) return 0;
    int fd = asFile(data, size);
    if (fd < 0) return 0;
    {
        std::unique_ptr<Player> player;
        Player::Options options;
        options.decoderThreads = 1;  // one input at a time, and its findings repeatable
        options.soundUnplayed = true;
        if (Player::open("/proc/self/fd/" + std::to_string(fd), player, options) == plim::engine::OpenError::None && player)
            exercise(*player);
    }  // the player closes: every thread joined, everything it held freed
    close(fd);
    return 0;
}
