#pragma once
// Interlaced pictures made whole, as players show them: libavfilter's bwdif, giving one
// picture for each picture taken (send_frame), so frame numbers, steps and lengths stay as
// they are, and working only on pictures marked interlaced, so the progressive pictures of a
// mixed stream pass unchanged. bwdif reads the pictures on either side, so each one comes
// out once the next is in, or once the stream has ended.
// Exact after a seek: the first picture of a run that does not begin at the file's start was
// made without the picture before it, which play had; it is withheld, and the caller starts
// decoding one picture before the picture it wants. The filter plug-in is loaded with the
// first stream that needs it; where it cannot be had, pictures pass as decoded.
// Thread: the video thread (one Deinterlacer per player).
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

#include "platform/engine/decode/PictureStage.h"

struct AVFrame;

namespace plim::engine {

class FilterGraph;

class Deinterlacer {
public:
    // Takes a picture made whole, with its media time; valid for the call only.
    using Emit = std::function<void(AVFrame*, int64_t ptsUs)>;
    // The libavfilter chain it runs.
    static const char* const kChain;

    Deinterlacer();
    ~Deinterlacer();
    Deinterlacer(const Deinterlacer&) = delete;
    Deinterlacer& operator=(const Deinterlacer&) = delete;

    // A new run of pictures (a seek): the pictures held from the last run are forgotten.
    // fromStart: the run begins with the file's first picture, which has none before it.
    void begin(bool fromStart);
    // A decoded picture, in presentation order; the pictures made whole so far go to out.
    void push(AVFrame* f, int64_t ptsUs, const Emit& out);
    // The run ended: the pictures held back go to out.
    void finish(const Emit& out);

private:
    struct Held {
        int64_t seq = 0, ptsUs = 0;
        bool interlaced = false;
    };
    struct Shape {
        int width = 0, height = 0, format = -1;
        bool operator==(const Shape&) const = default;
    };
    bool ready(const AVFrame* f, const Emit& out);
    void pull(const Emit& out);
    void pass(AVFrame* f, int64_t ptsUs, const Emit& out);

    std::unique_ptr<FilterGraph> graph_;
    Shape shape_;             // the pictures the graph was made for
    std::deque<Held> held_;   // sent, not yet out: in order of seq
    AVFrame* in_ = nullptr;   // the picture sent, numbered by seq in place of its time
    AVFrame* out_ = nullptr;  // the picture received
    int64_t seq_ = 0;
    bool fromStart_ = true;
    bool first_ = true;  // the next picture out is the run's first
};

// The deinterlacer as a stage of the picture chain.
class DeinterlaceStage final : public PictureStage {
public:
    void begin(const PictureRun& run) override { d_.begin(run.fromStart); }
    void push(const Picture& p, const Out& out) override {
        d_.push(p.frame, p.ptsUs, [&](AVFrame* f, int64_t ptsUs) { out(Picture::of(f, ptsUs)); });
    }
    void finish(const Out& out) override {
        d_.finish([&](AVFrame* f, int64_t ptsUs) { out(Picture::of(f, ptsUs)); });
    }

private:
    Deinterlacer d_;
};

}  // namespace plim::engine
