// Opening a video as the one device "movi2" and sizing the video and capture windows to it.
#include "module1/Module1.h"
#include "media/MciChannel.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/Runtime.h"
#include "platform/forms/Screen.h"
#include "windows/Windows.h"

namespace plim {

using namespace Module1;

namespace {
// The path as one word of the command: quoted when it holds a blank, as the service
// otherwise cuts it there.
std::string commandPath(const std::string& path) {
    return path.find(' ') != std::string::npos ? "\"" + path + "\"" : path;
}

void sizeWindows() {
    VFrmT& v = VFrm();
    UfrmT& u = Ufrm();
    v.Pic.setLeft(0);
    v.Pic.setTop(0);
    u.Pic.setLeft(0);
    u.Pic.setTop(0);
    v.setWidth(v.Width() - TwipsX * v.ScaleWidth() + float(rt::Mul32(TwipsX, VideoWidth)) +
               float(rt::Mul16(TwipsX, 4)));
    v.setHeight(v.Height() - TwipsY * v.ScaleHeight() + float(rt::Mul32(TwipsY, VideoHeight)) +
                float(rt::Mul16(TwipsY, 4)));
    v.Pic.setWidth(v.Width());
    v.Pic.setHeight(v.Height());
    v.Pic.setScaleWidth(v.ScaleWidth());
    v.Pic.setScaleHeight(v.ScaleHeight());
    v.setTop(MainFrm().Height() + MainFrm().Top());
    v.setLeft((forms::Screen::Width() - v.Width()) / 2);
    u.setWidth(v.Width());
    u.setHeight(v.Height());
    u.Pic.setWidth(v.Pic.ScaleWidth());
    u.Pic.setHeight(v.Pic.ScaleHeight());
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
    media::mciSendStringA("status Movi2 length", reply.text, media::kReplyLength, 0);
    MediaLength = rt::CLng(media::ReplyNumber(reply));
    media::mciExecute("realize Movi2 normal");
    media::mciExecute("window Movi2 state show");
    media::mciSendStringA("where Movi2 source", reply.text, media::kReplyLength, 0);
    // A missing or non-numeric field reads as every reply does: its leading number, else 0.
    VideoWidth = rt::CLng(rt::Val(GetField(reply.str(), 3, " ")));
    VideoHeight = rt::CLng(rt::Val(GetField(reply.str(), 4, " ")));
    sizeWindows();
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
