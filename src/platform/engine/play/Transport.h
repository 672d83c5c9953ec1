#pragma once
// A player's clock and seeks. The clock is the sound's time while sound plays for the
// current generation, else the play state's own wall clock.
// Thread: whichever holds the player lock (the caller's control calls, the display's pulls);
// every piece it touches is guarded by that lock, but the frame queue and the sound device,
// which guard themselves.
#include <cstdint>
#include <optional>

#include "platform/engine/play/PlayPieces.h"

namespace plim::engine {

class SoundDevice;

class Transport {
public:
    Transport(Generations& gens, FrameQueue& fq, Showing& showing, SoundDevice* sound)
        : gens_(gens), fq_(fq), showing_(showing), sound_(sound) {}

    // Who a seek is for: a step back's keeps the pictures before its target and moves the
    // position to the one it finds.
    enum class SeekFor { Position, StepBack };
    // A new generation whose picture at us is due. Never while playing.
    void seekLocked(int64_t us, SeekFor purpose = SeekFor::Position);
    // The sound's media time now, or nullopt without sound playing for this generation.
    std::optional<int64_t> soundTimeLocked() const;
    // The position at nowUs (the master clock: the sound while it plays).
    int64_t clockLocked(int64_t nowUs) const;
    // Stops or pauses at the position reached by nowUs, the sound with it.
    void stopAtLocked(Mode m, int64_t nowUs);
    void pauseSoundLocked();

private:
    Generations& gens_;
    FrameQueue& fq_;
    Showing& showing_;
    SoundDevice* sound_;  // null without sound
};

}  // namespace plim::engine
