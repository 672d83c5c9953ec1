// Playback as a real X server shows it. Frames put past the backing store must land exactly
// where the toolkit would have painted them, an expose must never bring back an older
// picture, and a widget lying over the video must never be drawn over. Skipped unless the
// program runs on X (ctest runs these once more under Xvfb).
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <xcb/xcb.h>

#include "FrameBgra.h"
#include "SurfaceProbe.h"
#include "TestSupport.h"
#include "platform/forms/Handles.h"
#include "platform/gdi/Gdi.h"
#include "platform/mci/Device.h"
#include "platform/mci/MciService.h"

using namespace plim;

namespace {

void pump(int ms, const std::function<bool()>& done = [] { return false; }) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms && !done()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// The pixels the X server holds for r of top-level window w, as 0x00RRGGBB.
std::vector<uint32_t> onScreen(QWidget* w, QRect r) {
    auto* c = qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    auto* img = xcb_get_image_reply(c,
                                    xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, xcb_window_t(w->winId()), int16_t(r.x()),
                                                  int16_t(r.y()), uint16_t(r.width()), uint16_t(r.height()), ~0u),
                                    nullptr);
    std::vector<uint32_t> out;
    if (!img) return out;
    auto* px = reinterpret_cast<const uint32_t*>(xcb_get_image_data(img));
    out.assign(px, px + size_t(r.width()) * size_t(r.height()));
    for (uint32_t& p : out) p &= 0xffffff;
    std::free(img);
    return out;
}

// The frame the surface holds, as the converter makes it (at scale times its size).
std::vector<uint32_t> converted(const display::VideoSurface& s, int scale = 1) {
    std::vector<uint8_t> bgra = plim::test::bgraOf(s.frame(), scale);
    std::vector<uint32_t> out(bgra.size() / 4);
    for (size_t i = 0; i < out.size(); ++i) out[i] = uint32_t(bgra[4 * i]) | uint32_t(bgra[4 * i + 1]) << 8 | uint32_t(bgra[4 * i + 2]) << 16;
    return out;
}

class OnScreen : public ::testing::Test {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "not on X";
        if (!std::filesystem::exists(test::clip("mpeg4_mp3.avi"))) GTEST_SKIP() << "no clips";
        host_ = std::make_unique<QWidget>();
        host_->setGeometry(40, 40, 400, 300);
        host_->show();
        pump(2000, [&] { return host_->windowHandle() && host_->windowHandle()->isExposed(); });
        service_ = mci::createService();
        std::string open = "open \"" + test::clip("mpeg4_mp3.avi") + "\" alias m style child parent " +
                           std::to_string(forms::handleOf(host_.get()));
        ASSERT_EQ(service_->sendString(open, nullptr, 0, 0), 0u);
        send("put m window at 20 10 320 240");
        send("window m state show");
        surface_ = dynamic_cast<display::VideoSurface*>(forms::widgetOf(std::stoi(ask("status m window handle"))));
        ASSERT_NE(surface_, nullptr);
        pump(2000, [&] { return surface_->frame().valid(); });
        pump(100);
    }
    void TearDown() override {
        if (service_) send("close m");
    }
    void send(const std::string& cmd) { EXPECT_EQ(service_->sendString(cmd, nullptr, 0, 0), 0u) << cmd; }
    std::string ask(const std::string& cmd) {
        char reply[128] = {};
        service_->sendString(cmd, reply, sizeof reply, 0);
        return reply;
    }
    // Plays about a second, then pauses and lets the window settle.
    void playAWhile() {
        send("play m");
        pump(1000);
        send("pause m");
        pump(200);
    }
    QRect videoArea() const { return QRect(surface_->mapTo(host_.get(), QPoint(0, 0)), QSize(320, 240)); }

    std::unique_ptr<QWidget> host_;
    std::shared_ptr<mci::MciService> service_;
    display::VideoSurface* surface_ = nullptr;
};

