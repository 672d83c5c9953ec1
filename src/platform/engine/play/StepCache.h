#pragma once
// The pictures a backward step decoded on its way from the key frame, kept so that the next
// steps back (and forward again) are shown at once instead of decoding from the key frame
// each time. It holds one unbroken run of pictures in presentation order, ending at the
// picture the step asked for, within a byte bound: when the bound is reached the earliest
// pictures go. Thread-safe: the video thread fills it, the display reads it.
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

#include "platform/engine/base/Types.h"
#include "platform/engine/base/LockOrder.h"

namespace plim::engine {

class StepCache {
public:
    explicit StepCache(size_t maxBytes) : maxBytes_(maxBytes) {}

    // Starts a new run: what was kept is dropped.
    void begin() {
        std::lock_guard<StructureMutex> lk(mu_);
        run_.clear();
        bytes_ = 0;
    }
    // The next picture of the run, later than every one before it.
    void add(VideoFrame f) {
        std::lock_guard<StructureMutex> lk(mu_);
        if (!run_.empty() && f.ptsUs <= run_.back().ptsUs) return;
        bytes_ += f.bytes();
        run_.push_back(std::move(f));
        while (run_.size() > 1 && bytes_ > maxBytes_) {
            bytes_ -= run_.front().bytes();
            run_.pop_front();
        }
    }
    // Walks `frames` pictures from the one shown at ptsUs, forward or (negative) back, as far
    // as the run holds them: the picture reached, with frames left at what was not walked;
    // nullopt when not one step could be taken.
    std::optional<VideoFrame> walk(int64_t ptsUs, int& frames) const {
        std::lock_guard<StructureMutex> lk(mu_);
        size_t i = 0;
        while (i < run_.size() && run_[i].ptsUs != ptsUs) ++i;
        if (i == run_.size()) return std::nullopt;
        size_t at = i;
        for (; frames > 0 && at + 1 < run_.size(); --frames) ++at;
        for (; frames < 0 && at > 0; ++frames) --at;
        if (at == i) return std::nullopt;
        return run_[at];
    }

private:
    mutable StructureMutex mu_;
    std::deque<VideoFrame> run_;
    size_t bytes_ = 0;
    size_t maxBytes_;
};

}  // namespace plim::engine
