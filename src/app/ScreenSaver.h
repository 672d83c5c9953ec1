#pragma once
// Keeps the screen on while a video plays, as players do: the X screen saver is suspended
// through the MIT-SCREEN-SAVER extension (the server holds DPMS off with it), and the
// desktop's idle inhibition (org.freedesktop.ScreenSaver on the session bus) is held when a
// bus offers it. Both are released when play pauses, stops, ends or its video is closed,
// and both end with the process's connections, so a crash leaves neither behind. Without a
// bus or the extension the screen behaves as it always did; one line on stderr says so.
// GUI thread only.
#include <QObject>
#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "media/MciChannel.h"

namespace plim {

class ScreenSaverInhibitor : public QObject {
public:
    explicit ScreenSaverInhibitor(QObject* parent = nullptr);
    ~ScreenSaverInhibitor() override;  // releases what is held
    // Holds the screen on while playing is true.
    void setPlaying(bool playing);

private:
    // Follows each device's play: the screen stays on while any plays.
    void heard(const mci::DeviceNotice& n);
    std::set<std::string> playingDevices_;
    media::DeviceWatch watch_{[this](const mci::DeviceNotice& n) { heard(n); }};
    void suspendX(bool suspend);
    void inhibitOnBus();
    void releaseOnBus();
    bool playing_ = false;
    bool xSuspended_ = false;
    std::optional<uint32_t> cookie_;  // the bus's inhibition held
    bool asking_ = false;             // an Inhibit call awaits its answer
    bool noBusSaid_ = false, noXSaid_ = false;
};

// An inhibitor following the MCI devices' play, for the life of the application.
void keepScreenOnWhilePlaying(QObject* app);

}  // namespace plim
