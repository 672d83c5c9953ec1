// Full screen for the video window, through the device's own window and destination.
#include "media/VideoView.h"

#include <QSize>
#include <string>

#include "media/MciChannel.h"
#include "module1/Module1.h"
#include "platform/display/PictureFit.h"
#include "windows/Windows.h"

namespace plim {

using namespace Module1;

namespace {
// The device's window and destination rectangles before full screen ("left top width
// height", as "where" gives them and "put" takes them), put back on leaving it.
std::string g_window, g_destination;

std::string where(const char* item) {
    media::ReplyBuffer reply;
    if (media::mciSendStringA(std::string("where Movi2 ") + item, reply.text, media::kReplyLength, 0) != 0) return {};
    return reply.str();
}

void put(const char* item, const std::string& rect) {
    if (!rect.empty()) media::mciSendStringA(std::string("put Movi2 ") + item + " at " + rect, nullptr, 0, 0);
}

std::string rectText(int left, int top, int width, int height) {
    return std::to_string(left) + " " + std::to_string(top) + " " + std::to_string(width) + " " + std::to_string(height);
}

void enterFullScreen() {
    g_window = where("window");
    g_destination = where("destination");
    VFrmT& v = VFrm();
    v.setFullScreen(true);
    QSize screen = v.screenSizePx();
    display::PictureFit fit = display::fillArea(VideoWidth, VideoHeight, screen.width(), screen.height());
    put("window", rectText(0, 0, screen.width(), screen.height()));
    put("destination", rectText((screen.width() - fit.width) / 2, (screen.height() - fit.height) / 2, fit.width, fit.height));
    v.SetFocus();
}
}  // namespace

void ToggleFullScreen() {
    if (MediaOpen == 0 || VideoWidth <= 0 || VideoHeight <= 0) return;
    if (VFrm().FullScreen()) {
        LeaveFullScreen();
    } else {
        enterFullScreen();
    }
}

void LeaveFullScreen() {
    if (!VFrm.exists() || !VFrm().FullScreen()) return;
    VFrm().setFullScreen(false);
    put("window", g_window);
    put("destination", g_destination);
}

}  // namespace plim
