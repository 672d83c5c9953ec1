#pragma once
// The sound level, set by the keys of the video window and the desktop's media controls: one
// for the open video and those opened after it in this run (a new run starts at full). On
// the device's own scale, 0 to 1000 ("setaudio ... volume to"); muting keeps the level for
// the unmute. Nothing is sent to the device while the level was never changed, so an open
// sends exactly what it always has. GUI thread only.

namespace plim {

// What is heard, 0 to 1: 0 while muted.
double SoundLevel();
// The level at `level` (0 to 1, clamped), unmuted.
void SetSoundLevel(double level);
// 5 % lower or higher, on the 5 % steps (from 0.93: 0.90 or 0.95), unmuted.
void SoundLevelDown();
void SoundLevelUp();
// Silence, or the level again.
void ToggleMute();
// Tells the device just opened the level, unless it is the full one.
void ApplySoundLevelToNewVideo();
// Tests: full and unmuted, as a new run starts.
void ResetSoundLevel();

}  // namespace plim
