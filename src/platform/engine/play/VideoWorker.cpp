#include "platform/engine/play/VideoWorker.h"

#include <algorithm>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "platform/engine/decode/VideoDecoder.h"

namespace plim::engine {

VideoWorker::VideoWorker(PlayerMutex& mu, const PlayFacts& facts, VideoDecoder& dec, PacketQueue& vq, Decoded& decoded,
                         Generations& gens)
    : mu_(mu),
      facts_(facts),
      dec_(dec),
      vq_(vq),
      decoded_(decoded),
      gens_(gens),
      chain_(facts, decoded.steps, [this](const Picture& p) { handOn(p); }),
      onDecodedFn_([this](AVFrame* f, int64_t pts) { onDecoded(f, pts); }) {}

// A picture that cannot be made (a damaged one) is not shown; when it was the one a seek or
// open asked for, the next one made stands for it, or the display would wait for it for ever
// while the pictures after it fill the queue.
void VideoWorker::handOn(const Picture& p) {
    VideoFrame vf = chain_.maker()(p);
    if (!vf.valid()) {
        targetOwed_ = targetOwed_ || p.target;
        return;
    }
    vf.seekTarget = p.target || std::exchange(targetOwed_, false);
    decoded_.fq.push(std::move(vf));  // blocks while the queue is full; false: stale
}

void VideoWorker::onDecoded(AVFrame* f, int64_t ptsUs) {
    if (retry_) return;
    chain_.push(f, ptsUs);
    askEarlierIfLate();
}

// Decoding began too late for the target: the reader is asked to start further back, and
// what is decoded until it does is not looked at.
void VideoWorker::askEarlierIfLate() {
    if (retry_ || !chain_.late()) return;
    retry_ = true;
    std::lock_guard<PlayerMutex> lk(mu_);
    gens_.beginEarlier(start_);
}

// A new generation begins decoding at the seek's target; the open's goes on from the
// pictures open decoded.
void VideoWorker::begin(const GenerationStart& start) {
    const SeekRequest& seek = start.seek;
    // A step back keeps the pictures of a span before its target: all of them decoded.
    if (!seek.continuesOpen)
        dec_.flush(std::max<int64_t>(0, seek.targetUs - (seek.fillSteps ? facts_.stepSpanUs : 0)), start.offsetUs);
    gen_ = seek.gen;
    start_ = start;
    retry_ = false;
    targetOwed_ = false;
    chain_.begin(seek.gen, PictureRun{.targetUs = seek.targetUs, .fromStart = start.fromStart}, seek.fillSteps);
    if (seek.continuesOpen) dec_.resume(onDecodedFn_);
}

// The end of the input: the decoder is drained, and the generation's pictures have ended.
void VideoWorker::end() {
    dec_.decode(nullptr, onDecodedFn_);
    if (retry_) return;  // the reader is being placed again; its generation start comes next
    chain_.finish();
    askEarlierIfLate();
    dec_.flush();
    std::lock_guard<PlayerMutex> lk(mu_);
    decoded_.ends.videoEnd(gen_, chain_.lastEndUs());
}

void VideoWorker::run() {
    while (auto item = vq_.pop()) {
        if (auto* start = std::get_if<GenerationStart>(&item->what)) {
            begin(*start);
        } else if (item->gen != gen_ || retry_) {
            // stale: read before the last seek, or from a place that began too late
        } else if (std::holds_alternative<InputEnd>(item->what)) {
            end();
        } else {
            dec_.decode(std::get<PacketPtr>(item->what).get(), onDecodedFn_);
        }
    }
}

}  // namespace plim::engine
