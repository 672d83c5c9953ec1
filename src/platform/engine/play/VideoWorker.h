#pragma once
// The video worker: the video thread of one player. It decodes the reader's packets, sends
// the pictures through the picture chain (PictureChain: made whole, kept for steps back,
// picked for a seek, given their look) and pushes the frames that come out into the frame
// queue, blocking while it is full. When decoding began too late for a target, it asks the
// reader to start further back (Generations::beginEarlier).
// Thread: the video thread. Locks: the player lock for Generations and StreamEnds; the
// queues and the step cache guard themselves.
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/engine/play/PictureChain.h"
#include "platform/engine/play/PlayPieces.h"

struct AVFrame;

namespace plim::engine {

class VideoDecoder;

class VideoWorker {
public:
    VideoWorker(PlayerMutex& mu, const PlayFacts& facts, VideoDecoder& dec, PacketQueue& vq, Decoded& decoded,
                Generations& gens);
    VideoWorker(const VideoWorker&) = delete;
    VideoWorker& operator=(const VideoWorker&) = delete;
    // The video thread's body: returns once the packet queue is closed.
    void run();

private:
    void begin(const GenerationStart& start);
    void end();
    void onDecoded(AVFrame* f, int64_t ptsUs);
    void askEarlierIfLate();
    void handOn(const Picture& p);

    PlayerMutex& mu_;
    const PlayFacts& facts_;
    VideoDecoder& dec_;
    PacketQueue& vq_;
    Decoded& decoded_;   // its ends under the player lock
    Generations& gens_;  // player lock
    // The generation being decoded, as the thread sees it.
    uint64_t gen_ = 0;
    GenerationStart start_;  // what began this generation's decoding
    bool retry_ = false;     // decoding began too late: waiting for the reader to start earlier
    bool targetOwed_ = false;  // the seek's picture could not be made: the next one stands for it
    PictureChain chain_;
    std::function<void(AVFrame*, int64_t)> onDecodedFn_;  // onDecoded, made once for the decoder
};

}  // namespace plim::engine
