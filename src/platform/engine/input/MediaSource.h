#pragma once
// A media file opened for reading: container, chosen streams, and the facts the service
// reports (length, size). Opened on the caller's thread; afterwards used by the demux
// thread only, except info(), which never changes.
#include <atomic>
#include <climits>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/engine/input/FileInput.h"
#include "platform/engine/input/JoinMap.h"
#include "platform/engine/base/Types.h"

struct AVFormatContext;
struct AVPacket;
struct AVStream;
struct AVRational;

namespace plim::engine {

class MediaSource {
public:
    // Probes the file by its content within a bounded time (kOpenBudgetUs, whatever the file
    // holds: a 4 GiB hole of zeros is not read to its end). The deadline stays armed for the
    // caller's further probing until disarm().
    static OpenError open(const std::string& path, std::unique_ptr<MediaSource>& out);
    ~MediaSource();

    // Every blocking call into the demuxer runs under a deadline (working time, microseconds:
    // waits for the disk do not count, see Deadline) and returns AVERROR_EXIT when it passes
    // or when interrupt() was called. Thread-safe.
    void armDeadline(int64_t budgetUs, Deadline::Waits waits = Deadline::Waits::Forgiven) { deadline_.arm(budgetUs, waits); }
    void disarm() { deadline_.disarm(); }
    void interrupt() { deadline_.interrupt(); }
    // Whether a read waits for the disk, and since when (published; any thread).
    const DiskWait& diskWait() const { return deadline_.diskWait(); }
    // One packet under a fresh read deadline; av_read_frame's result.
    int read(AVPacket* pkt);
    // Opens the file again from its start after a seek failed, keeping the streams chosen at
    // open (same indices, codecs and time bases). Demux thread only; false when it cannot.
    bool reopen();

    const MediaInfo& info() const { return info_; }
    AVFormatContext* format() const { return fmt_; }
    AVStream* videoStream() const;
    AVStream* audioStream() const;
    int videoIndex() const { return video_; }
    int audioIndex() const { return audio_; }
    // Media time zero, in microseconds of the container's clock.
    int64_t originUs() const { return originUs_; }
    // Where the main stream starts, in microseconds of the container's clock: the origin
    // before the first picture was found.
    int64_t startUs() const { return startUs_; }
    // The container keeps an index of key frames (AVI) and seeks by it.
    bool indexed() const { return indexed_; }
    // The length was read from the first and last timestamps: right for one whole file, so
    // times should lie within it, but not known to be the end of the data.
    bool lengthFromTimes() const { return lengthFromTimes_; }

    // Makes the first decoded picture media time zero (containers without presentation
    // times, such as AVI with B-frames, shift the pictures by the decoder's delay).
    void setOriginUs(int64_t us) { originUs_ = us; }
    // Program and transport streams whose length was read from their times: finds the parts
    // of a file joined end to end (within a budget of wall time of its own: on a slow disk
    // the map is left undone rather than delaying open), so that seeks find each part
    // and the length is the parts' together. Call once the origin is set. True when it read
    // elsewhere in the file: reading must then be placed again before play.
    bool mapJoins();
    // What to add to the container's times (counted from the origin) of the part that holds
    // media time targetUs: 0 but in the later parts of a joined file.
    int64_t partOffsetUs(int64_t targetUs) const;
    // Moves reading to a key frame at or before targetUs (media time), starting
    // extraPrerollUs earlier still. False on failure.
    bool seek(int64_t targetUs, int64_t extraPrerollUs = 0);
    // Whether that seek reads from the start of the file (a target that near the start).
    bool seekStartsAtStart(int64_t targetUs, int64_t extraPrerollUs = 0) const;
    // Moves reading to the very start of the file.
    bool seekToStart();
    // The earliest media time at which the packet's picture can be shown, or nullopt: its
    // presentation time when the container gives one; otherwise (AVI) its decoding time
    // from the stream's start, since no picture is shown before it is decoded.
    std::optional<int64_t> earliestShowUs(const AVPacket* pkt) const;
    // Where the packet's data ends (its time plus its duration) in microseconds after
    // originUs of the container's clock, or nullopt.
    std::optional<int64_t> packetEndUs(const AVPacket* pkt, int64_t originUs) const;

private:
    int64_t readFromUs(int64_t targetUs, int64_t extraPrerollUs) const;
    MediaSource() = default;
    static OpenError openFormat(const std::string& path, MediaSource* owner, AVFormatContext*& fmt,
                          std::unique_ptr<FileInput>& input);
    static int onInterrupt(void* self);
    OpenError chooseStreams();  // the best video and audio streams
    OpenError describe();       // origin, index, size, length
    OpenError describeLength(const AVStream* main);
    int64_t estimatedLengthUs() const;
    int64_t movieEndUs() const;
    int64_t soundEndUs() const;
    bool seekInPart(int64_t targetUs, int64_t extraPrerollUs);
    std::string path_;
    Deadline deadline_;
    std::unique_ptr<FileInput> input_;  // fmt_'s input: outlives it
    AVFormatContext* fmt_ = nullptr;
    int video_ = -1, audio_ = -1;
    int64_t originUs_ = 0;
    int64_t startUs_ = 0;
    bool indexed_ = false;
    bool lengthFromTimes_ = false;
    int64_t timesEndUs_ = 0;  // where the times end, in the container's clock (lengthFromTimes_)
    JoinMap joins_;
    MediaInfo info_;
};

// How long opening may probe a file, and one read or seek may take, microseconds.
constexpr int64_t kOpenBudgetUs = 1800000;
constexpr int64_t kReadBudgetUs = 2000000;
// How long opening may look for the parts of a joined file, microseconds.
constexpr int64_t kJoinScanBudgetUs = 700000;
// Lengths beyond this many microseconds cannot be told in the service's 32-bit replies.
constexpr int64_t kMaxLengthUs = int64_t(INT32_MAX) * 1000;

}  // namespace plim::engine
