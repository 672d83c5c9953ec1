#pragma once
// What an open device's play became. The device's state is the one source of "playing": the
// service publishes one notice per change (MciService::subscribe), on the GUI thread, after
// the command or the display's pull that changed it.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/engine/base/Types.h"

namespace plim::mci {

enum class DevicePlay {
    Stopped,  // opened, stopped or sought; not at the end by play
    Playing,
    Paused,
    Ended,   // play reached its end by itself; held until play starts again
    Closed,  // the device is gone: its last notice
};

struct DeviceNotice {
    std::string alias;
    DevicePlay play = DevicePlay::Stopped;
    std::string path;      // the file the device opened
    int64_t lengthMs = 0;  // its length at open, as "status ... length" told it then
    int64_t volume = 0;    // the level, 0 to 1000 ("setaudio ... volume to")
};

using DeviceListener = std::function<void(const DeviceNotice&)>;

// The device's play after its engine's mode became `now`: by a command, or by the display's
// pull (play ending by itself).
inline DevicePlay nextPlay(DevicePlay was, engine::Mode now, bool byCommand) {
    if (now == engine::Mode::Playing) return DevicePlay::Playing;
    if (now == engine::Mode::Paused) return DevicePlay::Paused;
    bool endedByItself = was == DevicePlay::Playing && !byCommand;
    return endedByItself || was == DevicePlay::Ended ? DevicePlay::Ended : DevicePlay::Stopped;
}

}  // namespace plim::mci
