#pragma once
// What the parts of one player share: the media, its decoders, the queues between the
// threads, and the play state. The reader (demux thread), the video worker (video thread),
// the presenter (the display's calls) and the stepper each work on it; the player owns it
// and the threads. Calls named ...Locked run with mu held.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/mci/engine/base/Types.h"
#include "platform/mci/engine/play/DisplayOwed.h"
#include "platform/mci/engine/play/PlayState.h"
#include "platform/mci/engine/play/Queues.h"
#include "platform/mci/engine/play/StepCache.h"
#include "platform/mci/engine/play/StreamEnds.h"

namespace plim::engine {

class MediaSource;
class VideoDecoder;
class SoundDecoder;
class SoundDevice;

// A seek for the reader to carry out.
struct SeekRequest {
    bool pending = false;
    uint64_t gen = 0;
    int64_t targetUs = 0;
    bool move = true;        // false: already at the start (open)
    int attempt = 0;         // > 0: decoding began too late before; start further back
    bool fillSteps = false;  // keep the pictures before the target for steps back
};

struct PlayCore {
    // What a step back may keep: this many bytes of pictures.
    static constexpr size_t kStepCacheBytes = 128u << 20;

    PlayCore();
    ~PlayCore();

    // Set at open, read-only afterwards (the sources and decoders are used by one thread each).
    std::unique_ptr<MediaSource> src;    // the reader's
    std::unique_ptr<VideoDecoder> dec;   // the video worker's
    std::unique_ptr<SoundDecoder> soundDec;  // the reader's
    std::unique_ptr<SoundDevice> sound;      // thread-safe
    MediaInfo info;
    int64_t soundOriginUs = 0;  // the sound's media time zero in the container's clock
    size_t maxPackets = 0;      // video packets read ahead at most
    int64_t stepSpanUs = 0;     // how far before a step's target its pictures are kept

    // Thread-safe on their own.
    PacketQueue vq;
    // Three pictures at most, and 32 MB at most (one at least): two 4K pictures of 8 bits. A
    // third 4K picture holds 12 MB more in the decoder's pool, and 4K plays as smoothly with two.
    FrameQueue fq{3, 32u << 20};
    StepCache steps{kStepCacheBytes};

    // mu guards everything below.
    mutable std::mutex mu;
    std::condition_variable demuxCv;  // wakes the reader: a seek, room, or quit
    bool quit = false;
    uint64_t gen = 1;
    SeekRequest seekReq;
    bool demuxFilling = true;  // reading until full, or asleep until running low
    PlayState state;
    DisplayOwed owed;
    StreamEnds ends;
    uint64_t dropped = 0;

    // A new generation whose picture at us is due; forStep: a step back's, which keeps the
    // pictures before it and moves the position to the one it finds. Never while playing.
    void seekLocked(int64_t us, bool forStep = false);
    // The sound's media time now, or nullopt without sound playing for this generation.
    std::optional<int64_t> soundTimeLocked() const;
    // The position at nowUs (the master clock: the sound while it plays).
    int64_t clockLocked(int64_t nowUs) const;
    // Stops or pauses at the position reached, the sound with it.
    void stopAtLocked(Mode m);
    void pauseSoundLocked();
};

}  // namespace plim::engine
