#pragma once
// One stage of the chain that decoded pictures go through on their way to the display
// (play/PictureChain: made whole, picked for a seek, given their look). Each stage takes the
// pictures of a run in presentation order and hands on what it makes to the next.
// Thread: the video thread; one chain per player.
#include <cstdint>
#include <functional>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/rational.h>
}

namespace plim::engine {

struct Picture {
    AVFrame* frame = nullptr;  // valid for the call only
    int64_t ptsUs = 0;         // media time
    AVRational sar{0, 1};      // the sample aspect the picture came with, before its look
    bool target = false;       // the picture a seek or the open asked for

    // A picture made by the stage that hands it on, with the sample aspect it carries.
    static Picture of(AVFrame* f, int64_t ptsUs, bool target = false) {
        return Picture{f, ptsUs, f->sample_aspect_ratio, target};
    }
};

// A run of pictures: from a seek (or the open) on.
struct PictureRun {
    int64_t targetUs = -1;  // the picture wanted; -1: none, every picture passes
    bool fromStart = true;  // decoding begins at the start of the file
};

class PictureStage {
public:
    using Out = std::function<void(const Picture&)>;
    virtual ~PictureStage() = default;
    // A new run: what is held from the last one is forgotten.
    virtual void begin(const PictureRun& run) = 0;
    virtual void push(const Picture& p, const Out& out) = 0;
    // The run's pictures ended: what is held goes out.
    virtual void finish(const Out& out) = 0;
    // The run began too late for its target: it must begin again further back.
    virtual bool late() const { return false; }
};

}  // namespace plim::engine
