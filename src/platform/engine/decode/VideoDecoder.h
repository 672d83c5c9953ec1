#pragma once
// Decodes one video stream. Used by the opening thread while the media is probed
// (beginFirst to firstPictureUs), then by the video decode thread only. It never reads the
// file: packets are handed to it.
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/engine/base/TimestampFilter.h"
#include "platform/engine/base/Types.h"

extern "C" {
#include <libavutil/rational.h>
}

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVStream;

namespace plim::engine {

// Decoder threads for a stream of that picture size and frame duration (0: unknown, taken as
// the default rate) on a machine with that many cores. One thread decodes up to 1080p30 in
// real time with room to spare, and each further frame thread costs hand-over work and holds pictures
// of its own; larger or faster streams get one thread per core, up to kMaxDecoderThreads.
constexpr int kMaxDecoderThreads = 4;
int decoderThreadsFor(int width, int height, int64_t frameDurUs, unsigned cores);

class VideoDecoder {
public:
    VideoDecoder() = default;
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // Opens the codec for the stream; false when it cannot be opened. threads 0: as
    // decoderThreadsFor chooses. lengthUs (0: unknown) bounds the times that the first
    // picture after a flush may carry.
    bool open(const AVStream* st, int64_t originUs, int threads = 0, int64_t lengthUs = 0);
    // Sends a packet (nullptr drains) and calls onFrame for each picture that comes out,
    // with its media time in microseconds. A damaged packet or picture is passed over.
    void decode(const AVPacket* pkt, const std::function<void(AVFrame*, int64_t ptsUs)>& onFrame);
    // resumeUs: where decoding goes on (a seek's target); pictures well before it that no
    // other picture needs are skipped on the way there. offsetUs: added to the pictures'
    // times from the container (the start of a part of a joined file).
    void flush(int64_t resumeUs = 0, int64_t offsetUs = 0);
    // The length the first picture after a flush must lie within (0: unknown).
    void setWindow(int64_t lengthUs) { times_.setWindow(lengthUs); }
    void setOriginUs(int64_t us) { originUs_ = us; }
    // Finding where the pictures start: the caller feeds the stream's packets from its start
    // (feedFirst; nullptr: the stream ended) until firstSettled, then firstPictureUs gives
    // the first picture's time in the container's clock (microseconds), or nullopt when no
    // picture could be decoded. The decoder keeps its state and the pictures it decoded, so
    // that decoding goes on from there (resume) rather than from the start again.
    void beginFirst();
    void feedFirst(const AVPacket* pkt);
    bool firstSettled() const;
    std::optional<int64_t> firstPictureUs();
    // Whether the stream's pictures are interlaced: its field order says so, or the first
    // picture firstPictureUs decoded is marked interlaced.
    bool picturesInterlaced() const;
    // Whether the stream carries film by 3:2 pulldown (soft telecine): of the first two
    // pictures firstPictureUs decoded, one lasts three fields and the other two, so that four
    // pictures fill the time of five of the frames the stream's rate counts.
    bool picturesPulledDown() const;
    // Goes on from where firstPictureUs stopped, as from a flush to the start: hands the
    // pictures it decoded to onFrame with their media times, then decode() continues with
    // the packets that follow those it read. A flush instead forgets them.
    void resume(const std::function<void(AVFrame*, int64_t ptsUs)>& onFrame);
    // Whether the packets read by firstPictureUs carried presentation times. Without them
    // (AVI) picture times are decoding times, and the first picture's comes the decoder's
    // delay after the stream's start, which the sound does not share.
    bool packetsCarryPts() const { return packetsCarryPts_; }
    // The container's picture times are right as they stand (an index's frame counts): gaps
    // in them are pictures held, not damage.
    void trustTimes() { times_.setTrusted(true); }
    // The media's length, where the file tells it for sure: forward jumps of the pictures'
    // times within it are gaps to keep (a picture held), not damage.
    void keepGapsWithin(int64_t lengthUs) { times_.setGapEnd(lengthUs); }
    // The picture as a frame for the display: a new reference to the decoder's buffers, no
    // copy. Invalid when it cannot be made (no memory, a size out of bounds).
    static VideoFrame wrap(const AVFrame* f);

private:
    static constexpr int kSkipMarginFrames = 4;
    void chooseSkipping(const AVPacket* pkt);
    int64_t mediaTimeOf(const AVFrame* f);  // through the timestamp filter
    void dropProbed();
    AVCodecContext* ctx_ = nullptr;
    int64_t hopTargetUs_ = 0;  // a seek's target not yet near: 0 when none
    int64_t hopOffsetUs_ = 0;  // added to decoding times to compare them with it
    AVRational timeBase_{1, 1};  // the stream's: the stream itself may be replaced by a reopen
    int64_t originUs_ = 0;
    TimestampFilter times_;
    int64_t frameDurUs_ = kDefaultFrameDurUs;
    AVFrame* frame_ = nullptr;
    std::vector<AVFrame*> probed_;  // the pictures firstPictureUs decoded, until resume or flush
    // While the first pictures are looked for: their own times, unfiltered where they have
    // one, and what beginFirst set aside.
    std::vector<int64_t> firstTimes_;
    int64_t savedOriginUs_ = 0, savedWindowUs_ = 0;
    bool packetsCarryPts_ = true;
};

}  // namespace plim::engine
