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
    static std::unique_ptr<AudioOutput> create(const AVStream* st, int64_t originUs);
    ~AudioOutput();

    bool wantsPackets() const;                      // less than the target buffered
    void pushPacket(uint64_t gen, AVPacket* pkt);   // takes ownership
    void endOfStream(uint64_t gen);
    void flush(uint64_t gen, int64_t targetUs);     // new generation; sound before target skipped
    void start(uint64_t gen, int64_t posUs);        // begins output at posUs
    void pause();
    void close();

    std::optional<int64_t> timeUs(uint64_t gen) const;  // nullopt when not playing that gen
    bool ready(uint64_t gen) const;    // sound is buffered (or the stream ended)
    bool drained(uint64_t gen) const;  // the stream ended and everything was heard
    int64_t endUs(uint64_t gen) const;

    int deviceRate() const { return rate_; }

private:
    AudioOutput() = default;
    static void callback(void* self, uint8_t* out, int len);
    void fill(uint8_t* out, int len);
    void onFrame(AVFrame* f);
    int64_t bytesToUs(int64_t bytes) const { return bytes * 1000000 / (int64_t(rate_) * bytesPerSample_); }

    struct Chunk {
        int64_t ptsUs;
        std::vector<uint8_t> data;
        size_t offset = 0;
    };

    AVCodecContext* ctx_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVFrame* frame_ = nullptr;
    const AVStream* st_ = nullptr;
    int64_t originUs_ = 0;
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
    int64_t lastPtsUs_ = -1;
};

}  // namespace plim::engine
