// Keys on the video window: one-frame steps, play and pause, the first and the last frame,
// each through the command channel as the buttons do, the thumb following; and the window's
// size: F (or a double click on the picture) for full screen, Escape to leave it, Alt+0,
// Alt+1 and Alt+2 for 50, 100 and 200 %.
#include "module1/Module1.h"
#include "media/MciChannel.h"
#include "media/VideoView.h"
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

constexpr int16_t kShiftAlt = 4;

// Alt with a digit: the window's scale.
void ScaleKey(int16_t keyCode) {
    switch (keyCode) {
        case '0': ShowVideoAtScale(50); break;
        case '1': ShowVideoAtScale(100); break;
        case '2': ShowVideoAtScale(200); break;
        default: break;
    }
}
}  // namespace

void VFrmT::Pic_DblClick() {
    if (MediaOpen != 0) ToggleFullScreen();
}

void VFrmT::Form_KeyDown(int16_t keyCode, int16_t shift) {
    if (MediaOpen == 0) return;
    if (shift == kShiftAlt) return ScaleKey(keyCode);
    switch (keyCode) {
        case 'F':
            if (shift == 0) ToggleFullScreen();
            break;
        case forms::kKeyEscape: LeaveFullScreen(); break;
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
