#pragma once
// The screen as the handlers see it: size in twips and the twips-per-pixel factors
// (1440 / logical dots per inch: 96 dpi gives 15, 120 dpi gives 12). GUI thread only.

#include <QPoint>
#include <QRect>

namespace plim::forms {

struct Screen {
    static float TwipsPerPixelX();
    static float TwipsPerPixelY();
    static float Width();   // twips
    static float Height();  // twips
    // The primary screen's top-left corner on the desktop, in pixels: window positions are
    // relative to it, so windows are placed on the primary monitor wherever it stands.
    static QPoint originPx();
    // The primary screen's work area (less panels and docks), in pixels from originPx().
    static QRect workAreaPx();
    // Tests pretend another logical dpi (0 returns to the real screen), or another origin
    // (nullptr returns to the real one).
    static void setDpiOverride(double dpi);
    static void setOriginOverride(const QPoint* origin);
};

}  // namespace plim::forms
