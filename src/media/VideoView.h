#pragma once
// How large the video window shows the open video, beyond the size the open gives it: at 50,
// 100 or 200 % of the video's size, or full screen. Every way, the picture keeps its shape
// and the frame saved is the video's own. GUI thread only.

namespace plim {

// The window sized for the picture at percent (50, 100, 200) of the video's size, within the
// work area (smaller where it must be, as at the open); leaves full screen first. Nothing
// with no video open.
void ShowVideoAtScale(int percent);

// Full screen: the video window covers its screen, the picture as large as it fits, centred
// on black. Leaving gives the window back its size and place and the picture its size.
void ToggleFullScreen();
void LeaveFullScreen();

// Whether the window shows the picture at the size the open gave it: not full screen and at
// 100 %.
bool VideoAtOpenSize();

}  // namespace plim
