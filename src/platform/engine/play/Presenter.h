#pragma once
// The presenter: what the display is handed and when. It gives the picture a seek owes, then
// while playing the picture due by the clock (dropping late ones, never showing them late);
// it starts the clock once the first picture and the sound are ready, lets the sound be the
// master clock, holds the clock while the disk is late, and ends play where the media ends.
// Player::frameToShow calls takeOwedLocked, then the stepper, then advanceLocked.
// Thread: the display's (the caller of Player::frameToShow), with the player lock held,
// which guards Generations, StreamEnds and Showing; the queues, the disk wait and the sound
// device guard themselves. Times are microseconds; nowUs is the caller's clock.
#include <cstdint>
#include <optional>

#include "platform/engine/base/DiskWait.h"
#include "platform/engine/play/PlayPieces.h"
#include "platform/engine/play/Transport.h"

namespace plim::engine {

class SoundDevice;

class Presenter {
public:
    // What the presenter reads of the media.
    struct Facts {
        bool hasVideo = false;
        int64_t frameDurUs = 0;
    };
    // What the reader publishes: whether it waits for the disk, and the packets it read
    // that the video thread has not taken yet.
    struct Input {
        const DiskWait& disk;
        const PacketQueue& packets;
    };
    Presenter(Facts facts, const Generations& gens, FrameQueue& fq, const StreamEnds& ends, Showing& showing,
              Transport& transport, Input input, SoundDevice* sound)
        : facts_(facts), gens_(gens), fq_(fq), ends_(ends), showing_(showing), transport_(transport), input_(input),
          sound_(sound) {}

    // Into shown, the picture the display is owed: one kept by a step back, or a seek's or
    // open's once decoded. False while that is still awaited: nothing else is shown before.
    bool takeOwedLocked(std::optional<VideoFrame>& shown);
    // While playing: starts the clock when ready, then into shown the picture due at nowUs,
    // and ends play or holds the clock for the disk.
    void advanceLocked(std::optional<VideoFrame>& shown, int64_t nowUs);
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

    const Facts facts_;
    const Generations& gens_;
    FrameQueue& fq_;
    const StreamEnds& ends_;
    Showing& showing_;
    Transport& transport_;
    const Input input_;
    SoundDevice* sound_;  // null without sound
};

}  // namespace plim::engine
