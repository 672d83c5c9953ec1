#include "platform/mci/engine/play/VideoWorker.h"

#include <algorithm>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "platform/mci/engine/base/Aspect.h"
#include "platform/mci/engine/decode/VideoDecoder.h"
#include "platform/mci/engine/play/Reader.h"

namespace plim::engine {

VideoWorker::VideoWorker(PlayerMutex& mu, const PlayFacts& facts, VideoDecoder& dec, PacketQueue& vq, Decoded& decoded,
                         Reader& reader)
    : mu_(mu),
      facts_(facts),
      dec_(dec),
      vq_(vq),
      decoded_(decoded),
      reader_(reader),
      emitFn_([this](AVFrame* f, int64_t pts, bool target) { handOn(f, pts, target); }),
      onFrameFn_([this](AVFrame* f, int64_t pts) { onFrame(f, pts); }),
      onDecodedFn_([this](AVFrame* f, int64_t pts) { onDecoded(f, pts); }) {}

// The ratio the stream or container gives, as open chose it; else the one the picture
// carries. None for a turned picture: it keeps its width.
SampleAspect VideoWorker::aspectOf(const AVFrame* f) const {
    if (facts_.info.orientation.swapsSides()) return {};
    SampleAspect stream{facts_.info.sarNum, facts_.info.sarDen};
    return stream.usable() ? stream : SampleAspect{f->sample_aspect_ratio.num, f->sample_aspect_ratio.den};
}

VideoFrame VideoWorker::picture(const AVFrame* f, int64_t ptsUs) {
    const AVFrame* shown = look_.apply(f);
    if (!shown) return {};
    VideoFrame vf = VideoDecoder::wrap(shown);
    vf.displayWidth = displayWidthFor(vf.width, aspectOf(f));
    vf.gen = gen_;
    vf.ptsUs = ptsUs;
    vf.durUs = facts_.info.frameDurUs;
    return vf;
}

// A picture that cannot be made (a damaged one) is not shown; when it was the one a seek or
// open asked for, the next one made stands for it, or the display would wait for it for ever
// while the pictures after it fill the queue.
void VideoWorker::handOn(AVFrame* f, int64_t ptsUs, bool seekTarget) {
    VideoFrame vf = picture(f, ptsUs);
    if (!vf.valid()) {
        targetOwed_ = targetOwed_ || seekTarget;
        return;
    }
    vf.seekTarget = seekTarget || std::exchange(targetOwed_, false);
    decoded_.fq.push(std::move(vf));  // blocks while the queue is full; false: stale
}

// A picture as decoded: made whole first when the stream is interlaced.
void VideoWorker::onDecoded(AVFrame* f, int64_t ptsUs) {
    if (retry_) return;
    if (deinterlacer_) deinterlacer_->push(f, ptsUs, onFrameFn_);
    else onFrame(f, ptsUs);
}

void VideoWorker::onFrame(AVFrame* f, int64_t ptsUs) {
    if (retry_) return;
    lastEndUs_ = std::max(lastEndUs_, ptsUs + facts_.info.frameDurUs);
    int64_t target = start_.seekTargetUs;
    bool keep = start_.fillSteps && ptsUs >= target - facts_.stepSpanUs && ptsUs <= target + SeekPicker::kRoundingSlackUs;
    if (picker_.feed(f, ptsUs, emitFn_)) {
        if (keep) {
            VideoFrame vf = picture(f, ptsUs);
            if (vf.valid()) decoded_.steps.add(std::move(vf));
        }
        return;
    }
    retry_ = true;
    reader_.beginEarlier(gen_, start_);
}

// A Flush: a new generation begins decoding at the seek's target; the open's goes on from the
// pictures open decoded.
void VideoWorker::begin(const PacketItem& flush) {
    // A step back keeps the pictures of a span before its target: all of them decoded.
    if (!flush.continues)
        dec_.flush(std::max<int64_t>(0, flush.seekTargetUs - (flush.fillSteps ? facts_.stepSpanUs : 0)), flush.offsetUs);
    if (flush.fillSteps) decoded_.steps.begin();
    gen_ = flush.gen;
    start_ = flush;
    retry_ = false;
    targetOwed_ = false;
    picker_.reset(flush.seekTargetUs, flush.fromStart);
    lastEndUs_ = 0;
    if (deinterlacer_) deinterlacer_->begin(flush.fromStart);
    if (flush.continues) dec_.resume(onDecodedFn_);
}

// The end of the input: the decoder is drained, and the generation's pictures have ended.
void VideoWorker::end() {
    dec_.decode(nullptr, onDecodedFn_);
    if (retry_) return;  // the reader is being placed again; its Flush comes next
    if (deinterlacer_) deinterlacer_->finish(onFrameFn_);
    picker_.finish(emitFn_);
    dec_.flush();
    std::lock_guard<PlayerMutex> lk(mu_);
    decoded_.ends.videoEnd(gen_, lastEndUs_);
}

void VideoWorker::run() {
    look_.setOrientation(facts_.info.orientation);  // the media is open before the thread starts
    if (facts_.info.interlaced) deinterlacer_ = std::make_unique<Deinterlacer>();
    while (auto item = vq_.pop()) {
        reader_.tookPacket();
        PacketItem it = *item;
        if (it.kind == PacketItem::Flush) {
            begin(it);
        } else if (it.gen != gen_ || retry_) {
            // stale: read before the last seek, or from a place that began too late
        } else if (it.kind == PacketItem::Eof) {
            end();
        } else {
            dec_.decode(it.pkt, onDecodedFn_);
        }
        if (it.pkt) av_packet_free(&it.pkt);
    }
}

}  // namespace plim::engine
