#pragma once
// The presenter: what the display is handed and when, on the caller's thread under the
// player's lock. It gives the picture a seek or a step owes, then while playing the picture
// due by the clock (dropping late ones, never showing them late); it starts the clock once
// the first picture and the sound are ready, lets the sound be the master clock, holds the
// clock while the disk is late, and ends play where the media ends.
// Thread: the display's (the caller of Player::frameToShow), with the player lock held.
#include <cstdint>
#include <optional>

#include "platform/mci/engine/play/PlayPieces.h"
#include "platform/mci/engine/play/Transport.h"

namespace plim::engine {

class Reader;
class SoundDevice;
class Stepper;

class Presenter {
public:
    Presenter(const PlayFacts& facts, const Generations& gens, Decoded& decoded, Showing& showing, Transport& transport,
              Stepper& stepper, const Reader& reader, SoundDevice* sound)
        : facts_(facts), gens_(gens), decoded_(decoded), showing_(showing), transport_(transport), stepper_(stepper),
          reader_(reader), sound_(sound) {}

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

    const PlayFacts& facts_;
    const Generations& gens_;
    Decoded& decoded_;
    Showing& showing_;
    Transport& transport_;
    Stepper& stepper_;
    const Reader& reader_;  // whether it waits for the disk
    SoundDevice* sound_;    // null without sound
};

}  // namespace plim::engine
