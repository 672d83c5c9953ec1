#pragma once
// After a seek, picks the picture to show for the target: the last decoded picture whose
// time is not after it (decoding starts at the key frame before the target, so every picture
// up to it passes by). Pictures pass through in presentation order. Used by one thread.
#include <cstdint>
#include <functional>

extern "C" {
#include <libavutil/frame.h>
}

namespace plim::engine {

class SeekPicker {
public:
    // emit(picture, ptsUs, isTarget) hands a picture on to the display queue.
    using Emit = std::function<void(AVFrame*, int64_t, bool)>;

    SeekPicker() : held_(av_frame_alloc()) {}
    ~SeekPicker() { av_frame_free(&held_); }
    SeekPicker(const SeekPicker&) = delete;
    SeekPicker& operator=(const SeekPicker&) = delete;

    // A new target; -1 when pictures just pass through.
    void reset(int64_t targetUs) {
        av_frame_unref(held_);
        have_ = false;
        target_ = targetUs;
    }

    void feed(AVFrame* f, int64_t pts, const Emit& emit) {
        if (target_ < 0) return emit(f, pts, false);
        if (pts <= target_) {  // a candidate: keep the latest
            av_frame_unref(held_);
            av_frame_ref(held_, f);
            heldPts_ = pts;
            have_ = true;
            return;
        }
        target_ = -1;
        if (!have_) return emit(f, pts, true);  // nothing before the target: the first picture
        emit(held_, heldPts_, true);
        reset(-1);
        emit(f, pts, false);
    }

    // The stream ended: a held picture is the target's.
    void finish(const Emit& emit) {
        if (have_) emit(held_, heldPts_, true);
        reset(-1);
    }

private:
    AVFrame* held_;
    bool have_ = false;
    int64_t heldPts_ = 0;
    int64_t target_ = -1;
};

}  // namespace plim::engine
