// Plays the file named on the command line through the MCI service in a window, to its end,
// then exits. With --fit WxH first, the picture is shown as large as fits in W x H, of its own
// shape, as the viewer shows a video larger than the screen; with --fs, the window covers the
// screen and the picture fills it with its shape kept, centred, as the viewer's full screen. Prints FIRST_FRAME_MS=N (open
// to the first frame on screen) and DROPPED_FIRST_SECOND=N (dropped in the first second of
// play, where opening's work still competes); the last line printed is DROPPED=N, the frames
// dropped as late in all.
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/Process.h"
#include "platform/display/PictureFit.h"
#include "platform/forms/Handles.h"
#include "platform/mci/Device.h"
#include "platform/mci/MciService.h"
#include "SurfaceProbe.h"

namespace {
std::string ask(plim::mci::MciService& s, const std::string& cmd) {
    char reply[128] = {};
    s.sendString(cmd, reply, sizeof reply, 0);
    return reply;
}

// Sees the surface's first paint of a picture. The toolkit sends what was painted to the X
// server in the same pass, before any posted work runs: the call posted here from the paint
// event marks the first frame on screen, and the time is taken when it runs. Work the
// surface itself posts while painting (making memory ready for the frames to come) may run
// in the same pass of the event loop, after it, and is not counted.
class FirstPaint : public QObject {
public:
    FirstPaint(plim::display::VideoSurface* s, const QElapsedTimer& clock) : surface_(s), clock_(clock) {
        s->installEventFilter(this);
        if (s->frame().valid()) s->update();  // handed on already: its paint is seen again
    }
    bool done() const { return ms_ >= 0; }
    qint64 ms() const { return ms_; }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && surface_->frame().valid() && !seen_) {
            seen_ = true;
            QMetaObject::invokeMethod(this, [this] { ms_ = clock_.elapsed(); }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    plim::display::VideoSurface* surface_;
    const QElapsedTimer& clock_;
    bool seen_ = false;
    qint64 ms_ = -1;
};
}  // namespace

int main(int argc, char** argv) {
    plim::settleProcess();
    QApplication app(argc, argv);
    int fitW = 0, fitH = 0;
    bool full = false;
    if (argc > 3 && std::string(argv[1]) == "--fit" && std::sscanf(argv[2], "%dx%d", &fitW, &fitH) == 2) argv += 2, argc -= 2;
    if (argc > 2 && std::string(argv[1]) == "--fs") full = true, ++argv, --argc;
    if (argc < 2) {
        std::fprintf(stderr, "usage: plim_play [--fit WxH | --fs] FILE\n");
        return 2;
    }
    auto service = plim::mci::createService();
    QWidget host;
    host.setWindowTitle("plim_play");
    QElapsedTimer t;
    t.start();
    std::string open = std::string("open \"") + argv[1] + "\" alias m style child parent " +
                       std::to_string(plim::forms::handleOf(&host));
    if (uint32_t e = service->sendString(open, nullptr, 0, 0)) {
        std::fprintf(stderr, "open failed: %u\n", e);
        return 1;
    }
    std::string where = ask(*service, "where m source");
    int x, y, w, h;
    if (std::sscanf(where.c_str(), "%d %d %d %d", &x, &y, &w, &h) == 4) {
        // The viewer's own fit, with fitW x fitH as the room the picture has on the screen.
        plim::display::PictureFit fit = fitW > 0 && fitH > 0 ? plim::display::fitPicture(w, h, 0, 0, fitW, fitH) : plim::display::PictureFit{};
        if (fit.scaled) {
            int sw = fit.width, sh = fit.height;
            std::string rect = " at 0 0 " + std::to_string(sw) + " " + std::to_string(sh);
            service->sendString("put m window" + rect, nullptr, 0, 0);
            service->sendString("put m destination" + rect, nullptr, 0, 0);
            w = sw, h = sh;
        }
        host.resize(w, h);
        if (full) {
            QSize screen = host.screen()->geometry().size();
            plim::display::PictureFit fill = plim::display::fillArea(w, h, screen.width(), screen.height());
            service->sendString("put m window at 0 0 " + std::to_string(screen.width()) + " " + std::to_string(screen.height()),
                                nullptr, 0, 0);
            service->sendString("put m destination at " + std::to_string((screen.width() - fill.width) / 2) + " " +
                                    std::to_string((screen.height() - fill.height) / 2) + " " + std::to_string(fill.width) +
                                    " " + std::to_string(fill.height),
                                nullptr, 0, 0);
        }
    }
    if (full) {
        host.setGeometry(host.screen()->geometry());  // the same without a window manager
        host.showFullScreen();
    } else {
        host.show();
    }
    service->sendString("window m state show", nullptr, 0, 0);
    auto* surface = dynamic_cast<plim::display::VideoSurface*>(
        plim::forms::widgetOf(std::stoi(ask(*service, "status m window handle"))));
    qint64 first = -1;
    if (surface) {
        FirstPaint painted(surface, t);
        while (!painted.done() && t.elapsed() < 10000) app.processEvents(QEventLoop::AllEvents, 1);
        first = painted.ms();
    }
    if (first < 0) first = t.elapsed();
    std::printf("open to first frame on screen: %lld ms\nFIRST_FRAME_MS=%lld\n", static_cast<long long>(first),
                static_cast<long long>(first));
    service->sendString("play m", nullptr, 0, 0);
    QElapsedTimer played;
    played.start();
    std::string droppedAtStart;  // frames dropped in the first second of play
    QTimer poll;  // the event loop sleeps between frames; poll the mode as a viewer would
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (droppedAtStart.empty() && played.elapsed() >= 1000) droppedAtStart = ask(*service, "status m frames skipped");
        if (ask(*service, "status m mode") != "playing") app.quit();
    });
    poll.start(100);
    app.exec();
    std::printf("played %s ms in %lld ms\n", ask(*service, "status m length").c_str(),
                static_cast<long long>(t.elapsed()));
    if (surface) std::printf("frames put past the backing store: %d\n", plim::display::SurfaceProbe::directFrames(*surface));
    std::printf("DROPPED_FIRST_SECOND=%s\n", droppedAtStart.c_str());
    std::printf("DROPPED=%s\n", ask(*service, "status m frames skipped").c_str());
    service->sendString("close m", nullptr, 0, 0);
    return 0;
}
