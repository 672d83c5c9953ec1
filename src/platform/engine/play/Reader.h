#pragma once
// The reader: the demux thread of one player. It carries out seeks, then reads packets in
// bursts, routing video packets to the video worker's queue and sound through its decoder to
// the sound device, until the input ends or the player quits.
// Thread: the demux thread (run); built and handed startWith's packets before it starts.
// Locks: the player lock for Generations, StreamEnds and filling_; the packet queue and the
// sound device guard themselves.
#include <cstdint>
#include <vector>

#include "platform/engine/base/PacketList.h"
#include "platform/engine/play/PlayPieces.h"

struct AVPacket;

namespace plim::engine {

class MediaSource;
class SoundDecoder;
class SoundDevice;

class Reader {
public:
    // soundDec and sound: both or neither (no sound played).
    Reader(PlayerMutex& mu, const PlayFacts& facts, MediaSource& src, SoundDecoder* soundDec, SoundDevice* sound,
           PacketQueue& vq, Generations& gens, StreamEnds& ends)
        : mu_(mu), facts_(facts), src_(src), soundDec_(soundDec), sound_(sound), vq_(vq), gens_(gens), ends_(ends) {}

    // The demux thread's body: returns once the player quits.
    void run();
    // Before the thread starts: the sound's packets that open read, played first when the
    // open's generation goes on from where open left reading.
    void startWith(PacketList soundRead) { opened_ = std::move(soundRead); }

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

    PlayerMutex& mu_;
    const PlayFacts& facts_;
    MediaSource& src_;
    SoundDecoder* soundDec_;
    SoundDevice* sound_;
    PacketQueue& vq_;
    Generations& gens_;  // player lock
    StreamEnds& ends_;   // player lock
    PacketList opened_;    // startWith's, until the open's generation or a seek
    bool filling_ = true;  // reading until full, or asleep until running low (player lock)
};

}  // namespace plim::engine
