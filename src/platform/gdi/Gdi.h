#pragma once
// The block transfer the frame capture needs: device contexts for a window's client area
// (read as the toolkit renders it, child windows included, so a window lying over it does
// not spoil the copy) and for a persistent bitmap (drawn into). GUI thread only.
#include <cstdint>

class QImage;
class QWidget;

namespace plim::gdi {

using HDC = intptr_t;
constexpr uint32_t SRCCOPY = 0x00CC0020;

HDC dcForWindow(QWidget* client);
HDC dcForBitmap(QImage* bitmap);
// The bitmap a device context draws on; nullptr for a window's or an unknown one.
QImage* bitmapOf(HDC dc);
void releaseDc(HDC dc);

// Copies w x h pixels from (sx, sy) of src to (x, y) of dest. Source pixels outside the
// window's client area read as the window's background colour; what falls outside the
// destination bitmap is clipped. Returns nonzero on success, 0 for an unknown context or
// raster operation.
int BitBlt(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy, uint32_t rop);

}  // namespace plim::gdi
