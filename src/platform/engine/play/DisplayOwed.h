#pragma once
// What the display owes the user after a seek, an open or a step: the seek's picture, the
// pictures forward steps wait for, or a kept picture a step chose. One value, changed only
// through its named transitions (preconditions asserted in debug builds); the player keeps it
// under its mutex. Times are media microseconds.
#include <cassert>
#include <cstdint>
#include <optional>
#include <utility>

#include "platform/engine/base/Types.h"

namespace plim::engine {

class DisplayOwed {
public:
    DisplayOwed() = default;
    // After open, the first picture is due (when there are pictures at all).
    explicit DisplayOwed(bool hasVideo) : hasVideo_(hasVideo), targetDue_(hasVideo) {}

    // The picture of the last seek or open has yet to be handed to the display.
    bool targetDue() const { return targetDue_; }
    int stepsAhead() const { return stepsAhead_; }
    // The picture shown was a kept one: decoding stands elsewhere.
    bool away() const { return away_; }
    // Something is still to be handed to the display.
    bool outstanding() const { return targetDue_ || stepsAhead_ > 0 || kept_.has_value(); }
    // The time of the picture last handed to the display; -1 before the first.
    int64_t shownPtsUs() const { return shownPtsUs_; }
    // The picture that steps count from: the kept one about to be shown, or the one shown;
    // -1 while a seek's picture is still due (steps then count from the position).
    int64_t stepOriginUs() const { return kept_ ? kept_->ptsUs : targetDue_ ? -1 : shownPtsUs_; }
    // Where a walk through the kept pictures starts: the kept one, or the one shown.
    int64_t keptOriginUs() const { return kept_ ? kept_->ptsUs : shownPtsUs_; }

    // A seek: its picture is due and every step waiting is forgotten. A step's seek (forStep)
    // moves the position to the picture it finds.
    void seek(bool forStep) {
        targetDue_ = hasVideo_;
        stepsAhead_ = 0;
        kept_.reset();
        away_ = false;
        seekIsStep_ = forStep;
    }
    // A step chose a kept picture: it is shown next, and owes nothing else.
    void keep(VideoFrame f) {
        targetDue_ = false;
        kept_ = std::move(f);
        stepsAhead_ = 0;
        away_ = true;
    }
    // Forward steps wait for the next decoded pictures.
    void stepForward(int frames) {
        assert(frames > 0);
        stepsAhead_ += frames;
    }
    // Hands the kept picture on, if one is due.
    std::optional<VideoFrame> takeKept() { return std::exchange(kept_, std::nullopt); }
    // The seek's picture was handed on (or there is none at that place). True when it was a
    // step's: the position becomes the picture's time.
    bool targetShown() {
        assert(targetDue_);
        targetDue_ = false;
        return seekIsStep_;
    }
    // One waiting step got its picture.
    void stepShown() {
        assert(stepsAhead_ > 0);
        --stepsAhead_;
    }
    // The pictures ran out: the steps still waiting are let go, the last picture stays.
    void stepsEnded() { stepsAhead_ = 0; }
    // The display was handed the picture at ptsUs.
    void shown(int64_t ptsUs) { shownPtsUs_ = ptsUs; }

private:
    bool hasVideo_ = false;
    bool targetDue_ = false;
    int stepsAhead_ = 0;
    std::optional<VideoFrame> kept_;
    bool away_ = false;
    bool seekIsStep_ = false;
    int64_t shownPtsUs_ = -1;
};

}  // namespace plim::engine
