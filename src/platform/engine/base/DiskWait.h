#pragma once
// Whether a read is waiting for the disk, and since when: published by the reading thread
// (through its Deadline), read by the presenter to hold the clock while the disk is late.
// Lock-free; any thread.
#include <algorithm>
#include <atomic>
#include <cstdint>

namespace plim::engine {

class DiskWait {
public:
    // A read is about to wait (since nowUs), or has got its data; returns how long it waited.
    void begin(int64_t nowUs) { sinceUs_ = nowUs; }
    int64_t end(int64_t nowUs) { return nowUs - sinceUs_.exchange(0); }
    // How long the read in progress has been waiting; 0 when none waits.
    int64_t waitingUs(int64_t nowUs) const {
        int64_t since = sinceUs_;
        return since > 0 ? std::max<int64_t>(0, nowUs - since) : 0;
    }

private:
    std::atomic<int64_t> sinceUs_{0};
};

}  // namespace plim::engine
