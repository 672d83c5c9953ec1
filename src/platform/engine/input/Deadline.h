#pragma once
// A budget of working time for one blocking call into the demuxer, in microseconds of the
// monotonic clock. Each wait for the disk is added back to the budget, up to kMaxDiskWaitUs a
// wait: a call gives up only after it has waited that long with nothing arriving, or has
// worked through data for its whole budget (a 4 GiB hole of zeros). Thread-safe: armed by the
// thread that reads, interrupted and watched from any thread.
//
// Each call has a form that takes the time now, which the others call with monotonicUs():
// the arithmetic is tested with times of the test's own.
#include <atomic>
#include <chrono>
#include <cstdint>

#include "platform/engine/base/DiskWait.h"
#include "platform/engine/base/Types.h"

namespace plim::engine {

// The longest wait for the disk that one read is forgiven.
constexpr int64_t kMaxDiskWaitUs = 10 * kUsPerSecond;
// A read that takes longer than this waited for the disk (slower than 640 KB/s for a 32 KB
// read): reads at the disk's pace through a long stretch of data are work.
constexpr int64_t kSlowReadUs = 50000;
// How long to wait before asking again a source that answered "try again".
constexpr auto kTryAgainAfter = std::chrono::milliseconds(10);

class Deadline {
public:
    // forgiveWaits false: a budget of wall time, for work that may as well be left undone.
    enum class Waits : bool { Counted = false, Forgiven = true };
    void arm(int64_t budgetUs, Waits waits = Waits::Forgiven);
    void arm(int64_t budgetUs, bool forgiveWaits, int64_t nowUs);
    void disarm() { deadlineUs_ = 0; }
    void interrupt() { interrupted_ = true; }
    // Interrupted, or armed and past.
    bool passed() const;
    bool passed(int64_t nowUs) const;
    // A read is about to wait for the disk, or has got its data.
    void beginWait();
    void beginWait(int64_t nowUs) { wait_.begin(nowUs); }
    void endWait();
    void endWait(int64_t nowUs);
    // Whether a read still waiting for the disk should be given up: interrupted, or past the
    // deadline as it would stand if the read came back now.
    bool givesUpWaiting(int64_t nowUs) const;
    // How long the read in progress has been waiting for the disk; 0 when none waits.
    int64_t waitingUs(int64_t nowUs) const { return wait_.waitingUs(nowUs); }
    // The same, published for the player's presenter.
    const DiskWait& diskWait() const { return wait_; }

private:
    // What a wait of waitedUs adds to the budget: nothing for a quick read or a budget of
    // wall time, else the wait, up to kMaxDiskWaitUs.
    int64_t givenBackUs(int64_t waitedUs) const;
    std::atomic<int64_t> deadlineUs_{0};
    DiskWait wait_;
    std::atomic<bool> interrupted_{false};
    std::atomic<bool> forgiveWaits_{true};
};

}  // namespace plim::engine
