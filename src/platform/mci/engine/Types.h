#pragma once
// Values the engine hands across threads. Frames travel by value: the pixel buffer is shared
// and immutable once published.
#include <cstdint>
#include <cstddef>
#include <memory>

struct AVFrame;

namespace plim::engine {

// A decoded picture as the decoder made it (planar YUV, mostly), shared and immutable once
// published; the display converts it to BGRA (FrameConverter) as it paints.
struct VideoFrame {
    uint64_t gen = 0;        // generation it was decoded for; stale ones are dropped
    int64_t ptsUs = 0;       // presentation time from the start of the media, microseconds
    int64_t durUs = 0;
    int width = 0, height = 0;
    std::shared_ptr<const AVFrame> picture;
    bool seekTarget = false;  // the exact frame that a seek or open asked for
    bool valid() const { return picture != nullptr; }
    size_t bytes() const;     // the picture's buffers, for the queue's bound
};

struct MediaInfo {
    int64_t lengthUs = 0;     // an estimate when lengthKnown is false (0 when none at all)
    bool lengthKnown = true;  // the container or the stream said how long the media is
    int width = 0, height = 0;
    int64_t frameDurUs = 40000;  // average frame duration, rounded to whole microseconds
    // The exact frame rate, rateNum / rateDen frames a second: frame n starts at
    // n * rateDen / rateNum seconds, which frameDurUs, rounded, misses by up to n/2 us.
    int64_t rateNum = 25, rateDen = 1;
    bool hasVideo = false;
    bool hasAudio = false;
};

enum class Mode { Stopped, Playing, Paused };

// Error numbers of the MCI service that opening can give.
constexpr int kErrFileNotFound = 275;
constexpr int kErrInvalidFile = 296;
constexpr int kErrCannotLoadDriver = 266;

}  // namespace plim::engine
