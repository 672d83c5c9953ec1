#include "platform/mci/engine/play/VideoWorker.h"

#include <algorithm>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "platform/mci/engine/base/Aspect.h"
#include "platform/mci/engine/decode/VideoDecoder.h"

namespace plim::engine {

VideoWorker::VideoWorker(PlayerMutex& mu, const PlayFacts& facts, VideoDecoder& dec, PacketQueue& vq, Decoded& decoded,
                         Generations& gens)
    : mu_(mu),
      facts_(facts),
      dec_(dec),
      vq_(vq),
      decoded_(decoded),
      gens_(gens),
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
    int64_t target = start_.seek.targetUs;
    bool keep = start_.seek.fillSteps && ptsUs >= target - facts_.stepSpanUs && ptsUs <= target + SeekPicker::kRoundingSlackUs;
    if (picker_.feed(f, ptsUs, emitFn_)) {
        if (keep) {
            VideoFrame vf = picture(f, ptsUs);
            if (vf.valid()) decoded_.steps.add(std::move(vf));
        }
        return;
    }
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
    if (seek.fillSteps) decoded_.steps.begin();
    gen_ = seek.gen;
    start_ = start;
    retry_ = false;
    targetOwed_ = false;
    picker_.reset(seek.targetUs, start.fromStart);
    lastEndUs_ = 0;
    if (deinterlacer_) deinterlacer_->begin(start.fromStart);
    if (seek.continuesOpen) dec_.resume(onDecodedFn_);
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
