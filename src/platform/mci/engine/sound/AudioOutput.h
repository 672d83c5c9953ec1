#pragma once
// The sound of a player: decodes the audio stream (on the demux thread), converts it to the
// device's format and plays it through SDL's audio device. Its clock is the media time of
// the sample being heard, the master clock of the player while there is sound.
// Thread-safe: the demux thread feeds it, SDL's thread pulls from it, the player controls it.
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/rational.h>
}

#include "platform/mci/engine/base/TimestampFilter.h"
#include "platform/mci/engine/base/Types.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwrContext;

namespace plim::engine {

class AudioOutput {
public:
    // nullptr when the stream cannot be decoded or no audio device opens: the player then
    // runs silently on its own clock.
    // lengthUs (0: unknown) bounds the times that the first sound after a flush may carry.
    static std::unique_ptr<AudioOutput> create(const AVStream* st, int64_t originUs, int64_t lengthUs = 0);
    ~AudioOutput();

    bool wantsPackets() const;                      // less than the target buffered
    bool runningLow() const;                        // less than half the target buffered
    // The stream goes on but almost nothing of it is left to hear: about to fall silent.
    bool starving(uint64_t gen) const;
    void pushPacket(uint64_t gen, AVPacket* pkt);   // takes ownership
    void endOfStream(uint64_t gen);
    // A new generation; sound before targetUs is skipped. offsetUs is added to the sound's
    // times from the container (the start of a part of a joined file).
    void flush(uint64_t gen, int64_t targetUs, int64_t offsetUs = 0);
    void start(uint64_t gen, int64_t posUs);        // begins output at posUs
    void pause();
    void close();

    // The media time being heard; nullopt when not playing that gen, and while the device
    // has not pulled for a while (kStaleUs): the player's own clock then goes on.
    std::optional<int64_t> timeUs(uint64_t gen) const;
    bool ready(uint64_t gen) const;    // sound is buffered (or the stream ended)
    bool drained(uint64_t gen) const;  // the stream ended and everything was heard
    int64_t endUs(uint64_t gen) const;
    // The stream ended and what is left to hear starts later than afterUs: the time of the
    // next sound not yet heard; nullopt while the stream goes on or nothing is left.
    std::optional<int64_t> leftAfter(uint64_t gen, int64_t afterUs) const;


private:
    AudioOutput() = default;
    static void callback(void* self, uint8_t* out, int len);
    void fill(uint8_t* out, int len);
    void onFrame(AVFrame* f);
    bool converterFits(AVFrame* f);  // (re)builds the resampler for the frame's format
    void playSilenceLocked(uint8_t* out, int& done, int len, int64_t untilUs);
    int64_t bytesToUs(int64_t bytes) const { return bytes * kUsPerSecond / (int64_t(rate_) * bytesPerSample_); }

    struct Chunk {
        int64_t ptsUs;
        std::vector<uint8_t> data;
        size_t offset = 0;
    };

    AVCodecContext* ctx_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVChannelLayout swrLayout_{};  // the input the resampler was built for
    int swrFormat_ = -1, swrRate_ = 0;
    AVFrame* frame_ = nullptr;
    AVRational timeBase_{1, 1};  // the stream's: the stream itself may be replaced by a reopen
    int64_t originUs_ = 0;
    TimestampFilter times_;  // demux thread
    uint32_t device_ = 0;
    int rate_ = 0, channels_ = 0, bytesPerSample_ = 0, deviceSamples_ = 0;

    mutable std::mutex mu_;
    std::deque<Chunk> chunks_;
    int64_t bufferedBytes_ = 0;
    uint64_t gen_ = 0;
    int64_t skipUntilUs_ = -1;
    bool eof_ = false;
    bool playing_ = false;
    int64_t headPtsUs_ = -1;   // media time of the next sample to hand to the device
    int64_t cbWallUs_ = 0;     // when the device last pulled
    int64_t endPtsUs_ = 0;     // end of the last decoded sound
};

}  // namespace plim::engine
