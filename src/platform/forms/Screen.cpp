#include "platform/forms/Screen.h"

#include <QGuiApplication>
#include <QScreen>

namespace plim::forms {
namespace {
double g_dpiOverride = 0;
bool g_originOverridden = false;
QPoint g_origin;

double dpiX() {
    if (g_dpiOverride > 0) return g_dpiOverride;
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->logicalDotsPerInchX() : 96.0;
}
double dpiY() {
    if (g_dpiOverride > 0) return g_dpiOverride;
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->logicalDotsPerInchY() : 96.0;
}
}  // namespace

float Screen::TwipsPerPixelX() { return static_cast<float>(1440.0 / dpiX()); }
float Screen::TwipsPerPixelY() { return static_cast<float>(1440.0 / dpiY()); }

float Screen::Width() {
    QScreen* s = QGuiApplication::primaryScreen();
    return (s ? s->geometry().width() : 1024) * TwipsPerPixelX();
}

float Screen::Height() {
    QScreen* s = QGuiApplication::primaryScreen();
    return (s ? s->geometry().height() : 768) * TwipsPerPixelY();
}

void Screen::setDpiOverride(double dpi) { g_dpiOverride = dpi; }

QPoint Screen::originPx() {
    if (g_originOverridden) return g_origin;
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().topLeft() : QPoint();
}

QRect Screen::workAreaPx() {
    QScreen* s = QGuiApplication::primaryScreen();
    if (!s) return QRect(0, 0, 1024, 768);
    return s->availableGeometry().translated(-s->geometry().topLeft());
}

void Screen::setOriginOverride(const QPoint* origin) {
    g_originOverridden = origin != nullptr;
    g_origin = origin ? *origin : QPoint();
}

}  // namespace plim::forms
