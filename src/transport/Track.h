#pragma once
// The slider's track, in pixels of the main window. Two mappings between position and thumb
// use it, on purpose with different constants, each the one its own operation has always
// used: a thumb moved by the user seeks by its left edge over 107 pixels from 18
// (Slider.cpp), and the playing position moves the thumb over 105 pixels from 20, where the
// thumb starts (Polling.cpp).
#include <cstdint>

namespace plim::track {

constexpr int16_t kThumbStart = 20;   // at start-up, after an open and at the end of play
constexpr int16_t kSeekLeft = 18;     // the thumb's leftmost place: position 0
constexpr int16_t kSeekRight = 125;   // its rightmost place: the length
constexpr double kSeekSpan = 107.0;   // kSeekRight - kSeekLeft
constexpr double kFollowSpan = 105.0; // the position's thumb: kThumbStart to kSeekRight

}  // namespace plim::track
