#pragma once
// The pieces of state that a player's parts share. Each part (Reader, VideoWorker, Presenter,
// Stepper) takes by reference only the pieces it uses. Pieces marked "player lock" are read
// and changed only with the player's PlayerMutex held; the queues and the step cache guard
// themselves. Lock order: base/LockOrder.h.
#include <cstddef>
#include <cstdint>

#include "platform/engine/base/LockOrder.h"
#include "platform/engine/base/Types.h"
#include "platform/engine/play/DisplayOwed.h"
#include "platform/engine/play/PlayState.h"
#include "platform/engine/play/Queues.h"
#include "platform/engine/play/StepCache.h"
#include "platform/engine/play/StreamEnds.h"

namespace plim::engine {

// What the media is, as settled at open; read-only afterwards, so any thread reads it.
struct PlayFacts {
    // What a step back may keep: this many bytes of pictures.
    static constexpr size_t kStepCacheBytes = 128u << 20;
    MediaInfo info;
    int64_t soundOriginUs = 0;  // the sound's media time zero in the container's clock
    size_t maxPackets = 0;      // video packets read ahead at most
    int64_t stepSpanUs = 0;     // how far before a step's target its pictures are kept
};

// The generation and the seek in flight (player lock). Every seek, open and kept picture
// begins a generation; packets, frames and sound of an older one are dropped.
class Generations {
public:
    uint64_t current() const { return gen_; }
    // The one place a generation begins: the frames of older ones leave the queue.
    uint64_t begin(FrameQueue& fq) {
        fq.flush(++gen_);
        return gen_;
    }
    // Asks the reader to carry out req (of the current generation) and wakes it.
    void request(const SeekRequest& req) {
        seek_ = req;
        pending_ = true;
        wake.notify_one();
    }
    // The video thread found that decoding began too late for the target of the generation
    // that `start` began: the reader starts again further back, unless a newer seek came
    // meanwhile or the player quits.
    void beginEarlier(const GenerationStart& start) {
        if (start.seek.gen != gen_ || quit_) return;
        SeekRequest again = start.seek;
        again.continuesOpen = false;
        again.attempt = start.seek.attempt + 1;
        request(again);
    }
    // The reader's: the seek asked for, taken once.
    bool takeRequest(SeekRequest& out) {
        if (!pending_) return false;
        out = seek_;
        pending_ = false;
        return true;
    }
    bool requested() const { return pending_; }
    void quit() {
        quit_ = true;
        wake.notify_all();
    }
    bool quitting() const { return quit_; }

    CondVar wake;  // wakes the reader: a seek, room (the packet queue running low), or quit

private:
    uint64_t gen_ = 1;
    SeekRequest seek_;
    bool pending_ = false;
    bool quit_ = false;
};

// What the decoder has handed on: the frames waiting for their time and the pictures kept
// for steps back (each guards itself), and where each generation's streams ended (player
// lock).
struct Decoded {
    // Three pictures at most, and 32 MB at most (one at least): two 4K pictures of 8 bits. A
    // third 4K picture holds 12 MB more in the decoder's pool, and 4K plays as smoothly with two.
    FrameQueue fq{3, 32u << 20};
    StepCache steps{PlayFacts::kStepCacheBytes};
    StreamEnds ends;
};

// What the display owes and has shown (player lock): the play state (mode, position, clock,
// end, length), the pictures a seek or step owes, and the frames dropped while playing.
struct Showing {
    PlayState state;
    DisplayOwed owed;
    uint64_t dropped = 0;
};

}  // namespace plim::engine
