#pragma once
// The video window's surface: shows the frame handed to it and nothing else. GUI thread only.
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <QWindow>
#include <memory>

#include "platform/mci/engine/base/Types.h"
#include "platform/mci/engine/decode/FrameConverter.h"

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

}  // namespace plim::mci
