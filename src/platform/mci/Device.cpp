#include "platform/mci/Device.h"

#include <malloc.h>

#include <QCoreApplication>
#include <algorithm>
#include <climits>
#include <cmath>
#include <thread>

namespace plim::mci {

void Device::publish() const {
    if (publish_) publish_(DeviceNotice{alias, play_, path_, lengthMs_, volume_});
}

void Device::noteMode(bool byCommand) {
    DevicePlay now = nextPlay(play_, player_->mode(), byCommand);
    if (now == play_) return;
    play_ = now;
    publish();
}

void Device::setVolume(int64_t level) {
    volume_ = level;
    player_->setSoundLevel(double(level) / double(kFullVolume));
    publish();
}

Device::Device(std::string a, std::string path, std::unique_ptr<engine::Player> player, VideoSurface* surface,
               DeviceListener tell)
    : alias(std::move(a)),
      player_(std::move(player)),
      surface_(surface),
      path_(std::move(path)),
      lengthMs_(lengthUnits()),  // milliseconds: the time format a device opens with
      publish_(std::move(tell)) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(true);
    timer_.setInterval(int(engine::kTickIntervalUs / 1000));
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    publish();
    kick();
}

Device::~Device() {
    timer_.stop();
    player_.reset();  // joins the engine's threads
    play_ = DevicePlay::Closed;
    publish();
    delete surface_.data();
    giveBackFreedMemory();
}

// A closed video's pictures, packets and decoder state are freed by now, but malloc keeps
// the pages (tens of MiB at 1080p, spread over the decoder threads' arenas) for the next
// allocation; the next video may be smaller, or never come. Handing them back keeps a
// long session's memory where a fresh one's is.
void Device::giveBackFreedMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

// Frames are counted with the exact rate: frame n starts at n * rateDen / rateNum seconds.
// A frame's time is rounded up to the microsecond, so that a seek to frame n never lands
// just before it, and a position reads back as the nearest frame. Film pulled down to
// 29.97 lasts 3 and 2 fields in turn, so its frame n is sought a quarter of a frame in,
// where it stands whichever comes first.
int64_t Device::toUnits(int64_t us) const {
    const engine::MediaInfo& in = player_->info();
    double units = timeFormat == TimeFormat::Frames ? double(us) * double(in.rateNum) / (double(engine::kUsPerSecond) * double(in.rateDen))
                                                    : double(us) / 1000.0;
    return std::clamp<int64_t>(std::llround(std::clamp(units, 0.0, double(INT32_MAX))), 0, INT32_MAX);
}

int64_t Device::fromUnits(int64_t units) const {
    const engine::MediaInfo& in = player_->info();
    if (timeFormat != TimeFormat::Frames) return units * 1000;
    __int128 scaled = __int128(std::max<int64_t>(units, 0)) * engine::kUsPerSecond * in.rateDen;
    if (in.pulledDown) scaled += __int128(engine::kUsPerSecond) * in.rateDen / 4;
    return int64_t((scaled + in.rateNum - 1) / in.rateNum);
}

// A command changed what the display must do: look again soon.
void Device::kick() {
    if (player_->needsTicks()) timer_.start(int(engine::kTickIntervalUs / 1000));
    noteMode(true);
}

// Shows the frame that is due, then sleeps until the next one is.
void Device::tick() {
    int64_t now = engine::Player::nowUs();
    if (auto f = player_->frameToShow(now)) {
        if (surface_) surface_->setFrame(std::move(*f));
    }
    if (player_->needsTicks()) {
        timer_.start(int((player_->waitHintUs(now) + 999) / 1000));
    } else {
        timer_.stop();
    }
    noteMode(false);
}

void Device::waitUntil(bool (*done)(engine::Player&)) {
    while (!done(*player_)) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 5);
        tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace plim::mci
