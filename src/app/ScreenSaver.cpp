#include "app/ScreenSaver.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <cstdio>


// Last: Xlib's macros (Status, None, Bool) would break Qt's headers.
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace plim {

namespace {
const char* const kService = "org.freedesktop.ScreenSaver";
const char* const kPath = "/org/freedesktop/ScreenSaver";
// How long a release waits for the bus to answer. Quitting ends the process at once, and a
// release still queued then would be lost; the bus answers in well under a millisecond.
constexpr int kReleaseWaitMs = 300;

QDBusMessage screenSaverCall(const char* method) {
    return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}

Display* xDisplay() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}
}  // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(QObject* parent) : QObject(parent) {}

ScreenSaverInhibitor::~ScreenSaverInhibitor() {
    playing_ = false;
    suspendX(false);
    releaseOnBus();
}

void ScreenSaverInhibitor::setPlaying(bool playing) {
    if (playing == playing_) return;
    playing_ = playing;
    suspendX(playing);
    if (playing) inhibitOnBus();
    else releaseOnBus();
}

void ScreenSaverInhibitor::suspendX(bool suspend) {
    if (suspend == xSuspended_) return;
    Display* dpy = xDisplay();
    int event = 0, error = 0;
    if (!dpy || !XScreenSaverQueryExtension(dpy, &event, &error)) {
        if (suspend && dpy && !noXSaid_) std::fprintf(stderr, "plim: the X server has no screen saver extension\n");
        noXSaid_ = true;
        return;
    }
    XScreenSaverSuspend(dpy, suspend ? True : False);
    XFlush(dpy);
    xSuspended_ = suspend;
}

void ScreenSaverInhibitor::inhibitOnBus() {
    if (cookie_ || asking_) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        if (!noBusSaid_) std::fprintf(stderr, "plim: no session bus: the desktop's screen saver is not held off\n");
        noBusSaid_ = true;
        return;
    }
    QDBusMessage call = screenSaverCall("Inhibit");
    call << QStringLiteral("Plim") << QStringLiteral("playing a video");
    asking_ = true;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        QDBusPendingReply<uint32_t> reply = *w;
        w->deleteLater();
        asking_ = false;
        if (reply.isError()) return;  // no screen saver on this bus: nothing to hold
        cookie_ = reply.value();
        if (!playing_) releaseOnBus();  // play stopped while the bus answered
    });
}

// Waited for (briefly): the process may end right after, when the video was closed to quit.
void ScreenSaverInhibitor::releaseOnBus() {
    if (!cookie_) return;
    QDBusMessage call = screenSaverCall("UnInhibit");
    call << *cookie_;
    cookie_.reset();
    QDBusConnection::sessionBus().call(call, QDBus::Block, kReleaseWaitMs);
}

void ScreenSaverInhibitor::heard(const mci::DeviceNotice& n) {
    if (n.play == mci::DevicePlay::Playing) playingDevices_.insert(n.alias);
    else playingDevices_.erase(n.alias);
    setPlaying(!playingDevices_.empty());
}

void keepScreenOnWhilePlaying(QObject* app) { new ScreenSaverInhibitor(app); }

}  // namespace plim
