#pragma once
// The shared state of the whole run and the four shared procedures. Zero or empty at start
// unless Main sets them. GUI thread only.
#include <cstdint>
#include <string>

namespace plim::Module1 {

extern int16_t TwipsX, TwipsY;     // screen twips per pixel, rounded
extern int16_t MediaOpen;          // -1 after a successful open, else 0
extern std::string MediaPath;      // full path of the video to open
extern int32_t MediaLength;        // length in the device's default time unit
extern int32_t VideoWidth, VideoHeight;
extern int16_t Playing;            // 1 while the video plays
extern int16_t Finished;           // 1 after the poll saw the end of play and rewound
extern int16_t SliderPos;          // thumb Left derived from the playback position
extern int16_t ThumbLeft;          // thumb Left from a step or drag, before clamping
extern int32_t SeekTo;             // seek target from the thumb (32-bit: see Slider.cpp)
extern int16_t FrameBorder;        // one side of VFrm's frame, pixels; measured on pause
extern int16_t DialogMode;         // 3 open video, 2 save frame, 0 before first use
extern std::string ChosenFolder;   // the chooser's folder taken at OK

void Main();
void OpenMedia();
std::string GetField(const std::string& text, int16_t n, const std::string& delimiter);
void UpdatePosition();
// Reads the device's position and moves the thumb there (SliderPos).
void ThumbToPosition();

// Tests: every variable back to its start value.
void ResetState();

}  // namespace plim::Module1
