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

#include "platform/mci/engine/Types.h"

namespace plim::engine {

class StepCache {
public:
    explicit StepCache(size_t maxBytes) : maxBytes_(maxBytes) {}

    // Starts a new run: what was kept is dropped.
    void begin() {
        std::lock_guard<std::mutex> lk(mu_);
        run_.clear();
        bytes_ = 0;
    }
    // The next picture of the run, later than every one before it.
    void add(VideoFrame f) {
        std::lock_guard<std::mutex> lk(mu_);
        if (!run_.empty() && f.ptsUs <= run_.back().ptsUs) return;
        bytes_ += f.bytes();
        run_.push_back(std::move(f));
        while (run_.size() > 1 && bytes_ > maxBytes_) {
            bytes_ -= run_.front().bytes();
            run_.pop_front();
        }
    }
    // The picture right before the one shown at ptsUs, when the run holds both.
    std::optional<VideoFrame> before(int64_t ptsUs) const {
        std::lock_guard<std::mutex> lk(mu_);
        for (size_t i = run_.size(); i-- > 1;)
            if (run_[i].ptsUs == ptsUs) return run_[i - 1];
        return std::nullopt;
    }
    // The picture right after the one shown at ptsUs, when the run holds both.
    std::optional<VideoFrame> after(int64_t ptsUs) const {
        std::lock_guard<std::mutex> lk(mu_);
        for (size_t i = 0; i + 1 < run_.size(); ++i)
            if (run_[i].ptsUs == ptsUs) return run_[i + 1];
        return std::nullopt;
    }
    size_t bytes() const {
        std::lock_guard<std::mutex> lk(mu_);
        return bytes_;
    }

private:
    mutable std::mutex mu_;
    std::deque<VideoFrame> run_;
    size_t bytes_ = 0;
    size_t maxBytes_;
};

}  // namespace plim::engine
