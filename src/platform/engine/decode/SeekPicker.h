#pragma once
// After a seek, picks the picture to show for the target: the last decoded picture whose
// time is not after it. Decoding starts at a key frame before the target, so every picture
// up to it passes by; when the first picture is already after the target, decoding began too
// late and the caller must begin earlier, unless it began at the start of the file. Pictures
// pass through in presentation order. Used by one thread.
#include <cstdint>
#include <functional>

#include "platform/engine/decode/PictureStage.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace plim::engine {

class SeekPicker {
public:
    // handOn(picture, ptsUs, isTarget) hands a picture on to the display queue.
    using Emit = std::function<void(AVFrame*, int64_t, bool)>;
    // Times are rounded to whole microseconds twice (the picture's and the origin's), so a
    // picture may carry a time this much after its exact one.
    static constexpr int64_t kRoundingSlackUs = 1;

    SeekPicker() : held_(av_frame_alloc()) {}
    ~SeekPicker() { av_frame_free(&held_); }
    SeekPicker(const SeekPicker&) = delete;
    SeekPicker& operator=(const SeekPicker&) = delete;

    // A new target; -1 when pictures just pass through. fromStart: decoding begins at the
    // start of the file, so a first picture after the target is the earliest there is.
    void reset(int64_t targetUs, bool fromStart = true) {
        av_frame_unref(held_);
        have_ = false;
        target_ = targetUs;
        fromStart_ = fromStart;
        late_ = false;
    }

    // False when decoding began too late: the first picture lies after the target. Nothing
    // is handed on then, nor for any picture fed until the next reset.
    bool feed(AVFrame* f, int64_t pts, const Emit& handOn) {
        if (late_) return false;
        if (target_ < 0) {
            handOn(f, pts, false);
            return true;
        }
        if (pts <= target_ + kRoundingSlackUs) {  // a candidate: keep the latest
            av_frame_unref(held_);
            av_frame_ref(held_, f);
            heldPts_ = pts;
            have_ = true;
            return true;
        }
        if (!have_ && !fromStart_) {
            late_ = true;
            return false;
        }
        target_ = -1;
        if (!have_) {  // nothing in the file before the target: its first picture
            handOn(f, pts, true);
            return true;
        }
        handOn(held_, heldPts_, true);
        av_frame_unref(held_);
        have_ = false;
        handOn(f, pts, false);
        return true;
    }

    bool late() const { return late_; }
    // The stream ended: a held picture is the target's.
    void finish(const Emit& handOn) {
        if (have_ && !late_) handOn(held_, heldPts_, true);
        reset(-1);
    }

private:
    AVFrame* held_;
    bool have_ = false;
    bool fromStart_ = true;
    bool late_ = false;
    int64_t heldPts_ = 0;
    int64_t target_ = -1;
};

// The seek's pick as a stage of the picture chain: marks the target, drops what comes before.
class SeekPickStage final : public PictureStage {
public:
    void begin(const PictureRun& run) override { picker_.reset(run.targetUs, run.fromStart); }
    void push(const Picture& p, const Out& out) override { picker_.feed(p.frame, p.ptsUs, emitTo(out)); }
    void finish(const Out& out) override { picker_.finish(emitTo(out)); }
    bool late() const override { return picker_.late(); }

private:
    static SeekPicker::Emit emitTo(const Out& out) {
        return [&out](AVFrame* f, int64_t ptsUs, bool target) { out(Picture::of(f, ptsUs, target)); };
    }
    SeekPicker picker_;
};

}  // namespace plim::engine
