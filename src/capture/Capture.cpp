// Frame capture: the frame on screen, copied from the video window, saved as a BMP file.
#include "capture/Capture.h"

#include <QImage>
#include <algorithm>

#include "media/MciChannel.h"
#include "media/VideoView.h"
#include "module1/Module1.h"
#include "platform/forms/PathJoin.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/SavePicture.h"
#include "platform/gdi/Gdi.h"
#include "windows/Windows.h"

namespace plim {

using namespace Module1;

namespace {
constexpr int kCopyMinimum = 1000;

// Draws the frame shown into dest at the video's own size, placed as the copy of an unscaled
// window places it (the client's (border, border) at dest's origin); the service's reason
// when it cannot (no memory for a frame that size), else empty.
std::string frameAtOwnSize(gdi::HDC dest) {
    std::string at = " at " + std::to_string(-FrameBorder) + " " + std::to_string(-FrameBorder) + " 0 0";
    uint32_t rc = media::mciSendStringA("update Movi2 hdc " + std::to_string(dest) + at, nullptr, 0, 0);
    if (rc == 0) return {};
    media::ReplyBuffer reason;
    media::mciGetErrorStringA(rc, reason.text, media::kReplyLength);
    return reason.str();
}

// Whether the window shows the picture at another size than the video's: smaller (one too
// large for the screen: the open made the capture surface larger than the window's client
// area, to hold the frame at its own size), scaled by the user, or full screen. The device
// is not asked.
bool shownAtAnotherSize() {
    return !VideoAtOpenSize() || Ufrm().Pic.Width() > VFrm().ScaleWidth() || Ufrm().Pic.Height() > VFrm().ScaleHeight();
}
}  // namespace

void CopyFrameToClipboard() {
    if (MediaOpen == 0 || VideoWidth <= 0 || VideoHeight <= 0) return;
    QImage frame(VideoWidth, VideoHeight, QImage::Format_RGB32);
    if (frame.isNull()) return;
    gdi::HDC dc = gdi::dcForBitmap(&frame);
    uint32_t rc = media::mciSendStringA("update Movi2 hdc " + std::to_string(dc) + " at 0 0 0 0", nullptr, 0, 0);
    gdi::releaseDc(dc);
    if (rc == 0) forms::ClipboardSetImage(frame);
}

void SaveFrameAction() {
    DiaLogT& d = DiaLog();
    if (d.Text1.Text().empty()) {
        forms::MsgBox("ﾌｧｲﾙ名を入力してください", forms::vbOKCancel, std::string("ｴﾗｰ"));
        return;
    }
    Ufrm().Pic.setPicture(forms::Picture());
    d.Hide();
    VFrm().SetFocus();
    gdi::HDC dest = Ufrm().Pic.hDC();
    std::string failure;
    if (shownAtAnotherSize()) {
        // The frame is saved at the video's own size, as the player has it, never as the
        // copy on screen, smaller or larger.
        failure = frameAtOwnSize(dest);
    } else {
        gdi::HDC src = VFrm().hDC();
        // The whole client area, however large: a fixed 1000 x 1000 would leave HD frames cut.
        int w = std::max(kCopyMinimum, int(VFrm().ScaleWidth()));
        int h = std::max(kCopyMinimum, int(VFrm().ScaleHeight()));
        gdi::BitBlt(dest, 0, 0, w, h, src, FrameBorder, FrameBorder, gdi::SRCCOPY);
    }
    if (failure.empty()) {
        ChosenFolder = DiaLog().Dir1.Path();
        std::string path = forms::JoinPath(ChosenFolder, DiaLog().Text1.Text()) + ".bmp";
        forms::DoEvents();
        failure = forms::SavePicture(Ufrm().Pic.Image(), path);
    }
    if (!failure.empty()) {
        forms::MsgBox("BMPﾌｧｲﾙに保存できませんでした\n" + failure, forms::vbOKOnly, std::string("ｴﾗｰ"));
        return;
    }
    forms::MsgBox("BMPﾌｧｲﾙに保存しました", forms::vbOKCancel, std::string(""));
}

}  // namespace plim
