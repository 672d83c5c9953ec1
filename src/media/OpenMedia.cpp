// Opening a video as the one device "movi2" and sizing the video and capture windows to it.
#include <QRect>
#include <QSize>
#include <algorithm>
#include <cmath>

#include "module1/Module1.h"
#include "media/MciChannel.h"
#include "media/SoundLevel.h"
#include "media/VideoView.h"
#include "platform/display/PictureFit.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/Runtime.h"
#include "platform/forms/Screen.h"
#include "windows/Windows.h"

namespace plim {

using namespace Module1;
using display::PictureFit;
using display::fitPicture;

namespace {
// The path as one word of the command: quoted when it holds a blank, as the service
// otherwise cuts it there.
std::string commandPath(const std::string& path) {
    return path.find(' ') != std::string::npos ? "\"" + path + "\"" : path;
}

// What the video and capture windows add around the picture, pixels: the original sized them
// to the video plus this.
constexpr int kBorderPx = 4;

// The window's scale, percent of the video's size: 100 after every open.
int g_percent = 100;

// The picture's size at `percent` of the video's: exactly the video's at 100; at other scales
// of an even width (see PictureFit), the height following.
QSize atScale(int percent) {
    if (percent == 100) return QSize(VideoWidth, VideoHeight);
    int w = 2 * int(std::lround(double(VideoWidth) * percent / 200.0));
    return QSize(std::max(2, w), std::max(1, int(std::lround(double(VideoHeight) * percent / 100.0))));
}

// The picture's size on screen: the video's at `percent`, or smaller when the window would
// not fit the work area (PictureFit). Smaller, it fits below the main window, where it is
// placed, so that the buttons stay in sight; unless the main window stands so low that less
// than half the work area is left below it. chromeW, chromeH: the window's frame around its
// client, twips. scaled: shown at another size than the video's.
PictureFit shownSize(float chromeW, float chromeH, int percent) {
    QRect work = forms::Screen::workAreaPx();
    QSize want = atScale(percent);
    int frameW = int(std::ceil(chromeW / float(TwipsX))), frameH = int(std::ceil(chromeH / float(TwipsY)));
    PictureFit fit = fitPicture(want.width(), want.height(), frameW + kBorderPx, frameH + kBorderPx, work.width(), work.height());
    if (fit.scaled) {
        int below = work.bottom() + 1 - std::max(work.top(), int((MainFrm().Top() + MainFrm().Height()) / float(TwipsY)));
        int height = below >= work.height() / 2 ? below : work.height();
        fit = fitPicture(want.width(), want.height(), frameW + kBorderPx, frameH + kBorderPx, work.width(), height);
    }
    fit.scaled = fit.width != VideoWidth || fit.height != VideoHeight;
    return fit;
}

// A window shown smaller keeps its place under the main window, centred, moved only as far as
// it must be to lie whole on the work area.
void keepOnScreen(VFrmT& v) {
    QRect work = forms::Screen::workAreaPx();
    float left = float(work.left()) * TwipsX, top = float(work.top()) * TwipsY;
    float right = float(work.right() + 1) * TwipsX, bottom = float(work.bottom() + 1) * TwipsY;
    v.setTop(std::max(top, std::min(v.Top(), bottom - v.Height())));
    v.setLeft(std::max(left, std::min(v.Left(), right - v.Width())));
}

// A window's outer size, twips, around a client of `pixels` and the border: its frame
// (chrome, twips) as it is, computed as the video window has always been sized.
float outerTwips(float chrome, int16_t twipsPerPixel, int32_t pixels) {
    return chrome + float(rt::Mul32(twipsPerPixel, pixels)) + float(rt::Mul16(twipsPerPixel, kBorderPx));
}

// The whole twips per pixel that size the window are the screen's rounded: where the screen's
// are not whole (110 or 168 dpi), the client can come out a few pixels short of the picture
// and its border, and the picture would be cut or shown smaller. Such a window is widened or
// heightened to hold them; one the rounding made larger keeps its black margin.
void holdWhole(VFrmT& v, int width, int height) {
    if (v.ScaleWidth() < float(width)) v.setWidth(v.Width() + (float(width) - v.ScaleWidth()) * forms::Screen::TwipsPerPixelX());
    if (v.ScaleHeight() < float(height))
        v.setHeight(v.Height() + (float(height) - v.ScaleHeight()) * forms::Screen::TwipsPerPixelY());
}

// The device's window and picture at the size shown.
void showScaled(const PictureFit& fit) {
    std::string rect = " at 0 0 " + std::to_string(fit.width) + " " + std::to_string(fit.height);
    media::mciSendStringA("put Movi2 window" + rect, nullptr, 0, 0);
    media::mciSendStringA("put Movi2 destination" + rect, nullptr, 0, 0);
}

// Sizes the video and capture windows for the picture at `percent` of the video's size, as
// the open always has at 100. rescale: a scale chosen on the window, after which the device
// is told the size even when it is the video's own, undoing an earlier scale.
void sizeWindows(int percent, bool rescale) {
    VFrmT& v = VFrm();
    UfrmT& u = Ufrm();
    v.Pic.setLeft(0);
    v.Pic.setTop(0);
    u.Pic.setLeft(0);
    u.Pic.setTop(0);
    float chromeW = v.Width() - TwipsX * v.ScaleWidth(), chromeH = v.Height() - TwipsY * v.ScaleHeight();
    PictureFit fit = shownSize(chromeW, chromeH, percent);
    v.setWidth(outerTwips(chromeW, TwipsX, fit.width));
    v.setHeight(outerTwips(chromeH, TwipsY, fit.height));
    holdWhole(v, fit.width + kBorderPx, fit.height + kBorderPx);
    v.Pic.setWidth(v.Width());
    v.Pic.setHeight(v.Height());
    v.Pic.setScaleWidth(v.ScaleWidth());
    v.Pic.setScaleHeight(v.ScaleHeight());
    v.setTop(MainFrm().Height() + MainFrm().Top());
    v.setLeft((forms::Screen::Width() - v.Width()) / 2);
    if (!fit.scaled) {
        u.setWidth(v.Width());
        u.setHeight(v.Height());
        u.Pic.setWidth(v.Pic.ScaleWidth());
        u.Pic.setHeight(v.Pic.ScaleHeight());
        if (rescale) showScaled(fit);
        return;
    }
    keepOnScreen(v);
    showScaled(fit);
    // The capture window keeps the video's own size: the frame is saved whole.
    u.setWidth(outerTwips(chromeW, TwipsX, VideoWidth));
    u.setHeight(outerTwips(chromeH, TwipsY, VideoHeight));
    u.Pic.setWidth(float(VideoWidth + kBorderPx));
    u.Pic.setHeight(float(VideoHeight + kBorderPx));
}
}  // namespace

void Module1::OpenMedia() {
    media::ReplyBuffer reply;
    SliderPos = 20;
    forms::HWND host = VFrm().Pic.hWnd();
    std::string cmd = "open " + commandPath(MediaPath) + " alias Movi2 style child parent " + std::to_string(host);
    uint32_t rc = media::mciSendStringA(cmd, nullptr, 0, 0);
    if (rc != 0) {
        media::mciGetErrorStringA(rc, reply.text, media::kReplyLength);
        forms::MsgBox(reply.str(), forms::vbOKOnly);
        MediaOpen = 0;
        return;
    }
    MediaOpen = -1;
    ApplySoundLevelToNewVideo();
    media::mciSendStringA("status Movi2 length", reply.text, media::kReplyLength, 0);
    MediaLength = rt::CLng(media::ReplyNumber(reply));
    media::mciExecute("realize Movi2 normal");
    media::mciExecute("window Movi2 state show");
    media::mciSendStringA("where Movi2 source", reply.text, media::kReplyLength, 0);
    // A missing or non-numeric field reads as every reply does: its leading number, else 0.
    VideoWidth = rt::CLng(rt::Val(GetField(reply.str(), 3, " ")));
    VideoHeight = rt::CLng(rt::Val(GetField(reply.str(), 4, " ")));
    VFrm().setFullScreen(false);  // a new device: nothing of the last one's to put back
    g_percent = 100;
    sizeWindows(g_percent, false);
}

bool VideoAtOpenSize() { return g_percent == 100 && !(VFrm.exists() && VFrm().FullScreen()); }

void ShowVideoAtScale(int percent) {
    if (MediaOpen == 0 || VideoWidth <= 0 || VideoHeight <= 0) return;
    LeaveFullScreen();
    g_percent = percent;
    sizeWindows(percent, true);
}

std::string Module1::GetField(const std::string& text, int16_t n, const std::string& delimiter) {
    if (delimiter.empty()) return std::string();
    // 1-based positions, as the text functions count them.
    auto find = [&](int start) -> int {
        size_t p = text.find(delimiter[0], size_t(start - 1));
        return p == std::string::npos ? 0 : int(p) + 1;
    };
    int start = 1;
    int16_t counter = 1;
    bool leftEarly = false;
    while (counter <= n - 1) {
        int p = find(start);
        if (p == 0) {
            leftEarly = true;
            break;
        }
        start = p + 1;
        ++counter;
    }
    int p = find(start);
    if (p != 0) return text.substr(size_t(start - 1), size_t(p - start));
    if (!leftEarly && size_t(start - 1) <= text.size()) return text.substr(size_t(start - 1));
    return std::string();
}

}  // namespace plim
