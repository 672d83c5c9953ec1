#pragma once
// Values the engine hands across threads. Frames travel by value: the pixel buffer is shared
// and immutable once published.
#include <cstdint>
#include <memory>

namespace plim::engine {

// A decoded picture in BGRA byte order (QImage::Format_RGB32 on little-endian machines).
struct VideoFrame {
    uint64_t gen = 0;        // generation it was decoded for; stale ones are dropped
    int64_t ptsUs = 0;       // presentation time from the start of the media, microseconds
    int64_t durUs = 0;
    int width = 0, height = 0, stride = 0;  // stride in bytes
    std::shared_ptr<const uint8_t> pixels;
    bool seekTarget = false;  // the exact frame that a seek or open asked for
    bool valid() const { return pixels != nullptr; }
};

struct MediaInfo {
    int64_t lengthUs = 0;     // an estimate when lengthKnown is false (0 when none at all)
    bool lengthKnown = true;  // the container or the stream said how long the media is
    int width = 0, height = 0;
    int64_t frameDurUs = 40000;  // average frame duration
    bool hasVideo = false;
    bool hasAudio = false;
};

enum class Mode { Stopped, Playing, Paused };

// Error numbers of the MCI service that opening can give.
constexpr int kErrFileNotFound = 275;
constexpr int kErrInvalidFile = 296;
constexpr int kErrCannotLoadDriver = 266;

}  // namespace plim::engine
