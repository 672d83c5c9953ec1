#pragma once
// The video window's surface: shows the frame handed to it and nothing else. GUI thread only.
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <QWindow>
#include <memory>

#include "platform/mci/engine/base/Types.h"
#include "platform/mci/display/BgraConverter.h"

namespace plim::mci {

class ShmImage;

// The playback window, and the display's one contract:
//   setFrame       show this frame (it is kept until the next);
//   paint          the frame kept, unscaled at the destination rectangle's origin unless a
//                  destination of another size was put, then scaled into it;
//   drawSourceInto the frame kept, at its own size, into an image (a copy to save).
// A frame's own size is its height and the width of its display aspect (shownWidth):
// pixels that are not square are widened or narrowed in the conversion's one pass.
// Rectangles are in the toolkit's logical pixels; on a screen scaled by a whole k the picture
// fills k times them in device pixels, converted at that size in the same one pass.
// Every picture, to the screen or to a copy, is converted once, straight into the memory it
// ends in (the backing store, the shared image, the caller's image): no BGRA copy of a
// picture is kept.
class VideoSurface : public QWidget {
public:
    explicit VideoSurface(QWidget* parent);
    ~VideoSurface() override;
    // Shows f at once, rather than on a later pass of the event loop, which would cost a
    // wake-up of the GUI thread per frame. On X, a frame shown unscaled, whole and
    // unobscured where the last one was, at a size ShmImage::suits, goes to the screen
    // through shared memory, past the backing store; otherwise it is painted and flushed
    // the usual way.
    void setFrame(engine::VideoFrame f);
    // Converts the frame shown, at its own size however it is shown, into `into` with its
    // top-left corner at `at` (the part that lands there): the pixels it shows unscaled.
    // False (nothing written) without a frame or when it cannot be converted (no memory).
    bool drawSourceInto(QImage& into, QPoint at);
    const engine::VideoFrame& frame() const { return frame_; }
    QRect destination;

protected:
    void paintEvent(QPaintEvent*) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // Tests and the benchmark look at how pictures reached the screen (tests/SurfaceProbe.h).
    friend struct SurfaceProbe;
    // The one conversion every picture takes, to the screen or to a copy: the frame shown,
    // at area's size (scaled in the same pass when that is not its own), written straight
    // into `into` at area's place. False, nothing written, when `into` is not a 32-bit
    // image holding all of area, or the frame cannot be converted.
    bool convertInto(QImage& into, const QRect& area);
    bool convertInPlace(QPainter& p, const QRect& dest, const QRegion& toPaint);
    bool presentDirect();
    void reserveDirect();
    bool uncovered(const QRect& dest, const QWidget* host) const;
    QRect frameDestination() const;
    QSize onDevice(QSize logical) const;  // in the window's device pixels; empty at a fractional ratio
    engine::VideoFrame frame_;
    mci::BgraConverter converter_;
    std::unique_ptr<ShmImage> shm_;
    bool shmTried_ = false;
    bool reserving_ = false;  // a reserve() is queued
    QRect painted_;            // where the shown picture lies; its surroundings are black
    QPointer<QWindow> watched_;
    int directFrames_ = 0;  // once any, the backing store may be behind: repaint on expose
    const uchar* readied_ = nullptr;  // the backing store whose pages were last made present
};

}  // namespace plim::mci