TEST_F(OnScreen, FramesPutPastTheBackingStoreAreTheConvertedPicture) {
    std::vector<uint32_t> first = converted(*surface_);
    playAWhile();
    EXPECT_GT(display::SurfaceProbe::directFrames(*surface_), 10);
    std::vector<uint32_t> now = converted(*surface_);
    EXPECT_NE(now, first) << "the clip moves: a second in, another picture is due";
    EXPECT_TRUE(onScreen(host_.get(), videoArea()) == now);
}

// A picture handed on before its window is shown is first painted when the window is exposed;
// the memory for the frames that follow is made ready then, not while the first one is due.
TEST_F(OnScreen, APictureShownLateHasTheMemoryForPlayReadyBeforePlay) {
    std::string open = "open \"" + test::clip("mpeg4_mp3.avi") + "\" alias n style child parent " +
                       std::to_string(forms::handleOf(host_.get()));
    ASSERT_EQ(service_->sendString(open, nullptr, 0, 0), 0u);
    send("put n window at 20 10 320 240");
    auto* hidden = dynamic_cast<display::VideoSurface*>(forms::widgetOf(std::stoi(ask("status n window handle"))));
    ASSERT_NE(hidden, nullptr);
    pump(2000, [&] { return hidden->frame().valid(); });
    ASSERT_TRUE(hidden->frame().valid()) << "the open's picture comes while the window is hidden";
    send("window n state show");
    pump(1000, [&] { return display::SurfaceProbe::directReady(*hidden); });
    EXPECT_TRUE(display::SurfaceProbe::directReady(*hidden));
    send("close n");
}

// A picture shown larger than a shared image suits is painted through the backing store
// alone: no second copy of a window that size is made, and the screen shows each frame.
TEST_F(OnScreen, APictureTooLargeForASharedImageIsPaintedThroughTheBackingStore) {
    const QSize big(2600, 1700);
    ASSERT_FALSE(display::ShmImage::suits(big));
    QWidget host;
    host.setGeometry(0, 0, big.width() + 20, big.height() + 20);
    host.show();
    pump(2000, [&] { return host.windowHandle() && host.windowHandle()->isExposed(); });
    std::string open = "open \"" + test::clip("mpeg4_mp3.avi") + "\" alias b style child parent " +
                       std::to_string(forms::handleOf(&host));
    ASSERT_EQ(service_->sendString(open, nullptr, 0, 0), 0u);
    send("put b window at 10 10 2600 1700");
    send("put b destination at 0 0 2600 1700");
    send("window b state show");
    auto* surface = dynamic_cast<display::VideoSurface*>(forms::widgetOf(std::stoi(ask("status b window handle"))));
    ASSERT_NE(surface, nullptr);
    pump(2000, [&] { return surface->frame().valid(); });
    send("play b");
    pump(1000);
    send("pause b");
    pump(300);
    EXPECT_EQ(display::SurfaceProbe::directFrames(*surface), 0);
    EXPECT_FALSE(display::SurfaceProbe::directReady(*surface));
    QImage painted = surface->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(painted.size(), big);
    std::vector<uint32_t> want(size_t(big.width()) * size_t(big.height()));
    for (int y = 0; y < big.height(); ++y)
        for (int x = 0; x < big.width(); ++x) want[size_t(y) * size_t(big.width()) + size_t(x)] = painted.pixel(x, y) & 0xffffff;
    EXPECT_TRUE(onScreen(&host, QRect(QPoint(10, 10), big)) == want);
    send("close b");
}

// On a screen scaled by a whole k (ctest runs these once more with the toolkit's scale at 2),
// the picture fills k times its rectangle in device pixels, converted at that size in one
// pass: the frames put past the backing store and a repaint through it alike.
TEST_F(OnScreen, ADenseScreenShowsThePictureConvertedAtItsDevicePixels) {
    const int k = int(host_->devicePixelRatio());
    if (k < 2) GTEST_SKIP() << "the screen is not scaled";
    playAWhile();
    EXPECT_GT(display::SurfaceProbe::directFrames(*surface_), 10);
    const QRect device(videoArea().topLeft() * k, videoArea().size() * k);
    std::vector<uint32_t> want = converted(*surface_, k);
    EXPECT_TRUE(onScreen(host_.get(), device) == want) << "frames put directly";
    surface_->repaint();
    pump(300);
    EXPECT_TRUE(onScreen(host_.get(), device) == want) << "painted through the backing store";
}

