#pragma once
// Values the engine hands across threads. Frames travel by value: the pixel buffer is shared
// and immutable once published.
#include <cstdint>
#include <cstddef>
#include <memory>

struct AVFrame;

namespace plim::engine {

// A decoded picture as the decoder made it (planar YUV, mostly), shared and immutable once
// published; the display converts it to BGRA (BgraConverter) as it paints.
struct VideoFrame {
    uint64_t gen = 0;        // generation it was decoded for; stale ones are dropped
    int64_t ptsUs = 0;       // presentation time from the start of the media, microseconds
    int64_t durUs = 0;
    int width = 0, height = 0;
    int displayWidth = 0;    // the width it is shown at (its display aspect); 0: width
    std::shared_ptr<const AVFrame> picture;
    bool seekTarget = false;  // the exact frame that a seek or open asked for
    bool valid() const { return picture != nullptr; }
    int shownWidth() const { return displayWidth > 0 ? displayWidth : width; }
    size_t bytes() const;     // the picture's buffers, for the queue's bound
};

// Microseconds in a second: the engine's times are microseconds.
constexpr int64_t kUsPerSecond = 1000000;
// The frame rate taken for a stream that gives none, frames a second, and its frame's length.
constexpr int kDefaultFramesPerSecond = 25;
constexpr int64_t kDefaultFrameDurUs = kUsPerSecond / kDefaultFramesPerSecond;

// The largest picture side the engine accepts: larger ones come from damaged headers.
constexpr int kMaxPictureSide = 8192;

// How a stream's stored pictures are to be turned to stand as they were filmed (a phone's
// portrait video is stored on its side, with a display matrix saying so): turned clockwise
// by `clockwise` degrees (0, 90, 180 or 270), then, when `mirrored`, flipped left to right.
struct Orientation {
    int clockwise = 0;
    bool mirrored = false;
    bool any() const { return clockwise != 0 || mirrored; }
    bool swapsSides() const { return clockwise == 90 || clockwise == 270; }
    bool operator==(const Orientation&) const = default;
};

struct MediaInfo {
    int64_t lengthUs = 0;     // an estimate when lengthKnown is false (0 when none at all)
    bool lengthKnown = true;  // the container or the stream said how long the media is
    int width = 0, height = 0;  // of the picture as shown: turned upright when orientation says so
    // Pixels that are not square are shown at the display aspect: this wide, as high as
    // stored. == width for square pixels.
    int displayWidth = 0;
    int sarNum = 0, sarDen = 0;  // the stream's or container's sample aspect ratio; 0/0: none
    Orientation orientation;
    // The pictures are interlaced (the stream's field order, or its first picture, says so):
    // those marked interlaced are made whole before they are shown.
    bool interlaced = false;
    // Film carried by 3:2 pulldown: the rate counts its pictures, each of which starts within
    // a quarter of a frame of where the rate puts it (they last 3 and 2 fields in turn).
    bool pulledDown = false;
    int64_t frameDurUs = kDefaultFrameDurUs;  // average frame duration, rounded to whole microseconds
    // The exact frame rate, rateNum / rateDen frames a second: frame n starts at
    // n * rateDen / rateNum seconds, which frameDurUs, rounded, misses by up to n/2 us.
    int64_t rateNum = kDefaultFramesPerSecond, rateDen = 1;
    bool hasVideo = false;
    bool hasAudio = false;
};

enum class Mode { Stopped, Playing, Paused };

// Why a file could not be opened.
enum class OpenError {
    None,
    FileNotFound,      // no such file or folder
    InvalidFile,       // not a media file the engine can read, or damaged beyond use
    CannotLoadDriver,  // a stream in a format no decoder here can decode
};

}  // namespace plim::engine
