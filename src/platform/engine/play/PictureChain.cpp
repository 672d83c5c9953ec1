#include "platform/engine/play/PictureChain.h"

#include <algorithm>

extern "C" {
#include <libavutil/frame.h>
}

#include "platform/engine/base/Aspect.h"
#include "platform/engine/decode/Deinterlacer.h"
#include "platform/engine/decode/PictureLook.h"
#include "platform/engine/decode/SeekPicker.h"
#include "platform/engine/decode/VideoDecoder.h"

namespace plim::engine {

namespace {
// The ratio the stream or container gives, as open chose it; else the one the picture
// carries. None for a turned picture: it keeps its width.
SampleAspect aspectOf(const MediaInfo& info, AVRational pictureSar) {
    if (info.orientation.swapsSides()) return {};
    SampleAspect stream{info.sarNum, info.sarDen};
    return stream.usable() ? stream : SampleAspect{pictureSar.num, pictureSar.den};
}
}  // namespace

VideoFrame FrameMaker::operator()(const Picture& p) const {
    if (!p.frame) return {};
    VideoFrame vf = VideoDecoder::wrap(p.frame);
    if (!vf.valid()) return vf;
    vf.displayWidth = displayWidthFor(vf.width, aspectOf(facts_.info, p.sar));
    vf.gen = gen_;
    vf.ptsUs = p.ptsUs;
    vf.durUs = facts_.info.frameDurUs;
    vf.seekTarget = p.target;
    return vf;
}

void StepKeeper::begin(const PictureRun& run) {
    targetUs_ = run.targetUs;
    lastEndUs_ = 0;
    if (fills_) steps_.begin();
}

void StepKeeper::push(const Picture& p, const Out& out) {
    lastEndUs_ = std::max(lastEndUs_, p.ptsUs + make_.frameDurUs());
    bool keep = fills_ && p.ptsUs >= targetUs_ - spanUs_ && p.ptsUs <= targetUs_ + SeekPicker::kRoundingSlackUs;
    out(p);
    if (!keep) return;
    VideoFrame vf = make_(Picture{const_cast<AVFrame*>(look_.apply(p.frame)), p.ptsUs, p.sar, false});
    if (vf.valid()) steps_.add(std::move(vf));
}

// The list: what a stream's pictures go through, in order. Adding a stage is adding it here.
PictureChain::PictureChain(const PlayFacts& facts, StepCache& steps, PictureStage::Out sink) : make_(facts) {
    auto look = std::make_unique<LookStage>(facts.info.orientation);
    auto keeper = std::make_unique<StepKeeper>(facts.stepSpanUs, steps, *look, make_);
    keeper_ = keeper.get();
    if (facts.info.interlaced) stages_.push_back(std::make_unique<DeinterlaceStage>());
    stages_.push_back(std::move(keeper));
    stages_.push_back(std::make_unique<SeekPickStage>());
    stages_.push_back(std::move(look));
    outs_.resize(stages_.size());
    outs_.back() = std::move(sink);
    for (size_t i = stages_.size() - 1; i-- > 0;)
        outs_[i] = [this, i](const Picture& p) { stages_[i + 1]->push(p, outs_[i + 1]); };
}

PictureChain::~PictureChain() = default;

void PictureChain::begin(uint64_t gen, const PictureRun& run, bool fillSteps) {
    make_.setGeneration(gen);
    keeper_->fillSteps(fillSteps);
    for (auto& s : stages_) s->begin(run);
}

void PictureChain::push(AVFrame* f, int64_t ptsUs) { stages_.front()->push(Picture::of(f, ptsUs), outs_.front()); }

void PictureChain::finish() {
    for (size_t i = 0; i < stages_.size(); ++i) stages_[i]->finish(outs_[i]);
}

bool PictureChain::late() const {
    return std::any_of(stages_.begin(), stages_.end(), [](const auto& s) { return s->late(); });
}

}  // namespace plim::engine