TEST_F(OnScreen, AnExposeShowsTheCurrentPictureNotAnOlderOne) {
    playAWhile();
    std::vector<uint32_t> now = converted(*surface_);
    QWidget cover;
    cover.setGeometry(host_->geometry());
    cover.setStyleSheet("background: red");
    cover.show();
    pump(300);
    cover.hide();
    pump(500);
    EXPECT_TRUE(onScreen(host_.get(), videoArea()) == now);
}

TEST_F(OnScreen, AWidgetOverTheVideoIsNeverDrawnOver) {
    QLabel over(host_.get());
    over.setAutoFillBackground(true);
    over.setStyleSheet("background: rgb(255, 0, 0)");
    over.setGeometry(QRect(videoArea().topLeft() + QPoint(100, 100), QSize(40, 30)));
    over.show();
    over.raise();
    playAWhile();
    std::vector<uint32_t> px = onScreen(host_.get(), over.geometry());
    ASSERT_FALSE(px.empty());
    EXPECT_EQ(std::count(px.begin(), px.end(), 0xff0000u), long(px.size())) << "drawn over: " << std::hex << px[0];
    // Beside it, the video still plays.
    EXPECT_NE(converted(*surface_), std::vector<uint32_t>());
}

// A copy of the window through the device contexts holds the picture exactly where it lies,
// whether the rectangle copied takes in all of it (converted straight into the copy) or part
// of it, and writes nothing outside the rectangle it lands in.
TEST_F(OnScreen, ACopyOfTheWindowHoldsThePictureAndNothingOutsideItsRectangle) {
    struct Case {
        const char* what;
        QRect from;   // in the host window
        QPoint to;    // in the bitmap
        QSize bitmap;
    } cases[] = {{"the whole picture", QRect(20, 10, 320, 240), QPoint(0, 0), QSize(400, 300)},
                 {"inside the picture", QRect(30, 20, 100, 80), QPoint(50, 50), QSize(400, 300)},
                 {"past the bitmap's edge", QRect(0, 0, 400, 300), QPoint(10, 10), QSize(360, 280)}};
    std::vector<uint32_t> picture = converted(*surface_);
    ASSERT_EQ(picture.size(), size_t(320 * 240));
    const QRect inHost(20, 10, 320, 240);
    constexpr uint32_t kUntouched = 0x123456;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QImage bitmap(c.bitmap, QImage::Format_RGB32);
        bitmap.fill(kUntouched);
        gdi::HDC dest = gdi::dcForBitmap(&bitmap), src = gdi::dcForWindow(host_.get());
        ASSERT_EQ(gdi::BitBlt(dest, c.to.x(), c.to.y(), c.from.width(), c.from.height(), src, c.from.x(), c.from.y(), gdi::SRCCOPY), 1);
        QRect landed = QRect(c.to, c.from.size()).intersected(bitmap.rect());
        int wrong = 0;
        for (int y = 0; y < bitmap.height(); ++y) {
            for (int x = 0; x < bitmap.width(); ++x) {
                uint32_t got = bitmap.pixel(x, y) & 0xffffff;
                QPoint host = QPoint(x, y) - c.to + c.from.topLeft();
                if (!landed.contains(x, y)) wrong += got != kUntouched;
                else if (inHost.contains(host)) wrong += got != picture[size_t(host.y() - 10) * 320 + size_t(host.x() - 20)];
            }
        }
        EXPECT_EQ(wrong, 0);
        gdi::releaseDc(dest);
        gdi::releaseDc(src);
    }
}

}  // namespace
