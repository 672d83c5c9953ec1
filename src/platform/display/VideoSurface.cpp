#include "platform/display/VideoSurface.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "platform/display/ShmImage.h"
#include "platform/engine/base/FreshPages.h"

namespace plim::display {

namespace {
// The first byte of `area` in a 32-bit BGRA image, where the converter may write its rows;
// nullptr when the image is of another format or does not hold the whole area.
uint8_t* bgraArea(QImage& img, const QRect& area) {
    QImage::Format fmt = img.format();
    bool bgra32 = fmt == QImage::Format_RGB32 || fmt == QImage::Format_ARGB32 ||
                  fmt == QImage::Format_ARGB32_Premultiplied;
    if (!bgra32 || !img.rect().contains(area)) return nullptr;
    return img.bits() + qsizetype(area.y()) * img.bytesPerLine() + qsizetype(area.x()) * 4;
}

// A device pixel ratio as the whole number it is on every screen the toolkit scales by whole
// numbers; 0 for a fraction, which no path here draws by.
int wholeScale(qreal ratio) {
    int k = int(std::lround(ratio));
    return k >= 1 && std::abs(ratio - k) < 1e-9 ? k : 0;
}
}  // namespace

VideoSurface::VideoSurface(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

VideoSurface::~VideoSurface() = default;

void VideoSurface::setFrame(engine::VideoFrame f) {
    frame_ = std::move(f);
    kept_ = QImage();
    if (presentDirect()) return;
    repaint();
}

// After a paint that the next frame could follow past the backing store, the shared memory
// for it is made ready on a later pass of the event loop: a picture just opened shows at
// once, and the first frame played is not late for want of memory. Every paint of a picture
// asks, not only one a new frame caused: a picture handed on before the window was shown is
// first painted when the window is exposed.
void VideoSurface::reserveDirect() {
    if (!shm_ || reserving_ || !painted_.isValid() || !ShmImage::suits(onDevice(painted_.size()))) return;
    if (!shm_->needsReserve(onDevice(painted_.size()))) return;  // frames painted while covered
    reserving_ = true;
    QTimer::singleShot(0, this, [this] {
        reserving_ = false;
        if (shm_ && painted_.isValid()) shm_->reserve(onDevice(painted_.size()));
    });
}

QSize VideoSurface::onDevice(QSize logical) const {
    int k = wholeScale(devicePixelRatio());
    return k ? logical * k : QSize();
}

QRect VideoSurface::frameDestination() const {
    return destination_.isValid() ? destination_ : QRect(0, 0, frame_.shownWidth(), frame_.height);
}

void VideoSurface::putDestination(const QRect& r) {
    destination_ = r;
    update();
}

// Direct puts leave the backing store behind the screen, and the toolkit answers an expose
// from the backing store: the surface is marked for repainting first, so the toolkit paints
// the current picture before it flushes.
bool VideoSurface::eventFilter(QObject* watched, QEvent* e) {
    if (watched == watched_ && e->type() == QEvent::Expose && directFrames_ > 0) update();
    return false;
}

bool VideoSurface::presentDirect() {
    if (!shmTried_) {
        shmTried_ = true;
        if (QGuiApplication::platformName() == QLatin1String("xcb")) shm_ = ShmImage::create();
    }
    QRect dest = frameDestination();
    int k = wholeScale(devicePixelRatio());
    if (!shm_ || !frame_.valid() || !isVisible() || dest != painted_ || k == 0 || !ShmImage::suits(dest.size() * k))
        return false;
    QWidget* host = isWindow() ? this : nativeParentWidget();
    QWindow* window = host ? host->windowHandle() : nullptr;
    if (!window || !window->isExposed() || !uncovered(dest, host)) return false;
    if (watched_ != window) {
        if (watched_) watched_->removeEventFilter(this);
        watched_ = window;
        window->installEventFilter(this);
    }
    auto target = xcb_window_t(host->winId());
    if (!shm_->fits(target)) return false;
    uint8_t* mem = shm_->begin(dest.size() * k);
    if (!mem) return false;
    QImage shared(mem, dest.width() * k, dest.height() * k, shm_->stride(), QImage::Format_RGB32);
    if (!convertInto(shared, shared.rect())) return false;
    if (!shm_->put(target, mapTo(host, dest.topLeft()) * k)) return false;
    ++directFrames_;
    return true;
}

// true when dest lies whole inside every ancestor up to host, and no widget of host's
// window is stacked over it: none of this widget's children, none of the later siblings of
// this widget or of an ancestor. The toolkit's own visibleRegion() leaves out siblings it
// does not think opaque.
bool VideoSurface::uncovered(const QRect& dest, const QWidget* host) const {
    auto inHost = [host](const QWidget* w) { return QRect(w->mapTo(host, QPoint(0, 0)), w->size()); };
    auto over = [](const QWidget* w, const QRect& area, auto&& place) {
        return w && !w->isWindow() && w->isVisible() && place(w).intersects(area);
    };
    if (!rect().contains(dest)) return false;
    for (QObject* o : children())
        if (over(qobject_cast<QWidget*>(o), dest, [](const QWidget* w) { return w->geometry(); })) return false;
    QRect area(mapTo(host, dest.topLeft()), dest.size());
    for (const QWidget* w = this; w != host && w->parentWidget(); w = w->parentWidget()) {
        const QWidget* parent = w->parentWidget();
        if (!inHost(parent).contains(area)) return false;
        const QObjectList& kids = parent->children();
        for (qsizetype i = kids.indexOf(const_cast<QWidget*>(w)) + 1; i < kids.size(); ++i)
            if (over(qobject_cast<QWidget*>(kids[i]), area, inHost)) return false;
    }
    return true;
}

void VideoSurface::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    painted_ = QRect();
    if (!frame_.valid()) {
        p.fillRect(rect(), Qt::black);
        return;
    }
    QRect dest = frameDestination();
    painted_ = dest;
    reserveDirect();
    // Only what the picture does not cover is filled: a full-frame fill costs as much as the copy.
    for (const QRect& r : QRegion(rect()).subtracted(QRegion(dest))) p.fillRect(r, Qt::black);
    if (dest.isEmpty() || convertInPlace(p, dest, e->region())) return;
    // A destination the surface holds is converted at its size, scaled in the same pass; one
    // reaching past the surface (any rectangle a command may give) is drawn scaled by the
    // painter, which converts only the picture and draws only what shows.
    // Either way at the device's pixels: on a dense screen the picture is converted straight
    // to its size there, never converted small and enlarged by the painter.
    int k = std::max(1, wholeScale(p.device()->devicePixelRatio()));
    QSize size = rect().contains(dest) ? dest.size() : QSize(frame_.shownWidth(), frame_.height);
    const QImage* img = keptConversion(size * k, k);
    if (!img) return;
    if (dest.size() == size) {
        p.drawImage(dest.topLeft(), *img);
    } else {
        p.drawImage(dest, *img);
    }
}

const QImage* VideoSurface::keptConversion(QSize size, int k) {
    if (kept_.size() == size && kept_.devicePixelRatio() == k) return &kept_;
    kept_ = QImage(size, QImage::Format_RGB32);
    if (kept_.isNull() || !convertInto(kept_, kept_.rect())) {
        kept_ = QImage();
        return nullptr;
    }
    kept_.setDevicePixelRatio(k);
    return &kept_;
}

bool VideoSurface::convertInto(QImage& into, const QRect& area) {
    uint8_t* origin = bgraArea(into, area);
    return origin && converter_.toBgra(frame_, origin, int(into.bytesPerLine()), area.width(), area.height());
}

bool VideoSurface::drawSourceInto(QImage& into, QPoint at) {
    if (!frame_.valid()) return false;
    QRect dest(at, QSize(frame_.shownWidth(), frame_.height));
    if (convertInto(into, dest)) return true;
    // Partly outside: the part that lands is drawn from the kept conversion.
    const QImage* img = keptConversion(dest.size(), 1);
    if (!img) return false;
    QPainter p(&into);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(at, *img);
    return true;
}

// Converts the picture into the memory the painter draws on (the backing store, or the
// image the window is rendered into for a copy) when it is a 32-bit image that holds the
// whole picture where it goes, drawn on unscaled or at its own whole device pixel ratio
// (a dense screen's backing store: the picture is converted at k times its size there), and
// the picture lies whole in the region to paint (the conversion writes every pixel of it,
// past any clip); false otherwise, and the caller draws a converted copy through the painter.
bool VideoSurface::convertInPlace(QPainter& p, const QRect& dest, const QRegion& toPaint) {
    QPaintEngine* engine = p.paintEngine();
    QPaintDevice* dev = engine ? engine->paintDevice() : nullptr;
    if (!dev || dev->devType() != QInternal::Image) return false;
    auto* img = static_cast<QImage*>(dev);
    QTransform t = p.deviceTransform();
    int k = wholeScale(img->devicePixelRatio());
    bool unscaled = t.type() <= QTransform::TxTranslate && k == 1;
    bool byRatio = t.type() == QTransform::TxScale && k > 1 && t.m11() == k && t.m22() == k;
    if (!(unscaled || byRatio) || !rect().contains(dest)) return false;
    if (!QRegion(dest).subtracted(toPaint).isEmpty()) return false;
    QRect area = t.mapRect(dest);
    if (!bgraArea(*img, area)) return false;
    // A new backing store (the window's first paint, or a resize) is fresh memory: its pages
    // are made present together, before the conversion writes them one by one.
    if (img->constBits() != readied_) {
        readied_ = img->constBits();
        engine::makePagesPresent(img->bits(), size_t(img->sizeInBytes()));
    }
    p.beginNativePainting();  // the painter has flushed what it drew before
    bool ok = convertInto(*img, area);
    p.endNativePainting();
    return ok;
}

}  // namespace plim::display
