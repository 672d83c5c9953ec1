#include "platform/mci/Device.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QRegion>
#include <algorithm>
#include <climits>
#include <cmath>
#include <thread>

namespace plim::mci {

VideoSurface::VideoSurface(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

void VideoSurface::setFrame(engine::VideoFrame f) {
    frame_ = std::move(f);
    update();
}

void VideoSurface::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!frame_.valid()) {
        p.fillRect(rect(), Qt::black);
        return;
    }
    QImage img(frame_.pixels.get(), frame_.width, frame_.height, frame_.stride, QImage::Format_RGB32);
    QRect dest = destination.isValid() ? destination : QRect(0, 0, frame_.width, frame_.height);
    // Only what the picture does not cover is filled: a full-frame fill costs as much as the copy.
    for (const QRect& r : QRegion(rect()).subtracted(QRegion(dest))) p.fillRect(r, Qt::black);
    if (dest.size() == img.size()) {
        p.drawImage(dest.topLeft(), img);
    } else {
        p.drawImage(dest, img);
    }
}

Device::Device(std::string a, std::unique_ptr<engine::Player> player, VideoSurface* surface)
    : alias(std::move(a)), player_(std::move(player)), surface_(surface) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(true);
    timer_.setInterval(int(engine::kTickIntervalUs / 1000));
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    kick();
}

Device::~Device() {
    timer_.stop();
    player_.reset();  // joins the engine's threads
    delete surface_.data();
}

int64_t Device::toUnits(int64_t us) const {
    double units = timeFormat == TimeFormat::Frames ? double(us) / double(player_->info().frameDurUs) : double(us) / 1000.0;
    return std::clamp<int64_t>(std::llround(std::clamp(units, 0.0, double(INT32_MAX))), 0, INT32_MAX);
}

int64_t Device::fromUnits(int64_t units) const {
    if (timeFormat == TimeFormat::Frames) return units * player_->info().frameDurUs;
    return units * 1000;
}

// A command changed what the display must do: look again soon.
void Device::kick() {
    if (player_->needsTicks()) timer_.start(int(engine::kTickIntervalUs / 1000));
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
}

void Device::waitUntil(bool (*done)(engine::Player&)) {
    while (!done(*player_)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace plim::mci
