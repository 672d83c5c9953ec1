#pragma once
// Decodes one video stream and converts pictures to BGRA with the stream's colour matrix
// and range. Used by the video decode thread only.
#include <functional>
#include <memory>
#include <mutex>
#include <vector>
#include <optional>

#include "platform/mci/engine/TimestampFilter.h"
#include "platform/mci/engine/Types.h"

extern "C" {
#include <libavutil/rational.h>
}

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;

namespace plim::engine {

// The colour matrix for a stream that does not say: HD sizes use BT.709, others BT.601.
int chooseColorspace(int tagged, int width, int height);

// Picture buffers of one size, reused: a fresh 8 MB allocation per HD frame costs thousands
// of page faults. Thread-safe; frames keep the pool alive while they hold a buffer.
class BufferPool : public std::enable_shared_from_this<BufferPool> {
public:
    ~BufferPool();
    // Must be called on a pool owned by a shared_ptr.
    std::shared_ptr<const uint8_t> take(size_t bytes);

private:
    void give(uint8_t* p, size_t bytes);
    std::mutex mu_;
    size_t bytes_ = 0;
    std::vector<uint8_t*> free_;
};

class VideoDecoder {
public:
    VideoDecoder() = default;
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // Opens the codec for the stream; false when it cannot be opened. lengthUs (0: unknown)
    // bounds the times that the first picture after a flush may carry.
    bool open(const AVStream* st, int64_t originUs, int threads = 0, int64_t lengthUs = 0);
    // Sends a packet (nullptr drains) and calls onFrame for each picture that comes out,
    // with its media time in microseconds.
    void decode(const AVPacket* pkt, const std::function<void(AVFrame*, int64_t ptsUs)>& onFrame);
    void flush(int64_t resumeUs = 0);  // resumeUs: where decoding goes on (a seek's target)
    void setOriginUs(int64_t us) { originUs_ = us; }
    // Reads from the start until the first picture comes out; its time in the container's
    // clock (microseconds), or nullopt when no picture can be decoded.
    std::optional<int64_t> firstPictureUs(AVFormatContext* fmt, int streamIndex);
    // A BGRA copy of the picture; invalid when it cannot be made (no memory, bad size).
    VideoFrame convert(const AVFrame* f);

private:
    AVCodecContext* ctx_ = nullptr;
    AVRational timeBase_{1, 1};  // the stream's: the stream itself may be replaced by a reopen
    int64_t originUs_ = 0;
    TimestampFilter times_;
    int64_t frameDurUs_ = 40000;
    SwsContext* sws_ = nullptr;
    std::shared_ptr<BufferPool> pool_ = std::make_shared<BufferPool>();
    SwsContext* tunedSws_ = nullptr;  // the context whose colour details were last set
    int tunedCs_ = -1;
    bool tunedFull_ = false;
    AVFrame* frame_ = nullptr;
};

}  // namespace plim::engine
