#pragma once
// A media file opened for reading: container, chosen streams, and the facts the service
// reports (length, size). Opened on the caller's thread; afterwards used by the demux
// thread only, except info(), which never changes.
#include <memory>
#include <optional>
#include <string>

#include "platform/mci/engine/Types.h"

struct AVFormatContext;
struct AVPacket;
struct AVStream;

namespace plim::engine {

class MediaSource {
public:
    // Probes the file by its content. Returns 0 or an MCI error number.
    static int open(const std::string& path, std::unique_ptr<MediaSource>& out);
    ~MediaSource();

    const MediaInfo& info() const { return info_; }
    AVFormatContext* format() const { return fmt_; }
    AVStream* videoStream() const;
    AVStream* audioStream() const;
    int videoIndex() const { return video_; }
    int audioIndex() const { return audio_; }
    // Media time zero, in microseconds of the container's clock.
    int64_t originUs() const { return originUs_; }

    // Makes the first decoded picture media time zero (containers without presentation
    // times, such as AVI with B-frames, shift the pictures by the decoder's delay).
    void setOriginUs(int64_t us) { originUs_ = us; }
    // Moves reading to a key frame at or before targetUs (media time), starting
    // extraPrerollUs earlier still. False on failure.
    bool seek(int64_t targetUs, int64_t extraPrerollUs = 0);
    // Moves reading to the very start of the file.
    bool seekToStart();
    // The packet's decoding time in media time, or nullopt.
    std::optional<int64_t> packetTimeUs(const AVPacket* pkt) const;

private:
    MediaSource() = default;
    int chooseStreams();  // the best video and audio streams; 0 or an MCI error number
    void describe();      // origin, index, size, length
    AVFormatContext* fmt_ = nullptr;
    int video_ = -1, audio_ = -1;
    int64_t originUs_ = 0;
    bool indexed_ = false;
    MediaInfo info_;
};

// Converts a stream timestamp to microseconds.
int64_t streamTimeToUs(const AVStream* st, int64_t ts);

}  // namespace plim::engine
