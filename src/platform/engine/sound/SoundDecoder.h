#pragma once
// Decodes one sound stream and converts it to the device's format (libswresample): timed
// chunks of interleaved signed 16-bit samples. Runs on the demux thread only; the device
// (SoundDevice) takes the chunks.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/rational.h>
}

#include "platform/engine/base/TimestampFilter.h"
#include "platform/engine/base/Types.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwrContext;

namespace plim::engine {

// The device's samples: interleaved signed 16-bit, `channels` of them at `rate` a second.
struct SoundFormat {
    int rate = 0, channels = 0;
    int bytesPerSample() const { return 2 * channels; }
    int64_t bytesToUs(int64_t bytes) const { return bytes * kUsPerSecond / (int64_t(rate) * bytesPerSample()); }
};

// Sound from ptsUs (media time, microseconds) on, in the device's format.
struct SoundChunk {
    int64_t ptsUs = 0;
    std::vector<uint8_t> data;
};

class SoundDecoder {
public:
    using Sink = std::function<void(SoundChunk&&)>;
    // nullptr when the stream cannot be decoded. lengthUs (0: unknown) bounds the times that
    // the first sound after a flush may carry.
    static std::unique_ptr<SoundDecoder> open(const AVStream* st, int64_t originUs, int64_t lengthUs);
    ~SoundDecoder();
    SoundDecoder(const SoundDecoder&) = delete;
    SoundDecoder& operator=(const SoundDecoder&) = delete;

    // The stream's own rate and channels, which the device is asked for.
    SoundFormat streamFormat() const;
    // What the chunks are converted to: the device's format, before the first decode.
    void setOutput(SoundFormat out) { out_ = out; }
    // Decodes a packet (nullptr: the end of the stream, drained and flushed) and hands each
    // converted chunk to sink. Undecodable sound is left out: the device plays silence there.
    void decode(const AVPacket* pkt, const Sink& sink);
    // A new generation: decoding goes on from resumeUs; offsetUs is added to the sound's times
    // from the container (the start of a part of a joined file).
    void flush(int64_t resumeUs, int64_t offsetUs);

private:
    SoundDecoder() = default;
    bool converterFits(const AVFrame* f);  // (re)builds the resampler for the frame's format
    void convert(const AVFrame* f, const Sink& sink);

    AVCodecContext* ctx_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVChannelLayout swrLayout_{};  // the input the resampler was built for
    int swrFormat_ = -1, swrRate_ = 0;
    AVFrame* frame_ = nullptr;
    AVRational timeBase_{1, 1};  // the stream's: the stream itself may be replaced by a reopen
    int64_t originUs_ = 0;
    TimestampFilter times_;
    SoundFormat out_;
};

}  // namespace plim::engine
