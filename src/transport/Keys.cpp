// Keys on the video window: one-frame steps, play and pause, the first and the last frame,
// each through the command channel as the buttons do, the thumb following; and the window's
// size: F (or a double click on the picture) for full screen, Escape to leave it, Alt+0,
// Alt+1 and Alt+2 for 50, 100 and 200 %; the sound: 9 and 0 5 % lower and higher, M mutes and
// unmutes; Ctrl+C copies the frame shown.
#include "module1/Module1.h"
#include "media/MciChannel.h"
#include "capture/Capture.h"
#include "media/SoundLevel.h"
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

constexpr int16_t kShiftCtrl = 2, kShiftAlt = 4;

// Alt with a digit: the window's scale. False for other keys.
bool ScaleKey(int16_t keyCode) {
    switch (keyCode) {
        case '0': ShowVideoAtScale(50); return true;
        case '1': ShowVideoAtScale(100); return true;
        case '2': ShowVideoAtScale(200); return true;
        default: return false;
    }
}

// The letters and digits that act alone: full screen and the sound. False for other keys.
bool PlainKey(int16_t keyCode) {
    switch (keyCode) {
        case 'F': ToggleFullScreen(); return true;
        case '9': SoundLevelDown(); return true;
        case '0': SoundLevelUp(); return true;
        case 'M': ToggleMute(); return true;
        default: return false;
    }
}
}  // namespace

void VFrmT::Pic_DblClick() {
    if (MediaOpen != 0) ToggleFullScreen();
}

void VFrmT::Form_KeyDown(int16_t keyCode, int16_t shift) {
    if (MediaOpen == 0) return;
    if (shift == kShiftAlt && ScaleKey(keyCode)) return;
    if (shift == kShiftCtrl && keyCode == 'C') return CopyFrameToClipboard();
    if (shift == 0 && PlainKey(keyCode)) return;
    switch (keyCode) {
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
