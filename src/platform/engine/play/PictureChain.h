#pragma once
// The stages a stream's decoded pictures go through before the frame queue, in one ordered
// list built at open from what the stream needs (pictureStages):
//   made whole (Deinterlacer; interlaced streams only) -> kept aside for steps back
//   (StepKeeper) -> picked for a seek (SeekPicker) -> given their look (PictureLook: turned,
//   HDR mapped to SDR) -> made frames for the display (FrameMaker, the chain's sink).
// The look comes after the pick, so that the pictures a seek passes over are never turned or
// tone-mapped; the step keeper gives the pictures it keeps their look itself.
// Thread: the video thread; one chain per player.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/engine/base/Types.h"
#include "platform/engine/decode/PictureStage.h"
#include "platform/engine/play/PlayPieces.h"

namespace plim::engine {

class LookStage;

// Makes the frames the display is handed from pictures given their look: their display
// width, media time, length and generation. A picture with no frame, or one too large to
// show, makes an invalid frame.
class FrameMaker {
public:
    explicit FrameMaker(const PlayFacts& facts) : facts_(facts) {}
    void setGeneration(uint64_t gen) { gen_ = gen; }
    int64_t frameDurUs() const { return facts_.info.frameDurUs; }
    VideoFrame operator()(const Picture& p) const;

private:
    const PlayFacts& facts_;
    uint64_t gen_ = 0;
};

// A run's pictures for steps back: those in the span before the target, given their look,
// go into the step cache (when the run fills it); and where the run's pictures end.
class StepKeeper final : public PictureStage {
public:
    StepKeeper(int64_t spanUs, StepCache& steps, LookStage& look, const FrameMaker& make)
        : spanUs_(spanUs), steps_(steps), look_(look), make_(make) {}
    // fills: this run keeps its pictures for steps back.
    void fillSteps(bool fills) { fills_ = fills; }
    int64_t lastEndUs() const { return lastEndUs_; }
    void begin(const PictureRun& run) override;
    void push(const Picture& p, const Out& out) override;
    void finish(const Out&) override {}

private:
    const int64_t spanUs_;
    StepCache& steps_;
    LookStage& look_;
    const FrameMaker& make_;
    bool fills_ = false;
    int64_t targetUs_ = -1;
    int64_t lastEndUs_ = 0;
};

class PictureChain {
public:
    // sink: takes what the last stage hands on.
    PictureChain(const PlayFacts& facts, StepCache& steps, PictureStage::Out sink);
    ~PictureChain();
    PictureChain(const PictureChain&) = delete;
    PictureChain& operator=(const PictureChain&) = delete;

    // A new run of generation gen: fillSteps keeps its pictures before the target.
    void begin(uint64_t gen, const PictureRun& run, bool fillSteps);
    void push(AVFrame* f, int64_t ptsUs);  // a decoded picture, in presentation order
    void finish();                         // the run's pictures ended
    bool late() const;                     // see PictureStage::late
    int64_t lastEndUs() const { return keeper_->lastEndUs(); }
    const FrameMaker& maker() const { return make_; }

private:
    FrameMaker make_;
    std::vector<std::unique_ptr<PictureStage>> stages_;
    std::vector<PictureStage::Out> outs_;  // outs_[i]: where stage i hands its pictures
    StepKeeper* keeper_ = nullptr;
};

}  // namespace plim::engine
