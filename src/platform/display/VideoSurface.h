#pragma once
// The video window's surface: shows the frame handed to it and nothing else. GUI thread only.
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <QWindow>
#include <memory>

#include "platform/engine/base/Types.h"
#include "platform/display/BgraConverter.h"

namespace plim::display {

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
// Every picture takes one of three routes, each converting it once, straight into the memory
// it ends in: the shared image (ShmImage), the backing store (convertInPlace), the caller's
// image (drawSourceInto). What none of them can take (a paint of part of the picture, a
// destination reaching past the surface, a copy partly outside the caller's image) is drawn
// by the painter from the kept conversion: the frame converted once at that size, kept until
// the next frame. The converter itself goes through rows of its own for widths libswscale
// cannot write exactly (BgraConverter.h: most widths not a multiple of 16, 853-wide DVD
// pictures among them).
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
    // The rectangle the picture is shown in, as put ("put ... destination"); invalid until
    // one is put, and the picture then shows at its own size at the origin. Putting one
    // repaints the surface.
    const QRect& destination() const { return destination_; }
    void putDestination(const QRect& r);

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
    // The kept conversion at size (device pixels, drawn at ratio k); nullptr when it cannot
    // be made.
    const QImage* keptConversion(QSize size, int k);
    bool presentDirect();
    void reserveDirect();
    bool uncovered(const QRect& dest, const QWidget* host) const;
    QRect frameDestination() const;
    QSize onDevice(QSize logical) const;  // in the window's device pixels; empty at a fractional ratio
    engine::VideoFrame frame_;
    QRect destination_;
    BgraConverter converter_;
    QImage kept_;  // the kept conversion of frame_, when a paint or copy needed one
    std::unique_ptr<ShmImage> shm_;
    bool shmTried_ = false;
    bool reserving_ = false;  // a reserve() is queued
    QRect painted_;            // where the shown picture lies; its surroundings are black
    QPointer<QWindow> watched_;
    int directFrames_ = 0;  // once any, the backing store may be behind: repaint on expose
    const uchar* readied_ = nullptr;  // the backing store whose pages were last made present
};

}  // namespace plim::display
