#pragma once
// The audio device of one player (SDL2) and the master clock: the media time of the sample
// being heard. It buffers the decoded chunks of one generation and plays them at their times,
// with silence through holes and while nothing is buffered, so its time goes on.
// Threads: the demux thread feeds it (add, flush, endOfStream and the buffer's level), SDL's
// audio thread pulls from it (fill), the player controls and reads it under its own lock.
// One lock of its own, taken last (base/LockOrder.h).
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/engine/sound/SoundDecoder.h"
#include "platform/engine/sound/SoundGain.h"
#include "platform/engine/base/LockOrder.h"

namespace plim::engine {

class SoundDevice {
public:
    // nullptr when no audio device opens: the player then runs silently on its own clock.
    // The device may differ from the format asked for; format() says what it plays.
    static std::unique_ptr<SoundDevice> open(SoundFormat want);
    // The same buffer and clock with no audio device behind it: nothing pulls its sound but
    // a caller of fill (a test standing in for the device, at its own pace).
    static std::unique_ptr<SoundDevice> openUnplayed(SoundFormat format);
    ~SoundDevice();
    SoundDevice(const SoundDevice&) = delete;
    SoundDevice& operator=(const SoundDevice&) = delete;
    SoundFormat format() const { return format_; }

    // --- feeding (demux thread)
    bool wantsPackets() const;  // less than the target buffered
    bool runningLow() const;    // less than half the target buffered
    // The stream goes on but almost nothing of it is left to hear: about to fall silent.
    bool starving(uint64_t gen) const;
    void add(uint64_t gen, SoundChunk c);  // stale ones are dropped
    void endOfStream(uint64_t gen);
    // A new generation; sound before targetUs is not heard.
    void flush(uint64_t gen, int64_t targetUs);

    // --- control (player)
    void start(uint64_t gen, int64_t posUs);  // begins output at posUs
    void pause();
    void close();  // waits for SDL's thread to leave fill
    // The sound level, 0 to 1, from any thread: a gain on what is heard (SoundGain). The
    // clock and the buffer are untouched.
    void setLevel(double level) { if (gain_) gain_->setLevel(level); }

    // --- the clock (player)
    // The media time being heard; nullopt when not playing that gen, and while the device
    // has not pulled for a while (kStaleUs): the player's own clock then goes on.
    std::optional<int64_t> timeUs(uint64_t gen) const;
    bool ready(uint64_t gen) const;    // sound is buffered (or the stream ended)
    bool drained(uint64_t gen) const;  // the stream ended and everything was heard
    int64_t endUs(uint64_t gen) const;
    // The stream ended and what is left to hear starts later than afterUs: the time of the
    // next sound not yet heard; nullopt while the stream goes on or nothing is left.
    std::optional<int64_t> leftAfter(uint64_t gen, int64_t afterUs) const;

    // --- the device's pull (SDL's audio thread, or whoever stands in for it)
    // Writes len bytes of what is heard next (silence where there is nothing), at the level.
    void fill(uint8_t* out, int len);

private:
    struct Chunk {
        int64_t ptsUs;
        std::vector<uint8_t> data;
        size_t offset = 0;
        int64_t nextUs(const SoundFormat& f) const { return ptsUs + f.bytesToUs(int64_t(offset)); }
    };
    SoundDevice() = default;
    static void callback(void* self, uint8_t* out, int len);
    void fillFromBuffer(uint8_t* out, int len);  // takes the lock
    void playSilenceLocked(int& done, int len, int64_t untilUs);
    bool skipLateLocked(Chunk& c);
    int64_t bufferedUsLocked() const { return format_.bytesToUs(bufferedBytes_); }

    uint32_t device_ = 0;
    SoundFormat format_;
    int deviceSamples_ = 0;
    std::unique_ptr<SoundGain> gain_;  // made with the device's rate, before it runs

    mutable StructureMutex mu_;
    std::deque<Chunk> chunks_;
    int64_t bufferedBytes_ = 0;
    uint64_t gen_ = 0;
    int64_t skipUntilUs_ = -1;
    bool eof_ = false;
    bool playing_ = false;
    int64_t headPtsUs_ = -1;  // media time of the next sample to hand to the device
    int64_t cbWallUs_ = 0;    // when the device last pulled
    int64_t endPtsUs_ = 0;    // end of the last decoded sound
};

}  // namespace plim::engine
