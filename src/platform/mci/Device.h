#pragma once
// One open MCI device: a player of the media engine and the window it draws into. The
// window only paints the frame handed to it; a GUI-thread timer pulls the due frame from
// the player. GUI thread only.
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "platform/mci/MciCommand.h"
#include "platform/mci/display/VideoSurface.h"
#include "platform/mci/engine/play/Player.h"

namespace plim::mci {

class Device {
public:
    Device(std::string alias, std::unique_ptr<engine::Player> player, VideoSurface* surface);
    ~Device();

    // How this process's memory is kept while videos come and go: called once, before the
    // first video opens, and at each close (giveBackFreedMemory).
    static void keepLargeBlocksOutOfTheHeap();
    static void giveBackFreedMemory();

    const std::string alias;
    engine::Player& player() { return *player_; }
    VideoSurface* surface() const { return surface_; }
    TimeFormat timeFormat = TimeFormat::Milliseconds;
    int64_t volume = kFullVolume;  // as "setaudio ... volume to" set it

    // Units of the current time format <-> microseconds. Units are what replies tell, so
    // they never leave the 32-bit range that callers hold them in.
    int64_t toUnits(int64_t us) const;
    int64_t fromUnits(int64_t units) const;
    int64_t lengthUnits() const { return toUnits(player_->lengthUs()); }

    // Keeps the display timer running while the player needs it.
    void kick();
    // Keeps painting until the player settles (seek shown, or play ended). Input (keys,
    // clicks) waits in the queue meanwhile, so no handler of the program runs inside a wait.
    void waitUntil(bool (*done)(engine::Player&));

private:
    void tick();
    void noteMode();  // tells the playing observer when this device starts or stops playing
    std::unique_ptr<engine::Player> player_;
    QPointer<VideoSurface> surface_;
    QTimer timer_;
    bool playing_ = false;  // as last told
};

// Called on the GUI thread each time whether any device plays changes: true when the first
// starts, false when the last stops (paused, stopped, at its end or closed). One observer;
// an empty function removes it.
void setPlayingObserver(std::function<void(bool)> observer);

}  // namespace plim::mci
