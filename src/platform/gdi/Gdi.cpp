#include "platform/gdi/Gdi.h"

#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QWidget>
#include <map>

namespace plim::gdi {
namespace {
struct Dc {
    QPointer<QWidget> window;
    QImage* bitmap = nullptr;
};
std::map<HDC, Dc>& table() {
    static std::map<HDC, Dc>& t = *new std::map<HDC, Dc>;  // never destroyed: used while exiting
    return t;
}
HDC g_next = 0x2000;

HDC add(Dc dc) {
    for (auto& [h, d] : table()) {
        if ((dc.window && d.window == dc.window) || (dc.bitmap && d.bitmap == dc.bitmap)) return h;
    }
    HDC h = g_next++;
    table()[h] = dc;
    return h;
}

// Renders the window's client area from (sx, sy), w x h pixels, into `target` at `at`, the
// window's children included; parts outside the client area take its background colour.
// Straight into the target: a video picture in the window is converted once, into these
// pixels, with no copy of the window in between.
void renderWindow(QWidget* w, QImage& target, QPoint at, QRect from) {
    {
        QPainter p(&target);
        p.fillRect(QRect(at, from.size()), w->palette().color(QPalette::Window));
    }
    QRect inside = from.intersected(w->rect());
    if (inside.isEmpty()) return;
    w->render(&target, at + (inside.topLeft() - from.topLeft()), QRegion(inside),
              QWidget::DrawWindowBackground | QWidget::DrawChildren);
}
}  // namespace

HDC dcForWindow(QWidget* client) { return client ? add(Dc{client, nullptr}) : 0; }
HDC dcForBitmap(QImage* bitmap) { return bitmap ? add(Dc{nullptr, bitmap}) : 0; }
void releaseDc(HDC dc) { table().erase(dc); }

QImage* bitmapOf(HDC dc) {
    auto it = table().find(dc);
    return it == table().end() ? nullptr : it->second.bitmap;
}

int BitBlt(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy, uint32_t rop) {
    if (rop != SRCCOPY || w <= 0 || h <= 0) return 0;
    auto d = table().find(dest), s = table().find(src);
    if (d == table().end() || s == table().end() || !d->second.bitmap) return 0;
    QImage* target = d->second.bitmap;
    // Only what can land in the destination is read.
    int cw = std::min(w, std::max(0, target->width() - x));
    int ch = std::min(h, std::max(0, target->height() - y));
    if (cw == 0 || ch == 0) return 1;
    if (s->second.window) {
        renderWindow(s->second.window, *target, QPoint(x, y), QRect(sx, sy, cw, ch));
        return 1;
    }
    if (!s->second.bitmap) return 0;
    QImage pixels = s->second.bitmap->copy(sx, sy, cw, ch);
    QPainter p(target);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(x, y, pixels);
    return 1;
}

}  // namespace plim::gdi
