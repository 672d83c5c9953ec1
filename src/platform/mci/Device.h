#pragma once
// One open MCI device: a player of the media engine and the window it draws into. The
// window only paints the frame handed to it; a GUI-thread timer pulls the due frame from
// the player. GUI thread only.
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <memory>
#include <string>

#include "platform/mci/MciCommand.h"
#include "platform/mci/engine/decode/FrameConverter.h"
#include "platform/mci/engine/play/Player.h"

namespace plim::mci {

class ShmPresenter;

// The playback window: paints the last frame handed to it, unscaled at the destination
// rectangle's origin unless a destination of another size was put; then scaled into it in
// the same pass as the conversion. Pictures are converted straight into the window's
// backing store: no BGRA copy of them is kept.
class VideoSurface : public QWidget {
public:
    explicit VideoSurface(QWidget* parent);
    ~VideoSurface() override;
    // Shows f at once, rather than on a later pass of the event loop, which would cost a
    // wake-up of the GUI thread per frame. On X, a frame shown unscaled, whole and
    // unobscured where the last one was goes to the screen through shared memory, past the
    // backing store; otherwise it is painted and flushed the usual way.
    void setFrame(engine::VideoFrame f);
    // Converts the frame shown, at its own size however it is shown, into `into` with its
    // top-left corner at `at` (the part that lands there): the pixels it shows unscaled.
    // False (nothing written) without a frame or when it cannot be converted (no memory).
    bool drawSourceInto(QImage& into, QPoint at);
    const engine::VideoFrame& frame() const { return frame_; }
    QRect destination;
    // Frames that went to the screen past the backing store.
    int directFrames() const { return directFrames_; }
    // The shared memory the next frame goes through is ready for the picture painted.
    bool directReady() const;

protected:
    void paintEvent(QPaintEvent*) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    bool convertInPlace(QPainter& p, const QRect& dest);
    bool presentDirect();
    void reserveDirect();
    bool uncovered(const QRect& dest, const QWidget* host) const;
    QRect frameDestination() const;
    engine::VideoFrame frame_;
    engine::FrameConverter converter_;
    std::unique_ptr<ShmPresenter> presenter_;
    bool presenterTried_ = false;
    bool reserving_ = false;  // a reserve() is queued
    QRect painted_;            // where the shown picture lies; its surroundings are black
    QPointer<QWindow> watched_;
    int directFrames_ = 0;  // once any, the backing store may be behind: repaint on expose
};

class Device {
public:
    Device(std::string alias, std::unique_ptr<engine::Player> player, VideoSurface* surface);
    ~Device();

    const std::string alias;
    engine::Player& player() { return *player_; }
    VideoSurface* surface() const { return surface_; }
    TimeFormat timeFormat = TimeFormat::Milliseconds;

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
    std::unique_ptr<engine::Player> player_;
    QPointer<VideoSurface> surface_;
    QTimer timer_;
};

}  // namespace plim::mci
