#pragma once
// One open MCI device: a player of the media engine and the window it draws into. The
// window only paints the frame handed to it; a GUI-thread timer pulls the due frame from
// the player. GUI thread only.
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "platform/mci/DeviceNotice.h"
#include "platform/mci/MciCommand.h"
#include "platform/display/VideoSurface.h"
#include "platform/engine/play/Player.h"

namespace plim::mci {

using display::VideoSurface;

class Device {
public:
    // Tells `tell` of its open, of each change of its play, of its level and of its close.
    Device(std::string alias, std::string path, std::unique_ptr<engine::Player> player, VideoSurface* surface,
           DeviceListener tell);
    ~Device();

    // Hands the memory a closed video freed back to the system (at each close).
    static void giveBackFreedMemory();

    const std::string alias;
    engine::Player& player() { return *player_; }
    VideoSurface* surface() const { return surface_; }
    TimeFormat timeFormat = TimeFormat::Milliseconds;
    // The sound level, 0 to 1000, as "setaudio ... volume to" set it.
    int64_t volume() const { return volume_; }
    void setVolume(int64_t level);

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
    // Follows the engine's mode after a command (byCommand) or a pull, publishing a change.
    void noteMode(bool byCommand);
    void publish() const;
    std::unique_ptr<engine::Player> player_;
    QPointer<VideoSurface> surface_;
    QTimer timer_;
    const std::string path_;
    const int64_t lengthMs_;
    int64_t volume_ = kFullVolume;
    DevicePlay play_ = DevicePlay::Stopped;
    DeviceListener publish_;
};

}  // namespace plim::mci
