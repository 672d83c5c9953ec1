#pragma once
// The presenter: what the display is handed and when, on the caller's thread under the
// player's lock. It gives the picture a seek or a step owes, then while playing the picture
// due by the clock (dropping late ones, never showing them late); it starts the clock once
// the first picture and the sound are ready, lets the sound be the master clock, holds the
// clock while the disk is late, and ends play where the media ends.
#include <cstdint>
#include <optional>

#include "platform/mci/engine/play/PlayCore.h"

namespace plim::engine {

class Stepper;

class Presenter {
public:
    Presenter(PlayCore& core, Stepper& stepper) : c_(core), stepper_(stepper) {}

    // The frame to show at nowUs, when it changed.
    std::optional<VideoFrame> frameToShowLocked(int64_t nowUs);
    // How long the display may wait before its next call (Player::waitHintUs).
    int64_t waitHintLocked(int64_t nowUs) const;

private:
    void takeTargetLocked(std::optional<VideoFrame>& shown);
    void takeDueLocked(std::optional<VideoFrame>& shown, int64_t t);
    bool startClockWhenReadyLocked(int64_t nowUs);
    std::optional<int64_t> endReachedLocked(int64_t t) const;
    bool starvedLocked(int64_t t, int64_t shownUs, int64_t nowUs) const;
    void holdForDataLocked(int64_t t, int64_t nowUs);
    void finishLocked(int64_t endAt);

    PlayCore& c_;
    Stepper& stepper_;
};

}  // namespace plim::engine
