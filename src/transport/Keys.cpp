// Keys on the video window: one-frame steps, play and pause, the first and the last frame.
// Each goes through the command channel as the buttons do, and the thumb follows.
#include "module1/Module1.h"
#include "media/MciChannel.h"
#include "windows/Windows.h"

namespace plim {

using namespace Module1;

namespace {
// Pauses a playing video as the play/pause button does: picture, Playing, timer, border.
void PauseIfPlaying() {
    if (Playing == 1) MainFrm().ComPLAY_Click();
}

void Navigate(const std::string& command) {
    PauseIfPlaying();
    media::mciExecute(command + " wait");
    ThumbToPosition();
}
}  // namespace

void VFrmT::Form_KeyDown(int16_t keyCode, int16_t) {
    if (MediaOpen == 0) return;
    switch (keyCode) {
        case forms::kKeyRight:
        case forms::kKeyPeriod: Navigate("step movi2 by 1"); break;
        case forms::kKeyLeft:
        case forms::kKeyComma: Navigate("step movi2 reverse by 1"); break;
        case forms::kKeyHome: Navigate("seek movi2 to start"); break;
        case forms::kKeyEnd: Navigate("seek movi2 to end"); break;
        case forms::kKeySpace: MainFrm().ComPLAY_Click(); break;
        default: break;
    }
}

}  // namespace plim
