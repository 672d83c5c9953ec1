#pragma once
// The reader: the demux thread of one player. It carries out seeks, then reads packets in
// bursts, routing video packets to the video worker's queue and sound to the sound output,
// until the input ends or the player quits.
#include <cstdint>
#include <vector>

#include "platform/mci/engine/play/PlayCore.h"

struct AVPacket;

namespace plim::engine {

class Reader {
public:
    explicit Reader(PlayCore& core) : c_(core) {}

    // The demux thread's body: returns once the player quits.
    void run();
    // The video worker found that decoding began too late for the target of the generation
    // that `start` began: the reader starts again further back, unless a newer seek has come
    // meanwhile. Any thread; takes the lock.
    void beginEarlier(uint64_t gen, const PacketItem& start);
    // Called by the video worker as it takes packets: the reader may be asleep waiting for room.
    void tookPacket();

private:
    // Where a seek placed the reader.
    struct Placed {
        bool ok = false;         // false: not placed at all
        bool fromStart = false;  // placed at the very start of the file
        int attempt = 0;         // the attempt that placed it
        int64_t offsetUs = 0;    // added to the container's times there (MediaSource::partOffsetUs)
    };
    bool nextWork(SeekRequest& req);
    bool hasRoomLocked() const;
    bool runningLowLocked() const;
    void startGeneration(const SeekRequest& req);
    void endOfInput(uint64_t gen);
    void readOne(uint64_t gen, int& errors);
    void route(uint64_t gen, AVPacket* pkt);
    void decodeSound(uint64_t gen, const AVPacket* pkt);
    void noteSilentSound(uint64_t gen, const AVPacket* pkt);
    Placed positionFor(int64_t targetUs, int firstAttempt, std::vector<AVPacket*>& read);
    bool firstKeyNotAfter(int64_t targetUs, int64_t offsetUs, std::vector<AVPacket*>& read);

    PlayCore& c_;
};

}  // namespace plim::engine
